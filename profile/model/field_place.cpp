#include "field_place.h"

namespace {

QString quoted(const QString& value)
{
    return QStringLiteral("«%1»").arg(value);
}

} // namespace

QString place_text(const field_place& place)
{
    if (place.group.isEmpty() || place.group == place.label) {
        return place.label + QStringLiteral(" — ") + place.page;
    }
    return QStringLiteral("%1 — %2 (%3)").arg(place.label, place.group, place.page);
}

QHash<QString, QString> block_titles(const QList<profile_page>& expert_pages)
{
    QHash<QString, QString> titles;
    for (const profile_page& page : expert_pages) {
        for (const profile_command& command : page.commands) {
            if (!titles.contains(command.command)) {
                titles.insert(command.command, command.description);
            }
        }
    }
    return titles;
}

QString block_title(const parameter_entries& entries, const QHash<QString, QString>& titles)
{
    const QList<position_entry>& shown = entries.read.isEmpty() ? entries.write : entries.read;
    return shown.isEmpty() ? QString() : titles.value(shown.first().key);
}

QString change_text(const unwritten_change& change)
{
    return QStringLiteral("%1: %2 → %3")
        .arg(place_text(change.place),
             change.held ? quoted(*change.held) : QStringLiteral("не считано"),
             quoted(change.wanted));
}
