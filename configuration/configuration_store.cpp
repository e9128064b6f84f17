#include "tracker_configuration.h"

#include "parameter_value_store.h"

#include <QDateTime>
#include <QHash>

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

configured_command command_from_record(const command_values& record)
{
    configured_command command{record.key, {}};
    for (const value_slot& slot : record.value_slots) {
        while (command.values.size() < slot.index - 1) {
            command.values.append(std::nullopt);
        }
        const bool known =
            record.reported || slot.changed || slot.awaiting || !slot.value.isEmpty();
        command.values.append(known ? std::optional<QString>(slot.value) : std::nullopt);
    }
    return command;
}

QString unknown_position(const QString& key, int position)
{
    return QStringLiteral("%1 position %2").arg(key).arg(position);
}

// Only a position that a write entry names is written, and never one that only the tracker
// reports.
configuration_difference checked_difference(const value_rules& rules, const QString& key,
                                            const value_slot& slot, const QString& current,
                                            const QString& wanted)
{
    const value_rule* rule = rules.find(key, slot.index);
    const bool writable = !slot.tracker_only && rule && rule->writable;
    return {key,    slot.index, current,
            wanted, writable,   writable ? check_value(*rule, wanted) : value_verdict{}};
}

// A value that passes alone may still make its command too long for a frame, together with the
// other values the same save writes to it.
void refuse_long_commands(const parameter_value_store& store, const command_frame& frame,
                          QList<configuration_difference>& differences)
{
    parameter_value_store written = store;
    apply_differences(written, differences);
    QHash<QString, value_verdict> command_verdicts;
    for (configuration_difference& difference : differences) {
        if (!difference.applicable()) {
            continue;
        }
        auto verdict = command_verdicts.constFind(difference.key);
        if (verdict == command_verdicts.constEnd()) {
            const QString command = written.build_write_command(
                *written.find(difference.key), frame.device_password, frame.master_password);
            verdict =
                command_verdicts.insert(difference.key, check_frame(command, frame.bluetooth));
        }
        difference.refusal = *verdict;
    }
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
                                               const tracker_configuration& configuration,
                                               const value_rules& rules, const command_frame& frame)
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
                    checked_difference(rules, command.key, *slot, slot->value, *wanted));
            }
        }
    }
    refuse_long_commands(store, frame, comparison.differences);
    return comparison;
}

QList<refused_value> refused_in_file(const parameter_value_store& store,
                                     const tracker_configuration& configuration,
                                     const value_rules& rules, const command_frame& frame)
{
    QList<configuration_difference> every_value;
    for (const configured_command& command : configuration.commands) {
        const command_values* record = store.find(command.key);
        for (int i = 0; record && i < command.values.size(); ++i) {
            const value_slot* slot = slot_at(*record, i + 1);
            if (slot && command.values.at(i)) {
                every_value.append(checked_difference(rules, command.key, *slot, QString(),
                                                      *command.values.at(i)));
            }
        }
    }
    refuse_long_commands(store, frame, every_value);
    QList<refused_value> refused;
    for (const configuration_difference& value : every_value) {
        if (value.writable && !value.refusal.passes()) {
            const value_rule* rule = rules.find(value.key, value.position);
            refused.append({value.key, value.position, value.wanted, rule ? rule->label : QString(),
                            value.refusal});
        }
    }
    return refused;
}

void apply_differences(parameter_value_store& store,
                       const QList<configuration_difference>& differences)
{
    for (const configuration_difference& difference : differences) {
        if (difference.applicable()) {
            store.mark_value_changed(difference.key, difference.position, difference.wanted);
        }
    }
}
