#include "position_entry.h"

#include "profile_log.h"

#include <QStringList>

bool parse_position_entry(const QString& entry, position_entry& parsed)
{
    const QStringList parts = entry.split(QLatin1Char(','));
    if (parts.size() < 2) {
        return false;
    }
    parsed.key = parts.at(0);
    parsed.index = parts.at(1).mid(1).toInt();
    if (!parsed.has_position()) {
        qCWarning(profile_log) << "Entry" << entry
                               << "names no value position; its command is read all the same";
    }
    return true;
}

QList<position_entry> parse_entry_list(const QString& list)
{
    QList<position_entry> entries;
    for (const QString& entry : list.split(QLatin1Char(';'))) {
        position_entry parsed;
        if (parse_position_entry(entry, parsed)) {
            entries.append(parsed);
        }
    }
    return entries;
}
