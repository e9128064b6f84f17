#pragma once

#include <QIntValidator>

// An integer validator that refuses a number already above its range. The stock validator lets
// any number through while it has no more digits than the top, so "30" could be typed into a
// 10..20 input; numbers below the range stay allowed, as they are typed on the way up.
class range_validator : public QIntValidator
{
    Q_OBJECT

public:
    range_validator(int minimum, int maximum, QObject* parent);

    State validate(QString& input, int& position) const override;
};
