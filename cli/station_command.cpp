#include "station_command.h"

#include "console.h"
#include "interrupt_signal.h"
#include "tracker_job.h"

#include "provisioning_station.h"

#include <QDomDocument>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>

namespace {

void say(const QString& text)
{
    std::fprintf(stderr, "tracker-cli: %s\n", text.toUtf8().constData());
}

QString phase_name(station_phase phase)
{
    switch (phase) {
    case station_phase::reading:
        return QStringLiteral("reading");
    case station_phase::writing:
        return QStringLiteral("writing");
    case station_phase::verifying:
        return QStringLiteral("verifying");
    default:
        return QString();
    }
}

bool take_identity(const cli_options& options, provisioning_plan& plan, QString& error)
{
    switch (choose_identity(options.identity, plan)) {
    case identity_choice::taken:
        return true;
    case identity_choice::not_marked:
        error = QStringLiteral("the profile marks no identity position: give --identity KEY#N");
        return false;
    case identity_choice::malformed:
        error = QStringLiteral("--identity: KEY#N expected, not ") + options.identity;
        return false;
    case identity_choice::not_read:
        error = QStringLiteral("--identity: %1 is no position the profile's simple mode reads")
                    .arg(options.identity);
        return false;
    }
    return false;
}

// Everything of the plan is read and every value checked before any port is opened.
bool prepare_plan(const cli_options& options, const profile_loader& load_profile,
                  provisioning_plan& plan, QString& error)
{
    QDomDocument profile;
    if (!load_profile(options.profile, profile, error)) {
        return false;
    }
    plan.profile_name = QFileInfo(options.profile).fileName();
    plan.simple_pages = mode_pages(profile, true);
    plan.rules = value_rules::of_simple_pages(plan.simple_pages);
    // Ports found by the station may be Bluetooth links, whose frames are shorter.
    plan.frame = {options.password, options.master_password,
                  options.bluetooth || options.ports.isEmpty()};
    plan.force = options.force;
    if (!read_configuration_file(options.file, plan.file, &error)) {
        error = options.file + QStringLiteral(": ") + error;
        return false;
    }
    if (!take_identity(options, plan, error)) {
        return false;
    }
    if (!options.vars.isEmpty() && !read_unit_file(options.vars, plan, error)) {
        error = options.vars + QStringLiteral(": ") + error;
        return false;
    }
    const QStringList refused = refused_in_plan(plan);
    for (const QString& line : refused) {
        say(line);
    }
    if (!refused.isEmpty()) {
        error = QStringLiteral("%1 refused value(s), nothing written").arg(refused.size());
        return false;
    }
    return true;
}

bool open_records(const QString& url, std::unique_ptr<provisioning_records>& records,
                  QString& error)
{
    database_address address;
    if (!parse_database_address(url, address, error)) {
        error = QStringLiteral("--db: ") + error;
        return false;
    }
    records = std::make_unique<provisioning_records>(address);
    return records->open(error);
}

bool succeeded(const provisioning_result& result)
{
    return result.row.result == QLatin1String("verified") ||
           result.row.result == QLatin1String("skipped");
}

} // namespace

int run_provision(const cli_options& options, const profile_loader& load_profile)
{
    provisioning_plan plan;
    std::unique_ptr<provisioning_records> records;
    QString error;
    if (!prepare_plan(options, load_profile, plan, error) ||
        !open_records(options.database, records, error)) {
        say(error);
        return exit_usage;
    }
    station_settings settings;
    settings.name = options.station.isEmpty() ? QSysInfo::machineHostName() : options.station;
    settings.ports = options.ports;
    settings.speed = options.speed;
    settings.bluetooth = options.bluetooth;
    settings.count = options.count;
    settings.jobs = options.jobs;

    // Each line names its port itself: "PORT IDENTITY result: detail".
    console out(false, console::error_is_terminal());
    provisioning_station station(plan, *records, settings);
    bool all_succeeded = true;
    QObject::connect(&station, &provisioning_station::phase_changed, &station,
                     [&out](const QString& port, station_phase phase, int done, int total) {
                         const QString name = phase_name(phase);
                         if (name.isEmpty()) {
                             out.end_progress(port);
                         } else {
                             out.progress(port, name, done, total);
                         }
                     });
    QObject::connect(&station, &provisioning_station::note, &station,
                     [&out](const QString& port, const QString& text) {
                         out.note(QString(), port_label(port) + QStringLiteral(": ") + text);
                     });
    QObject::connect(&station, &provisioning_station::finished_one, &station,
                     [&](const QString& port, const provisioning_result& result) {
                         all_succeeded = all_succeeded && succeeded(result);
                         out.out(QString(), result_line(port_label(port), result));
                     });
    interrupt_signal interrupt;
    QObject::connect(&interrupt, &interrupt_signal::raised, &station, &provisioning_station::stop);
    out.on_output_failure = [&station] {
        QMetaObject::invokeMethod(&station, &provisioning_station::stop, Qt::QueuedConnection);
    };
    QEventLoop loop;
    QObject::connect(&station, &provisioning_station::stopped, &loop, &QEventLoop::quit);
    station.start();
    loop.exec();
    if (out.output_error() != 0) {
        say(QStringLiteral("cannot write to standard output: ") +
            qt_error_string(out.output_error()));
        return exit_usage;
    }
    if (station.cut_short() > 0) {
        return exit_link_error;
    }
    return all_succeeded ? exit_ok : exit_differences;
}

int run_history(const cli_options& options)
{
    std::unique_ptr<provisioning_records> records;
    QList<provisioning_row> rows;
    QString error;
    database_address address;
    // A mistyped file would otherwise be made, empty, and read as a station that did nothing.
    if (parse_database_address(options.database, address, error) &&
        address.driver == QLatin1String("QSQLITE") && !QFileInfo::exists(address.path)) {
        say(QStringLiteral("--db: %1: no such file").arg(address.shown()));
        return exit_usage;
    }
    if (!open_records(options.database, records, error) || !records->rows(rows, error)) {
        say(error);
        return exit_usage;
    }
    const QByteArray text =
        options.format == watch_format::jsonl ? rows_jsonl(rows) : rows_csv(rows);
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size())) {
        say(QStringLiteral("cannot write to standard output"));
        return exit_usage;
    }
    return exit_ok;
}
