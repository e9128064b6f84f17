#include "tracker_link.h"

#include "port_advice.h"
#include "tracker_commands.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVector>

#include <memory>

namespace {

bool is_read(const QString& command)
{
    return command.endsWith(QLatin1String("=?"));
}

QString open_failure_text(const QString& port, QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such device: %1").arg(port);
    case QSerialPort::PermissionError: {
        const port_access access = inspect_port_access(port);
        if (!access.denied) {
            return QStringLiteral("%1 is busy: another program holds it").arg(port);
        }
        return QStringLiteral("permission denied: %1 belongs to the group %2; join it with "
                              "'sudo usermod -aG %2 $USER' and log in again")
            .arg(port, access.group);
    }
    default:
        return QStringLiteral("cannot open %1 (port error %2)").arg(port).arg(int(error));
    }
}

QString loss_text(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::WriteError:
        return QStringLiteral("the tracker was unplugged");
    case QSerialPort::TimeoutError:
        return QStringLiteral("nothing answered after the link's 21 tries");
    default:
        return QStringLiteral("the port failed (port error %1)").arg(int(error));
    }
}

} // namespace

tracker_link::tracker_link(const link_settings& link)
{
    connect(&session, &link_session::status_text, this, [this](const QString& text) {
        if (on_status) {
            on_status(text);
        }
    });
    connect(&session, &link_session::link_changed, this, &tracker_link::take_event);
    connect(&session, &link_session::state_line, this, [this](const QString& line) {
        state_lines << line;
        wake();
    });
    connect(&session, &link_session::ended, this, [this] {
        ended = true;
        wake();
    });
    connect(&session, &link_session::command_dropped, this, [this](const QString& command) {
        fail(QStringLiteral("%1 before %2 was sent").arg(loss_text(loss), command));
    });
    session.start(link);
}

tracker_link::~tracker_link()
{
    close();
}

bool tracker_link::open()
{
    if (wait_for([this] { return ready || broken(); }, bounds.ready_ms, wait_mode::interruptible) &&
        ready) {
        return true;
    }
    fail(QStringLiteral("no link to the tracker within %1 s").arg(bounds.ready_ms / 1000));
    return false;
}

QStringList tracker_link::execute(const QStringList& commands, const reply_handler& on_reply,
                                  wait_mode mode)
{
    QStringList done;
    if (!session.active() || broken()) {
        fail(QStringLiteral("the link is closed"));
        return done;
    }
    // Shared with the handlers: outcomes of commands left queued may come after this returns.
    const auto outcomes =
        std::make_shared<QVector<std::optional<command_outcome>>>(commands.size());
    for (int i = 0; i < commands.size(); ++i) {
        const auto kind = is_read(commands.at(i)) ? link_session::request_kind::read
                                                  : link_session::request_kind::write;
        session.send(commands.at(i), kind, [this, outcomes, i](const command_outcome& outcome) {
            (*outcomes)[i] = outcome;
            wake();
        });
    }
    const int per_command =
        session.settings().bluetooth ? bounds.bluetooth_command_ms : bounds.command_ms;
    while (done.size() < commands.size()) {
        const int next = done.size();
        const std::optional<command_outcome>& outcome = outcomes->at(next);
        if (!wait_for([&] { return outcome.has_value() || broken(); }, per_command, mode)) {
            fail(interrupted() ? QString()
                               : QStringLiteral("no answer to %1 within %2 s")
                                     .arg(tracker_commands::masked(commands.at(next)))
                                     .arg(per_command / 1000));
            break;
        }
        if (!outcome || !outcome->answered()) {
            fail(outcome ? outcome_failure(*outcome) : end_text());
            break;
        }
        done << outcome->reply;
        if (on_reply) {
            on_reply(commands.at(next), done.last());
        }
    }
    return done;
}

std::optional<QString> tracker_link::execute(const QString& command, wait_mode mode)
{
    const QStringList reply = execute(QStringList{command}, {}, mode);
    if (reply.isEmpty()) {
        return std::nullopt;
    }
    return reply.first();
}

std::optional<QString> tracker_link::next_state_line()
{
    if (!wait_for([this] { return !state_lines.isEmpty() || broken(); }, bounds.state_line_ms,
                  wait_mode::interruptible) ||
        state_lines.isEmpty()) {
        fail(interrupted() || broken() ? end_text()
                                       : QStringLiteral("no device-state line within %1 s")
                                             .arg(bounds.state_line_ms / 1000));
        return std::nullopt;
    }
    return state_lines.takeFirst();
}

void tracker_link::close()
{
    if (!session.active()) {
        return;
    }
    session.stop();
    wait_for([this] { return ended; }, bounds.close_ms, wait_mode::to_the_end);
}

void tracker_link::interrupt()
{
    interrupt_requested = true;
    QMetaObject::invokeMethod(
        this, [this] { wake(); }, Qt::QueuedConnection);
}

void tracker_link::take_event(link_event event, QSerialPort::SerialPortError error)
{
    switch (event) {
    case link_event::port_opened:
        open_failures = 0;
        break;
    case link_event::open_failed:
        if (++open_failures == bounds.open_attempts) {
            given_up = true;
            fail(open_failure_text(session.settings().port, error));
        }
        break;
    case link_event::handshake_refused:
    case link_event::handshake_silent:
        if (++handshake_failures == bounds.handshake_attempts) {
            given_up = true;
            fail(event == link_event::handshake_silent
                     ? QStringLiteral("nothing answered on %1: is a tracker connected and on?")
                           .arg(session.settings().port)
                     : QStringLiteral("the tracker refused the handshake %1 times")
                           .arg(handshake_failures));
        }
        break;
    case link_event::handshake_done:
        ready = true;
        open_failures = 0;
        handshake_failures = 0;
        break;
    case link_event::link_lost:
        // Once the link was up, the tool does not wait for a tracker to come back. The command
        // under way names the failure when there is one.
        loss = error;
        given_up = given_up || ready;
        break;
    case link_event::link_ended:
        break;
    }
    wake();
}

bool tracker_link::wait_for(const std::function<bool()>& done, int timeout_ms, wait_mode mode)
{
    const QDeadlineTimer deadline(timeout_ms);
    while (!done()) {
        if ((mode == wait_mode::interruptible && interrupted()) || deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(int(deadline.remainingTime()));
        waiting = &loop;
        loop.exec();
        waiting = nullptr;
    }
    return true;
}

void tracker_link::wake()
{
    if (waiting) {
        waiting->quit();
    }
}

bool tracker_link::broken() const
{
    return ended || given_up;
}

QString tracker_link::outcome_failure(const command_outcome& outcome) const
{
    const QString command = tracker_commands::masked(outcome.command);
    switch (outcome.result) {
    case command_outcome::kind::too_long:
        return QStringLiteral("too long for one frame, not sent: ") + command;
    case command_outcome::kind::control_bytes:
        return QStringLiteral("a line break or NUL in it, not sent: ") + command;
    case command_outcome::kind::gave_up:
        return QStringLiteral("nothing answered %1 after the link's 21 tries").arg(command);
    case command_outcome::kind::dropped_on_loss:
        return QStringLiteral("%1 before %2 was sent").arg(loss_text(loss), command);
    case command_outcome::kind::link_ended:
    case command_outcome::kind::answered:
        break;
    }
    return QStringLiteral("the link ended before %1 was answered").arg(command);
}

QString tracker_link::end_text() const
{
    return loss == QSerialPort::NoError ? QStringLiteral("the link ended") : loss_text(loss);
}

// The first cause is the one worth telling.
void tracker_link::fail(const QString& why)
{
    if (failure.isEmpty()) {
        failure = interrupted() ? QStringLiteral("interrupted") : why;
    }
}
