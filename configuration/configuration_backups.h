#pragma once

#include "parameter_value_store.h"
#include "tracker_commands.h"
#include "tracker_configuration.h"

#include <QDateTime>
#include <QSet>
#include <QString>

// Every connection leaves a copy of the tracker's settings as they were read before anyone
// changed them: a configuration file in a folder of backups, named by the local date and time
// and the port, of which the newest kept_backups stay. Restoring one is loading it like any
// other configuration file.

constexpr int kept_backups = 50;

// Collects the replies of a connection's first poll, whatever the user edits meanwhile.
class connection_backup
{
public:
    // A new connection, whose poll reads every command of the store.
    void start(const parameter_value_store& pages_store);
    // True when reply was the last one the poll waited for; a refusal counts as an answer.
    // Replies to commands the poll has already had or never asked for change nothing.
    bool take_reply(const tracker_commands::reply& reply);
    tracker_configuration configuration(const QString& profile_name) const;

private:
    parameter_value_store answers; // every command, and the positions its reply carried
    QSet<QString> missing;
};

// "2026-12-06_14-05-09_ttyACM0.json": sorted by name, the newest is last.
QString backup_file_name(const QDateTime& local_time, const QString& port_name);

// "tracker_<identity>_2026-12-06_14-05-09.json" for a file the user saves, "tracker_2026-..." when
// the tracker's identity is not known; the identity in characters every file system takes.
QString configuration_file_name(const QString& identity, const QDateTime& local_time);

// Writes the backup into folder, made when missing, under a name no other backup has, then
// removes all but the newest kept_backups. A further backup within the same second is named
// "2026-12-06_14-05-09_ttyACM0_002.json", so that it sorts after the first.
bool write_backup(const QString& folder, const QString& port_name,
                  const tracker_configuration& configuration, QString* path, QString* error,
                  const QDateTime& local_time = QDateTime::currentDateTime());

// Only files named as backups are counted and removed.
void prune_backups(const QString& folder, int keep);
