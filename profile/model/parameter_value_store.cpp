#include "parameter_value_store.h"

#include <algorithm>

namespace {

const QString error_word = QStringLiteral("ERROR");

} // namespace

void parameter_value_store::add_spec_entry(const QString& entry, bool master)
{
    position_entry parsed;
    if (parse_position_entry(entry, parsed)) {
        add_entry(parsed, master);
    }
}

void parameter_value_store::add_entry(const position_entry& entry, bool master)
{
    command_values* record = find_record(entry.key);
    if (!record) {
        position_of_key.insert(entry.key, command_list.size());
        command_list.append({entry.key, {}, master});
        record = &command_list.last();
    }
    if (entry.has_position() && !find_slot(*record, entry.index)) {
        insert_slot(*record, entry.index);
    }
    record->master = record->master || master;
}

bool parameter_value_store::store_response_values(const QString& line)
{
    return store_reply(tracker_commands::parse_reply(line));
}

// A refusal names no values, whatever its kind: storing "+RESP:NAME,ERROR,KIND" would show
// "ERROR" as a setting.
bool parameter_value_store::store_reply(const tracker_commands::reply& reply)
{
    if (!reply.carries_values() || reply.value(1) == error_word) {
        return false;
    }
    for (int n = 1; n <= reply.value_count(); ++n) {
        set_tracker_value(reply.key, n, reply.value(n));
    }
    return true;
}

void parameter_value_store::set_tracker_value(const QString& key, int index, const QString& value)
{
    command_values* record = find_record(key);
    if (!record || index < 1) {
        return;
    }
    value_slot* slot = find_slot(*record, index);
    if (!slot) {
        slot = &insert_slot(*record, index);
        slot->tracker_only = true;
    }
    slot->value = value;
    slot->tracker_value = value;
    slot->changed = false;
    slot->awaiting = false;
    record->reported = true;
}

void parameter_value_store::mark_value_changed(const QString& key, int index, const QString& value)
{
    command_values* record = find_record(key);
    value_slot* slot = record ? find_slot(*record, index) : nullptr;
    if (!slot) {
        return;
    }
    slot->value = value;
    slot->changed = true;
}

void parameter_value_store::clear_change_flags(const QString& key)
{
    for (command_values& record : command_list) {
        if (!key.isEmpty() && record.key != key) {
            continue;
        }
        for (value_slot& slot : record.value_slots) {
            slot.changed = false;
        }
    }
}

bool parameter_value_store::revert(const QString& key, int index)
{
    command_values* record = find_record(key);
    value_slot* slot = record ? find_slot(*record, index) : nullptr;
    if (!slot || !slot->tracker_value) {
        return false;
    }
    slot->value = *slot->tracker_value;
    slot->changed = false;
    return true;
}

void parameter_value_store::mark_writes_sent()
{
    for (command_values& record : command_list) {
        for (value_slot& slot : record.value_slots) {
            slot.awaiting = slot.changed && !slot.tracker_only;
            slot.changed = false;
        }
    }
}

void parameter_value_store::restore_refused(const QString& key)
{
    command_values* record = find_record(key);
    if (!record) {
        return;
    }
    for (value_slot& slot : record->value_slots) {
        slot.changed = slot.changed || slot.awaiting;
        slot.awaiting = false;
    }
}

QStringList parameter_value_store::build_write_commands(const QString& device_password,
                                                        const QString& master_password) const
{
    QStringList commands;
    for (const command_values& record : command_list) {
        const QString command = build_write_command(record, device_password, master_password);
        if (!command.isEmpty()) {
            commands.append(command);
        }
    }
    return commands;
}

// Every value goes to its own position: a position that no slot holds is sent empty, so the
// tracker keeps it, and the values after it are not shifted into its place.
QString parameter_value_store::build_write_command(const command_values& record,
                                                   const QString& device_password,
                                                   const QString& master_password) const
{
    QStringList values;
    bool has_value = false;
    for (const value_slot& slot : record.value_slots) {
        while (values.size() < slot.index - 1) {
            values.append(QString());
        }
        const bool written = slot.changed && !slot.tracker_only;
        values.append(written ? slot.value : QString());
        has_value = has_value || written;
    }
    if (!has_value) {
        return QString();
    }
    return tracker_commands::set(record.key, record.master ? master_password : device_password,
                                 values);
}

QStringList parameter_value_store::build_read_commands() const
{
    QStringList commands;
    commands.reserve(command_list.size());
    for (const command_values& record : command_list) {
        commands.append(tracker_commands::read(record.key));
    }
    return commands;
}

const command_values* parameter_value_store::find(const QString& key) const
{
    const auto found = position_of_key.constFind(key);
    return found == position_of_key.constEnd() ? nullptr : &command_list.at(*found);
}

const value_slot* parameter_value_store::find(const QString& key, int position) const
{
    const command_values* record = find(key);
    if (!record) {
        return nullptr;
    }
    for (const value_slot& slot : record->value_slots) {
        if (slot.index == position) {
            return &slot;
        }
    }
    return nullptr;
}

command_values* parameter_value_store::find_record(const QString& key)
{
    const auto found = position_of_key.constFind(key);
    return found == position_of_key.constEnd() ? nullptr : &command_list[*found];
}

value_slot* parameter_value_store::find_slot(command_values& record, int index)
{
    for (value_slot& slot : record.value_slots) {
        if (slot.index == index) {
            return &slot;
        }
    }
    return nullptr;
}

value_slot& parameter_value_store::insert_slot(command_values& record, int index)
{
    auto& list = record.value_slots;
    const auto at = std::lower_bound(list.begin(), list.end(), index,
                                     [](const value_slot& slot, int i) { return slot.index < i; });
    return *list.insert(at, value_slot{false, index, false, false, QString(), std::nullopt});
}
