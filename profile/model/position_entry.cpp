#include "position_entry.h"

bool parse_position_entry(const QString& entry, position_entry& parsed)
{
    const QStringList parts = entry.split(QLatin1Char(','));
    if (parts.size() < 2) {
        return false;
    }
    parsed.key = parts.at(0);
    parsed.index = parts.at(1).mid(1).toInt();
    return true;
}

QStringList split_entry_list(const QString& list)
{
    return list.split(QLatin1Char(';'));
}
