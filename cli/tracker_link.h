#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QEventLoop;
class SerialPortThread;

struct link_settings
{
    QString port;
    int speed = 115200;
    bool bluetooth = false;
};

// How long the tool keeps trying to reach a tracker before it calls the link broken.
struct link_limits
{
    int open_attempts = 3;      // one a second
    int handshake_attempts = 2; // each about 3.5 s with its pause
    int ready_ms = 30000;       // the whole way to a ready link
    int close_ms = 30000;       // the worker finishes the exchange under way first
};

// One link to one tracker, driven step by step: the window's own worker (SerialPortThread) does
// the talking, with its handshake, framing, pacing, retries and closing command; this class only
// waits for what it reports. Create, use and destroy it on one thread; its waits run that
// thread's event loop, so the worker's signals and port errors arrive while it waits.
//
// The worker retries by itself without end, except a failing command, which it gives up after
// 21 failures in a row. To come to an end on a port that cannot be opened or a tracker that
// refuses the handshake, the link counts the worker's reports of those failures and calls the
// link broken after the limits above, which keeps every failure within about ten seconds.
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
    // The next device-state line; nothing when the link broke or was interrupted.
    std::optional<QString> next_state_line();
    // Asks the worker to end (it sends the closing command) and waits until it has.
    void close();

    // Any thread: ends the interruptible waits.
    void interrupt();
    bool interrupted() const { return interrupt_requested; }
    QString error() const { return failure; }

    // Every status text of the worker, for the verbose output.
    std::function<void(const QString&)> on_status;

private slots:
    void take_status(const QString& text);
    void take_reply(const QString& command, const QString& reply);
    void take_handshake();
    void take_state_line(const QString& line);
    void take_end();

private:
    bool wait_for(const std::function<bool()>& done, int timeout_ms, wait_mode mode);
    void wake();
    bool broken() const;
    void fail(const QString& why);

    link_settings settings;
    const link_limits bounds;
    std::unique_ptr<SerialPortThread> worker;
    QEventLoop* waiting = nullptr;
    std::atomic<bool> interrupt_requested{false};
    QString failure;

    bool ready = false;
    bool ended = false;
    int open_failures = 0;      // in a row
    int handshake_failures = 0; // in a row
    QStringList replies;
    QStringList state_lines;
};
