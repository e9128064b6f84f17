#pragma once

#include "link_timings.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// What the protocol needs from whoever runs the link: whether to give up, where to report, and
// how to pause (a test keeps its own clock).
class link_owner
{
public:
    // The link was closed meanwhile, by a port error: exchanges and the handshake give up.
    virtual bool link_lost() const = 0;
    virtual bool exit_requested() const = 0;
    // A progress or error text for the user's log.
    virtual void report_status(const QString& text) = 0;
    virtual void pause_us(qint64 us) = 0;

    // Pauses in short steps, so that an exit request cuts the pause short.
    void pause_unless_exit(qint64 us);

protected:
    ~link_owner() = default;
};

// The tracker's wire protocol over any device: paced output, CR-terminated lines with silence
// limits, the command exchange, the handshake, the keep-alive byte and the goodbye. It blocks on
// the device's bounded waits and needs no event loop. Opening and closing the device are its
// owner's.
class tracker_protocol
{
public:
    tracker_protocol(QIODevice& device, link_owner& owner, bool bluetooth,
                     const link_timings& timings);

    // Brings a wired tracker into command mode; false when it refused or the link was lost.
    bool handshake();
    // Whether any byte answered the last handshake: a refusal, not a silent line.
    bool handshake_heard() const { return heard; }
    // Sends one command and looks for its reply line; false without one.
    bool execute_command(const QByteArray& command, QByteArray& reply);
    // Waits up to the loop's wait for a line sent unasked; false when no data came at all.
    // A complete line lands in `line`, which is empty otherwise.
    bool listen(QByteArray& line);
    // False when the byte could not be written: the link is dead.
    bool send_keep_alive();
    // Returns the tracker to data mode before its port is closed.
    void say_goodbye();

private:
    void send_string(const QByteArray& s);
    bool get_string(QByteArray& line, int timeout_units);
    bool echo_answered();
    bool access_code_accepted();
    QByteArray read_available();
    void skip_line_feeds();
    void flush();

    QIODevice& device;
    link_owner& owner;
    const bool bluetooth;
    const link_timings timings;
    bool heard = false;
};
