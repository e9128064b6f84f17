#include "sim_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Long enough for the transcript to be re-read often, short enough to cost nothing.
constexpr int poll_interval_ms = 5;

bool link_exists(const QString& path)
{
    return QFileInfo(path).isSymLink();
}

bool write_line(const QString& path, const QString& line)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return written;
}

bool acknowledges(const QString& event, const QString& command)
{
    return event == QStringLiteral("control ") + command ||
           event.startsWith(QStringLiteral("control-error ") + command + QLatin1Char(':'));
}

QStringList acknowledgements(const sim_transcript& transcript, const QString& command)
{
    QStringList found;
    for (const QString& event : transcript.event_texts()) {
        if (acknowledges(event, command)) {
            found.append(event);
        }
    }
    return found;
}

} // namespace

sim_process::sim_process()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
}

sim_process::~sim_process()
{
    if (running()) {
        process.terminate();
        if (!process.waitForFinished(default_timeout_ms)) {
            process.kill();
            process.waitForFinished(default_timeout_ms);
        }
    }
}

QString sim_process::executable()
{
    return QStringLiteral(TC_SIM_EXECUTABLE);
}

QString sim_process::default_profile()
{
    return QStringLiteral(TC_SIM_TEST_DATA "/sim_profile.xml");
}

QString sim_process::folder() const
{
    return directory.path();
}

QString sim_process::port_path() const
{
    return directory.filePath(QStringLiteral("ttySIM"));
}

QString sim_process::transcript_path() const
{
    return directory.filePath(QStringLiteral("transcript.txt"));
}

QString sim_process::state_path() const
{
    return directory.filePath(QStringLiteral("state.json"));
}

QString sim_process::control_path() const
{
    return directory.filePath(QStringLiteral("control.fifo"));
}

bool sim_process::fail(const QString& message)
{
    last_error = message;
    const QByteArray output = process.readAllStandardError();
    if (!output.isEmpty()) {
        last_error += QStringLiteral(" (simulator: ") + QString::fromLocal8Bit(output).trimmed() +
                      QLatin1Char(')');
    }
    return false;
}

bool sim_process::start(const QStringList& options, const QString& profile)
{
    if (!directory.isValid()) {
        return fail(QStringLiteral("no temporary folder"));
    }
    if (running()) {
        return fail(QStringLiteral("already running"));
    }
    QStringList arguments{
        QStringLiteral("--profile"),    profile.isEmpty() ? default_profile() : profile,
        QStringLiteral("--port"),       port_path(),
        QStringLiteral("--transcript"), transcript_path(),
        QStringLiteral("--state"),      state_path(),
        QStringLiteral("--control"),    control_path()};
    process.start(executable(), arguments + options);
    if (!process.waitForStarted(default_timeout_ms)) {
        return fail(QStringLiteral("cannot start ") + executable());
    }
    const bool plugged = wait_for([this](const sim_transcript& transcript) {
        return transcript.count_events(QStringLiteral("plugged")) > 0 && link_exists(port_path());
    });
    return plugged || fail(QStringLiteral("the simulator did not plug in"));
}

bool sim_process::stop()
{
    if (!running()) {
        return fail(QStringLiteral("not running"));
    }
    process.terminate();
    if (!process.waitForFinished(default_timeout_ms)) {
        return fail(QStringLiteral("the simulator did not stop"));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return fail(QStringLiteral("the simulator ended with code %1").arg(process.exitCode()));
    }
    return !link_exists(port_path()) || fail(QStringLiteral("the port link is still there"));
}

bool sim_process::running() const
{
    return process.state() != QProcess::NotRunning;
}

bool sim_process::control(const QString& command)
{
    const int before = acknowledgements(transcript(), command).size();
    if (!write_line(control_path(), command)) {
        return fail(QStringLiteral("cannot write to ") + control_path());
    }
    if (!wait_for([&](const sim_transcript& transcript) {
            return acknowledgements(transcript, command).size() > before;
        })) {
        return fail(QStringLiteral("no acknowledgement of \"%1\"").arg(command));
    }
    const QString answer = acknowledgements(transcript(), command).value(before);
    return !answer.startsWith(QStringLiteral("control-error")) || fail(answer);
}

bool sim_process::unplug()
{
    return control(QStringLiteral("unplug")) &&
           (!link_exists(port_path()) || fail(QStringLiteral("the port link is still there")));
}

bool sim_process::replug()
{
    return control(QStringLiteral("replug")) &&
           (link_exists(port_path()) || fail(QStringLiteral("the port link is missing")));
}

sim_transcript sim_process::transcript() const
{
    return sim_transcript::read(transcript_path());
}

bool sim_process::wait_for(const std::function<bool(const sim_transcript&)>& condition,
                           int timeout_ms)
{
    const QDeadlineTimer deadline(timeout_ms);
    for (;;) {
        if (condition(transcript())) {
            return true;
        }
        if (deadline.hasExpired() || !running()) {
            return condition(transcript());
        }
        QTest::qWait(poll_interval_ms);
    }
}

bool sim_process::wait_for_event(const QString& text, int count, int timeout_ms)
{
    return wait_for(
        [&](const sim_transcript& transcript) { return transcript.count_events(text) >= count; },
        timeout_ms);
}

QMap<QString, QStringList> sim_process::saved_values() const
{
    QFile file(state_path());
    QMap<QString, QStringList> values;
    if (!file.open(QIODevice::ReadOnly)) {
        return values;
    }
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = state.begin(); it != state.end(); ++it) {
        QStringList list;
        for (const QJsonValue& value : it.value().toArray()) {
            list.append(value.toString());
        }
        values.insert(it.key(), list);
    }
    return values;
}
