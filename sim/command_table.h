#pragma once

#include "sim_profile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The values the simulated tracker holds, per command, and their persistent form (a JSON object
// of command keys to value lists, the content of the state file).
class command_table
{
public:
    explicit command_table(const QList<sim_command>& commands = {});

    // Look-up
    const sim_command* find(const QString& key) const;
    const QList<sim_command>& commands() const { return table; }

    // Changes
    // Stores the non-empty values at their positions (values[0] is position 1). Positions the
    // command does not have are ignored: a tracker keeps its own value count.
    void store(const QString& key, const QStringList& values);

    // Persistence
    QByteArray to_state() const;
    // Takes the values of the commands the table knows; other keys are left out, a command's
    // value count stays as the profile gives it. False, with error, when data is not a state.
    bool load_state(const QByteArray& data, QString& error);
    bool save_file(const QString& path, QString& error) const;
    bool load_file(const QString& path, QString& error);

private:
    sim_command* find_mutable(const QString& key);

    QList<sim_command> table;
};
