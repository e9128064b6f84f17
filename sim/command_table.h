#pragma once

#include "sim_profile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// A position whose numbers the tracker caps, as a device with a narrower range than its profile
// claims: a numeric value above max is kept, and answered, as max.
struct value_limit
{
    QString key;      // "+NAME"
    int position = 1; // from 1
    qint64 max = 0;
};

// The table key of a command name given with or without its leading "+".
QString command_key(const QString& name);

// The values the simulated tracker holds, per command, and their persistent form (a JSON object
// of command keys to value lists, the content of the state file).
class command_table
{
public:
    explicit command_table(const QList<sim_command>& commands = {},
                           const QList<value_limit>& clamps = {});

    // Look-up
    const sim_command* find(const QString& key) const;

    // Changes
    // Stores the non-empty values at their positions (values[0] is position 1), capped by the
    // limits. Positions the command does not have are ignored: a tracker keeps its own value
    // count.
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
    QString limited(const QString& key, int position, const QString& value) const;

    QList<sim_command> table;
    QList<value_limit> limits;
};
