#include "serial_port_thread.h"
#include "sim_process.h"
#include "wire_format.h"
#include "worker_probe.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <functional>

namespace {

constexpr int timeout_ms = 30000;
const QString read_gprs = QStringLiteral("AT+GPRS=?");

// A worker on the port of a simulated tracker, as the main window runs it.
struct tracker_link
{
    bool start(const QStringList& queued, const QStringList& options = {}, int speed = 115200)
    {
        if (!sim.start(options, QStringLiteral(TC_TEST_DATA "/link_profile.xml"))) {
            return false;
        }
        worker.set_port_params(sim.port_path(), speed, false);
        for (const QString& command : queued) {
            worker.slot_execute_cmd(command);
        }
        worker.start();
        return true;
    }
    bool stop()
    {
        worker.request_exit();
        return QTest::qWaitFor([this] { return probe.ended(); }, timeout_ms) &&
               worker.wait(timeout_ms);
    }
    int executed() const { return probe.of(QStringLiteral("executed")).size(); }

    sim_process sim;
    SerialPortThread worker;
    worker_probe probe{worker};
};

// Waits without processing events, so that the port errors stay queued.
bool wait_without_events(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(timeout_ms);
    while (!condition() && !deadline.hasExpired()) {
        QThread::msleep(5);
    }
    return condition();
}

bool control_without_events(sim_process& sim, const QString& command)
{
    QFile fifo(sim.control_path());
    if (!fifo.open(QIODevice::WriteOnly) || fifo.write(command.toUtf8() + '\n') < 0) {
        return false;
    }
    fifo.close();
    const QString acknowledged = QStringLiteral("control ") + command;
    return wait_without_events([&] { return sim.transcript().count_events(acknowledged) > 0; });
}

} // namespace

// The worker and the real serial port, mostly against the simulated tracker on a pseudo-terminal.
class tst_link_with_tracker : public QObject
{
    Q_OBJECT

private slots:
    void shakes_hands_polls_and_paces();
    void reconnects_after_unplug_during_poll();
    void ignores_port_errors_older_than_the_link();
    void closes_port_after_failed_setting();
    void exits_while_port_cannot_be_opened();
};

void tst_link_with_tracker::shakes_hands_polls_and_paces()
{
    tracker_link link;
    const QString long_read =
        QStringLiteral("AT+TRACKINGINTERVALSANDDISTANCESFORALLTHEMODESOFTHEDEVICE=?");
    QVERIFY2(link.start({read_gprs, long_read}), qPrintable(link.sim.error()));
    QTRY_COMPARE_WITH_TIMEOUT(link.executed(), 2, timeout_ms);
    QVERIFY(link.stop());

    const QString port = link.sim.port_path();
    QCOMPARE(link.probe.events.mid(0, 6),
             (QStringList{QStringLiteral("status Opening port %1 (115200)").arg(port),
                          QStringLiteral("status %1 open OK").arg(port),
                          QStringLiteral("status Handshaking..."),
                          QStringLiteral("status Handshake OK"), QStringLiteral("handshake"),
                          QStringLiteral("status Executing...") + read_gprs}));
    QCOMPARE(link.probe.of(QStringLiteral("executed")).first(),
             read_gprs + QStringLiteral(" -> +RESP:GPRS,1,60"));
    QVERIFY(link.sim.wait_for_event(QStringLiteral("data-mode")));
    const sim_transcript transcript = link.sim.transcript();
    QVERIFY(transcript.received_bytes().startsWith(wire::echo_probe + wire::access_code_frame()));
    QVERIFY(transcript.received_bytes().endsWith(wire::closing_frame()));

    // The simulator stamps a byte when it reads it; on a busy machine it may read two at once,
    // which shortens one gap and lengthens another. The median of the frame's gaps is immune to
    // a few such pairs, while a pause shorter than 1.5 ms pulls it below the bound.
    const int start = transcript.received_bytes().indexOf(long_read.toUtf8());
    QVector<qint64> gaps;
    for (int i = start + 1; i < start + long_read.size(); ++i) {
        gaps << transcript.received().at(i).time_us - transcript.received().at(i - 1).time_us;
    }
    std::sort(gaps.begin(), gaps.end());
    QVERIFY2(gaps.at(gaps.size() / 2) >= 1500,
             qPrintable(QString::number(gaps.at(gaps.size() / 2))));
}

void tst_link_with_tracker::reconnects_after_unplug_during_poll()
{
    tracker_link link;
    QStringList poll;
    for (int i = 0; i < 12; ++i) {
        poll << (i % 2 ? read_gprs : QStringLiteral("AT+NAME=?"));
    }
    QVERIFY2(link.start(poll), qPrintable(link.sim.error()));
    QTRY_VERIFY_WITH_TIMEOUT(link.executed() >= 3, timeout_ms);
    QVERIFY2(link.sim.unplug(), qPrintable(link.sim.error()));
    const QString cannot_open = QStringLiteral("status Can't open %1, error code %2")
                                    .arg(link.sim.port_path())
                                    .arg(int(QSerialPort::DeviceNotFoundError));
    QTRY_VERIFY_WITH_TIMEOUT(link.probe.events.contains(cannot_open), timeout_ms);
    QVERIFY(link.executed() < poll.size());
    QVERIFY2(link.sim.replug(), qPrintable(link.sim.error()));

    // Not one command is lost or sent twice.
    QTRY_COMPARE_WITH_TIMEOUT(link.executed(), poll.size(), timeout_ms);
    QStringList executed;
    for (const QString& result : link.probe.of(QStringLiteral("executed"))) {
        executed << result.section(QLatin1Char(' '), 0, 0);
    }
    QCOMPARE(executed, poll);
    QCOMPARE(link.probe.events.count(QStringLiteral("handshake")), 2);
}

// Port errors reach handleSerialError through the test thread's event loop. Here that loop is
// held while the tracker is unplugged and plugged in again, so the errors of the dead port and of
// the failed opens are delivered only after the worker has a new, working link. They must not
// close it.
void tst_link_with_tracker::ignores_port_errors_older_than_the_link()
{
    tracker_link link;
    QVERIFY2(link.start({}), qPrintable(link.sim.error()));
    QTRY_COMPARE_WITH_TIMEOUT(link.probe.events.count(QStringLiteral("handshake")), 1, timeout_ms);

    std::atomic<int> failed_opens{0};
    QObject::connect(
        &link.worker, &SerialPortThread::set_status_text, &link.worker,
        [&](const QString& status) {
            failed_opens += status.startsWith(QStringLiteral("Can't open")) ? 1 : 0;
        },
        Qt::DirectConnection);
    const auto opened = [&] {
        return link.sim.transcript().count_events(QStringLiteral("command-mode"));
    };
    // From here until the new link stands, no event is processed on this thread. The keep-alive
    // byte that cannot be written closes the dead link; opening then fails.
    QVERIFY(control_without_events(link.sim, QStringLiteral("unplug")));
    QVERIFY(wait_without_events([&] { return failed_opens >= 2; }));
    QVERIFY(control_without_events(link.sim, QStringLiteral("replug")));
    QVERIFY(wait_without_events([&] { return opened() >= 2; }));

    link.worker.slot_execute_cmd(read_gprs);
    QTRY_COMPARE_WITH_TIMEOUT(link.executed(), 1, timeout_ms);
    QCOMPARE(link.probe.events.count(QStringLiteral("handshake")), 2);
    QCOMPARE(opened(), 2);
}

// A speed the port refuses leaves the port closed, so every later attempt gets as far again
// instead of failing to open a port that is still open.
void tst_link_with_tracker::closes_port_after_failed_setting()
{
    tracker_link link;
    QVERIFY2(link.start({}, {}, 0), qPrintable(link.sim.error()));
    const QString message =
        QStringLiteral("status Can't set baud rate 0 baud to port %1, error code %2")
            .arg(link.sim.port_path())
            .arg(int(QSerialPort::UnsupportedOperationError));
    QTRY_VERIFY_WITH_TIMEOUT(link.probe.events.count(message) >= 2, timeout_ms);
    QVERIFY(link.stop());
    QVERIFY(link.probe.of(QStringLiteral("status")).filter(QStringLiteral("Can't open")).isEmpty());
    QCOMPARE(link.sim.transcript().received_bytes(), QByteArray());
}

void tst_link_with_tracker::exits_while_port_cannot_be_opened()
{
    const QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("tracker"));
    SerialPortThread worker;
    const worker_probe probe(worker);
    worker.set_port_params(missing, 115200, false);
    worker.slot_execute_cmd(read_gprs);
    worker.start();
    const QString failure = QStringLiteral("status Can't open %1, error code %2")
                                .arg(missing)
                                .arg(int(QSerialPort::DeviceNotFoundError));
    QTRY_VERIFY_WITH_TIMEOUT(probe.events.contains(failure), timeout_ms);
    worker.request_exit();
    QTRY_VERIFY_WITH_TIMEOUT(probe.ended(), timeout_ms);
    QVERIFY(worker.wait(timeout_ms));
    QCOMPARE(probe.events.filter(QStringLiteral("status Opening port")).size(),
             probe.events.count(failure));
    QCOMPARE(probe.events.last(), QStringLiteral("disconnected"));
}

QTEST_GUILESS_MAIN(tst_link_with_tracker)
#include "tst_link_with_tracker.moc"
