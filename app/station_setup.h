#pragma once

#include "provisioning_job.h"
#include "provisioning_plan.h"

#include <QString>
#include <QStringList>

// The station window's part without widgets: the plan from the installer's choices, what a
// port's tile says, and the counts of the run.

struct station_choices
{
    QString profile_path;
    QString configuration_path;
    QString csv_path;      // empty: every unit gets the configuration file
    QString identity_text; // "+IMEI#1"; empty: the position the profile marks
    command_frame frame;
};

// False with one line per problem: a file that cannot be read, no position that tells units
// apart, a value the check refuses. Nothing may start while there is one.
bool plan_from_choices(const station_choices& choices, provisioning_plan& plan,
                       QStringList& problems);

// "+IMEI#1", as the choice of the identity takes it; empty when the profile marks none.
QString position_text(const identity_position& position);

// What a port's tile says: its phase while a job runs, the result once it has one.
struct port_progress
{
    station_phase phase = station_phase::waiting;
    int done = 0;
    int total = 0;
    QString identity;
    QString result; // of the last job on the port, as the records hold it
    QString detail;
};
QString progress_text(const port_progress& port);
// "готово", "ошибка: no identity at +IMEI#1", "пропущен"
QString result_text(const QString& result, const QString& detail);

struct station_counts
{
    int done = 0;
    int failed = 0; // unverified ones too: the tracker does not hold what it should
    int skipped = 0;

    void add(const QString& result);
    QString text() const; // "Готово: 3   Ошибок: 1   Пропущено: 0"
};
