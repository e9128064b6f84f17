#pragma once

#include "command_table.h"

#include <QByteArray>
#include <QSet>
#include <QString>

// What a command asks of the rest of the simulator besides its reply.
enum class command_effect
{
    none,
    stream_on,
    stream_off,
    save,
    data_mode,
};

struct command_outcome
{
    QByteArray reply; // one line without its line end; empty: nothing is answered
    command_effect effect = command_effect::none;
    QString stored; // after a set: "+NAME v1,v2,...", for the transcript
};

struct device_passwords
{
    QString device = QStringLiteral("7395");
    QString master = QStringLiteral("7395");
};

// The tracker's command interpreter, free of any I/O: read commands "AT+NAME=?", set commands
// "AT+NAME=pw,v1,v2,...," and the built-in commands for saving, device-state streaming and
// leaving command mode.
class device_commands
{
public:
    device_commands(command_table& commands, const device_passwords& accepted,
                    const QStringList& refused_commands = {});

    command_outcome execute(const QByteArray& command);

private:
    command_outcome read(const QString& key) const;
    command_outcome set(const QString& key, const QStringList& arguments);
    command_outcome save(const QStringList& arguments) const;
    command_outcome stream(const QStringList& arguments) const;
    command_outcome leave_command_mode(const QStringList& arguments) const;

    command_table& table;
    device_passwords passwords;
    QSet<QString> refused; // keys answered with a permission error
};
