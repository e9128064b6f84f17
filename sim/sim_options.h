#pragma once

#include "command_table.h"
#include "device_commands.h"
#include "fault_settings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Everything the command line sets.
struct sim_config
{
    QString profile;
    QString port;
    QString transcript;
    QString state;
    QString control;
    QString replay; // a recording to serve as the stream instead of generated values
    bool bluetooth = false;
    QByteArray access_code;
    device_passwords passwords;
    QStringList refused_commands;
    QList<value_limit> limits;
    fault_settings faults;
    int stream_interval_ms = 1000;
};

enum class options_result
{
    run,
    help,  // text holds the help
    error, // text holds the message
};

// Reads the arguments (the program name first). Defaults: the configurator's access code and
// passwords, faults off.
options_result parse_sim_options(const QStringList& arguments, sim_config& config, QString& text);
