#pragma once

#include "link_session.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class QEventLoop;

// How long the tool keeps trying to reach a tracker before it calls the link broken, and how
// long it waits for anything at all: every wait has a deadline.
struct link_limits
{
    int open_attempts = 3;      // one a second
    int handshake_attempts = 2; // each about 3.5 s with its pause
    int ready_ms = 30000;       // the whole way to a ready link
    int close_ms = 30000;       // the worker finishes the exchange under way first
    // One command: the worker gives up after 21 silent tries of about 1.2 s each (ten times
    // longer on Bluetooth); this only guards against a worker that never reports.
    int command_ms = 60000;
    int bluetooth_command_ms = 400000;
    int state_line_ms = 60000; // a streaming tracker sends a line a second
};

// One link to one tracker, driven step by step over a link session. It waits for what the
// session reports, on the thread that created it: its waits run that thread's event loop.
class tracker_link : public QObject
{
    Q_OBJECT

public:
    enum class wait_mode
    {
        interruptible,
        to_the_end // the closing steps: a Ctrl+C must not cut them short
    };

    explicit tracker_link(const link_settings& settings);
    ~tracker_link() override; // closes the link

    // Starts the worker and waits until the tracker is ready; false with error() otherwise.
    bool open();
    // Executes the commands in order and returns their reply lines; fewer than asked when the
    // link broke or was interrupted (error() says why). on_reply sees each as it arrives.
    using reply_handler = std::function<void(const QString& command, const QString& reply)>;
    QStringList execute(const QStringList& commands, const reply_handler& on_reply = {},
                        wait_mode mode = wait_mode::interruptible);
    std::optional<QString> execute(const QString& command,
                                   wait_mode mode = wait_mode::interruptible);
    // The next device-state line; nothing when the link broke, was interrupted or went silent.
    std::optional<QString> next_state_line();
    // Asks the worker to end (it sends the closing command) and waits until it has.
    void close();

    // Any thread: ends the interruptible waits.
    void interrupt();
    bool interrupted() const { return interrupt_requested; }
    QString error() const { return failure; }

    // Every status text of the worker, for the verbose output.
    std::function<void(const QString&)> on_status;

private:
    void take_event(link_event event, QSerialPort::SerialPortError error);
    bool wait_for(const std::function<bool()>& done, int timeout_ms, wait_mode mode);
    void wake();
    bool broken() const;
    void fail(const QString& why);
    QString outcome_failure(const command_outcome& outcome) const;
    QString end_text() const;

    const link_limits bounds;
    link_session session;
    QEventLoop* waiting = nullptr;
    std::atomic<bool> interrupt_requested{false};
    QString failure;

    bool ready = false;
    bool ended = false;
    bool given_up = false;      // the failures of opening or the handshake passed their limit
    int open_failures = 0;      // in a row
    int handshake_failures = 0; // in a row
    QSerialPort::SerialPortError loss = QSerialPort::NoError;
    QStringList state_lines;
};
