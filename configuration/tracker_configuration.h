#pragma once

#include "value_check.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

class parameter_value_store;
struct profile_page;

// A tracker's simple-mode settings as a file: per command key, its values by position. The file
// lets an installer read one tracker, keep the result and put the same settings on others.

struct configured_command
{
    QString key;                          // "+NAME"
    QList<std::optional<QString>> values; // values[0] is position 1; nullopt: not known
};

struct tracker_configuration
{
    QString profile;   // the profile the values were read with; for people, not checked
    QDateTime created; // UTC; invalid when the file gave none
    QList<configured_command> commands;
};

// What the store holds now, in the store's order.
tracker_configuration configuration_from_store(const parameter_value_store& store,
                                               const QString& profile_name);

// The file
QByteArray configuration_json(const tracker_configuration& configuration);
bool write_configuration_file(const QString& path, const tracker_configuration& configuration,
                              QString* error);
// Nothing is set in configuration unless the whole text is accepted.
bool parse_configuration(const QByteArray& text, tracker_configuration& configuration,
                         QString* error);
bool read_configuration_file(const QString& path, tracker_configuration& configuration,
                             QString* error);
// Hex SHA-256 over the commands alone: the same values give the same hash whenever, and with
// whichever profile file, they were read. Reports and the station's records both use it.
QByteArray configuration_sha256(const tracker_configuration& configuration);

// Files larger than this are refused before they are read.
constexpr qint64 max_configuration_bytes = 4 * 1024 * 1024;

// The file against a store
struct configuration_difference
{
    QString key;
    int position = 0;      // 1 is the first value after the command name
    QString current;       // what the store holds
    QString wanted;        // what the file holds
    bool writable = false; // a write entry of the profile names the position
    value_verdict refusal; // why a writable position may not take the file's value

    bool applicable() const { return writable && refusal.passes(); }
};

struct configuration_comparison
{
    QList<configuration_difference> differences;
    QStringList unknown; // keys and positions the store does not know: "+FOO", "+APN position 7"
};

// A null in the file keeps the position as it is and is never a difference. A value for a
// writable position is checked against the rules, and so is the set command it would go out in.
configuration_comparison compare_configuration(const parameter_value_store& store,
                                               const tracker_configuration& configuration,
                                               const value_rules& rules,
                                               const command_frame& frame);
// The values of the file the check refuses at writable positions, found from the file alone
// before any tracker is read: each one as if it differed from what the store holds.
QList<refused_value> refused_in_file(const parameter_value_store& store,
                                     const tracker_configuration& configuration,
                                     const value_rules& rules, const command_frame& frame);
// Marks the applicable differences changed in the store, so that the next save writes them.
void apply_differences(parameter_value_store& store,
                       const QList<configuration_difference>& differences);

// The label people know a value by: the description of the first simple-mode parameter whose
// read or write entry names the key and position.
class parameter_labels
{
public:
    explicit parameter_labels(const QList<profile_page>& simple_pages);
    // Empty when no parameter names the position.
    QString label(const QString& key, int position) const;

private:
    QHash<QPair<QString, int>, QString> labels;
};
