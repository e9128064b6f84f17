#include "parameter_inputs.h"

#include "profile_reader.h"
#include "range_validator.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

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

void show_input_value(QWidget* input, const QString& value)
{
    const QSignalBlocker quiet(input);
    if (auto* combo = qobject_cast<QComboBox*>(input)) {
        select_item_by_data(combo, value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(input)) {
        edit->setText(value);
    }
}

bool input_can_show(const QWidget* input, const QString& value)
{
    const auto* combo = qobject_cast<const QComboBox*>(input);
    return !combo || item_with_data(combo, value) >= 0;
}

QString value_text(const QWidget* input, const QString& value)
{
    const auto* combo = qobject_cast<const QComboBox*>(input);
    const int item = combo ? item_with_data(combo, value) : -1;
    return item < 0 ? value : combo->itemText(item);
}
