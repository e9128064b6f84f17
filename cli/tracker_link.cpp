#include "tracker_link.h"

#include "serial_port_thread.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

bool reports_open_failure(const QString& status)
{
    return status.startsWith(QLatin1String("Can't "));
}

bool reports_open(const QString& status)
{
    return status.endsWith(QLatin1String(" open OK"));
}

bool reports_refused_handshake(const QString& status)
{
    return status == QLatin1String("Handshake ERROR");
}

} // namespace

tracker_link::tracker_link(const link_settings& link) : settings(link) {}

tracker_link::~tracker_link()
{
    close();
}

bool tracker_link::open()
{
    worker = std::make_unique<SerialPortThread>();
    // The verbose traces name the port they come from by the worker thread's name.
    worker->setObjectName(settings.port);
    worker->set_port_params(settings.port, settings.speed, settings.bluetooth);
    connect(worker.get(), &SerialPortThread::set_status_text, this, &tracker_link::take_status);
    connect(worker.get(), &SerialPortThread::cmd_executed, this, &tracker_link::take_reply);
    connect(worker.get(), &SerialPortThread::handshake_ok, this, &tracker_link::take_handshake);
    connect(worker.get(), &SerialPortThread::sensor_data, this, &tracker_link::take_state_line);
    connect(worker.get(), &SerialPortThread::disconnected_gracefully, this,
            &tracker_link::take_end);
    worker->start();
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
    if (!worker || broken()) {
        fail(QStringLiteral("the link is closed"));
        return done;
    }
    replies.clear();
    for (const QString& command : commands) {
        worker->slot_execute_cmd(command);
    }
    while (done.size() < commands.size()) {
        if (!wait_for([this] { return !replies.isEmpty() || broken(); }, -1, mode) ||
            replies.isEmpty()) {
            fail(QStringLiteral("no reply to %1 after the link's retries")
                     .arg(commands.at(done.size())));
            break;
        }
        done << replies.takeFirst();
        if (on_reply) {
            on_reply(commands.at(done.size() - 1), done.last());
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
    if (!wait_for([this] { return !state_lines.isEmpty() || broken(); }, -1,
                  wait_mode::interruptible) ||
        state_lines.isEmpty()) {
        fail(QStringLiteral("the link ended"));
        return std::nullopt;
    }
    return state_lines.takeFirst();
}

void tracker_link::close()
{
    if (!worker) {
        return;
    }
    worker->request_exit();
    wait_for([this] { return ended; }, bounds.close_ms, wait_mode::to_the_end);
    worker->wait();
    worker.reset();
}

void tracker_link::interrupt()
{
    interrupt_requested = true;
    QMetaObject::invokeMethod(
        this, [this] { wake(); }, Qt::QueuedConnection);
}

void tracker_link::take_status(const QString& text)
{
    if (reports_open_failure(text)) {
        ++open_failures;
    } else if (reports_open(text)) {
        open_failures = 0;
    } else if (reports_refused_handshake(text)) {
        ++handshake_failures;
    }
    if (open_failures == bounds.open_attempts) {
        fail(QStringLiteral("cannot open the port: %1").arg(text));
    } else if (handshake_failures == bounds.handshake_attempts) {
        fail(QStringLiteral("the tracker refused the handshake %1 times").arg(handshake_failures));
    }
    if (on_status) {
        on_status(text);
    }
    wake();
}

void tracker_link::take_reply(const QString&, const QString& reply)
{
    replies << reply;
    wake();
}

void tracker_link::take_handshake()
{
    ready = true;
    open_failures = 0;
    handshake_failures = 0;
    wake();
}

void tracker_link::take_state_line(const QString& line)
{
    state_lines << line;
    wake();
}

void tracker_link::take_end()
{
    ended = true;
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
        if (!deadline.isForever()) {
            timer.start(int(deadline.remainingTime()));
        }
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
    return ended || open_failures >= bounds.open_attempts ||
           handshake_failures >= bounds.handshake_attempts;
}

// The first cause is the one worth telling.
void tracker_link::fail(const QString& why)
{
    if (failure.isEmpty()) {
        failure = interrupted() ? QStringLiteral("interrupted") : why;
    }
}
