#include "sim_process.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool link_exists(const QString& path)
{
    return QFileInfo(path).isSymLink();
}

// Without blocking: a FIFO whose reader is gone must fail the write, not hang the test.
bool write_line(const QString& path, const QString& line)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const QByteArray bytes = line.toUtf8() + '\n';
    const bool written =
        fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    if (fd >= 0)
        ::close(fd);
    return written;
}

// The simulator's answers to a control command, in order: "control C" or "control-error C: why".
QStringList acknowledgements(const sim_transcript& transcript, const QString& command)
{
    QStringList found;
    for (const sim_transcript::event& event : transcript.events()) {
        if (event.text == QStringLiteral("control ") + command ||
            event.text.startsWith(QStringLiteral("control-error ") + command + QLatin1Char(':')))
            found.append(event.text);
    }
    return found;
}

} // namespace

sim_process::~sim_process()
{
    if (running() && !stop())
        process.kill();
    process.waitForFinished(default_timeout_ms);
}

QString sim_process::executable()
{
    return QStringLiteral(TC_SIM_EXECUTABLE);
}

QString sim_process::default_profile()
{
    return QStringLiteral(TC_SIM_TEST_DATA "/sim_profile.xml");
}

bool sim_process::fail(const QString& message)
{
    const QString output = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    last_error = output.isEmpty() ? message : message + " (simulator: " + output + ')';
    return false;
}

bool sim_process::start(const QStringList& options, const QString& profile)
{
    if (!directory.isValid() || running())
        return fail(QStringLiteral("no temporary folder, or already running"));
    process.start(executable(),
                  QStringList{"--profile", profile.isEmpty() ? default_profile() : profile,
                              "--port", port_path(), "--transcript", transcript_path(), "--state",
                              state_path(), "--control", control_path()} +
                      options);
    const bool plugged = process.waitForStarted(default_timeout_ms) &&
                         wait_for([this](const sim_transcript& transcript) {
                             return transcript.count_events(QStringLiteral("plugged")) > 0 &&
                                    link_exists(port_path());
                         });
    return plugged || fail(QStringLiteral("the simulator did not plug in"));
}

bool sim_process::stop()
{
    process.terminate();
    if (!process.waitForFinished(default_timeout_ms))
        return fail(QStringLiteral("the simulator did not stop"));
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return fail(QStringLiteral("the simulator ended with code %1").arg(process.exitCode()));
    return !link_exists(port_path()) || fail(QStringLiteral("the port link is still there"));
}

bool sim_process::control(const QString& command)
{
    const int before = acknowledgements(transcript(), command).size();
    if (!write_line(control_path(), command))
        return fail(QStringLiteral("cannot write to ") + control_path());
    QString answer;
    wait_for([&](const sim_transcript& transcript) {
        answer = acknowledgements(transcript, command).value(before);
        return !answer.isEmpty();
    });
    if (answer.isEmpty())
        return fail(QStringLiteral("no acknowledgement of \"%1\"").arg(command));
    return !answer.startsWith(QStringLiteral("control-error")) || fail(answer);
}

bool sim_process::unplug()
{
    return control(QStringLiteral("unplug")) &&
           (!link_exists(port_path()) || fail(QStringLiteral("the port link is still there")));
}

bool sim_process::replug(const QString& unit_state)
{
    const QString command = QStringLiteral("replug");
    return control(unit_state.isEmpty() ? command : command + QLatin1Char(' ') + unit_state) &&
           (link_exists(port_path()) || fail(QStringLiteral("the port link is missing")));
}

sim_transcript sim_process::transcript() const
{
    return sim_transcript::read(transcript_path());
}

bool sim_process::wait_for(const std::function<bool(const sim_transcript&)>& condition,
                           int timeout_ms)
{
    // Ends early when the simulator has died: its transcript will not change any more.
    return QTest::qWaitFor([&] { return condition(transcript()) || !running(); }, timeout_ms) &&
           condition(transcript());
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
    const QJsonObject state =
        QJsonDocument::fromJson(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray())
            .object();
    for (auto it = state.begin(); it != state.end(); ++it) {
        for (const QJsonValue& value : it.value().toArray())
            values[it.key()].append(value.toString());
    }
    return values;
}
