#include "simple_pages.h"

#include "field_place.h"
#include "page_frame.h"
#include "page_log.h"
#include "parameter_help.h"
#include "parameter_inputs.h"
#include "parameter_value_store.h"
#include "t_combo_box_ex.h"
#include "t_line_edit_ex.h"
#include "tab_xml_widget.h"

#include <QFormLayout>
#include <QLabel>

namespace {

std::unique_ptr<t_simple_parameter> parameter_of(const profile_parameter& source)
{
    auto parameter = std::make_unique<t_simple_parameter>();
    parameter->description = source.description;
    parameter->type = source.type;
    parameter->kind = source.kind;
    parameter->read = source.read;
    parameter->write = source.write;
    parameter->master = source.master;
    parameter->entries = entries_of(source);
    parameter->defaultvalue = source.defaultvalue;
    return parameter;
}

// A separator's description heads the parameters below it, like the device-state page's.
void add_separator(const QString& heading, t_page& page)
{
    page.form_layout->addRow(new_frame(page.form_frame, QFrame::HLine, QFrame::Sunken));
    if (!heading.isEmpty()) {
        auto* caption = new QLabel(heading, page.form_frame);
        caption->setTextFormat(Qt::PlainText);
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
        page.form_layout->addRow(caption);
    }
}

// Change slots are connected after the default is set: a default is not an edit.
QWidget* add_input(tab_xml_widget& owner, const profile_parameter& source, t_page& page,
                   t_simple_parameter* parameter)
{
    if (source.kind == parameter_kind::integer || source.kind == parameter_kind::string) {
        auto* edit = new t_line_edit_ex(page.form_frame);
        page.form_layout->addRow(source.description, edit);
        setup_line_edit(edit, source, &owner);
        edit->parameter = parameter;
        QObject::connect(edit, &QLineEdit::textEdited, &owner,
                         &tab_xml_widget::simple_text_changed);
        return edit;
    }
    if (source.kind == parameter_kind::option) {
        auto* combo = new t_combo_box_ex(page.form_frame);
        setup_combo_box(combo, source, false);
        page.form_layout->addRow(source.description, combo);
        combo->parameter = parameter;
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        // The text form of the signal is the deprecated overload; the slot reads the item data.
        QObject::connect(combo, SIGNAL(currentIndexChanged(QString)), &owner,
                         SLOT(simple_combo_box_changed(QString)));
#else
        // Qt 6 has no text form of the signal; the change is tracked by the item data all the same.
        QObject::connect(combo, &QComboBox::currentIndexChanged, &owner, [&owner, combo] {
            owner.track_simple_change(combo->parameter, combo->currentData().toString());
        });
#endif
        return combo;
    }
    return nullptr;
}

// A separator registers its entries too, but is no parameter of the page.
void add_simple_parameter(tab_xml_widget& owner, const profile_parameter& source,
                          const QString& heading, const QHash<QString, QString>& titles,
                          t_page& page, std::vector<std::unique_ptr<t_simple_parameter>>& owned)
{
    auto parameter = parameter_of(source);
    register_parameter(parameter->entries, parameter->master, owner.value_store);
    if (source.kind == parameter_kind::splitter) {
        add_separator(heading, page);
        return;
    }
    parameter->group = heading.isEmpty() ? block_title(parameter->entries, titles) : heading;
    parameter->widget = add_input(owner, source, page, parameter.get());
    if (parameter->widget) {
        owner.prepare_field(parameter->widget, source,
                            simple_route(parameter->entries, parameter->master));
    }
    page.parameters.append(parameter.get());
    owned.push_back(std::move(parameter));
}

void show_value(const t_simple_parameter& parameter, const QString& value)
{
    if (parameter.kind == parameter_kind::option) {
        select_item_by_data(static_cast<QComboBox*>(parameter.widget), value);
    } else {
        static_cast<QLineEdit*>(parameter.widget)->setText(value);
    }
}

} // namespace

void build_simple_pages(tab_xml_widget& owner, const QList<profile_page>& pages,
                        const QHash<QString, QString>& titles,
                        std::vector<std::unique_ptr<t_simple_parameter>>& owned)
{
    for (const profile_page& source : pages) {
        t_page& page = add_page(owner, source.name, source.id, true);
        QString heading;
        for (const profile_parameter& parameter : source.parameters) {
            qCDebug(pages_log) << parameter.description;
            if (parameter.kind == parameter_kind::splitter) {
                heading = parameter.description;
            }
            add_simple_parameter(owner, parameter, heading, titles, page, owned);
        }
        finish_page(page);
    }
}

void apply_reply(const parameter_places& places, const tracker_commands::reply& reply)
{
    for (const auto& [parameter, entry] : places.reads_of(reply.key)) {
        if (entry.has_position() && entry.index <= reply.value_count()) {
            show_value(*parameter, reply.value(entry.index));
        }
    }
}

void mark_written(const t_simple_parameter& parameter, const QString& value,
                  parameter_value_store& store)
{
    for (const position_entry& entry : parameter.entries.write) {
        store.mark_value_changed(entry.key, entry.index, value);
    }
}
