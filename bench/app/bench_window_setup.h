#pragma once

#include <QStringList>

class MainWindow;
class QTemporaryDir;
class sim_process;
class tab_xml_widget;

// Starts the simulated tracker with the sample profile and the given options, and prepares work
// as the window's working folder: the profile, and settings that connect to the tracker at
// start-up in expert mode. The window made next starts there. False after saying why.
bool prepare_window_with_tracker(sim_process& tracker, const QStringList& options,
                                 const QTemporaryDir& work);

// Waits for the window's handshake with the tracker, shows the device-state tab and waits until
// the tracker streams; the window's pages, or null after saying why.
tab_xml_widget* open_device_state(MainWindow& window, sim_process& tracker);

// The soaks' length in seconds: the first argument, else TC_SOAK_SECONDS, else ten minutes.
int soak_seconds(int argc, char* argv[]);
// This process's resident memory, in MB; 0 where the system does not tell it.
double resident_mb();
