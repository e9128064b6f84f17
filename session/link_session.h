#pragma once

#include "link_events.h"

#include <QHash>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>

class SerialPortThread;

struct link_settings
{
    QString port;
    int speed = 115200;
    bool bluetooth = false;
};

// One link to a tracker from start to end, for whoever drives it: the window or the tool. It owns
// the worker, follows the link through its states, and hands each command's outcome to the one
// who sent it, once, after the command has left the pending list. When a link that was up is
// lost, the worker drops the queued commands that would change the tracker; the session names
// them, so that the user hears what was not written.
//
// Create and use it on one thread with an event loop: the worker's reports arrive queued there.
class link_session : public QObject
{
    Q_OBJECT

public:
    enum class state
    {
        idle,      // no worker
        opening,   // the port is being opened
        handshake, // the port is open; the tracker is being brought into command mode
        ready,     // commands go out
        lost,      // the link was up and is gone; the worker is trying to get it back
        stopping   // asked to end; ended() follows
    };
    Q_ENUM(state)

    enum class request_kind
    {
        read,  // asks only; safe to repeat on any tracker
        write, // changes the tracker: dropped when the link is lost before it goes
        stream // switches the device-state stream; the window sets it again after a loss
    };

    using outcome_handler = std::function<void(const command_outcome&)>;

    // Commands of one kind answered of those sent since none of that kind was pending: a poll of
    // 40 reads shows as 12 of 40, however it was queued.
    struct progress
    {
        int done = 0;
        int total = 0;
        bool running() const { return done < total; }
    };

    explicit link_session(QObject* parent = nullptr);
    ~link_session() override; // ends a running link and waits for its worker

    void start(const link_settings& settings);
    // Asks the worker to end; it sends the closing command first. ended() follows.
    void stop();
    bool active() const { return worker != nullptr; }
    state current() const { return now; }
    const link_settings& settings() const { return link; }

    // Queues one command; 0, and nothing queued, without a worker. The handler hears the outcome.
    quint64 send(const QString& command, request_kind kind, outcome_handler handler = {});
    int pending() const { return requests.size(); }
    progress reading() const { return reads; }
    progress writing() const { return writes; }

signals:
    void state_changed(link_session::state now);
    void status_text(QString text); // the worker's texts, for the log and the status bar
    void link_changed(link_event event, QSerialPort::SerialPortError error);
    void ready();                         // after every handshake
    void command_dropped(QString masked); // a write that was not sent because the link was lost
    // Every reply, before the one who sent the command hears of it: for observers such as the
    // backup of the first poll.
    void answered(QString command, QString reply);
    void state_line(QString line);
    void ended(); // the worker has finished and is gone
    void progress_changed();

private:
    void take_outcome(const command_outcome& outcome);
    void take_event(link_event event, QSerialPort::SerialPortError error);
    void take_end();
    void move_to(state next);
    progress* progress_of(request_kind kind);

    struct request
    {
        request_kind kind = request_kind::stream; // counted nowhere
        outcome_handler handler;
    };

    link_settings link;
    std::unique_ptr<SerialPortThread> worker;
    QHash<quint64, request> requests;
    state now = state::idle;
    progress reads;
    progress writes;
};
