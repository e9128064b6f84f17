#include "cli_options.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QMap>

namespace {

struct option_row
{
    QStringList names;
    QString value_name; // empty for a switch
    QString help;
};

// Every option, once: the parser and the help text are both made from this table.
const QList<option_row>& option_rows()
{
    static const QList<option_row> rows{
        {{"p", "port"}, "PATH", "serial port; repeat it to work on several trackers in parallel"},
        {{"s", "speed"}, "N", "port speed, 115200 by default"},
        {{"b", "bluetooth"}, {}, "Bluetooth serial link (no handshake, longer silence limit)"},
        {{"password"}, "PW", "device password, 7395 by default"},
        {{"master-password"}, "PW", "master password, 7395 by default"},
        {{"profile"}, "FILE", "command profile, profile.xml in the working directory by default"},
        {{"report"}, "FILE", "append one JSON line per tracker and command"},
        {{"v", "verbose"}, {}, "the link's traces on standard error"},
        {{"o", "output"}, "FILE", "read: write the configuration here, not to standard output"},
        {{"n", "count"}, "COUNT", "watch: stop after COUNT device-state lines"},
        {{"format"}, "FORMAT", "watch: text (the default), jsonl or csv"},
        {{"h", "help"}, {}, "show this help"},
        {{"version"}, {}, "show the version"},
    };
    return rows;
}

const char* const commands_help = R"(Commands:
  ports           list serial ports: name, description, manufacturer, USB vendor:product id,
                  serial number; "*" marks the port the configurator would choose by itself
  read [-o FILE]  read every command of the profile's simple mode and write the configuration
                  file (standard output by default)
  diff FILE       read, then print each position that differs from FILE: key and position,
                  the parameter's label, the tracker's value, the file's value
  write FILE      read, write only the positions that differ from FILE, ask the tracker to save,
                  then read the written commands back and check every value
  send COMMAND... send each raw command (for example "AT+VER=?") and print its reply line
  watch [-n COUNT] [--format text|jsonl|csv]
                  switch the device-state stream on and print each decoded line as the
                  device-state page shows it, until COUNT lines or Ctrl+C

With several --port, every tracker gets its own link and they all work at the same time; -o
must then contain {port}, which is replaced by the port's file name (-o 'conf-{port}.json').

Exit status: 0 success; 1 diff found differences, or write could not verify every value;
2 usage, profile or configuration file error (nothing is sent); 3 link error (the port cannot be
opened in three tries, the handshake is refused twice, a command gets no reply after the link's
21 tries). With several trackers, the worst of them. Ctrl+C closes every link with its closing
command and exits 3 (0 for watch, which ends as after its COUNT).
)";

const QMap<QString, cli_command>& command_names()
{
    static const QMap<QString, cli_command> names{
        {"ports", cli_command::ports}, {"read", cli_command::read}, {"diff", cli_command::diff},
        {"write", cli_command::write}, {"send", cli_command::send}, {"watch", cli_command::watch}};
    return names;
}

bool read_positive(const QString& text, int& number)
{
    bool ok = false;
    number = text.toInt(&ok);
    return ok && number > 0;
}

// The options that belong to one command only.
bool options_fit_command(const QCommandLineParser& parser, cli_command command, QString& error)
{
    const bool is_read = command == cli_command::read;
    const bool is_watch = command == cli_command::watch;
    if (parser.isSet("output") && !is_read) {
        error = "-o belongs to read";
    } else if ((parser.isSet("count") || parser.isSet("format")) && !is_watch) {
        error = "-n and --format belong to watch";
    }
    return error.isEmpty();
}

bool take_arguments(cli_options& options, const QStringList& arguments, QString& error)
{
    switch (options.command) {
    case cli_command::ports:
    case cli_command::read:
    case cli_command::watch:
        if (!arguments.isEmpty()) {
            error = "unexpected argument " + arguments.first();
        }
        break;
    case cli_command::diff:
    case cli_command::write:
        if (arguments.size() != 1) {
            error = "one configuration FILE expected";
        } else {
            options.file = arguments.first();
        }
        break;
    case cli_command::send:
        if (arguments.isEmpty()) {
            error = "send needs at least one COMMAND";
        }
        options.raw = arguments;
        break;
    }
    return error.isEmpty();
}

bool take_values(const QCommandLineParser& parser, cli_options& options, QString& error)
{
    options.ports = parser.values("port");
    options.bluetooth = parser.isSet("bluetooth");
    options.verbose = parser.isSet("verbose");
    if (parser.isSet("password")) {
        options.password = parser.value("password");
    }
    if (parser.isSet("master-password")) {
        options.master_password = parser.value("master-password");
    }
    if (parser.isSet("profile")) {
        options.profile = parser.value("profile");
    }
    options.report = parser.value("report");
    options.output = parser.value("output");
    if (parser.isSet("speed") && !read_positive(parser.value("speed"), options.speed)) {
        error = "--speed needs a positive number";
    } else if (parser.isSet("count") && !read_positive(parser.value("count"), options.count)) {
        error = "-n needs a positive number";
    } else if (parser.isSet("format")) {
        const QString format = parser.value("format");
        if (format == "text") {
            options.format = watch_format::text;
        } else if (format == "jsonl") {
            options.format = watch_format::jsonl;
        } else if (format == "csv") {
            options.format = watch_format::csv;
        } else {
            error = "--format is text, jsonl or csv";
        }
    }
    return error.isEmpty();
}

// Several trackers read at once write one file each.
bool outputs_fit(const cli_options& options, QString& error)
{
    if (!options.output.contains("{port}")) {
        error = "with several ports, -o must contain {port}";
        return false;
    }
    QStringList names;
    for (const QString& port : options.ports) {
        names << port_label(port);
    }
    if (names.removeDuplicates() != 0) {
        error = "several ports have the same name, which {port} cannot tell apart";
    }
    return error.isEmpty();
}

// Where the tool would talk to trackers, and where their results go.
bool targets_fit(const cli_options& options, QString& error)
{
    if (options.command == cli_command::ports) {
        return true;
    }
    QStringList distinct = options.ports;
    if (options.ports.isEmpty()) {
        error = "no --port given";
    } else if (distinct.removeDuplicates() != 0) {
        error = "a port is given twice";
    } else if (options.command == cli_command::read && options.ports.size() > 1) {
        outputs_fit(options, error);
    }
    return error.isEmpty();
}

} // namespace

parse_outcome parse_options(const QStringList& arguments, cli_options& options, QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const option_row& row : option_rows()) {
        parser.addOption(QCommandLineOption(row.names, row.help, row.value_name));
    }
    if (!parser.parse(QStringList{"tracker-cli"} + arguments)) {
        error = parser.errorText();
        return parse_outcome::usage_error;
    }
    if (parser.isSet("help")) {
        return parse_outcome::help;
    }
    if (parser.isSet("version")) {
        return parse_outcome::version;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        error = "no command given";
        return parse_outcome::usage_error;
    }
    const QString name = positional.takeFirst();
    if (!command_names().contains(name)) {
        error = "unknown command " + name;
        return parse_outcome::usage_error;
    }
    options.command = command_names().value(name);
    const bool fits = take_values(parser, options, error) &&
                      options_fit_command(parser, options.command, error) &&
                      take_arguments(options, positional, error) && targets_fit(options, error);
    return fits ? parse_outcome::run : parse_outcome::usage_error;
}

QString help_text()
{
    QString text = "Usage: tracker-cli [options] COMMAND [ARGS]\n\n"
                   "Reads, writes, checks and watches trackers from the command line.\n\n"
                   "Options:\n";
    for (const option_row& row : option_rows()) {
        QStringList names;
        for (const QString& name : row.names) {
            names << (name.size() == 1 ? "-" : "--") + name;
        }
        QString left = "  " + names.join(", ");
        if (!row.value_name.isEmpty()) {
            left += ' ' + row.value_name;
        }
        text += left.leftJustified(28) + row.help + '\n';
    }
    return text + '\n' + commands_help;
}

QString command_name(cli_command command)
{
    return command_names().key(command);
}

QString port_label(const QString& port)
{
    return QFileInfo(port).fileName();
}

QString output_path(const cli_options& options, const QString& port)
{
    QString path = options.output;
    return path.replace("{port}", port_label(port));
}
