#include "wire_format.h"

#include "access_code.h"
#include "tracker_commands.h"

namespace wire {

namespace {

constexpr char lf = '\n';
constexpr char nul = '\0';

} // namespace

command_check check_command(const QByteArray& command, bool bluetooth)
{
    if (command.size() > tracker_commands::max_command_bytes(bluetooth)) {
        return command_check::too_long;
    }
    if (command.contains(cr) || command.contains(lf) || command.contains(nul)) {
        return command_check::control_bytes;
    }
    return command_check::ok;
}

QByteArray command_frame(const QByteArray& command, bool bluetooth)
{
    QByteArray frame;
    frame.reserve(command.size() + 2);
    if (!bluetooth) {
        frame.append(cr);
    }
    frame.append(command);
    frame.append(cr);
    return frame;
}

QByteArray access_code_frame()
{
    return cr + tracker_access_code() + cr;
}

QByteArray closing_frame()
{
    return cr + tracker_commands::closing().toUtf8() + cr;
}

QByteArray masked(const QByteArray& bytes)
{
    QList<QByteArray> parts = bytes.split(cr);
    const QByteArray code = tracker_access_code();
    for (QByteArray& part : parts) {
        if (part.contains(code)) {
            part.replace(code, QByteArray(code.size(), '*'));
        } else {
            part = tracker_commands::masked(QString::fromUtf8(part)).toUtf8();
        }
    }
    return parts.join(cr);
}

bool is_reply_line(const QByteArray& line)
{
    return line.contains("+RESP");
}

bool is_device_state_line(const QByteArray& line)
{
    return line.contains("$SD");
}

} // namespace wire
