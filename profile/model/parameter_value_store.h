#pragma once

#include "position_entry.h"
#include "tracker_commands.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One value position of a tracker command.
struct value_slot
{
    bool tracker_only = false; // created by a reply, named by no entry: never written back
    int index = 0;             // 1 is the first value after the command name
    bool changed = false;      // edited by the user since it was last received or saved
    bool awaiting = false;     // written by a save; the tracker has not answered for it yet
    QString value;
    std::optional<QString> tracker_value; // as the tracker last reported it; none before that
};

// The known values of one tracker command. ("slots" is a Qt keyword, hence value_slots.)
struct command_values
{
    QString key;                   // "+NAME"
    QList<value_slot> value_slots; // ascending index, one per position
    bool master = false;           // written with the master password
    // The tracker, or a value given in its place, has reported the command: its empty values are
    // then known to be empty rather than unknown.
    bool reported = false;
};

// Simple mode: per tracker command, the last value of every position and whether the user has
// changed it. Filled from the profile's read and write entries, updated by replies and edits,
// and turned into the read and write commands.
class parameter_value_store
{
public:
    // Registration while the pages are built: the entry's command becomes known (and is read),
    // and its position gets a slot when the entry names one.
    void add_spec_entry(const QString& entry, bool master);
    void add_entry(const position_entry& entry, bool master);

    // Values from the tracker and from the user
    bool store_response_values(const QString& line);
    bool store_reply(const tracker_commands::reply& reply); // the same, for a reply already read
    void set_tracker_value(const QString& key, int index, const QString& value);
    void mark_value_changed(const QString& key, int index, const QString& value);
    void clear_change_flags(const QString& key);
    // The position takes the value the tracker last reported and is no longer changed; false, and
    // nothing changes, when the tracker has reported none.
    bool revert(const QString& key, int index);
    // After a save: the changed positions are no longer changed but await the tracker's answer.
    void mark_writes_sent();
    // The tracker refused the write of key: its awaiting positions are changed again, so that the
    // next save writes them once more.
    void restore_refused(const QString& key);

    // Commands
    QStringList build_write_commands(const QString& device_password,
                                     const QString& master_password) const;
    QString build_write_command(const command_values& record, const QString& device_password,
                                const QString& master_password) const;
    QStringList build_read_commands() const;

    // Read access, in the order the keys were first registered
    const QList<command_values>& records() const { return command_list; }
    const command_values* find(const QString& key) const;
    // The value at one position of a command; null when the store has no such position.
    const value_slot* find(const QString& key, int position) const;

    // Positions an entry may name.
    static constexpr int max_entry_position = position_entry::max_index;

private:
    command_values* find_record(const QString& key);
    static value_slot* find_slot(command_values& record, int index);
    static value_slot& insert_slot(command_values& record, int index);

    QList<command_values> command_list;
    QHash<QString, int> position_of_key;
};
