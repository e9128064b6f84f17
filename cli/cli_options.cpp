#include "cli_options.h"

#include "tracker_commands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

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
        {{"password-file"}, "FILE", "device password: the first line of FILE"},
        {{"master-password-file"}, "FILE", "master password: the first line of FILE"},
        {{"profile"}, "FILE", "command profile, profile.xml in the working directory by default"},
        {{"report"}, "FILE", "append one JSON line per tracker and command"},
        {{"v", "verbose"}, {}, "the link's traces on standard error"},
        {{"o", "output"}, "FILE", "read: write the configuration here; - is standard output"},
        {{"only"}, "KEYS", "read, diff, write: only these command keys (--only +APN,+SRV)"},
        {{"n", "count"},
         "COUNT",
         "watch: stop after COUNT device-state lines; provision: after COUNT trackers"},
        {{"format"},
         "FORMAT",
         "watch: text (the default), jsonl, csv or raw; history: csv (the default) or jsonl"},
        {{"identity"}, "KEY#N", "provision: the position that tells units apart (+IMEI#1)"},
        {{"vars"}, "CSV", "provision: values per unit, by identity"},
        {{"db"},
         "URL",
         "provision, history: sqlite:PATH (sqlite:provision.db by default) or "
         "postgresql://user@host:port/database"},
        {{"station"}, "NAME", "provision: the station's name in the records (the host's name)"},
        {{"force"}, {}, "provision: write units already verified with the same configuration"},
        {{"jobs"}, "N", "provision: trackers served at once, 16 by default"},
        {{"h", "help"}, {}, "show this help"},
        {{"version"}, {}, "show the version"},
    };
    return rows;
}

const char* const commands_help = R"(Commands:
  ports           list serial ports under a header line: name, description, manufacturer, USB
                  vendor:product id, serial number; "*" marks the port the configurator would
                  choose by itself
  read [-o FILE]  read every command of the profile's simple mode and write the configuration
                  file (standard output by default, or with -o -)
  diff FILE       read, then print each position that differs from FILE: key and position,
                  the parameter's label, the tracker's value, the file's value, an option's text
                  beside its code; read-only positions come last, under a heading line
  write FILE      read, write only the positions that differ from FILE, ask the tracker to save,
                  then read the written commands back and check every value
  set KEY#N=VALUE...
                  write single values (set +TRACK#1=60 +APN#1=internet) as write does, reading
                  and writing their commands only
  send COMMAND... send each raw command (for example "AT+VER=?") and print its reply line
  watch [-n COUNT] [--format text|jsonl|csv|raw]
                  switch the device-state stream on and print each decoded line as the
                  device-state page shows it, until COUNT lines or Ctrl+C; a value no record
                  has carried yet is null in jsonl, an empty field in csv; raw writes a
                  recording: every line as received, with its time
  provision FILE [--identity KEY#N] [--vars CSV] [--db URL] [--station NAME] [--count N]
                 [--force] [--jobs N]
                  the production station: on every port given with -p (without -p, every port
                  the configurator would choose by itself, also those that appear later), each
                  tracker plugged in is read, given FILE with its own row of --vars (matched by
                  the value at --identity, the profile's identity position by default), written
                  where it differs, saved, read back and verified, recorded in the database, and
                  told in one line "PORT IDENTITY verified|unverified|failed|skipped: detail";
                  then the next tracker is awaited on that port. A unit recorded as verified
                  with the same configuration is skipped unless --force. See
                  docs/provisioning.md
  history [--db URL] [--format csv|jsonl]
                  print the station's records

With several --port, every tracker gets its own link and they all work at the same time; -o
must then contain {port}, which is replaced by the port's file name (-o 'conf-{port}.json').
-o replaces a regular file only. diff - and write - read the file from standard input. --only
leaves the file's other commands aside. Every value of write and set is checked against the
profile before any port is opened: one it refuses sends nothing (exit 2). While a tracker is
worked on, standard error shows its phase (reading, writing, verifying) and its commands done
when it is a terminal. The password files keep the passwords out of the process list.
send refuses the closing command (AT+TEXT=...): tracker-cli sends it itself when it closes a link.

Exit status: 0 success; 1 diff found differences, write or set could not verify every value,
the tracker refused a command of send or the stream of watch, or provision left a unit
unverified or failed; 2 usage, profile or configuration
file error, or a refused value (nothing is sent), or an output that cannot be written; 3 link
error (the port cannot be opened in three tries, the handshake is refused twice, a command gets
no reply after the link's 21 tries). With several trackers, the worst of them. Ctrl+C closes
every link with its closing command and exits 3 (0 for watch, which ends as after its COUNT, and
for provision when no job was cut short).
Standard output that cannot be written (a full disk) ends every link the same way and exits 2;
a closed pipe (watch | head) ends watch with 0.
)";

const QMap<QString, cli_command>& command_names()
{
    static const QMap<QString, cli_command> names{
        {"ports", cli_command::ports},    {"read", cli_command::read},
        {"diff", cli_command::diff},      {"write", cli_command::write},
        {"set", cli_command::set},        {"send", cli_command::send},
        {"watch", cli_command::watch},    {"provision", cli_command::provision},
        {"history", cli_command::history}};
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
    const bool is_provision = command == cli_command::provision;
    const bool reads_profile_commands =
        is_read || command == cli_command::diff || command == cli_command::write;
    const bool station_option = parser.isSet("identity") || parser.isSet("vars") ||
                                parser.isSet("station") || parser.isSet("force") ||
                                parser.isSet("jobs");
    if (parser.isSet("output") && !is_read) {
        error = "-o belongs to read";
    } else if (parser.isSet("count") && !is_watch && !is_provision) {
        error = "-n belongs to watch and provision";
    } else if (parser.isSet("format") && !is_watch && command != cli_command::history) {
        error = "--format belongs to watch and history";
    } else if (parser.isSet("only") && !reads_profile_commands) {
        error = "--only belongs to read, diff and write";
    } else if (station_option && !is_provision) {
        error = "--identity, --vars, --station, --force and --jobs belong to provision";
    } else if (parser.isSet("db") && !is_provision && command != cli_command::history) {
        error = "--db belongs to provision and history";
    }
    return error.isEmpty();
}

// Why a raw command is not sent; empty when it may be.
QString send_fault(const QString& command)
{
    if (command.trimmed().isEmpty()) {
        return QStringLiteral("send: an empty COMMAND");
    }
    if (tracker_commands::ends_command_mode(command)) {
        return QStringLiteral("send: %1 returns the tracker to data mode, where it answers no "
                              "more commands; leave it out, tracker-cli sends it itself when it "
                              "closes the link")
            .arg(tracker_commands::masked(command));
    }
    return QString();
}

// "+KEY#N=VALUE"; the value may be empty and may hold anything, the value check judges it.
bool take_assignment(const QString& argument, QList<value_assignment>& assignments, QString& error)
{
    static const QRegularExpression form(QStringLiteral(R"(^(\+[^#=,\s]+)#(\d+)=(.*)$)"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(argument);
    value_assignment assignment{match.captured(1), 0, match.captured(3)};
    if (!match.hasMatch() || !read_positive(match.captured(2), assignment.position)) {
        error = QStringLiteral("set: +KEY#N=VALUE expected, not ") + argument;
        return false;
    }
    for (const value_assignment& given : assignments) {
        if (given.key == assignment.key && given.position == assignment.position) {
            error = QStringLiteral("set: %1#%2 is given twice").arg(given.key).arg(given.position);
            return false;
        }
    }
    assignments.append(assignment);
    return true;
}

// set reads and writes the commands it names, and no others.
bool take_assignments(cli_options& options, const QStringList& arguments, QString& error)
{
    if (arguments.isEmpty()) {
        error = "set needs at least one KEY#N=VALUE";
    }
    for (int i = 0; i < arguments.size() && error.isEmpty(); ++i) {
        take_assignment(arguments.at(i), options.assignments, error);
    }
    for (const value_assignment& assignment : options.assignments) {
        if (!options.only.contains(assignment.key)) {
            options.only.append(assignment.key);
        }
    }
    return error.isEmpty();
}

bool take_arguments(cli_options& options, const QStringList& arguments, QString& error)
{
    switch (options.command) {
    case cli_command::ports:
    case cli_command::read:
    case cli_command::watch:
    case cli_command::history:
        if (!arguments.isEmpty()) {
            error = "unexpected argument " + arguments.first();
        }
        break;
    case cli_command::diff:
    case cli_command::write:
    case cli_command::provision:
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
        for (int i = 0; i < arguments.size() && error.isEmpty(); ++i) {
            error = send_fault(arguments.at(i));
        }
        options.raw = arguments;
        break;
    case cli_command::set:
        take_assignments(options, arguments, error);
        break;
    }
    return error.isEmpty();
}

// An empty value (-p '') is a slip of the shell, never a port, file or password.
bool values_given(const QCommandLineParser& parser, QString& error)
{
    for (const option_row& row : option_rows()) {
        if (!row.value_name.isEmpty() && parser.values(row.names.last()).contains(QString())) {
            error = QStringLiteral("--%1 is empty").arg(row.names.last());
            return false;
        }
    }
    return true;
}

// The first line of the file, without its line end.
bool read_password_file(const QString& path, QString& password, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error =
            QStringLiteral("cannot read the password file %1: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray line = file.readLine();
    line.chop(line.endsWith("\r\n") ? 2 : line.endsWith('\n') ? 1 : 0);
    password = QString::fromUtf8(line);
    if (password.isEmpty()) {
        error = QStringLiteral("the password file %1 holds no password").arg(path);
    }
    return error.isEmpty();
}

// A password comes from its option or, kept out of the process list, from a file; not both.
bool take_password(const QCommandLineParser& parser, const QString& name, QString& password,
                   QString& error)
{
    const QString file_option = name + QStringLiteral("-file");
    if (parser.isSet(name) && parser.isSet(file_option)) {
        error = QStringLiteral("give --%1 or --%2, not both").arg(name, file_option);
    } else if (parser.isSet(name)) {
        password = parser.value(name);
    } else if (parser.isSet(file_option)) {
        read_password_file(parser.value(file_option), password, error);
    }
    return error.isEmpty();
}

bool take_values(const QCommandLineParser& parser, cli_options& options, QString& error)
{
    options.ports = parser.values("port");
    options.bluetooth = parser.isSet("bluetooth");
    options.verbose = parser.isSet("verbose");
    if (!values_given(parser, error) ||
        !take_password(parser, "password", options.password, error) ||
        !take_password(parser, "master-password", options.master_password, error)) {
        return false;
    }
    if (parser.isSet("profile")) {
        options.profile = parser.value("profile");
    }
    options.report = parser.value("report");
    // "-" is standard output, where a read goes without -o.
    options.output = parser.value("output") == "-" ? QString() : parser.value("output");
    options.only = parser.value("only").split(',', Qt::SkipEmptyParts);
    options.only.removeDuplicates();
    options.identity = parser.value("identity");
    options.vars = parser.value("vars");
    options.station = parser.value("station");
    options.force = parser.isSet("force");
    if (parser.isSet("db")) {
        options.database = parser.value("db");
    }
    if (parser.isSet("speed") && !read_positive(parser.value("speed"), options.speed)) {
        error = "--speed needs a positive number";
    } else if (parser.isSet("only") && options.only.isEmpty()) {
        error = "--only names no command key";
    } else if (parser.isSet("count") && !read_positive(parser.value("count"), options.count)) {
        error = "-n needs a positive number";
    } else if (parser.isSet("jobs") && !read_positive(parser.value("jobs"), options.jobs)) {
        error = "--jobs needs a positive number";
    } else if (parser.isSet("format")) {
        const QString format = parser.value("format");
        if (format == "text") {
            options.format = watch_format::text;
        } else if (format == "jsonl") {
            options.format = watch_format::jsonl;
        } else if (format == "csv") {
            options.format = watch_format::csv;
        } else if (format == "raw") {
            options.format = watch_format::raw;
        } else {
            error = "--format is text, jsonl, csv or raw";
        }
    }
    return error.isEmpty();
}

// Several trackers read at once write one file each.
bool outputs_apart(const cli_options& options, QString& error)
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

// Why a file that does not exist yet cannot be made; empty when it can.
QString folder_fault(const QString& path)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir()) {
        return QStringLiteral("no such folder");
    }
    return folder.isWritable() ? QString() : QStringLiteral("the folder cannot be written");
}

// -o replaces the file once the tracker is read; a FIFO or a device would be replaced by a file
// or written into, so only a regular file is.
QString output_fault(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return folder_fault(path);
    }
    if (!info.isFile()) {
        return info.isDir() ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
    }
    return info.isWritable() ? QString() : QStringLiteral("cannot be written");
}

// The report is appended to as each tracker ends.
QString report_fault(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return folder_fault(path);
    }
    if (info.isDir()) {
        return QStringLiteral("a folder");
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append)
               ? QString()
               : QStringLiteral("cannot be opened for appending: ") + file.errorString();
}

// The results are checked now, not when the trackers have been worked on.
bool files_fit(const cli_options& options, QString& error)
{
    if (options.command == cli_command::read && !options.output.isEmpty()) {
        for (const QString& port : options.ports) {
            const QString path = output_path(options, port);
            const QString fault = output_fault(path);
            if (!fault.isEmpty()) {
                error = QStringLiteral("-o %1: %2").arg(path, fault);
                return false;
            }
        }
    }
    const QString fault = options.report.isEmpty() ? QString() : report_fault(options.report);
    if (!fault.isEmpty()) {
        error = QStringLiteral("--report %1: %2").arg(options.report, fault);
    }
    return error.isEmpty();
}

// The device a port path names, so that a link or "./" does not hide a port given twice.
QString device_of(const QString& port)
{
    const QFileInfo info(port);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool ports_apart(const QStringList& ports, QString& error)
{
    QMap<QString, QString> given; // by device
    for (const QString& port : ports) {
        const QString device = device_of(port);
        if (given.contains(device)) {
            error =
                QStringLiteral("a port is given twice: %1 and %2").arg(given.value(device), port);
            return false;
        }
        given.insert(device, port);
    }
    return true;
}

// Where the tool would talk to trackers, and where their results go.
bool targets_fit(const cli_options& options, QString& error)
{
    if (options.command == cli_command::history) {
        if (options.format != watch_format::csv && options.format != watch_format::jsonl) {
            error = "history --format is csv or jsonl";
            return false;
        }
        return true;
    }
    if (options.command == cli_command::ports) {
        return true;
    }
    if (options.command == cli_command::provision) {
        // Without -p the station finds its ports itself.
        return ports_apart(options.ports, error) && files_fit(options, error);
    }
    if (options.ports.isEmpty()) {
        error = "no --port given";
        return false;
    }
    const bool several_outputs = options.command == cli_command::read && options.ports.size() > 1;
    if (options.format == watch_format::raw && options.ports.size() > 1) {
        // Two trackers' lines in one recording could not be told apart.
        error = "--format raw takes one --port";
        return false;
    }
    return ports_apart(options.ports, error) &&
           (!several_outputs || outputs_apart(options, error)) && files_fit(options, error);
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
    if (options.command == cli_command::history) {
        options.format = watch_format::csv;
    }
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
        // Wide enough for the longest, "--master-password-file FILE", and two spaces.
        text += left.leftJustified(31) + row.help + '\n';
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
