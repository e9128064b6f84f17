#include "provisioning_job.h"

#include "configuration_writer.h"
#include "parameter_value_store.h"
#include "position_names.h"
#include "simple_entries.h"

#include <QCoreApplication>

namespace {

QString value_at(const parameter_value_store& store, const identity_position& identity)
{
    const value_slot* slot = store.find(identity.key, identity.position);
    return slot ? slot->value.trimmed() : QString();
}

station_phase phase_named(const QString& phase)
{
    if (phase == QLatin1String("writing")) {
        return station_phase::writing;
    }
    return phase == QLatin1String("verifying") ? station_phase::verifying : station_phase::reading;
}

// "+APN,#1 "Точка доступа": wanted ..., the tracker holds ..."
QString unverified_detail(const write_result& result, const position_names& names)
{
    QStringList parts;
    for (const configuration_difference& difference : result.differences) {
        const QString name = position_name(difference.key, difference.position);
        if (result.unverified.contains(name)) {
            parts << names.place(difference.key, difference.position) + QStringLiteral(": ") +
                         result.unverified.value(name);
        }
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString result_line(const QString& port_label, const provisioning_result& result)
{
    const provisioning_row& row = result.row;
    return QStringLiteral("%1 %2 %3: %4")
        .arg(port_label, row.identity.isEmpty() ? QStringLiteral("-") : row.identity, row.result,
             row.detail);
}

provisioning_job::provisioning_job(const provisioning_plan& shared, const provisioning_records& db,
                                   tracker_link& tracker, const QString& port,
                                   const QString& station, job_feedback told)
    : plan(shared), records(db), link(tracker), feedback(std::move(told))
{
    row.station = station;
    row.port = port;
    row.tool_version = QCoreApplication::applicationVersion();
}

provisioning_result provisioning_job::run()
{
    row.started_at = QDateTime::currentDateTimeUtc();
    feedback.progress(station_phase::connecting, 0, 0);
    if (!link.open()) {
        return finish(QStringLiteral("failed"), link_failure());
    }
    configuration_writer writer(link, plan.rules, plan.frame,
                                {[this](const QString& phase, int done, int total) {
                                     feedback.progress(phase_named(phase), done, total);
                                 },
                                 [] {}, feedback.note});
    parameter_value_store store;
    register_simple_pages(plan.simple_pages, store);
    if (!writer.read(store)) {
        return finish(QStringLiteral("failed"), link_failure());
    }
    row.identity = value_at(store, plan.identity);
    feedback.identified(row.identity);
    if (row.identity.isEmpty()) {
        link.close();
        return finish(QStringLiteral("failed"), QStringLiteral("no identity at %1#%2")
                                                    .arg(plan.identity.key)
                                                    .arg(plan.identity.position));
    }
    const std::optional<tracker_configuration> configuration = plan.configuration_for(row.identity);
    if (!configuration) {
        link.close();
        return finish(QStringLiteral("failed"), QStringLiteral("no row"));
    }
    row.configuration_sha256 = configuration_sha256(*configuration);
    bool verified = false;
    QString error;
    if (!records.verified_before(row.identity, row.configuration_sha256, verified, error)) {
        link.close();
        return finish(QStringLiteral("failed"), QStringLiteral("nothing written: ") + error);
    }
    if (verified && !plan.force) {
        link.close();
        return finish(QStringLiteral("skipped"),
                      QStringLiteral("verified before with this configuration"));
    }
    const write_result result = writer.write(store, *configuration);
    row.positions_written = int(result.written.size());
    const position_names names(plan.simple_pages);
    if (!result.linked) {
        QStringList unsaved;
        for (const configuration_difference& difference : result.unsaved) {
            unsaved << names.place(difference.key, difference.position);
        }
        const QString failure = link_failure();
        return finish(QStringLiteral("failed"),
                      unsaved.isEmpty() ? failure
                                        : failure + QStringLiteral("; set but not saved: ") +
                                              unsaved.join(QStringLiteral(", ")));
    }
    link.close();
    if (!result.unverified.isEmpty()) {
        return finish(QStringLiteral("unverified"), unverified_detail(result, names));
    }
    const int written = int(result.written.size());
    return finish(QStringLiteral("verified"),
                  QStringLiteral("%1 position%2 written")
                      .arg(written)
                      .arg(written == 1 ? QString() : QStringLiteral("s")));
}

// The row goes to the database whatever the result: the records are the proof of each unit.
provisioning_result provisioning_job::finish(const QString& result, const QString& detail)
{
    row.finished_at = QDateTime::currentDateTimeUtc();
    row.result = result;
    row.detail = detail;
    provisioning_result outcome;
    outcome.cut_short = link.interrupted() && result == QLatin1String("failed");
    QString error;
    outcome.recorded = records.append(row, error);
    if (!outcome.recorded) {
        // A unit without its row has no proof of what it got: it counts as failed.
        row.result = QStringLiteral("failed");
        row.detail += QStringLiteral("; not recorded: ") + error;
    }
    outcome.row = row;
    feedback.progress(station_phase::finished, 0, 0);
    return outcome;
}

// The link's own words, after the link is closed: the tracker stays in a known mode.
QString provisioning_job::link_failure()
{
    const QString why = link.interrupted() ? QStringLiteral("interrupted") : link.error();
    link.close();
    return QStringLiteral("link error: ") + why;
}
