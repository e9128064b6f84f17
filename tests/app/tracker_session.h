#pragma once

#include "recorded_boxes.h"
#include "sim_process.h"
#include "tab_xml_widget.h"
#include "unwritten_edits_prompt.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class MainWindow;
class QAbstractButton;
class QLineEdit;

// The real main window, offscreen, run as an installer would run it: in a working directory of
// its own holding the end-to-end profile and a configuration with automatic connection, the
// device password 7395 and the master password 8642. Message boxes are recorded unless the test
// asks for the real ones; the question about unwritten edits gets edits_question::answer.
class tracker_session
{
public:
    struct edits_question
    {
        static inline edits_answer answer = edits_answer::cancel;
        static inline int asked = 0;
        static inline edits_kind kind = edits_kind::unwritten; // of the last question
    };

    ~tracker_session(); // closes the window, so no worker outlives the test
    // Against a simulated tracker holding values other than the profile's defaults, started with
    // sim_options (later options win, e.g. other passwords than the window's).
    bool start(bool simple_mode, const QStringList& sim_options = {});
    // No port configured and no tracker started: with auto_connect, the window waits for a port.
    bool start_without_tracker(bool simple_mode, bool auto_connect = false);
    void record_boxes(bool on) { on ? void(box_recorder.emplace()) : box_recorder.reset(); }

    MainWindow& window() { return *main_window; }
    tab_xml_widget& pages();
    sim_process& tracker() { return sim; }
    QAbstractButton* connect_button();
    QAbstractButton* save_button();
    void trigger(const char* action);
    QStringList log() const; // newest first, without the time stamps
    QStringList boxes() const { return box_recorder ? box_recorder->texts() : QStringList(); }

    bool controls_enabled();
    bool wait_until_ready(); // the handshake has enabled the pages' controls
    bool wait_until_idle();  // the link has ended and the window is back to its idle state
    bool wait_until_closed();
    // Waits until the tracker has received count commands after the first `since` and the
    // window has handled every reply so far; returns those commands. A time-out fails the test.
    QStringList wait_for_commands(int since, int count);

private:
    bool enter_work_directory();
    bool open_window(bool simple_mode, const QString& port, bool auto_connect);
    bool fail(const QString& message); // says why in the test's output
    bool replies_handled() const;

    sim_process sim;
    QTemporaryDir work;
    std::optional<recorded_boxes> box_recorder;
    std::unique_ptr<MainWindow> main_window;
};

// Simple mode: the input of a row.
template <typename T = QLineEdit>
T* simple_input(tab_xml_widget& pages, int tab, int row)
{
    return qobject_cast<T*>(pages.page_list[tab].parameters[row]->widget);
}

// Types over the whole text, as a user would.
void retype(QLineEdit* line, const QString& text);
