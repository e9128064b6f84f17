#pragma once

#include "recorded_boxes.h"
#include "sim_process.h"
#include "tab_xml_widget.h"
#include "unwritten_edits_prompt.h"

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class MainWindow;
class QAbstractButton;
class QLineEdit;

// The real main window, offscreen, run as an installer would run it: in a working directory of
// its own holding the end-to-end profile and a configuration that names a simulated tracker's
// port, with automatic connection, the device password 7395 and the master password 8642.
// Message boxes are recorded instead of shown unless the test asks for the real ones; the
// question about unwritten edits gets edits_question::answer and is counted.
class tracker_session
{
public:
    struct options
    {
        bool simple_mode = false;
        bool real_boxes = false;
        bool tracker = true; // see without_tracker()
        bool auto_connect = true;
        QStringList sim_options; // e.g. other passwords for the tracker than the window's
        QMap<QString, QStringList> tracker_values; // by command key, before the test
    };
    struct edits_question
    {
        static inline edits_answer answer = edits_answer::cancel;
        static inline int asked = 0;
    };

    ~tracker_session(); // closes the window, so no worker outlives the test
    bool start(const options& o);
    QString error() const { return last_error; }

    MainWindow& window() { return *main_window; }
    tab_xml_widget& pages();
    sim_process& tracker() { return sim; }
    QAbstractButton* connect_button();
    QAbstractButton* save_button();
    void trigger(const char* action);
    QStringList log() const; // newest first, without the time stamps
    QStringList boxes() const { return recorded_boxes::texts(); }

    bool controls_enabled();
    bool wait_until_ready(); // the handshake has enabled the pages' controls
    bool wait_until_idle();  // the link has ended and the window is back to its idle state
    bool wait_until_closed();
    // Waits until the tracker has received count commands after the first `since` and the
    // window has handled every reply so far; returns those commands.
    QStringList wait_for_commands(int since, int count);
    int command_count() const;

private:
    bool fail(const QString& message);
    bool replies_handled() const;

    sim_process sim;
    QTemporaryDir work;
    std::optional<recorded_boxes> box_recorder;
    std::unique_ptr<MainWindow> main_window;
    QString last_error;
};

// The tracker with values that differ from the profile's defaults, so that a poll shows in the
// inputs.
tracker_session::options tracker_with_values(bool simple_mode, const QStringList& sim_options = {});

// No port configured and no simulated tracker started.
tracker_session::options without_tracker(bool simple_mode, bool auto_connect = false);

QLineEdit* expert_edit(tab_xml_widget& pages, int tab, int cmd, int parameter);

// Simple mode: the input of a row.
template <typename T = QLineEdit>
T* simple_input(tab_xml_widget& pages, int tab, int row)
{
    return qobject_cast<T*>(pages.page_list[tab].parameters[row]->widget);
}

// Types over the whole text, as a user would.
void retype(QLineEdit* line, const QString& text);
