#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for, checked before any port is opened.
enum class cli_command
{
    ports,
    read,
    diff,
    write,
    set,
    send,
    watch,
    provision,
    history
};

enum class watch_format
{
    text,
    jsonl,
    csv,
    raw // a recording (docs/recording-format.md): every line as received, with its time
};

// One value of set: "+TRACK#1=60".
struct value_assignment
{
    QString key; // "+NAME"
    int position = 0;
    QString value;
};

struct cli_options
{
    QStringList ports;
    int speed = 115200;
    bool bluetooth = false;
    QString password = QStringLiteral("7395");
    QString master_password = QStringLiteral("7395");
    QString profile = QStringLiteral("profile.xml");
    QString report;
    bool verbose = false;

    cli_command command = cli_command::ports;
    QString output;   // read -o; "{port}" stands for the port's file name; empty: standard output
    QString file;     // diff, write; "-": standard input
    QStringList only; // read, diff, write: the command keys worked on; empty: all; set: its keys
    QList<value_assignment> assignments;      // set
    QStringList raw;                          // send
    int count = 0;                            // watch -n, provision --count; 0: until interrupted
    watch_format format = watch_format::text; // watch; history: csv or jsonl

    // provision and history
    QString identity; // "+IMEI#1"; empty: the position the profile marks
    QString vars;     // the CSV of values per unit
    QString database = QStringLiteral("sqlite:provision.db");
    QString station; // the station's name in the records; empty: the host's
    bool force = false;
    int jobs = 16;
};

enum class parse_outcome
{
    run,
    help,
    version,
    usage_error
};

// arguments without the program name. On usage_error, error says what is wrong.
parse_outcome parse_options(const QStringList& arguments, cli_options& options, QString& error);
QString help_text();
// The command's name as it is typed.
QString command_name(cli_command command);

// The name a port is known by in output lines and in "{port}": its file name.
QString port_label(const QString& port);
// The output path of read for one port.
QString output_path(const cli_options& options, const QString& port);
