#include "sim_options.h"

#include <QCommandLineParser>

namespace {

const char* const description =
    "Simulated GNSS/GSM tracker on a pseudo-terminal.\n"
    "\n"
    "Serves the tracker side of the configurator's serial protocol on a pty whose slave is\n"
    "published as a symbolic link at --port. Commands and initial values come from the\n"
    "command profile. The link exists exactly while the device is plugged in.\n"
    "\n"
    "Control commands, one per line, written to the --control FIFO:\n"
    "  unplug | replug [STATE] | silent on|off | refuse-handshake on|off | reply-delay MS\n"
    "  byte-pause US | noise-lines N | noise-kind K | line-end E | long-line N\n"
    "  stream on|off | send TEXT\n"
    "Each one is acknowledged in the transcript as \"EV control <command>\".\n"
    "\n"
    "Transcript lines: \"<t> RX <hh>\" (a received byte), \"<t> TX <text>\" (a sent line,\n"
    "C-escaped), \"<t> EV <text>\" (an event); <t> is CLOCK_MONOTONIC in microseconds.";

struct fault_option
{
    const char* name;
    const char* help;
    const char* value; // nullptr: a switch that turns the fault on
};

const fault_option fault_options[] = {
    {"refuse-handshake", "Refuse the access code.", nullptr},
    {"silent", "Never answer commands.", nullptr},
    {"reply-delay", "Wait MS milliseconds before each reply.", "MS"},
    {"byte-pause", "Pause US microseconds between the bytes of a reply.", "US"},
    {"noise-lines", "Send N other lines before each reply.", "N"},
    {"noise-kind", "Kind of those lines: empty, text, sd or mixed (default text).", "KIND"},
    {"line-end", "Line end of sent lines: cr, crlf or lfcr (default crlf).", "END"},
    {"long-line", "Send one line of N bytes before each reply.", "N"},
};

void add_options(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QLatin1String(description));
    parser.addHelpOption();
    parser.addOptions({
        {"profile", "Command profile to serve (required).", "FILE"},
        {"port", "Path of the symbolic link to the serial device (required).", "PATH"},
        {"bluetooth", "Bluetooth link: no handshake, command mode from the start."},
        {"access-code", "Access code that enters command mode (default: the program's).", "CODE"},
        {"device-password", "Device password (default 7395).", "PW"},
        {"master-password", "Master password (default 7395).", "PW"},
        {"transcript", "Write every received byte, sent line and event to FILE.", "FILE"},
        {"state", "Keep saved values in FILE; loaded at start when present.", "FILE"},
        {"control", "Create the FIFO and read control commands from it.", "FIFO"},
        {"permission", "Answer NAME with a permission error (repeatable).", "NAME"},
        {"stream-interval", "Period of device-state lines (default 1000).", "MS"},
        {"replay",
         "Serve the recording FILE as the device-state stream, with its recorded gaps, over "
         "and over.",
         "FILE"},
        {"clamp",
         "Keep numbers written to position N of KEY at most MAX, as a tracker with a narrower "
         "range would (repeatable).",
         "KEY,N,MAX"},
    });
    for (const fault_option& fault : fault_options) {
        if (fault.value == nullptr) {
            parser.addOption({QLatin1String(fault.name), QLatin1String(fault.help)});
        } else {
            parser.addOption(
                {QLatin1String(fault.name), QLatin1String(fault.help), QLatin1String(fault.value)});
        }
    }
}

bool read_faults(const QCommandLineParser& parser, fault_settings& faults, QString& error)
{
    for (const fault_option& fault : fault_options) {
        const QString name = QLatin1String(fault.name);
        if (!parser.isSet(name)) {
            continue;
        }
        const QString value = fault.value == nullptr ? QStringLiteral("on") : parser.value(name);
        if (!faults.set(name, value, error)) {
            return false;
        }
    }
    return true;
}

bool read_interval(const QCommandLineParser& parser, int& interval, QString& error)
{
    if (!parser.isSet(QStringLiteral("stream-interval"))) {
        return true;
    }
    bool ok = false;
    interval = parser.value(QStringLiteral("stream-interval")).toInt(&ok);
    if (!ok || interval < 1) {
        error = QStringLiteral("--stream-interval needs a number of milliseconds above 0");
        return false;
    }
    return true;
}

// "KEY,N,MAX": a command, a position from 1 and an integer.
bool read_limit(const QString& text, value_limit& limit)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3 || parts[0].isEmpty()) {
        return false;
    }
    bool position_ok = false;
    bool max_ok = false;
    limit = {command_key(parts[0]), parts[1].toInt(&position_ok), parts[2].toLongLong(&max_ok)};
    return position_ok && max_ok && limit.position >= 1;
}

bool read_limits(const QCommandLineParser& parser, QList<value_limit>& limits, QString& error)
{
    for (const QString& text : parser.values(QStringLiteral("clamp"))) {
        value_limit limit;
        if (!read_limit(text, limit)) {
            error = QStringLiteral("--clamp needs KEY,N,MAX, not \"%1\"").arg(text);
            return false;
        }
        limits.append(limit);
    }
    return true;
}

// The code the tracker leaves the factory with: its own copy, not the configurator's, so that a
// wrong code on either side shows as a refused handshake. Like the configurator, the program
// never holds it as one literal.
QByteArray factory_access_code()
{
    return QByteArray::number(41827 * 100 + 63);
}

} // namespace

options_result parse_sim_options(const QStringList& arguments, sim_config& config, QString& text)
{
    QCommandLineParser parser;
    add_options(parser);
    if (!parser.parse(arguments)) {
        text = parser.errorText();
        return options_result::error;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        text = parser.helpText();
        return options_result::help;
    }
    config.profile = parser.value(QStringLiteral("profile"));
    config.port = parser.value(QStringLiteral("port"));
    if (config.profile.isEmpty() || config.port.isEmpty()) {
        text = QStringLiteral("--profile and --port are required (see --help)");
        return options_result::error;
    }
    config.transcript = parser.value(QStringLiteral("transcript"));
    config.state = parser.value(QStringLiteral("state"));
    config.control = parser.value(QStringLiteral("control"));
    config.replay = parser.value(QStringLiteral("replay"));
    config.bluetooth = parser.isSet(QStringLiteral("bluetooth"));
    config.access_code = parser.isSet(QStringLiteral("access-code"))
                             ? parser.value(QStringLiteral("access-code")).toUtf8()
                             : factory_access_code();
    if (parser.isSet(QStringLiteral("device-password"))) {
        config.passwords.device = parser.value(QStringLiteral("device-password"));
    }
    if (parser.isSet(QStringLiteral("master-password"))) {
        config.passwords.master = parser.value(QStringLiteral("master-password"));
    }
    config.refused_commands = parser.values(QStringLiteral("permission"));
    if (!read_faults(parser, config.faults, text) ||
        !read_interval(parser, config.stream_interval_ms, text) ||
        !read_limits(parser, config.limits, text)) {
        return options_result::error;
    }
    return options_result::run;
}
