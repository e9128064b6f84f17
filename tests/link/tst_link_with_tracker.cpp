#include "sim_process.h"
#include "worker_probe.h"

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
    bool start(const QStringList& queued, int speed = 115200)
    {
        if (!sim.start({}, QStringLiteral(TC_TEST_DATA "/link_profile.xml"))) {
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
    int handshakes() const { return probe.events.count(QStringLiteral("handshake")); }

    sim_process sim;
    SerialPortThread worker;
    worker_probe probe{worker};
};

// Waits on a deadline without processing events, so that port errors stay queued.
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
    return wait_without_events([&] { return sim.transcript().count_events("control " + command); });
}

} // namespace

// The worker on a real serial port: the simulated tracker's pseudo-terminal.
class tst_link_with_tracker : public QObject
{
    Q_OBJECT

private slots:
    void polls_through_an_unplug();
    void ignores_port_errors_older_than_the_link();
    void keeps_trying_after_a_refused_setting();
};

// A poll on the real port, and the tracker pulled out during it and plugged in again: not one
// command is lost or sent twice.
void tst_link_with_tracker::polls_through_an_unplug()
{
    tracker_link link;
    const QString long_read =
        QStringLiteral("AT+TRACKINGINTERVALSANDDISTANCESFORALLTHEMODESOFTHEDEVICE=?");
    QStringList poll{read_gprs, long_read};
    for (int i = 0; i < 10; ++i) {
        poll << (i % 2 ? read_gprs : QStringLiteral("AT+NAME=?"));
    }
    QVERIFY2(link.start(poll), qPrintable(link.sim.error()));
    QTRY_VERIFY_WITH_TIMEOUT(link.executed() >= 3, timeout_ms);
    QVERIFY2(link.sim.unplug(), qPrintable(link.sim.error()));
    QTRY_VERIFY_WITH_TIMEOUT(!link.probe.of("status").filter("Can't open").isEmpty(), timeout_ms);
    QVERIFY(link.executed() < poll.size());
    QVERIFY2(link.sim.replug(), qPrintable(link.sim.error()));
    QTRY_COMPARE_WITH_TIMEOUT(link.executed(), poll.size(), timeout_ms);
    QVERIFY(link.stop());

    QCOMPARE(link.probe.of("executed").replaceInStrings(QRegularExpression(" ->.*"), ""), poll);
    QCOMPARE(link.handshakes(), 2);
    const sim_transcript transcript = link.sim.transcript();

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

// Port errors reach handleSerialError through the test thread's event loop. Here that loop is
// held while the tracker is unplugged and plugged in again, so the errors of the dead port and of
// the failed opens are delivered only after the worker has a new, working link. They must not
// close it.
void tst_link_with_tracker::ignores_port_errors_older_than_the_link()
{
    tracker_link link;
    QVERIFY2(link.start({}), qPrintable(link.sim.error()));
    QTRY_COMPARE_WITH_TIMEOUT(link.handshakes(), 1, timeout_ms);
    std::atomic<int> failed_opens{0};
    QObject::connect(
        &link.worker, &SerialPortThread::set_status_text, &link.worker,
        [&](const QString& status) { failed_opens += status.startsWith("Can't open") ? 1 : 0; },
        Qt::DirectConnection);
    const auto command_modes = [&] { return link.sim.transcript().count_events("command-mode"); };

    // The keep-alive byte that cannot be written closes the dead link; opening then fails.
    QVERIFY(control_without_events(link.sim, QStringLiteral("unplug")));
    QVERIFY(wait_without_events([&] { return failed_opens >= 2; }));
    QVERIFY(control_without_events(link.sim, QStringLiteral("replug")));
    QVERIFY(wait_without_events([&] { return command_modes() >= 2; }));

    link.worker.slot_execute_cmd(read_gprs);
    QTRY_COMPARE_WITH_TIMEOUT(link.executed(), 1, timeout_ms);
    QCOMPARE(link.handshakes(), 2);
    QCOMPARE(command_modes(), 2);
}

// Every attempt fails the same way: a port is not left open after a failed setting, where the
// next attempt would fail to open it. An exit ends the attempts without a byte sent.
void tst_link_with_tracker::keeps_trying_after_a_refused_setting()
{
    tracker_link link;
    QVERIFY2(link.start({read_gprs}, 0), qPrintable(link.sim.error()));
    const QString failure =
        QStringLiteral("status Can't set baud rate 0 baud to port %1, error code %2")
            .arg(link.sim.port_path())
            .arg(QSerialPort::UnsupportedOperationError);
    QTRY_VERIFY_WITH_TIMEOUT(link.probe.events.count(failure) >= 2, timeout_ms);
    QVERIFY(link.stop());
    QCOMPARE(link.probe.events.filter("status Opening port").size(),
             link.probe.events.count(failure));
    QCOMPARE(link.probe.events.last(), QStringLiteral("disconnected"));
    QCOMPARE(link.sim.transcript().received_bytes(), QByteArray());
}

QTEST_GUILESS_MAIN(tst_link_with_tracker)
#include "tst_link_with_tracker.moc"
