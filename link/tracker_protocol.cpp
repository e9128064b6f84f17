#include "tracker_protocol.h"

#include "line_assembler.h"
#include "link_log.h"
#include "wire_format.h"

#include <QIODevice>
#include <QSerialPort>

#include <algorithm>

namespace {

constexpr int reply_search_lines = 11;
constexpr int silence_waits_per_unit = 10;
constexpr int bluetooth_silence_factor = 10;
constexpr int access_code_attempts = 2;
constexpr int handshake_buffer_bytes = 1024;
// Exit requests are seen within this much of a pause.
constexpr qint64 exit_check_us = 20000;

} // namespace

void link_owner::pause_unless_exit(qint64 us)
{
    for (qint64 left = us; left > 0 && !exit_requested(); left -= exit_check_us) {
        pause_us(std::min(left, exit_check_us));
    }
}

tracker_protocol::tracker_protocol(QIODevice& io, link_owner& link, bool bt,
                                   const link_timings& limits)
    : device(io), owner(link), bluetooth(bt), timings(limits)
{
}

bool tracker_protocol::handshake()
{
    owner.report_status(QStringLiteral("Handshaking..."));
    qCDebug(link_log) << "try to echo handshake...";
    heard = false;
    if (echo_answered()) {
        send_string(QByteArray(1, wire::cr));
        owner.report_status(QStringLiteral("Already done!"));
        return true;
    }
    qCDebug(link_log) << "failed...";
    if (owner.link_lost()) {
        return false;
    }
    for (int attempt = 0; attempt < access_code_attempts; ++attempt) {
        if (access_code_accepted()) {
            owner.report_status(QStringLiteral("Handshake OK"));
            return true;
        }
        // An exit request only shortens the pause: a tracker that took the code late must
        // still get the closing command, or it would stay in command mode.
        if (owner.link_lost()) {
            return false;
        }
        owner.pause_unless_exit(timings.access_code_retry_us);
    }
    send_string(wire::closing_frame());
    device.waitForBytesWritten(timings.closing_write_wait_ms);
    owner.report_status(QStringLiteral("Handshake ERROR"));
    return false;
}

bool tracker_protocol::execute_command(const QByteArray& command, QByteArray& reply)
{
    reply.clear();
    if (owner.link_lost()) {
        return false;
    }
    flush();
    const QByteArray frame = wire::command_frame(command, bluetooth);
    owner.pause_us(timings.pause_before_frame_us);
    send_string(frame);
    device.waitForBytesWritten(timings.frame_write_wait_ms);

    // Bytes already waiting (an unsolicited line, the rest of a handshake reply) come first and
    // are skipped like any other line without a reply.
    for (int i = 0; i < reply_search_lines; ++i) {
        QByteArray line;
        if (!get_string(line, 1)) {
            qCDebug(link_log) << "get string timeout";
            return false;
        }
        if (wire::is_reply_line(line)) {
            qCDebug(link_bytes_log) << "Result:" << line;
            reply = line;
            return true;
        }
        qCDebug(link_bytes_log) << line;
    }
    qCDebug(link_log) << "CMD responce timeout";
    return false;
}

bool tracker_protocol::listen(QByteArray& line)
{
    line.clear();
    // The LF of a CR LF line end left over from an exchange is no data: the wait keeps its pace.
    // A line left over is read at once rather than after the next arrival.
    skip_line_feeds();
    if (device.bytesAvailable() == 0 && !device.waitForReadyRead(timings.loop_wait_ms)) {
        return false;
    }
    skip_line_feeds();
    // A lone LF arrived: no line has begun, and waiting for one would stall the loop.
    if (device.bytesAvailable() == 0) {
        return true;
    }
    if (get_string(line, 1)) {
        qCDebug(link_bytes_log) << line;
    }
    return true;
}

bool tracker_protocol::send_keep_alive()
{
    const char byte = wire::keep_alive;
    device.write(&byte, 1);
    if (!device.waitForBytesWritten(timings.keep_alive_write_wait_ms)) {
        return false;
    }
    flush();
    return true;
}

void tracker_protocol::say_goodbye()
{
    qCDebug(link_log) << "Sending bye...";
    send_string(wire::closing_frame());
    qCDebug(link_log) << "usleeping...";
    owner.pause_us(timings.pause_after_closing_us);
    qCDebug(link_log) << "flushing...";
    flush();
}

void tracker_protocol::send_string(const QByteArray& s)
{
    qCDebug(link_bytes_log) << wire::masked(s);
    for (const char byte : s) {
        device.write(&byte, 1);
        device.waitForBytesWritten(timings.byte_write_wait_ms);
        flush();
        owner.pause_us(timings.byte_pause_us);
    }
}

bool tracker_protocol::get_string(QByteArray& line, int timeout_units)
{
    const int units = bluetooth ? timeout_units * bluetooth_silence_factor : timeout_units;
    const int silence_limit = units * silence_waits_per_unit;
    line.clear();
    if (device.bytesAvailable() == 0) {
        device.waitForReadyRead(timings.first_data_wait_ms);
    }
    line_assembler assembler;
    int silence = 0;
    for (;;) {
        char byte;
        if (device.getChar(&byte)) {
            silence = 0;
            switch (assembler.take(byte)) {
            case line_assembler::result::line:
                line = assembler.line();
                return true;
            case line_assembler::result::too_long:
                qCDebug(link_log) << "Line too long, dropped:" << assembler.dropped_bytes()
                                  << "bytes";
                return true;
            case line_assembler::result::incomplete:
                continue;
            }
        }
        if (owner.link_lost()) {
            return false;
        }
        ++silence;
        device.waitForReadyRead(timings.silence_wait_ms);
        if (silence > silence_limit) {
            return false;
        }
    }
}

// A tracker already in command mode echoes the probe.
bool tracker_protocol::echo_answered()
{
    send_string(QByteArray(1, wire::echo_probe));
    device.waitForBytesWritten(timings.echo_write_wait_ms);
    owner.pause_us(timings.pause_after_echo_us);
    device.waitForReadyRead(timings.echo_wait_ms);
    const QByteArray answer = device.read(handshake_buffer_bytes);
    heard = heard || !answer.isEmpty();
    if (answer.isEmpty() || answer.front() != wire::echo_probe) {
        return false;
    }
    qCDebug(link_bytes_log) << answer.size() << answer;
    return true;
}

// A tracker that accepts the code answers with a prompt within the pause.
bool tracker_protocol::access_code_accepted()
{
    flush();
    send_string(wire::access_code_frame());
    flush();
    owner.pause_us(timings.access_code_reply_pause_us);
    const QByteArray answer = read_available();
    heard = heard || !answer.isEmpty();
    if (answer.contains(wire::prompt)) {
        return true;
    }
    if (!answer.isEmpty()) {
        qCDebug(link_bytes_log) << answer;
    }
    return false;
}

// Without an event loop the port only takes in bytes during a wait; a zero wait polls.
QByteArray tracker_protocol::read_available()
{
    device.waitForReadyRead(0);
    return device.read(handshake_buffer_bytes);
}

void tracker_protocol::skip_line_feeds()
{
    char byte;
    while (device.peek(&byte, 1) == 1 && byte == '\n') {
        device.getChar(&byte);
    }
}

// A serial port keeps written bytes in a buffer of its own until flushed; other devices do not.
void tracker_protocol::flush()
{
    if (auto* port = qobject_cast<QSerialPort*>(&device)) {
        port->flush();
    }
}
