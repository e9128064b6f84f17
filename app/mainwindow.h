#pragma once

#include "link_session.h"
#include "profile_reader.h"
#include "t_settings.h"
#include "tracker_commands.h"
#include "write_verification.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class QDockWidget;
class QLabel;
class chart_view;
class Confirm_Dialog;
class session_backup;
class stream_recorder;
class command_console;
class link_indicator;
class parameter_search;
class port_waiter;
class station_window;
class tab_xml_widget;
class track_view;

namespace Ui {
class MainWindow;
}

// The program's only top-level window: the hub between the generated pages, the log and the
// serial worker of the current link.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The slot order is part of the window's meta-object interface; keep it.
public slots:
    void show_settings_window();
    void tracker_disconnected();
    void set_status_text(QString str);
    void slot_execute_cmd_ok(QString cmd, QString cmd_result);
    void slot_tracker_handshake_ok();
    void tracker_read_command(int tab_id, int cmd_id, QString cmd);
    void tracker_set_command(int tab_id, int cmd_id, QString cmd);
    void slot_on_tab_change(QStringList cmds, int tab_id);
    void get_sensor_data(QString sd);
    void show_replayed_line(const QString& sd, qint64 recorded_ms);

private slots:
    void on_commandLinkButton_clicked();
    void on_commandLinkButton_2_clicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void show_state_line(const QString& sd, qint64 time_ms, bool recorded);
    // Configuration file
    void load_settings();
    bool save_settings();
    bool open_settings(const QString& notice);
    void restore_layout();
    QSize default_size() const;

    // Connection control and command dispatch
    void toggle_connection();
    void start_tracker_thread();
    void disconnect_tracker();
    void send_command(const QString& cmd);
    void send_request(const QString& cmd, link_session::request_kind kind);
    void take_outcome(const command_outcome& outcome);
    void send_stream_switch(bool on);
    void poll_tab(int tab_id, const QStringList& cmds);

    // What happens to the link: said at once, and nothing written until a fresh poll
    void take_link_event(link_event event, QSerialPort::SerialPortError error);
    void lose_link(QSerialPort::SerialPortError error);
    void take_dropped_command(const QString& masked);
    void enable_after_fresh_poll();

    // Replies
    void parse_expert_response(const QString& cmd, const QString& cmd_result);
    bool fill_command_block(const tracker_commands::reply& reply);
    void process_simple_reply(const QString& line);
    void show_refusal(tracker_commands::refusal kind);
    void note_accepted_write(const QString& cmd, const tracker_commands::reply& reply);

    // Port choice at start-up when none is configured, and waiting for one to be plugged in
    void auto_select_port();
    void wait_for_port();
    void show_port_wait(int looks);
    void connect_to_found_port();

    // Comforts for the installer: a command console, parameter search, a log to keep, and
    // advice when a port does not open
    void add_console_and_search();
    void add_track();
    void add_charts();
    QDockWidget* add_dock(const QString& title, QWidget* content, Qt::DockWidgetArea area);
    void show_console();
    void show_search();
    void open_dock(QDockWidget* dock, int size, Qt::Orientation orientation);
    void take_console_reply(const QString& line);
    void save_log();
    void advise_on_open_failure(QSerialPort::SerialPortError error);
    void take_console_command(const QString& cmd);

    // The production station, in a window of its own, on ports this window lets go
    void open_station();
    bool release_link_for_station(std::function<void()> when_free);

    // Configuration files, edits that are never lost silently, and what a write left behind
    enum class next_step
    {
        none,
        close,
        disconnect,
        restart
    };
    enum class edits_settled
    {
        now,           // none, discarded, or kept in a file: the step may go on
        after_writing, // the step follows the tracker's answer to the save request
        cancelled
    };
    void add_configuration_actions();
    void update_configuration_actions();
    void save_configuration_to_file();
    QString tracker_identity() const;
    void load_configuration_from_file();
    edits_settled settle_edits(next_step step);
    void write_edits();
    bool writes_held_back(const QStringList& refused);
    void give_up_step(const QString& why);
    void take_step(next_step step);
    void restart_in_new_mode();
    void check_written_values(const QString& cmd, const tracker_commands::reply& reply);
    void after_reply(const tracker_commands::reply& reply);
    void show_unconfirmed_writes();

    Ui::MainWindow* ui;
    tab_xml_widget* pages_widget = nullptr;
    QLabel* status_label = nullptr;
    link_indicator* indicator = nullptr;
    identity_position identity; // from the profile: the position that tells trackers apart
    Confirm_Dialog* settings_dialog = nullptr;
    t_settings settings;
    link_session* session = nullptr;
    bool link_active = false;     // a worker runs and has not yet reported its end
    bool close_requested = false; // close the window once the link has ended
    bool link_ready = false;      // the handshake has enabled the pages
    bool link_was_lost = false;   // since the loss, nothing is written until a fresh poll
    int fresh_poll_left = 0;      // replies the poll after a loss still waits for
    bool sets_unsaved = false;    // expert mode: blocks set since the tracker last saved
    int written_since_save = 0;   // positions (simple) or blocks (expert) the tracker took
    next_step after_writing = next_step::none;
    QList<unconfirmed_write> unconfirmed; // since the last answer to a save request
    session_backup* backup = nullptr;     // simple mode: each connection's first poll
    stream_recorder* recorder = nullptr;

    command_console* console = nullptr;
    QDockWidget* console_dock = nullptr;
    parameter_search* search = nullptr;
    QDockWidget* search_dock = nullptr;
    track_view* track = nullptr;
    QDockWidget* track_dock = nullptr;
    chart_view* charts = nullptr;
    QDockWidget* charts_dock = nullptr;
    port_waiter* waiter = nullptr;
    bool open_advice_given = false; // once per link: the worker retries every second

    station_window* station = nullptr;    // made when first opened
    std::function<void()> after_link_end; // the station, waiting for the port
};
