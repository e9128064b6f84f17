#pragma once

#include "link_events.h"
#include "link_timings.h"
#include "tracker_protocol.h"

#include <QList>
#include <QMutex>
#include <QSerialPort>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

// The worker of one link to a tracker. It owns the serial port for the whole connection, keeps
// the link up (open, handshake, reopen after errors), executes the queued command strings one at
// a time and in order, and reports only through its five signals. It runs no event loop: every
// port operation is a bounded blocking wait on the worker thread. What travels on the wire is
// tracker_protocol's; the worker owns the thread, the loop, the queue and the port's life.
//
// Besides the five signals of the window's first design, it reports typed facts for callers to
// act on: one command_outcome per queued command, and link_changed for what happens to the link.
// When a link that was open is lost, the queued commands that would change the tracker are
// dropped: they were meant for the tracker that was there, not for whatever answers next.
//
// Use from the GUI thread: construct, set_port_params, connect the signals, start(); then
// slot_execute_cmd and request_exit at any time; delete after disconnected_gracefully once the
// thread has finished.
//
// How a port error's close is kept apart from the worker's own port use: the port is created in
// run() and touched only by the worker thread. Its error notification reaches handleSerialError
// queued, through the GUI thread's event loop. handleSerialError never touches the port; it only
// counts the error as a close request. Line reads, command exchanges and the handshake give up as
// soon as they see the request, and the worker closes the port itself at the top of its next
// iteration. So a close never overlaps a port operation and the GUI thread never waits on port
// I/O. Errors raised before the current port was opened but delivered after it are recognised by
// their count and leave the new link alone. When the thread is not running there is no port, and
// handleSerialError clears the flags at once.
//
// An exit request cuts the one-second retry pauses short, but never a command exchange or the
// handshake: a handshake under way still ends with its closing command.
class SerialPortThread : public QThread, private link_owner
{
    Q_OBJECT

public:
    SerialPortThread();
    ~SerialPortThread() override;

    // Called once, before start().
    void set_port_params(const QString& name, int speed, bool bt);
    // Ends the loop at the top of its next iteration; any thread may call it.
    void request_exit();
    // Appends to the command queue from any thread; the id comes back with the outcome.
    quint64 queue_command(const QString& cmd, bool changes_tracker);

signals:
    void set_status_text(QString status);
    void cmd_executed(QString command_to_execute, QString cmd_result);
    void handshake_ok();
    void disconnected_gracefully();
    void sensor_data(QString sd);
    void command_finished(command_outcome outcome);
    void link_changed(link_event event, QSerialPort::SerialPortError error);

public slots:
    void handleSerialError(QSerialPort::SerialPortError error);
    // Appends to the command queue; called directly from the GUI thread.
    void slot_execute_cmd(QString cmd);

protected:
    // Test seam: the link runs over `device` instead of a serial port and pauses through `pause`
    // instead of sleeping, so that a fake tracker keeps the time. The device stays the caller's.
    SerialPortThread(QIODevice& device, std::function<void(qint64 us)> pause);

    void run() override;

private:
    // The loop and its steps.
    void run_loop();
    bool link_ready();
    void process_queue();
    void finish_queue_head(command_outcome::kind result, const QString& reply = QString());
    void finish_queue(command_outcome::kind result, bool only_changing);
    void report_handshake_failure();
    void lose_link(QSerialPort::SerialPortError error);
    void listen_for_unsolicited_line(int& idle_count);
    void keep_link_alive(int& idle_count);

    // Close requests raised by port errors (see the class comment).
    bool close_requested() const;
    void close_if_requested();

    // What the protocol learns from the worker.
    bool link_lost() const override;
    bool exit_requested() const override;
    void report_status(const QString& text) override;
    void pause_us(qint64 us) override;

    // The port's life.
    void watch_errors(QSerialPort& serial_port);
    bool open_port();
    bool apply_port_settings();
    bool setting_applied(bool ok, const QString& message);
    void close_port();
    int port_error_code() const;

    const link_timings timings;
    QIODevice* const test_device = nullptr;
    const std::function<void(qint64 us)> test_pause;

    int fail_count = 0;
    // These exist only while run() runs; serial is the port when it is a serial port.
    QIODevice* port = nullptr;
    QSerialPort* serial = nullptr;
    tracker_protocol* protocol = nullptr;
    QString port_name;
    struct queued_command
    {
        quint64 id;
        QString text;
        bool changes_tracker;
    };
    QList<queued_command> cmd_queue;
    quint64 last_id = 0; // under queue_lock
    int port_speed = 115200;
    bool bt_connection = false;
    std::atomic<bool> connected{false};
    std::atomic<bool> handshake_done{false};
    std::atomic<bool> exit_flag{false};
    QMutex queue_lock;

    std::atomic<int> closing_errors_raised{0};  // counted on the worker thread as they happen
    std::atomic<int> closing_errors_handled{0}; // counted by handleSerialError
    std::atomic<int> last_closing_error{QSerialPort::NoError};
    int errors_raised_before_open = 0; // worker thread only
    int errors_acted_on = 0;           // worker thread only
};
