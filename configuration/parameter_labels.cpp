#include "tracker_configuration.h"

#include "position_entry.h"
#include "profile_records.h"

parameter_labels::parameter_labels(const QList<profile_page>& simple_pages)
{
    for (const profile_page& page : simple_pages) {
        for (const profile_parameter& parameter : page.parameters) {
            if (parameter.description.isEmpty()) {
                continue;
            }
            const QList<position_entry> entries =
                parse_entry_list(parameter.read) + parse_entry_list(parameter.write);
            for (const position_entry& entry : entries) {
                const auto place = qMakePair(entry.key, entry.index);
                if (!labels.contains(place)) {
                    labels.insert(place, parameter.description);
                }
            }
        }
    }
}

QString parameter_labels::label(const QString& key, int position) const
{
    return labels.value(qMakePair(key, position));
}
