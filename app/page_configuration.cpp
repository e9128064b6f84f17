#include "page_configuration.h"

#include "change_marks.h"
#include "parameter_inputs.h"
#include "tab_xml_widget.h"

#include <QHash>

namespace {

using position = QPair<QString, int>;

struct shown_place
{
    int tab = -1; // none: a position only the tracker reported
    QString label;
    QWidget* input = nullptr;
    bool writable = false;
};

// What the pages show, as a store the configuration library reads, and where each position shows.
struct shown_pages
{
    parameter_value_store store;
    QHash<position, shown_place> places;
};

// An input that writes the position names it best; else one that shows it.
const parameter_place* simple_place(const QList<parameter_place>& writers,
                                    const QList<parameter_place>& readers)
{
    if (!writers.isEmpty()) {
        return &writers.first();
    }
    return readers.isEmpty() ? nullptr : &readers.first();
}

// The store's values, and where neither the tracker nor the user gave one, the input's default.
shown_pages simple_pages_shown(const tab_xml_widget& pages)
{
    shown_pages shown{pages.value_store, {}};
    const tracker_configuration known = configuration_from_store(pages.value_store, QString());
    for (const configured_command& command : known.commands) {
        for (int i = 0; i < command.values.size(); ++i) {
            const position at{command.key, i + 1};
            const QList<parameter_place> writers = pages.places.writers(at.first, at.second);
            const QList<parameter_place> readers = pages.places.readers(at.first, at.second);
            const parameter_place* place = simple_place(writers, readers);
            if (!place) {
                continue;
            }
            QWidget* input = place->parameter->widget;
            shown.places.insert(
                at, {place->page, place->parameter->description, input, !writers.isEmpty()});
            if (!command.values.at(i)) {
                shown.store.set_tracker_value(at.first, at.second, input_value(input));
            }
        }
    }
    return shown;
}

// A read-only input's value is shown, so it is a position only the tracker writes.
shown_pages expert_pages_shown(const tab_xml_widget& pages)
{
    shown_pages shown;
    for (const t_page& page : pages.page_list) {
        for (const t_command& block : page.commands) {
            if (shown.store.find(block.command)) {
                continue;
            }
            shown.store.add_entry({block.command, 0}, block.master);
            for (int k = 0; k < block.parameters.size(); ++k) {
                const t_parameter& parameter = block.parameters.at(k);
                if (!parameter.widget) {
                    continue;
                }
                if (!parameter.readonly) {
                    shown.store.add_entry({block.command, k + 1}, false);
                }
                shown.store.set_tracker_value(block.command, k + 1, input_value(parameter.widget));
                shown.places.insert(
                    {block.command, k + 1},
                    {page.tab_index, parameter.description, parameter.widget, !parameter.readonly});
            }
        }
    }
    return shown;
}

shown_pages pages_shown(const tab_xml_widget& pages)
{
    return pages.is_simple_mode ? simple_pages_shown(pages) : expert_pages_shown(pages);
}

// The inputs that show the position, or failing those the ones that write it.
void show_in_simple_inputs(const tab_xml_widget& pages, const configuration_row& row)
{
    QList<parameter_place> places = pages.places.readers(row.key, row.position);
    if (places.isEmpty()) {
        places = pages.places.writers(row.key, row.position);
    }
    for (const parameter_place& place : places) {
        show_input_value(place.parameter->widget, row.wanted);
    }
}

} // namespace

tracker_configuration configuration_from_pages(const tab_xml_widget& pages,
                                               const QString& profile_name)
{
    return configuration_from_store(pages_shown(pages).store, profile_name);
}

page_comparison compare_with_pages(const tab_xml_widget& pages,
                                   const tracker_configuration& configuration)
{
    const shown_pages shown = pages_shown(pages);
    const configuration_comparison comparison =
        compare_configuration(shown.store, configuration, pages.rules,
                              {pages.device_password, pages.master_password, pages.bluetooth});
    page_comparison result;
    result.unknown = comparison.unknown;
    for (const configuration_difference& difference : comparison.differences) {
        const shown_place place = shown.places.value({difference.key, difference.position});
        const configuration_row row{place.tab,
                                    pages.page_list.value(place.tab).name,
                                    place.label,
                                    difference.key,
                                    difference.position,
                                    value_text(place.input, difference.current),
                                    value_text(place.input, difference.wanted),
                                    difference.wanted,
                                    place.input,
                                    difference.refusal};
        if (!difference.writable || !place.writable) {
            result.read_only.append(row);
        } else if (difference.applicable()) {
            result.rows.append(row);
        } else {
            result.refused.append(row);
        }
    }
    return result;
}

void apply_rows(tab_xml_widget& pages, const QList<configuration_row>& rows)
{
    for (const configuration_row& row : rows) {
        if (pages.is_simple_mode) {
            pages.value_store.mark_value_changed(row.key, row.position, row.wanted);
            show_in_simple_inputs(pages, row);
        } else {
            show_input_value(row.input, row.wanted);
            set_change_mark(row.input, true);
            // A first look at the page would poll it and overwrite the values from the file.
            pages.page_list[row.tab].polled = true;
        }
    }
    pages.refresh_change_marks();
}
