#pragma once

#include "profile_reader.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the simulated tracker takes from a command profile: its commands with their initial
// values, the layouts of its device-state records, and how the configurator shows each record
// field (which is what makes a generated value plausible).

struct sim_command
{
    QString key;         // "+NAME", as the profile writes it
    bool master = false; // set commands must carry the master password
    QStringList values;  // position n (from 1) is values[n - 1]
};

struct sim_profile
{
    QList<sim_command> commands;
    QList<rawdata_spec> rawdata;
    QList<display_spec> displays;
};

// Reads both modes of the profile and merges them: a command known to either view is known, its
// value count is the larger of both views, its initial values come from "defaultvalue" (expert
// parameters first, simple-mode parameters fill positions still empty). On failure error says
// why and profile is untouched.
bool load_sim_profile(const QString& path, sim_profile& profile, QString& error);

// The merge alone, for callers that hold the pages already.
QList<sim_command> merge_commands(const QList<page_spec>& expert_pages,
                                  const QList<page_spec>& simple_pages);
