#include "serial_port_thread.h"

#include "link_log.h"
#include "tracker_commands.h"
#include "wire_format.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

constexpr int silent_iterations_before_keep_alive = 10;
constexpr int failures_before_exit = 20;

void register_types()
{
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");
    qRegisterMetaType<command_outcome>("command_outcome");
    qRegisterMetaType<link_event>("link_event");
}

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
    register_types();
}

SerialPortThread::SerialPortThread(QIODevice& device, std::function<void(qint64 us)> pause)
    : test_device(&device), test_pause(std::move(pause))
{
    register_types();
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
    qCDebug(link_log) << "Exit flag OK";
}

void SerialPortThread::slot_execute_cmd(QString cmd)
{
    queue_command(cmd, false);
}

quint64 SerialPortThread::queue_command(const QString& cmd, bool changes_tracker)
{
    QMutexLocker lock(&queue_lock);
    cmd_queue.append({++last_id, cmd, changes_tracker});
    qCDebug(link_log) << "Append cmd:" << tracker_commands::masked(cmd);
    return last_id;
}

void SerialPortThread::handleSerialError(QSerialPort::SerialPortError error)
{
    if (!closes_link(error)) {
        return;
    }
    last_closing_error = error;
    ++closing_errors_handled;
    if (!isRunning()) {
        close_port();
    }
}

void SerialPortThread::run()
{
    QSerialPort serial_port;
    if (!test_device) {
        watch_errors(serial_port);
        serial = &serial_port;
    }
    port = test_device ? test_device : &serial_port;
    tracker_protocol wire_protocol(*port, *this, bt_connection, timings);
    protocol = &wire_protocol;

    run_loop();

    qCDebug(link_log) << "Thraed finished ok!";
    close_port();
    protocol = nullptr;
    serial = nullptr;
    port = nullptr;
    finish_queue(command_outcome::kind::link_ended, false);
    emit link_changed(link_event::link_ended, QSerialPort::NoError);
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
            pause_unless_exit(timings.retry_us);
            return false;
        }
    }
    if (handshake_done) {
        return true;
    }
    if (bt_connection) {
        qCDebug(link_log) << "BT connection not requres handshake";
        handshake_done = true;
    } else {
        handshake_done = protocol->handshake();
    }
    if (!handshake_done) {
        report_handshake_failure();
        pause_unless_exit(timings.retry_us);
        return false;
    }
    emit link_changed(link_event::handshake_done, QSerialPort::NoError);
    emit handshake_ok();
    return true;
}

// A handshake cut short by a lost port is told by the loss itself.
void SerialPortThread::report_handshake_failure()
{
    if (link_lost()) {
        return;
    }
    emit link_changed(protocol->handshake_heard() ? link_event::handshake_refused
                                                  : link_event::handshake_silent,
                      QSerialPort::NoError);
}

void SerialPortThread::process_queue()
{
    QString command;
    {
        QMutexLocker lock(&queue_lock);
        if (cmd_queue.isEmpty()) {
            return;
        }
        command = cmd_queue.first().text;
    }
    emit set_status_text(QStringLiteral("Executing...") + tracker_commands::masked(command));

    const QByteArray bytes = command.toUtf8();
    const wire::command_check check = wire::check_command(bytes, bt_connection);
    if (check != wire::command_check::ok) {
        // Sending it again would fail the same way, and it is no sign of a bad link.
        qCDebug(link_log) << (check == wire::command_check::too_long
                                  ? "Command too long, dropped:"
                                  : "Command with line ends, dropped:")
                          << bytes.size() << "bytes";
        emit set_status_text(QStringLiteral("Command error..."));
        finish_queue_head(check == wire::command_check::too_long
                              ? command_outcome::kind::too_long
                              : command_outcome::kind::control_bytes);
        return;
    }

    QByteArray reply;
    if (!protocol->execute_command(bytes, reply)) {
        emit set_status_text(QStringLiteral("Command error..."));
        if (++fail_count > failures_before_exit) {
            // The tracker has stopped answering: the link is as good as lost.
            finish_queue_head(command_outcome::kind::gave_up);
            emit link_changed(link_event::link_lost, QSerialPort::TimeoutError);
            request_exit();
        }
        return;
    }
    const QString line = QString::fromUtf8(reply);
    emit cmd_executed(command, line);
    finish_queue_head(command_outcome::kind::answered, line);
    fail_count = 0;
}

// Only the worker removes entries, so the head is still the command it executed. It leaves the
// queue before its outcome is told, so that whoever hears of it may queue the next one.
void SerialPortThread::finish_queue_head(command_outcome::kind result, const QString& reply)
{
    queued_command head;
    {
        QMutexLocker lock(&queue_lock);
        head = cmd_queue.takeFirst();
    }
    emit command_finished({head.id, head.text, result, reply});
}

void SerialPortThread::finish_queue(command_outcome::kind result, bool only_changing)
{
    QList<queued_command> finished;
    {
        QMutexLocker lock(&queue_lock);
        for (auto it = cmd_queue.begin(); it != cmd_queue.end();) {
            if (!only_changing || it->changes_tracker) {
                finished.append(*it);
                it = cmd_queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const queued_command& command : finished) {
        emit command_finished({command.id, command.text, result, QString()});
    }
}

// Whatever answers on the port next may be another tracker: nothing queued for this one that
// would change it may reach that one.
void SerialPortThread::lose_link(QSerialPort::SerialPortError error)
{
    if (connected) {
        emit link_changed(link_event::link_lost, error);
        finish_queue(command_outcome::kind::dropped_on_loss, true);
    }
    close_port();
}

void SerialPortThread::listen_for_unsolicited_line(int& idle_count)
{
    QByteArray line;
    if (!protocol->listen(line)) {
        ++idle_count;
        return;
    }
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
    if (!bt_connection && !protocol->send_keep_alive()) {
        lose_link(QSerialPort::WriteError);
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
        lose_link(static_cast<QSerialPort::SerialPortError>(last_closing_error.load()));
    }
}

bool SerialPortThread::link_lost() const
{
    return !connected || close_requested();
}

bool SerialPortThread::exit_requested() const
{
    return exit_flag;
}

void SerialPortThread::report_status(const QString& text)
{
    emit set_status_text(text);
}

void SerialPortThread::pause_us(qint64 us)
{
    if (test_pause) {
        test_pause(us);
    } else {
        QThread::usleep(static_cast<unsigned long>(us));
    }
}

void SerialPortThread::watch_errors(QSerialPort& serial_port)
{
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
}

// A test device has no name, settings or error codes: it only opens.
bool SerialPortThread::open_port()
{
    emit set_status_text(QStringLiteral("Opening port %1 (%2)").arg(port_name).arg(port_speed));
    if (serial) {
        serial->setPortName(port_name);
    }
    if (!port->open(QIODevice::ReadWrite)) {
        const QString message =
            QStringLiteral("Can't open %1, error code %2").arg(port_name).arg(port_error_code());
        emit set_status_text(message);
        qCDebug(link_log) << message;
        emit link_changed(link_event::open_failed, serial ? serial->error() : QSerialPort::NoError);
        return false;
    }
    // A port left open after a failed setting could never be opened again.
    if (serial && !apply_port_settings()) {
        emit link_changed(link_event::open_failed, serial->error());
        port->close();
        return false;
    }
    errors_raised_before_open = closing_errors_raised;
    emit set_status_text(port_name + QStringLiteral(" open OK"));
    emit link_changed(link_event::port_opened, QSerialPort::NoError);
    return true;
}

bool SerialPortThread::apply_port_settings()
{
    return setting_applied(serial->setBaudRate(port_speed),
                           QStringLiteral("Can't set baud rate %1 baud to port ").arg(port_speed) +
                               QStringLiteral("%1, error code %2")) &&
           setting_applied(serial->setDataBits(QSerialPort::Data8),
                           QStringLiteral("Can't set 8 data bits to port %1, error code %2")) &&
           setting_applied(serial->setParity(QSerialPort::NoParity),
                           QStringLiteral("Can't set no patity to port %1, error code %2")) &&
           setting_applied(serial->setStopBits(QSerialPort::OneStop),
                           QStringLiteral("Can't set 1 stop bit to port %1, error code %2")) &&
           setting_applied(serial->setFlowControl(QSerialPort::NoFlowControl),
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
        protocol->say_goodbye();
        qCDebug(link_log) << "clearing error...";
        if (serial) {
            serial->clearError();
        }
        qCDebug(link_log) << "closing port...";
        port->close();
        qCDebug(link_log) << "closed.";
    }
    qCDebug(link_log) << "close port finished 1...";
    connected = false;
    handshake_done = false;
    qCDebug(link_log) << "close port finished 2...";
}

int SerialPortThread::port_error_code() const
{
    return serial ? static_cast<int>(serial->error()) : 0;
}
