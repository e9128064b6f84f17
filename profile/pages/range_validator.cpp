#include "range_validator.h"

range_validator::range_validator(int minimum, int maximum, QObject* parent)
    : QIntValidator(minimum, maximum, parent)
{
}

QValidator::State range_validator::validate(QString& input, int& position) const
{
    const State state = QIntValidator::validate(input, position);
    if (state != Intermediate) {
        return state;
    }
    bool ok = false;
    const qlonglong entered = locale().toLongLong(input, &ok);
    // A negative bottom leaves room for a minus sign typed last.
    return ok && entered > top() && -entered < bottom() ? Invalid : Intermediate;
}
