#include "parameter_value_store.h"

#include "position_entry.h"

#include <QDebug>

#include <algorithm>

namespace {

const QString error_word = QStringLiteral("ERROR");

// A tracker error names no values: "+RESP:ERROR,KIND", or "+RESP:NAME,ERROR,KIND" as the
// tracker answers a command it refused. Storing the latter would show "ERROR" as a setting.
bool is_error_reply(const QStringList& fields)
{
    return fields.at(0) == error_word || (fields.size() > 1 && fields.at(1) == error_word);
}

} // namespace

void parameter_value_store::add_spec_entry(const QString& entry, bool master)
{
    position_entry parsed;
    if (!parse_position_entry(entry, parsed)) {
        return;
    }
    if (parsed.index < 1 || parsed.index > max_entry_position) {
        qWarning() << "Entry" << entry << "names no value position; ignored";
        return;
    }
    command_values* record = find_record(parsed.key);
    if (!record) {
        position_of_key.insert(parsed.key, command_list.size());
        command_list.append({parsed.key, {}, master});
        record = &command_list.last();
    }
    if (!find_slot(*record, parsed.index)) {
        insert_slot(*record, parsed.index);
    }
    record->master = record->master || master;
}

bool parameter_value_store::store_response_values(const QString& line)
{
    const QStringList parts = line.split(QLatin1Char(':'));
    if (parts.size() != 2 || parts.at(0) != QLatin1String("+RESP")) {
        return false;
    }
    const QStringList fields = parts.at(1).split(QLatin1Char(','));
    if (is_error_reply(fields)) {
        return false;
    }
    const QString key = QLatin1Char('+') + fields.at(0);
    for (int n = 1; n < fields.size(); ++n) {
        set_tracker_value(key, n, fields.at(n));
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
    slot->changed = false;
    slot->awaiting = false;
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
    const QString& password = record.master ? master_password : device_password;
    QString text =
        QStringLiteral("AT") + record.key + QLatin1Char('=') + password + QLatin1Char(',');
    bool has_value = false;
    int next_index = 1;
    for (const value_slot& slot : record.value_slots) {
        text.append(QString(slot.index - next_index, QLatin1Char(',')));
        if (slot.changed && !slot.tracker_only) {
            text.append(slot.value);
            has_value = true;
        }
        text.append(QLatin1Char(','));
        next_index = slot.index + 1;
    }
    return has_value ? text : QString();
}

QStringList parameter_value_store::build_read_commands() const
{
    QStringList commands;
    commands.reserve(command_list.size());
    for (const command_values& record : command_list) {
        commands.append(QStringLiteral("AT") + record.key + QStringLiteral("=?"));
    }
    return commands;
}

const command_values* parameter_value_store::find(const QString& key) const
{
    const auto found = position_of_key.constFind(key);
    return found == position_of_key.constEnd() ? nullptr : &command_list.at(*found);
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
    return *list.insert(at, value_slot{false, index, false, false, QString()});
}
