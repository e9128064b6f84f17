#include "parameter_inputs.h"

#include "profile_reader.h"
#include "range_validator.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

int item_with_data(const QComboBox* combo, const QString& data)
{
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toString() == data) {
            return i;
        }
    }
    return -1;
}

} // namespace

void setup_line_edit(QLineEdit* edit, const profile_parameter& source, QObject* validator_owner)
{
    if (source.kind == parameter_kind::integer) {
        edit->setValidator(new range_validator(source.minvalue, source.maxvalue, validator_owner));
    } else if (source.has_maxlen) {
        edit->setMaxLength(source.maxlen);
    }
    edit->setText(source.defaultvalue);
}

void setup_combo_box(QComboBox* combo, const profile_parameter& source, bool integer_data)
{
    combo->setEditable(false);
    for (const profile_option& option : source.options) {
        const QVariant data =
            integer_data ? QVariant(option.value.toInt()) : QVariant(option.value);
        combo->addItem(option.text, data);
    }
    combo->setCurrentIndex(item_with_data(combo, source.defaultvalue));
}

QString input_value(const QWidget* widget)
{
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentData().toString();
    }
    return QString();
}

bool select_item_by_data(QComboBox* combo, const QString& data)
{
    const int item = item_with_data(combo, data);
    combo->setCurrentIndex(item);
    return item >= 0;
}
