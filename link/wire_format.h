#pragma once

#include <QByteArray>

// The fixed byte sequences of the tracker link and the rules for framing a command. Kept apart
// from the port so that they can be checked byte by byte without one.
namespace wire {

constexpr char cr = '\r';
constexpr char echo_probe = '&';
constexpr char prompt = '>';
constexpr char keep_alive = '\0';

enum class command_check
{
    ok,
    too_long,     // the frame would not fit the buffer
    control_bytes // a CR, LF or NUL would end or cut the frame early on the device
};

// Whether the UTF-8 bytes of a command can be sent as one frame on this kind of link.
command_check check_command(const QByteArray& command, bool bluetooth);

// CR, command, CR on a wired link; command, CR on a Bluetooth link.
QByteArray command_frame(const QByteArray& command, bool bluetooth);
// CR, the access code, CR: asks a tracker in data mode for command mode.
QByteArray access_code_frame();
// Returns the tracker to data mode. Always carries the fixed password, never the configured one.
QByteArray closing_frame();

// The bytes as a trace may show them: the access code and every command's password masked.
QByteArray masked(const QByteArray& bytes);

// The reply to a command: the first line that contains "+RESP" anywhere.
bool is_reply_line(const QByteArray& line);
// A device-state line, sent by the tracker on its own.
bool is_device_state_line(const QByteArray& line);

} // namespace wire
