#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the simulated tracker takes from a command profile: its commands with their initial
// values, the layouts of its device-state records, and how the configurator shows each record
// field (which is what makes a generated value plausible). Read with Qt Xml directly: the
// simulator checks the configurator's profile reading and must not share it.

struct sim_command
{
    QString key;         // "+NAME", as the profile writes it
    bool master = false; // set commands must carry the master password
    QStringList values;  // position n (from 1) is values[n - 1]
};

// One device-state record layout: its type number and its schema text.
struct record_layout
{
    int id = 0;
    QString schema;
};

// How one record field is shown on the device-state page.
struct field_display
{
    QString field;
    QString display_as;
    double multiplier = 1.0;
    double valid_min = 0.0;
    double valid_max = 0.0;
    QStringList option_ids; // the values a "select" display knows
};

struct sim_profile
{
    QList<sim_command> commands;
    QList<record_layout> layouts;
    QList<field_display> displays;
};

// Reads both modes of the profile and merges them: a command known to either view is known, its
// value count is the larger of both views, its initial values come from "defaultvalue" (expert
// parameters first, simple-mode parameters fill positions still empty). On failure error says
// why and profile is untouched.
bool load_sim_profile(const QString& path, sim_profile& profile, QString& error);
bool parse_sim_profile(const QByteArray& xml, sim_profile& profile, QString& error);
