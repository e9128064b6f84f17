#pragma once

#include <QMetaType>
#include <QSerialPort>
#include <QString>

// What became of one queued command: every command the worker takes gets exactly one outcome.
struct command_outcome
{
    enum class kind
    {
        answered,        // reply holds the reply line
        too_long,        // refused before sending: the frame would not fit the tracker's buffer
        control_bytes,   // refused before sending: a CR, LF or NUL would cut the frame
        gave_up,         // not answered after the worker's retries; the link ends
        dropped_on_loss, // it would have changed the tracker, and the link was lost before it went
        link_ended       // not sent: the link ended first
    };

    quint64 id = 0;
    QString command;
    kind result = kind::link_ended;
    QString reply;

    bool answered() const { return result == kind::answered; }
};

// What happened to the link itself. The status texts say the same for people; callers decide
// on these.
enum class link_event
{
    port_opened,
    open_failed,       // with the port's error
    handshake_done,    // the tracker is in command mode: commands go out
    handshake_refused, // the tracker answered, but not with the prompt
    handshake_silent,  // nothing answered the handshake at all
    link_lost,         // the port failed, was unplugged, or the tracker stopped answering
    link_ended         // the worker has closed the port; nothing more comes
};

Q_DECLARE_METATYPE(command_outcome)
Q_DECLARE_METATYPE(link_event)
