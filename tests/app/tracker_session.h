#pragma once

#include "recorded_boxes.h"
#include "sim_process.h"

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class MainWindow;
class QCommandLinkButton;
class tab_xml_widget;

// The real main window, offscreen, run as an installer would run it: in a working directory of
// its own holding a profile and a configuration that names a simulated tracker's port. Message
// boxes are recorded instead of shown.
class tracker_session
{
public:
    struct options
    {
        bool simple_mode = false;
        bool auto_connect = true;
        QString device_password = QStringLiteral("7395");
        QString master_password = QStringLiteral("8642");
        QStringList sim_options;
        // Values the tracker holds before the test, by command key; they differ from the
        // profile's defaults so that a poll shows in the inputs.
        QMap<QString, QStringList> tracker_values;
    };

    tracker_session();
    ~tracker_session(); // ends a link that still runs, so no worker outlives the test

    // Starts the simulated tracker with the end-to-end profile, writes the configuration and
    // builds the window (which connects by itself when auto_connect is set).
    bool start(const options& o);
    QString error() const { return last_error; }

    MainWindow& window() { return *main_window; }
    tab_xml_widget& pages();
    sim_process& tracker() { return sim; }
    QCommandLinkButton* connect_button();
    QCommandLinkButton* save_button();
    QStringList log() const; // newest first, without the time stamps
    QStringList boxes() const { return recorded_boxes::texts(); }

    // Waits
    bool wait_for_log(const QString& line, int count = 1);
    bool controls_enabled(); // the pages' controls that start tracker traffic
    bool wait_until_ready(); // handshake done: the pages' controls are enabled
    // The link has ended and the window is back to its idle state.
    bool wait_until_idle(int timeout_ms = sim_process::default_timeout_ms);
    // Waits until the tracker has answered every command it received so far.
    bool wait_for_replies();
    // Waits until the tracker has received count commands after the first `since`, and then
    // until it has answered them; returns those commands.
    QStringList wait_for_commands(int since, int count);

    // Commands the tracker received since the given count (see tracker_commands()).
    QStringList tracker_commands_since(int count) const;
    int tracker_command_count() const;

    // Closes the window as the user would and waits until it is gone.
    bool close_window();

private:
    bool fail(const QString& message);

    sim_process sim;
    QTemporaryDir work;
    recorded_boxes box_recorder;
    std::unique_ptr<MainWindow> main_window;
    QString last_error;
};

// The end-to-end profile in tests/data.
QString e2e_profile_path();
