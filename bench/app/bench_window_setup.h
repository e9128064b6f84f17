#pragma once

#include <QStringList>

class QTemporaryDir;
class sim_process;

// Starts the simulated tracker with the sample profile and the given options, and prepares work
// as the window's working folder: the profile, and settings that connect to the tracker at
// start-up in expert mode. The window made next starts there. False after saying why.
bool prepare_window_with_tracker(sim_process& tracker, const QStringList& options,
                                 const QTemporaryDir& work);

// The soaks' length in seconds: the first argument, else TC_SOAK_SECONDS, else ten minutes.
int soak_seconds(int argc, char* argv[]);
// This process's resident memory, in MB; 0 where the system does not tell it.
double resident_mb();
