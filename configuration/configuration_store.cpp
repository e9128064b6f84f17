#include "tracker_configuration.h"

#include "parameter_value_store.h"

#include <QDateTime>

#include <algorithm>

namespace {

// Slots are kept in ascending position.
const value_slot* slot_at(const command_values& record, int position)
{
    const auto& list = record.value_slots;
    const auto found =
        std::lower_bound(list.begin(), list.end(), position,
                         [](const value_slot& slot, int index) { return slot.index < index; });
    return found != list.end() && found->index == position ? &*found : nullptr;
}

// The store keeps no mark of a reply. A value the user did not set, or a position only the
// tracker names, shows that one arrived; a reply carries the command's positions together, so its
// empty values are then known to be empty rather than unknown.
bool tracker_has_answered(const command_values& record)
{
    return std::any_of(
        record.value_slots.begin(), record.value_slots.end(), [](const value_slot& slot) {
            return slot.tracker_only || (!slot.value.isEmpty() && !slot.changed && !slot.awaiting);
        });
}

configured_command command_from_record(const command_values& record)
{
    configured_command command{record.key, {}};
    const bool answered = tracker_has_answered(record);
    for (const value_slot& slot : record.value_slots) {
        while (command.values.size() < slot.index - 1) {
            command.values.append(std::nullopt);
        }
        const bool known = answered || slot.changed || slot.awaiting || !slot.value.isEmpty();
        command.values.append(known ? std::optional<QString>(slot.value) : std::nullopt);
    }
    return command;
}

QString unknown_position(const QString& key, int position)
{
    return QStringLiteral("%1 position %2").arg(key).arg(position);
}

} // namespace

tracker_configuration configuration_from_store(const parameter_value_store& store,
                                               const QString& profile_name)
{
    tracker_configuration configuration;
    configuration.profile = profile_name;
    // The file holds whole seconds; so does the record, and a written file reads back the same.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    configuration.created = now.addMSecs(-now.time().msec());
    for (const command_values& record : store.records()) {
        configuration.commands.append(command_from_record(record));
    }
    return configuration;
}

configuration_comparison compare_configuration(const parameter_value_store& store,
                                               const tracker_configuration& configuration)
{
    configuration_comparison comparison;
    for (const configured_command& command : configuration.commands) {
        const command_values* record = store.find(command.key);
        if (!record) {
            comparison.unknown.append(command.key);
            continue;
        }
        for (int i = 0; i < command.values.size(); ++i) {
            const std::optional<QString>& wanted = command.values.at(i);
            if (!wanted) {
                continue;
            }
            const int position = i + 1;
            const value_slot* slot = slot_at(*record, position);
            if (!slot) {
                comparison.unknown.append(unknown_position(command.key, position));
            } else if (slot->value != *wanted) {
                comparison.differences.append(
                    {command.key, position, slot->value, *wanted, !slot->tracker_only});
            }
        }
    }
    return comparison;
}

void apply_differences(parameter_value_store& store,
                       const QList<configuration_difference>& differences)
{
    for (const configuration_difference& difference : differences) {
        if (difference.writable) {
            store.mark_value_changed(difference.key, difference.position, difference.wanted);
        }
    }
}
