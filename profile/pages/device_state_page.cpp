#include "device_state_page.h"

#include "page_frame.h"
#include "parameter_inputs.h"
#include "tab_xml_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

const QString device_state_title = QStringLiteral("Состояние устройства");

void add_columns(tab_xml_widget& owner, t_page& page)
{
    // The columns live in the scrolled content, so that long columns can be scrolled to.
    auto* grid = new QGridLayout;
    page.content_layout->addLayout(grid);
    page.content_layout->addStretch();
    for (int column = 0; column < device_state_columns; ++column) {
        t_state_column state_column;
        state_column.frame = new_frame(page.content, QFrame::Box, QFrame::Sunken);
        state_column.frame->setLineWidth(1);
        grid->addWidget(state_column.frame, 0, column, Qt::AlignTop);
        state_column.form_layout = new QFormLayout(state_column.frame);
        owner.state_columns.append(state_column);
    }
}

QWidget* new_value_widget(const profile_display& source, QWidget* parent)
{
    if (source.kind == display_kind::select) {
        auto* combo = new QComboBox(parent);
        for (const profile_display_option& option : source.options) {
            combo->addItem(option.text, option.id);
        }
        // Nothing is selected before the tracker has said anything.
        combo->setCurrentIndex(-1);
        return combo;
    }
    auto* edit = new QLineEdit(QStringLiteral("Значение"), parent);
    edit->setReadOnly(true);
    return edit;
}

void add_display_field(tab_xml_widget& owner, const t_state_column& column,
                       const profile_display& source)
{
    QFrame* frame = column.frame;
    auto* label = new QLabel(frame);
    if (source.kind == display_kind::splitter) {
        label->setText(QStringLiteral("<b>") + source.comment + QStringLiteral("</b>"));
        column.form_layout->addRow(new_frame(frame, QFrame::HLine, QFrame::Sunken), label);
        return;
    }
    label->setText(source.unit.isEmpty() ? source.comment
                                         : source.comment + QStringLiteral(", <b>") + source.unit +
                                               QStringLiteral("</b>"));
    const t_display_field display{source.multiplier,
                                  source.field,
                                  source.display_as,
                                  source.kind,
                                  source.valid_range_min,
                                  source.valid_range_max,
                                  new_value_widget(source, frame)};
    column.form_layout->addRow(label, display.widget);
    owner.display_fields.append(display);
}

} // namespace

void build_device_state_page(tab_xml_widget& owner, const QList<profile_rawdata>& rawdata,
                             const QList<profile_column>& columns)
{
    t_page& page = add_page(owner, device_state_title, QString(), false);
    page.polled = true;
    page.is_device_state = true;
    add_columns(owner, page);
    for (const profile_rawdata& source : rawdata) {
        owner.rawdata_list.append({source.id, source.schema});
    }
    for (int column = 0; column < columns.size(); ++column) {
        for (const profile_display& display : columns.at(column).displays) {
            add_display_field(owner, owner.state_columns.at(column), display);
        }
    }
    finish_page(page);
}

void show_text(const t_display_field& display, const QString& text)
{
    if (display.kind == display_kind::select) {
        auto* combo = static_cast<QComboBox*>(display.widget);
        if (!select_item_by_data(combo, text)) {
            select_item_by_data(combo, QStringLiteral("default"));
        }
        return;
    }
    // Only a line whose text changed is touched, so that only it is laid out and repainted.
    auto* edit = static_cast<QLineEdit*>(display.widget);
    if (edit->text() != text) {
        edit->setText(text);
    }
}

void mark_device_state_stale(tab_xml_widget& owner, bool stale)
{
    const QString note =
        stale ? QStringLiteral("Значение устарело: связь с трекером потеряна") : QString();
    for (const t_display_field& display : qAsConst(owner.display_fields)) {
        if (display.widget && display.widget->isEnabled() == stale) {
            display.widget->setEnabled(!stale);
            display.widget->setToolTip(note);
        }
    }
}
