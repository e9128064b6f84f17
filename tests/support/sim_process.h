#pragma once

#include "sim_transcript.h"

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A simulated tracker (tracker-sim of this build) run by a test, on a port path in a temporary
// folder of its own with its transcript, state file and control FIFO beside it. Every wait
// processes events, so queued signals of the code under test keep arriving, and ends on its
// condition or its deadline, never on a fixed pause.
class sim_process
{
public:
    // Generous: the machines that run the tests are small and busy.
    static constexpr int default_timeout_ms = 20000;

    sim_process() = default;
    ~sim_process(); // stops a simulator that still runs
    sim_process(const sim_process&) = delete;
    sim_process& operator=(const sim_process&) = delete;

    // Starts the simulator with the profile (the simulator tests' own when empty) and the further
    // options, and waits until its device is plugged in.
    bool start(const QStringList& options = {}, const QString& profile = QString());
    // SIGTERM; true when the simulator ended with code 0 and its port link is gone.
    bool stop();
    bool running() const { return process.state() != QProcess::NotRunning; }
    // Why the last call failed, with what the simulator wrote to its error output.
    QString error() const { return last_error; }

    QString port_path() const { return directory.filePath(QStringLiteral("ttySIM")); }
    QString state_path() const { return directory.filePath(QStringLiteral("state.json")); }
    QString control_path() const { return directory.filePath(QStringLiteral("control.fifo")); }

    // Sends one control command (see sim/README.md) and waits until the simulator has carried it
    // out; false when it refused it.
    bool control(const QString& command);
    bool unplug(); // the port link is gone on return
    // A new pty is behind the port link on return; with a state file, another unit is: the
    // profile's values, then the file's.
    bool replug(const QString& unit_state = QString());

    sim_transcript transcript() const;
    bool wait_for(const std::function<bool(const sim_transcript&)>& condition,
                  int timeout_ms = default_timeout_ms);
    // Waits until at least count events named text are in the transcript.
    bool wait_for_event(const QString& text, int count = 1, int timeout_ms = default_timeout_ms);
    // The values in the state file, by command key ("+NAME").
    QMap<QString, QStringList> saved_values() const;

    static QString executable();
    static QString default_profile();

private:
    bool fail(const QString& message);
    QString transcript_path() const { return directory.filePath(QStringLiteral("transcript.txt")); }

    QTemporaryDir directory;
    QProcess process;
    QString last_error;
};
