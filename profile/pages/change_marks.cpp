#include "change_marks.h"

#include "page_records.h"
#include "parameter_value_store.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace {

const char* const mark_property = "change_mark";
const char* const refusal_property = "refusal_mark";
const char* const help_property = "field_help";

QColor tinted(const QPalette& palette, QPalette::ColorRole role)
{
    const QColor base = palette.color(role);
    const QColor highlight = palette.color(QPalette::Highlight);
    const auto mix = [](int a, int b) { return (a * 7 + b * 3) / 10; };
    return QColor(mix(base.red(), highlight.red()), mix(base.green(), highlight.green()),
                  mix(base.blue(), highlight.blue()));
}

QLabel* label_of(const QWidget* input)
{
    const QWidget* parent = input->parentWidget();
    const auto* form = parent ? qobject_cast<QFormLayout*>(parent->layout()) : nullptr;
    return form ? qobject_cast<QLabel*>(form->labelForField(const_cast<QWidget*>(input))) : nullptr;
}

const value_slot* slot_of(const parameter_value_store& store, const QPair<QString, int>& place)
{
    const command_values* record = store.find(place.first);
    if (!record) {
        return nullptr;
    }
    for (const value_slot& slot : record->value_slots) {
        if (slot.index == place.second) {
            return &slot;
        }
    }
    return nullptr;
}

// A style sheet of the input's own class only, so that a combo box's list keeps its look. It
// names the background too: under a style sheet the palette's tint would no longer show.
void show_refusal_frame(QWidget* input)
{
    // First without a sheet: its own background would otherwise be read back as the palette's.
    input->setStyleSheet(QString());
    if (refusal_mark(input).isEmpty()) {
        return;
    }
    const bool combo = qobject_cast<QComboBox*>(input);
    const QColor background = input->palette().color(combo ? QPalette::Button : QPalette::Base);
    input->setStyleSheet(
        QStringLiteral("%1 { border: 2px solid #e53935; background-color: %2; }")
            .arg(QLatin1String(combo ? "QComboBox" : "QLineEdit"), background.name()));
}

void show_tooltip(QWidget* input)
{
    QStringList parts;
    const QString reason = refusal_mark(input);
    if (!reason.isEmpty()) {
        parts << QStringLiteral("Значение не будет записано: ") + reason;
    }
    parts << input->property(help_property).toString();
    parts.removeAll(QString());
    input->setToolTip(parts.join(QStringLiteral("\n\n")));
}

} // namespace

// An empty palette or font inherits everything again from the parent.
void set_change_mark(QWidget* input, bool marked)
{
    if (has_change_mark(input) == marked) {
        return;
    }
    input->setProperty(mark_property, marked);
    QPalette palette;
    if (marked) {
        palette = input->palette();
        palette.setColor(QPalette::Base, tinted(palette, QPalette::Base));
        palette.setColor(QPalette::Button, tinted(palette, QPalette::Button));
    }
    input->setPalette(palette);
    show_refusal_frame(input);
    if (QLabel* label = label_of(input)) {
        QFont font;
        if (marked) {
            font = label->font();
            font.setBold(true);
        }
        label->setFont(font);
    }
}

// A label turned bold by a mark would widen its column and make the fields jump: its bold
// width is kept from the start.
void reserve_mark_width(const QWidget* input)
{
    if (QLabel* label = label_of(input)) {
        QFont bold = label->font();
        bold.setBold(true);
        const int width = QFontMetrics(bold).horizontalAdvance(label->text()) +
                          label->contentsMargins().left() + label->contentsMargins().right() +
                          2 * label->margin();
        label->setMinimumWidth(std::max(label->minimumWidth(), width));
    }
}

bool has_change_mark(const QWidget* input)
{
    return input->property(mark_property).toBool();
}

bool set_refusal_mark(QWidget* input, const QString& reason)
{
    if (refusal_mark(input) == reason) {
        return false;
    }
    input->setProperty(refusal_property, reason);
    show_tooltip(input);
    show_refusal_frame(input);
    return true;
}

QString refusal_mark(const QWidget* input)
{
    return input->property(refusal_property).toString();
}

void set_field_help(QWidget* input, const QString& help)
{
    input->setProperty(help_property, help);
    show_tooltip(input);
    if (QLabel* label = label_of(input)) {
        label->setToolTip(help);
    }
}

void simple_change_marks::refresh(const parameter_value_store& store,
                                  const parameter_places& places, const QString& key)
{
    for (t_simple_parameter* parameter : places.writers_of(key)) {
        refresh(store, *parameter);
    }
}

void simple_change_marks::refresh(const parameter_value_store& store, t_simple_parameter& parameter)
{
    if (parameter.widget) {
        set_change_mark(parameter.widget, needs_mark(store, parameter));
    }
}

void simple_change_marks::set_unconfirmed(const QString& key, int position)
{
    unconfirmed.insert({key, position});
}

void simple_change_marks::drop_unconfirmed(const t_simple_parameter& parameter)
{
    for (const position_entry& entry : parameter.entries.write) {
        unconfirmed.remove({entry.key, entry.index});
    }
}

// A new write of a position makes the tracker's earlier answer to it obsolete; an edit alone
// does not, as it may still be discarded.
bool simple_change_marks::needs_mark(const parameter_value_store& store,
                                     const t_simple_parameter& parameter)
{
    bool marked = false;
    for (const position_entry& entry : parameter.entries.write) {
        const auto place = qMakePair(entry.key, entry.index);
        if (const value_slot* slot = slot_of(store, place)) {
            if (slot->awaiting) {
                unconfirmed.remove(place);
            }
            marked = marked || slot->changed || slot->awaiting;
        }
        marked = marked || unconfirmed.contains(place);
    }
    return marked;
}
