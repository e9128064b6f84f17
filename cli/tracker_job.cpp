#include "tracker_job.h"

#include "console.h"
#include "device_state_view.h"
#include "parameter_value_store.h"
#include "recording_writer.h"
#include "simple_entries.h"
#include "tracker_commands.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// "refused: PASSWORD", with the kind as the tracker named it.
QString refusal_text(const tracker_commands::reply& reply)
{
    return QStringLiteral("refused: ") + reply.value(2);
}

QString csv_field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n'))) {
        return text;
    }
    QString escaped = text;
    return quoted(escaped.replace(QLatin1Char('"'), QStringLiteral("\"\"")));
}

QString utc_now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

// A recording on standard output. The writer fills a buffer that the console then takes, so that
// an output that fails is told as for every other format.
class recording_output
{
public:
    explicit recording_output(console& output) : out(output)
    {
        buffer.open(QIODevice::WriteOnly);
        QString error;
        writer.start(&buffer, error);
        pass_on();
    }

    // False for a line the format cannot carry, which is left out.
    bool append(const QString& line)
    {
        QString error;
        const bool written = writer.append(QDateTime::currentDateTimeUtc(), line.toUtf8(), error);
        pass_on();
        return written;
    }

private:
    void pass_on()
    {
        out.out_raw(buffer.data());
        buffer.buffer().clear();
        buffer.seek(0);
    }

    console& out;
    QBuffer buffer;
    recording_writer writer;
};

} // namespace

void register_commands(const job_context& context, parameter_value_store& store)
{
    const QStringList& only = context.options.only;
    const auto left_out = [&only](const position_entry& entry) {
        return !only.isEmpty() && !only.contains(entry.key);
    };
    for (const profile_page& page : context.simple_pages) {
        for (const profile_parameter& parameter : page.parameters) {
            parameter_entries entries = entries_of(parameter);
            for (QList<position_entry>* list : {&entries.read, &entries.write}) {
                list->erase(std::remove_if(list->begin(), list->end(), left_out), list->end());
            }
            register_parameter(entries, parameter.master, store);
        }
    }
}

tracker_job::tracker_job(const job_context& shared, const QString& port_path, tracker_link& tracker)
    : context(shared), port(port_path), link(tracker), names(shared.simple_pages),
      writer(tracker, shared.rules, shared.frame,
             {[this](const QString& phase, int done, int total) {
                  context.out->progress(port, phase, done, total);
              },
              [this] { context.out->end_progress(port); },
              [this](const QString& text) { context.out->note(port, text); }})
{
    entry.port = port;
}

int tracker_job::run()
{
    entry.command = command_name(context.options.command);
    entry.start = QDateTime::currentDateTimeUtc();
    if (!open_link()) {
        return link_error();
    }
    switch (context.options.command) {
    case cli_command::send:
        return run_send();
    case cli_command::read:
        return run_read();
    case cli_command::diff:
        return run_diff();
    case cli_command::write:
    case cli_command::set:
        return run_write();
    case cli_command::watch:
        return run_watch();
    case cli_command::ports:
    case cli_command::provision:
    case cli_command::history:
        break;
    }
    return exit_usage;
}

// ---- The commands

// Every reply is shown as it came; a refusal among them is told by the status.
int tracker_job::run_send()
{
    const QStringList replies =
        writer.execute(context.options.raw, nullptr, QStringLiteral("sending"));
    bool refused = false;
    for (const QString& reply : replies) {
        context.out->out(port, reply);
        refused = refused ||
                  tracker_commands::parse_reply(reply).refused != tracker_commands::refusal::none;
    }
    if (replies.size() < context.options.raw.size()) {
        return link_error();
    }
    link.close();
    return refused ? finish(exit_differences, QStringLiteral("refused"))
                   : finish(exit_ok, QStringLiteral("ok"));
}

int tracker_job::run_read()
{
    parameter_value_store store;
    if (!read_store(store)) {
        return link_error();
    }
    link.close();
    const tracker_configuration read = configuration_from_store(store, context.profile_name);
    const QByteArray bytes = configuration_json(read);
    entry.sha256 = configuration_sha256(read);
    if (context.options.output.isEmpty()) {
        context.out->out_raw(bytes);
    } else {
        QString error;
        const QString path = output_path(context.options, port);
        // A file that cannot be written is a mistake on this side, like a usage error; the
        // report keeps no line for a read whose result is lost.
        if (!write_configuration_file(path, read, &error)) {
            context.out->note(port, error);
            return exit_usage;
        }
        context.out->note(port, QStringLiteral("configuration written to %1").arg(path));
    }
    return finish(exit_ok, QStringLiteral("ok"));
}

int tracker_job::run_diff()
{
    parameter_value_store store;
    if (!read_store(store)) {
        return link_error();
    }
    link.close();
    const configuration_comparison comparison = writer.compare(store, context.file);
    QList<configuration_difference> read_only;
    for (const configuration_difference& difference : comparison.differences) {
        if (difference.writable) {
            print_difference(difference);
        } else {
            read_only << difference;
        }
    }
    // No write mends a read-only difference: those stand apart from the ones a write would send.
    if (!read_only.isEmpty()) {
        context.out->out(port, QStringLiteral("read-only, never written:"));
    }
    for (const configuration_difference& difference : read_only) {
        print_difference(difference);
    }
    if (comparison.differences.isEmpty()) {
        return finish(exit_ok, QStringLiteral("ok"));
    }
    return finish(exit_differences, QStringLiteral("differences"));
}

int tracker_job::run_write()
{
    parameter_value_store store;
    if (!read_store(store)) {
        return link_error();
    }
    const write_result result = writer.write(store, context.file);
    if (!result.linked) {
        tell_unsaved(result);
        return link_error();
    }
    link.close();
    for (const configuration_difference& difference : result.differences) {
        const QString name = position_name(difference.key, difference.position);
        if (result.unverified.contains(name)) {
            context.out->out(port, QStringLiteral("unverified %1: %2")
                                       .arg(names.place(difference.key, difference.position),
                                            result.unverified.value(name)));
            entry.positions << name;
        }
    }
    context.out->out(port, QStringLiteral("%1 of %2 differing positions written and verified")
                               .arg(result.verified())
                               .arg(result.differences.size()));
    entry.sha256 = read_sha256(store);
    if (result.unverified.isEmpty()) {
        return finish(exit_ok, QStringLiteral("ok"));
    }
    return finish(exit_differences, QStringLiteral("unverified"));
}

// Values the tracker took but may lose at its next restart are named, so that the write can be
// repeated.
void tracker_job::tell_unsaved(const write_result& result)
{
    QStringList unsaved;
    for (const configuration_difference& difference : result.unsaved) {
        unsaved << names.place(difference.key, difference.position);
    }
    if (!unsaved.isEmpty()) {
        context.out->note(port, QStringLiteral("set but not saved: ") +
                                    unsaved.join(QStringLiteral(", ")));
    }
}

int tracker_job::run_watch()
{
    const auto switched_on = link.execute(
        tracker_commands::streaming(context.options.password, tracker_commands::stream_mode::on));
    if (!switched_on) {
        return link_error();
    }
    const tracker_commands::reply reply = tracker_commands::parse_reply(*switched_on);
    if (reply.refused != tracker_commands::refusal::none) {
        // The stream stays off, so no line would ever come.
        context.out->note(port, reply.key + QLatin1Char(' ') + refusal_text(reply));
        link.close();
        return finish(exit_differences, QStringLiteral("refused"));
    }
    device_state_view view(context.layouts, context.columns);
    std::optional<recording_output> recorded;
    if (context.options.format == watch_format::raw) {
        recorded.emplace(*context.out);
    }
    int printed = 0;
    while (context.options.count == 0 || printed < context.options.count) {
        const std::optional<QString> line = link.next_state_line();
        if (!line) {
            break;
        }
        if (recorded) {
            printed += recorded->append(*line) ? 1 : 0;
        } else if (view.take_line(*line)) {
            print_state(view);
            ++printed;
        }
    }
    if (!link.interrupted() && context.options.count != printed) {
        return link_error();
    }
    // A Ctrl+C ends a watch as its count does: the stream is switched off and the port closed.
    link.execute(
        tracker_commands::streaming(context.options.password, tracker_commands::stream_mode::off),
        tracker_link::wait_mode::to_the_end);
    link.close();
    return finish(exit_ok, QStringLiteral("ok"));
}

// ---- Shared steps

bool tracker_job::open_link()
{
    if (context.options.verbose) {
        link.on_status = [this](const QString& text) { context.out->note(port, text); };
    }
    return link.open();
}

bool tracker_job::read_store(parameter_value_store& store)
{
    register_commands(context, store);
    return writer.read(store);
}

int tracker_job::link_error()
{
    context.out->note(port, QStringLiteral("link error: ") + link.error());
    link.close();
    return finish(exit_link_error, QStringLiteral("link error"));
}

int tracker_job::finish(int status, const QString& result)
{
    entry.end = QDateTime::currentDateTimeUtc();
    entry.result = result;
    QString error;
    if (!context.report->append(entry, error)) {
        context.out->note(port, error);
    }
    return status;
}

// +CALL,#1 "Входящие вызовы": tracker "0" (Отклонять), file "1" (Принимать)
void tracker_job::print_difference(const configuration_difference& difference)
{
    const auto shown = [&](const QString& value) {
        return names.value(difference.key, difference.position, value);
    };
    context.out->out(port, QStringLiteral("%1: tracker %2, file %3")
                               .arg(names.place(difference.key, difference.position),
                                    shown(difference.current), shown(difference.wanted)));
    entry.positions << position_name(difference.key, difference.position);
}

QByteArray tracker_job::read_sha256(const parameter_value_store& store) const
{
    return configuration_sha256(configuration_from_store(store, context.profile_name));
}

void tracker_job::print_state(const device_state_view& view)
{
    const QList<device_state_view::shown_value> values = view.shown();
    switch (context.options.format) {
    case watch_format::jsonl: {
        QJsonObject fields;
        // A value no record has carried yet is missing, not the page's "no data" text.
        for (const auto& value : values) {
            fields.insert(value.field, value.has_value ? QJsonValue(value.text) : QJsonValue());
        }
        const QJsonObject line{{QStringLiteral("port"), port},
                               {QStringLiteral("time"), utc_now()},
                               {QStringLiteral("values"), fields}};
        context.out->out_raw(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        return;
    }
    case watch_format::csv: {
        std::call_once(*context.csv_header, [&] {
            QStringList header{QStringLiteral("port"), QStringLiteral("time")};
            for (const QString& field : view.fields()) {
                header << csv_field(field);
            }
            context.out->out_raw(header.join(QLatin1Char(',')).toUtf8() + '\n');
        });
        QStringList row{csv_field(port), utc_now()};
        for (const auto& value : values) {
            row << (value.has_value ? csv_field(value.text) : QString());
        }
        context.out->out_raw(row.join(QLatin1Char(',')).toUtf8() + '\n');
        return;
    }
    case watch_format::text: {
        QStringList parts;
        for (const auto& value : values) {
            const bool unit_shown = value.has_value && !value.unit.isEmpty();
            const QString unit = unit_shown ? QLatin1Char(' ') + value.unit : QString();
            parts << value.label + QStringLiteral(": ") + value.text.trimmed() + unit;
        }
        context.out->out(port, parts.join(QStringLiteral("; ")));
        return;
    }
    case watch_format::raw: // written as received, never decoded
        return;
    }
}
