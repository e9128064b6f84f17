#include "tracker_configuration.h"

#include "simple_entries.h"

parameter_labels::parameter_labels(const QList<profile_page>& simple_pages)
{
    for_each_place(simple_pages,
                   [this](const profile_parameter& parameter, const QString& key, int position) {
                       const auto place = qMakePair(key, position);
                       if (!parameter.description.isEmpty() && !labels.contains(place)) {
                           labels.insert(place, parameter.description);
                       }
                   });
}

QString parameter_labels::label(const QString& key, int position) const
{
    return labels.value(qMakePair(key, position));
}
