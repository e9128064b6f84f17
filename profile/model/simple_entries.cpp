#include "simple_entries.h"

#include "parameter_value_store.h"

parameter_entries entries_of(const profile_parameter& parameter)
{
    return {parse_entry_list(parameter.read), parse_entry_list(parameter.write)};
}

void register_parameter(const parameter_entries& entries, bool master, parameter_value_store& store)
{
    for (const QList<position_entry>* list : {&entries.read, &entries.write}) {
        for (const position_entry& entry : *list) {
            store.add_entry(entry, master);
        }
    }
}

void register_simple_pages(const QList<profile_page>& pages, parameter_value_store& store)
{
    for (const profile_page& page : pages) {
        for (const profile_parameter& parameter : page.parameters) {
            register_parameter(entries_of(parameter), parameter.master, store);
        }
    }
}

void for_each_place(const QList<profile_page>& pages,
                    const std::function<void(const profile_parameter& parameter, const QString& key,
                                             int position)>& visit)
{
    for (const profile_page& page : pages) {
        for (const profile_parameter& parameter : page.parameters) {
            const parameter_entries entries = entries_of(parameter);
            for (const position_entry& entry : entries.read + entries.write) {
                visit(parameter, entry.key, entry.index);
            }
        }
    }
}
