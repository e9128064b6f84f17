#include "cli_app.h"

#include "cli_options.h"
#include "console.h"
#include "interrupt_signal.h"
#include "job_runner.h"
#include "position_names.h"
#include "station_command.h"
#include "tracker_job.h"

#include "parameter_value_store.h"
#include "port_list.h"
#include "profile_reader.h"
#include "simple_entries.h"
#include "wire_format.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

console* message_console = nullptr;
bool verbose_traces = false;

// The link's traces are shown with -v only, each with the port of the thread that wrote it.
void route_message(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if ((type == QtDebugMsg || type == QtInfoMsg) && !verbose_traces) {
        return;
    }
    if (message_console) {
        message_console->note(QThread::currentThread()->objectName(), message);
    } else {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

void say(const QString& text)
{
    std::fprintf(stderr, "tracker-cli: %s\n", text.toUtf8().constData());
}

int list_ports()
{
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    QList<port_entry> entries;
    for (const QSerialPortInfo& info : infos) {
        entries.append({info.portName(), info.description(), info.manufacturer()});
    }
    if (infos.isEmpty()) {
        say(QStringLiteral("no serial ports"));
    }
    t_settings chosen;
    choose_port(entries, chosen);
    std::printf("  PORT\tDESCRIPTION\tMANUFACTURER\tUSB ID\tSERIAL NUMBER\n");
    for (const QSerialPortInfo& info : infos) {
        const QString usb_id = info.hasVendorIdentifier() && info.hasProductIdentifier()
                                   ? QStringLiteral("%1:%2")
                                         .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                         .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
                                   : QStringLiteral("-");
        const QString mark =
            info.portName() == chosen.port_name ? QStringLiteral("*") : QStringLiteral(" ");
        const QStringList fields{info.systemLocation(), info.description(), info.manufacturer(),
                                 usb_id, info.serialNumber()};
        std::printf("%s %s\n", mark.toUtf8().constData(),
                    fields.join(QLatin1Char('\t')).toUtf8().constData());
    }
    return exit_ok;
}

// Where the values to write come from, as messages name it.
QString source_name(const cli_options& options)
{
    if (options.command == cli_command::set) {
        return QStringLiteral("set");
    }
    return options.file == QLatin1String("-") ? QStringLiteral("standard input") : options.file;
}

// set names positions to write: one that only a read entry names is refused like a bad value.
QList<refused_value> refused_read_only(const job_context& context)
{
    QList<refused_value> refused;
    for (const value_assignment& assignment : context.options.assignments) {
        const value_rule* rule = context.rules.find(assignment.key, assignment.position);
        if (!rule || !rule->writable) {
            refused.append({assignment.key,
                            assignment.position,
                            assignment.value,
                            rule ? rule->label : QString(),
                            {refusal_kind::read_only, 0}});
        }
    }
    return refused;
}

// The file alone tells which of its values the check refuses: a write then sends nothing at all,
// a diff warns and compares all the same.
bool check_file_values(job_context& context, QString& error)
{
    const cli_options& options = context.options;
    context.rules = value_rules::of_simple_pages(context.simple_pages);
    context.frame = {options.password, options.master_password, options.bluetooth};
    parameter_value_store store;
    register_commands(context, store);
    const QList<refused_value> refused =
        refused_in_file(store, context.file, context.rules, context.frame) +
        refused_read_only(context);
    const bool writing = options.command != cli_command::diff;
    for (const refused_value& value : refused) {
        say((writing ? QString() : QStringLiteral("warning: ")) + refused_value_text(value));
    }
    if (writing && !refused.isEmpty()) {
        error = QStringLiteral("%1: %2 refused value(s), nothing written")
                    .arg(source_name(options))
                    .arg(refused.size());
        return false;
    }
    return true;
}

// Every profile error names the file, so that it is not taken for one of a configuration file.
bool read_profile(const QString& path, QDomDocument& document, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    // One byte past the limit tells a file that is too large.
    if (!parse_profile(file.read(max_profile_size + 1), document, error)) {
        error = path + QStringLiteral(": ") + error;
        return false;
    }
    return true;
}

// "-" is standard input, read as a file is: up to the size limit.
bool read_file(const cli_options& options, tracker_configuration& file, QString& error)
{
    if (options.file != QLatin1String("-")) {
        return read_configuration_file(options.file, file, &error);
    }
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        error = input.errorString();
        return false;
    }
    return parse_configuration(input.read(max_configuration_bytes + 1), file, &error);
}

// The values of set, as a file that holds them alone.
tracker_configuration assigned_configuration(const QList<value_assignment>& assignments)
{
    tracker_configuration configuration;
    for (const value_assignment& assignment : assignments) {
        auto command = std::find_if(
            configuration.commands.begin(), configuration.commands.end(),
            [&](const configured_command& given) { return given.key == assignment.key; });
        if (command == configuration.commands.end()) {
            command = configuration.commands.insert(command, {assignment.key, {}});
        }
        while (command->values.size() < assignment.position) {
            command->values.append(std::nullopt);
        }
        command->values[assignment.position - 1] = assignment.value;
    }
    return configuration;
}

bool take_values_to_write(job_context& context, QString& error)
{
    const cli_options& options = context.options;
    if (options.command == cli_command::set) {
        context.file = assigned_configuration(options.assignments);
    } else if (!read_file(options, context.file, error)) {
        error = source_name(options) + QStringLiteral(": ") + error;
        return false;
    }
    if (!options.only.isEmpty()) {
        QList<configured_command>& commands = context.file.commands;
        commands.erase(std::remove_if(commands.begin(), commands.end(),
                                      [&](const configured_command& command) {
                                          return !options.only.contains(command.key);
                                      }),
                       commands.end());
    }
    return true;
}

// What set and --only name must be in the profile's simple mode; a typo reads nothing.
bool names_known(const job_context& context, QString& error)
{
    parameter_value_store store;
    register_simple_pages(context.simple_pages, store);
    for (const value_assignment& assignment : context.options.assignments) {
        if (!store.find(assignment.key, assignment.position)) {
            error = QStringLiteral("set: %1#%2 is no position of the profile's simple mode")
                        .arg(assignment.key)
                        .arg(assignment.position);
            return false;
        }
    }
    for (const QString& key : context.options.only) {
        if (!store.find(key)) {
            error =
                QStringLiteral("--only: %1 is no command of the profile's simple mode").arg(key);
            return false;
        }
    }
    return true;
}

// Everything a job needs that can be wrong on this side is read and checked before any port is
// opened, so that a mistake sends nothing.
bool prepare(job_context& context, QString& error)
{
    const cli_options& options = context.options;
    context.profile_name = QFileInfo(options.profile).fileName();
    if (options.command == cli_command::send) {
        for (const QString& command : options.raw) {
            if (wire::check_command(command.toUtf8(), options.bluetooth) !=
                wire::command_check::ok) {
                error = QStringLiteral("cannot be sent as one command: ") + command;
                return false;
            }
        }
        return true;
    }
    QDomDocument profile;
    if (!read_profile(options.profile, profile, error)) {
        return false;
    }
    if (options.command == cli_command::watch) {
        context.layouts = rawdata_layouts(profile);
        context.columns = state_columns_of(profile);
        return true;
    }
    context.simple_pages = mode_pages(profile, true);
    if (!names_known(context, error)) {
        return false;
    }
    return options.command == cli_command::read ||
           (take_values_to_write(context, error) && check_file_values(context, error));
}

// What was printed directly must have reached standard output, as the console's lines must; a
// reader that went away (--help | head) had what it wanted.
int with_stdout_flushed(int status)
{
    if ((std::fflush(stdout) == 0 && !std::ferror(stdout)) || errno == EPIPE) {
        return status;
    }
    say(QStringLiteral("cannot write to standard output: ") + qt_error_string(errno));
    return exit_usage;
}

// A reader that went away (watch | head) ends a watch as Ctrl+C does. Any other failed output
// lost what the tool was to show: a fault on this side, whatever the interrupted links reported.
int with_output_checked(const console& out, cli_command command, int status)
{
    const int error = out.output_error();
    if (error == 0 || (error == EPIPE && command == cli_command::watch)) {
        return status;
    }
    say(QStringLiteral("cannot write to standard output: ") + qt_error_string(error));
    return exit_usage;
}

int run_jobs(job_context& context)
{
    const cli_options& options = context.options;
    console out(options.ports.size() > 1, console::error_is_terminal());
    run_report report(options.report);
    std::once_flag csv_header;
    context.out = &out;
    context.report = &report;
    context.csv_header = &csv_header;
    message_console = &out;

    QList<link_settings> links;
    for (const QString& port : options.ports) {
        links.append({port, options.speed, options.bluetooth});
    }
    job_runner runner;
    interrupt_signal interrupt;
    QObject::connect(&interrupt, &interrupt_signal::raised, &runner, &job_runner::interrupt);
    out.on_output_failure = [&runner] { runner.interrupt(); };
    const int status = runner.run(links, [&context](const QString& port, tracker_link& link) {
        return tracker_job(context, port, link).run();
    });
    message_console = nullptr;
    return with_output_checked(out, options.command, status);
}

} // namespace

int run_tool(const QStringList& arguments)
{
    job_context context;
    QString error;
    switch (parse_options(arguments, context.options, error)) {
    case parse_outcome::help:
        std::printf("%s", help_text().toUtf8().constData());
        return with_stdout_flushed(exit_ok);
    case parse_outcome::version:
        std::printf("tracker-cli %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return with_stdout_flushed(exit_ok);
    case parse_outcome::usage_error:
        say(error + QStringLiteral(" (see tracker-cli --help)"));
        return exit_usage;
    case parse_outcome::run:
        break;
    }
    verbose_traces = context.options.verbose;
    qInstallMessageHandler(route_message);
    if (context.options.command == cli_command::ports) {
        return with_stdout_flushed(list_ports());
    }
    if (context.options.command == cli_command::history) {
        return with_stdout_flushed(run_history(context.options));
    }
    if (context.options.command == cli_command::provision) {
        return run_provision(context.options, read_profile);
    }
    if (!prepare(context, error)) {
        say(error);
        return exit_usage;
    }
    return run_jobs(context);
}
