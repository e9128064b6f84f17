#pragma once

#include <QString>

class QComboBox;
class QLineEdit;
class QObject;
class QWidget;
struct profile_parameter;

// Setting up and reading the inputs of parameter rows, alike in both display modes.

// "integer": a range validator owned by validator_owner; "string": the length limit when the
// profile gives one. The default text is set as written, unchecked.
void setup_line_edit(QLineEdit* edit, const profile_parameter& source, QObject* validator_owner);

// One item per option, with the value as item data: an integer for expert pages (sent in
// decimal), the text as written for simple pages. The default value selects its item;
// without a match nothing is selected.
void setup_combo_box(QComboBox* combo, const profile_parameter& source, bool integer_data);

// The value an input sends: the text of a line edit, the item data of a combo box's current
// item (empty without one).
QString input_value(const QWidget* widget);

// Makes current the item whose data, as text, is exactly data; without one no item is current
// and the result is false.
bool select_item_by_data(QComboBox* combo, const QString& data);

// Shows value in the input without its change signals: a value put there by the program is no
// edit by itself.
void show_input_value(QWidget* input, const QString& value);
// Whether the input can show value: a combo box only one of its items' data.
bool input_can_show(const QWidget* input, const QString& value);
// A value as the input shows it: an option's text rather than its code.
QString value_text(const QWidget* input, const QString& value);
