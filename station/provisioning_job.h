#pragma once

#include "provisioning_plan.h"
#include "provisioning_records.h"
#include "tracker_link.h"

#include <QMetaType>
#include <QString>

#include <functional>

// Where a station's job on one port stands, for its tile and its progress line.
enum class station_phase
{
    waiting, // for a tracker to be plugged in
    connecting,
    reading,
    writing,
    verifying,
    finished, // a result is there; waiting for the tracker to be unplugged
    stopped
};
Q_DECLARE_METATYPE(station_phase)

// What one tracker got.
struct provisioning_result
{
    provisioning_row row;
    bool cut_short = false; // interrupted before it could finish its work
    bool recorded = false;  // the row is in the database
};
Q_DECLARE_METATYPE(provisioning_result)

// "PORT IDENTITY verified: 3 positions written", the line the tool prints for a tracker.
QString result_line(const QString& port_label, const provisioning_result& result);

struct job_feedback
{
    std::function<void(station_phase phase, int done, int total)> progress;
    std::function<void(const QString& identity)> identified;
    std::function<void(const QString& text)> note;
};

// One tracker on one port: handshake, read everything, identity, the unit's configuration,
// check, write what differs, save, read back, verify, record. Runs on the thread of its link.
class provisioning_job
{
public:
    provisioning_job(const provisioning_plan& plan, const provisioning_records& records,
                     tracker_link& link, const QString& port, const QString& station,
                     job_feedback feedback);
    provisioning_result run();

private:
    provisioning_result finish(const QString& result, const QString& detail);
    QString link_failure(); // closes the link

    const provisioning_plan& plan;
    const provisioning_records& records;
    tracker_link& link;
    const job_feedback feedback;
    provisioning_row row;
};
