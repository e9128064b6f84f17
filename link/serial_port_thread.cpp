#include "serial_port_thread.h"

#include "line_assembler.h"
#include "wire_format.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

namespace {

// Pacing and time-outs of the link. The tracker's firmware reads slowly: output is paced byte
// by byte, and every wait is bounded so that the worker never hangs on a dead line.
constexpr int byte_write_wait_ms = 10;
constexpr unsigned long byte_pause_us = 1500;
constexpr unsigned long pause_before_frame_ms = 10;
constexpr int frame_write_wait_ms = 1000;
constexpr int reply_search_lines = 11;
constexpr int first_data_wait_ms = 10;
constexpr int silence_wait_ms = 100;
constexpr int silence_waits_per_unit = 10;
constexpr int bluetooth_silence_factor = 10;
constexpr int echo_write_wait_ms = 100;
constexpr unsigned long pause_after_echo_ms = 10;
constexpr int echo_wait_ms = 100;
constexpr unsigned long access_code_reply_pause_us = 100000;
constexpr int access_code_attempts = 2;
constexpr int handshake_write_wait_ms = 1000;
constexpr int handshake_retry_ms = 1000;
constexpr int open_retry_ms = 1000;
constexpr int loop_wait_ms = 100;
constexpr int silent_iterations_before_keep_alive = 10;
constexpr int keep_alive_write_wait_ms = 1000;
constexpr unsigned long pause_after_closing_us = 10000;
constexpr int failures_before_exit = 20;
constexpr int handshake_buffer_bytes = 1024;
// Exit requests are seen within this much of a retry pause.
constexpr int exit_check_ms = 20;

bool closes_link(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
    case QSerialPort::UnknownError:
        return true;
    default:
        return false;
    }
}

} // namespace

SerialPortThread::SerialPortThread()
{
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");
}

SerialPortThread::~SerialPortThread()
{
    // Destroying a running thread object is fatal; a worker deleted too early stops first.
    if (isRunning()) {
        request_exit();
        wait();
    }
    close_port();
}

void SerialPortThread::set_port_params(const QString& name, int speed, bool bt)
{
    port_name = name;
    port_speed = speed;
    bt_connection = bt;
}

void SerialPortThread::request_exit()
{
    exit_flag = true;
    qDebug() << "Exit flag OK";
}

void SerialPortThread::slot_execute_cmd(QString cmd)
{
    QMutexLocker lock(&queue_lock);
    cmd_queue.append(cmd);
    qDebug() << "Append cmd:" << cmd;
}

void SerialPortThread::handleSerialError(QSerialPort::SerialPortError error)
{
    if (!closes_link(error)) {
        return;
    }
    ++closing_errors_handled;
    if (!isRunning()) {
        close_port();
    }
}

void SerialPortThread::run()
{
    QSerialPort serial_port;
    port = &serial_port;
    // Counted here, on the thread that raises them, before the queued notification is posted.
    connect(
        &serial_port, &QSerialPort::errorOccurred, &serial_port,
        [this](QSerialPort::SerialPortError error) {
            if (closes_link(error)) {
                ++closing_errors_raised;
            }
        },
        Qt::DirectConnection);
    connect(&serial_port, &QSerialPort::errorOccurred, this, &SerialPortThread::handleSerialError);

    run_loop();

    qDebug() << "Thraed finished ok!";
    close_port();
    port = nullptr;
    emit disconnected_gracefully();
}

void SerialPortThread::run_loop()
{
    int idle_count = 0;
    connected = false;
    handshake_done = false;
    while (!exit_flag) {
        close_if_requested();
        if (!link_ready()) {
            continue;
        }
        process_queue();
        listen_for_unsolicited_line(idle_count);
        keep_link_alive(idle_count);
    }
}

// Opens the port and shakes hands as far as needed; false after a failed step and its pause.
bool SerialPortThread::link_ready()
{
    if (!connected) {
        connected = open_port();
        if (!connected) {
            pause_unless_exit(open_retry_ms);
            return false;
        }
    }
    if (handshake_done) {
        return true;
    }
    if (bt_connection) {
        qDebug() << "BT connection not requres handshake";
        handshake_done = true;
        emit handshake_ok();
        return true;
    }
    handshake_done = handshake();
    if (!handshake_done) {
        pause_unless_exit(handshake_retry_ms);
        return false;
    }
    emit handshake_ok();
    return true;
}

void SerialPortThread::process_queue()
{
    QString command;
    {
        QMutexLocker lock(&queue_lock);
        if (cmd_queue.isEmpty()) {
            return;
        }
        command = cmd_queue.first();
    }
    emit set_status_text(QStringLiteral("Executing...") + command);

    const QByteArray bytes = command.toUtf8();
    const wire::command_check check = wire::check_command(bytes, bt_connection);
    if (check != wire::command_check::ok) {
        // Sending it again would fail the same way, and it is no sign of a bad link.
        qDebug() << (check == wire::command_check::too_long ? "Command too long, dropped:"
                                                            : "Command with line ends, dropped:")
                 << bytes.size() << "bytes";
        drop_queue_head();
        emit set_status_text(QStringLiteral("Command error..."));
        return;
    }

    QByteArray reply;
    if (!execute_command(bytes, reply)) {
        emit set_status_text(QStringLiteral("Command error..."));
        if (++fail_count > failures_before_exit) {
            request_exit();
        }
        return;
    }
    emit cmd_executed(command, QString::fromUtf8(reply));
    drop_queue_head();
    fail_count = 0;
}

// Only the worker removes entries, so the head is still the command it executed.
void SerialPortThread::drop_queue_head()
{
    QMutexLocker lock(&queue_lock);
    cmd_queue.removeFirst();
}

void SerialPortThread::listen_for_unsolicited_line(int& idle_count)
{
    // The LF of a CR LF line end left over from an exchange is no data: the wait keeps its pace.
    // A line left over is read at once rather than after the next arrival.
    skip_line_feeds();
    if (port->bytesAvailable() == 0 && !port->waitForReadyRead(loop_wait_ms)) {
        ++idle_count;
        return;
    }
    skip_line_feeds();
    // A lone LF arrived: no line has begun, and waiting for one would stall the loop.
    if (port->bytesAvailable() == 0) {
        return;
    }
    QByteArray line;
    if (!get_string(line, 1)) {
        return;
    }
    qDebug() << line;
    if (wire::is_device_state_line(line)) {
        emit sensor_data(QString::fromUtf8(line));
    }
}

void SerialPortThread::keep_link_alive(int& idle_count)
{
    if (idle_count <= silent_iterations_before_keep_alive) {
        return;
    }
    idle_count = 0;
    if (bt_connection) {
        return;
    }
    const char byte = wire::keep_alive;
    port->write(&byte, 1);
    if (port->waitForBytesWritten(keep_alive_write_wait_ms)) {
        port->flush();
    } else {
        close_port();
    }
}

void SerialPortThread::pause_unless_exit(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!exit_flag && !deadline.hasExpired()) {
        QThread::msleep(
            static_cast<unsigned long>(std::min<qint64>(exit_check_ms, deadline.remainingTime())));
    }
}

bool SerialPortThread::close_requested() const
{
    return closing_errors_handled > std::max(errors_raised_before_open, errors_acted_on);
}

void SerialPortThread::close_if_requested()
{
    const int handled = closing_errors_handled;
    if (handled > std::max(errors_raised_before_open, errors_acted_on)) {
        errors_acted_on = handled;
        close_port();
    }
}

bool SerialPortThread::link_lost() const
{
    return !connected || close_requested();
}

bool SerialPortThread::open_port()
{
    emit set_status_text(QStringLiteral("Opening port %1 (%2)").arg(port_name).arg(port_speed));
    port->setPortName(port_name);
    if (!port->open(QIODevice::ReadWrite)) {
        const QString message =
            QStringLiteral("Can't open %1, error code %2").arg(port_name).arg(port_error_code());
        emit set_status_text(message);
        qDebug() << message;
        return false;
    }
    // A port left open after a failed setting could never be opened again.
    if (!apply_port_settings()) {
        port->close();
        return false;
    }
    errors_raised_before_open = closing_errors_raised;
    emit set_status_text(port_name + QStringLiteral(" open OK"));
    return true;
}

bool SerialPortThread::apply_port_settings()
{
    return setting_applied(port->setBaudRate(port_speed),
                           QStringLiteral("Can't set baud rate %1 baud to port ").arg(port_speed) +
                               QStringLiteral("%1, error code %2")) &&
           setting_applied(port->setDataBits(QSerialPort::Data8),
                           QStringLiteral("Can't set 8 data bits to port %1, error code %2")) &&
           setting_applied(port->setParity(QSerialPort::NoParity),
                           QStringLiteral("Can't set no patity to port %1, error code %2")) &&
           setting_applied(port->setStopBits(QSerialPort::OneStop),
                           QStringLiteral("Can't set 1 stop bit to port %1, error code %2")) &&
           setting_applied(port->setFlowControl(QSerialPort::NoFlowControl),
                           QStringLiteral("Can't set no flow control to port %1, error code %2"));
}

bool SerialPortThread::setting_applied(bool ok, const QString& message)
{
    if (!ok) {
        emit set_status_text(message.arg(port_name).arg(port_error_code()));
    }
    return ok;
}

void SerialPortThread::close_port()
{
    if (connected && port) {
        qDebug() << "Sending bye...";
        send_string(wire::closing_frame());
        qDebug() << "usleeping...";
        QThread::usleep(pause_after_closing_us);
        qDebug() << "flushing...";
        port->flush();
        qDebug() << "clearing error...";
        port->clearError();
        qDebug() << "closing port...";
        port->close();
        qDebug() << "closed.";
    }
    qDebug() << "close port finished 1...";
    connected = false;
    handshake_done = false;
    qDebug() << "close port finished 2...";
}

void SerialPortThread::send_string(const QByteArray& s)
{
    qDebug() << s;
    for (const char byte : s) {
        port->write(&byte, 1);
        port->waitForBytesWritten(byte_write_wait_ms);
        port->flush();
        QThread::usleep(byte_pause_us);
    }
}

bool SerialPortThread::get_string(QByteArray& line, int timeout_units)
{
    const int units = bt_connection ? timeout_units * bluetooth_silence_factor : timeout_units;
    const int silence_limit = units * silence_waits_per_unit;
    line.clear();
    if (port->bytesAvailable() == 0) {
        port->waitForReadyRead(first_data_wait_ms);
    }
    line_assembler assembler;
    int silence = 0;
    for (;;) {
        char byte;
        if (port->getChar(&byte)) {
            silence = 0;
            switch (assembler.take(byte)) {
            case line_assembler::result::line:
                line = assembler.line();
                return true;
            case line_assembler::result::too_long:
                qDebug() << "Line too long, dropped:" << assembler.dropped_bytes() << "bytes";
                return true;
            case line_assembler::result::incomplete:
                continue;
            }
        }
        if (link_lost()) {
            return false;
        }
        ++silence;
        port->waitForReadyRead(silence_wait_ms);
        if (silence > silence_limit) {
            return false;
        }
    }
}

bool SerialPortThread::execute_command(const QByteArray& cmd, QByteArray& result)
{
    result.clear();
    if (link_lost()) {
        return false;
    }
    port->flush();
    const QByteArray frame = wire::command_frame(cmd, bt_connection);
    QThread::msleep(pause_before_frame_ms);
    send_string(frame);
    port->waitForBytesWritten(frame_write_wait_ms);

    // Bytes already waiting (an unsolicited line, the rest of a handshake reply) come first and
    // are skipped like any other line without a reply.
    for (int i = 0; i < reply_search_lines; ++i) {
        QByteArray line;
        if (!get_string(line, 1)) {
            qDebug() << "get string timeout";
            return false;
        }
        if (wire::is_reply_line(line)) {
            qDebug() << "Result:" << line;
            result = line;
            return true;
        }
        qDebug() << line;
    }
    qDebug() << "CMD responce timeout";
    return false;
}

bool SerialPortThread::handshake()
{
    emit set_status_text(QStringLiteral("Handshaking..."));
    qDebug() << "try to echo handshake...";
    if (echo_answered()) {
        send_string(QByteArray(1, wire::cr));
        emit set_status_text(QStringLiteral("Already done!"));
        return true;
    }
    qDebug() << "failed...";
    if (link_lost()) {
        return false;
    }
    for (int attempt = 0; attempt < access_code_attempts; ++attempt) {
        if (access_code_accepted()) {
            emit set_status_text(QStringLiteral("Handshake OK"));
            return true;
        }
        if (link_lost() || exit_flag) {
            return false;
        }
        pause_unless_exit(handshake_retry_ms);
    }
    send_string(wire::closing_frame());
    port->waitForBytesWritten(handshake_write_wait_ms);
    emit set_status_text(QStringLiteral("Handshake ERROR"));
    return false;
}

// A tracker already in command mode echoes the probe.
bool SerialPortThread::echo_answered()
{
    send_string(QByteArray(1, wire::echo_probe));
    port->waitForBytesWritten(echo_write_wait_ms);
    QThread::msleep(pause_after_echo_ms);
    port->waitForReadyRead(echo_wait_ms);
    const QByteArray answer = port->read(handshake_buffer_bytes);
    if (answer.isEmpty() || answer.front() != wire::echo_probe) {
        return false;
    }
    qDebug() << answer.size() << answer;
    return true;
}

// A tracker that accepts the code answers with a prompt within the pause.
bool SerialPortThread::access_code_accepted()
{
    port->flush();
    send_string(wire::access_code_frame());
    port->flush();
    QThread::usleep(access_code_reply_pause_us);
    const QByteArray answer = read_available();
    if (answer.contains(wire::prompt)) {
        return true;
    }
    if (!answer.isEmpty()) {
        qDebug() << answer;
    }
    return false;
}

// Without an event loop the port only takes in bytes during a wait; a zero wait polls.
QByteArray SerialPortThread::read_available()
{
    port->waitForReadyRead(0);
    return port->read(handshake_buffer_bytes);
}

void SerialPortThread::skip_line_feeds()
{
    char byte;
    while (port->peek(&byte, 1) == 1 && byte == '\n') {
        port->getChar(&byte);
    }
}

int SerialPortThread::port_error_code() const
{
    return static_cast<int>(port->error());
}
