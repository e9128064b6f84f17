#include "parameter_places.h"

#include "page_records.h"

void parameter_places::build(const QList<t_page>& pages)
{
    for (int page = 0; page < pages.size(); ++page) {
        for (t_simple_parameter* parameter : pages.at(page).parameters) {
            if (!parameter->widget) {
                continue;
            }
            for (const position_entry& entry : parameter->entries.read) {
                read_places[{entry.key, entry.index}].append({page, parameter});
                command_reads[entry.key].append({parameter, entry});
            }
            for (const position_entry& entry : parameter->entries.write) {
                write_places[{entry.key, entry.index}].append({page, parameter});
                // A parameter's entries come together: a repeat is always the last one listed.
                QList<t_simple_parameter*>& list = command_writers[entry.key];
                if (list.isEmpty() || list.last() != parameter) {
                    list.append(parameter);
                }
            }
        }
    }
}

QList<parameter_place> parameter_places::readers(const QString& key, int position) const
{
    return read_places.value({key, position});
}

QList<parameter_place> parameter_places::writers(const QString& key, int position) const
{
    return write_places.value({key, position});
}

QList<t_simple_parameter*> parameter_places::writers_of(const QString& key) const
{
    return command_writers.value(key);
}

QList<QPair<t_simple_parameter*, position_entry>>
parameter_places::reads_of(const QString& key) const
{
    return command_reads.value(key);
}
