#include "serial_port_thread.h"
#include "trace_capture.h"
#include "worker_probe.h"

#include <QMetaMethod>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

namespace {

const QStringList closing_traces{QStringLiteral("close port finished 1..."),
                                 QStringLiteral("close port finished 2...")};

} // namespace

// The worker on its own, where no tracker is needed.
class tst_serial_port_thread : public QObject
{
    Q_OBJECT

private slots:
    void offers_signals_then_slots();
    void closes_only_on_link_errors_data();
    void closes_only_on_link_errors();
    void destroying_unstarted_worker_sends_nothing();
    void exits_while_port_cannot_be_opened();
};

// The main window connects by these signatures, and the order is the one it relies on.
void tst_serial_port_thread::offers_signals_then_slots()
{
    const QMetaObject& meta = SerialPortThread::staticMetaObject;
    QCOMPARE(meta.className(), "SerialPortThread");
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        methods << QString::fromLatin1(meta.method(i).methodSignature());
    }
    const QStringList expected{
        QStringLiteral("set_status_text(QString)"),
        QStringLiteral("cmd_executed(QString,QString)"),
        QStringLiteral("handshake_ok()"),
        QStringLiteral("disconnected_gracefully()"),
        QStringLiteral("sensor_data(QString)"),
        QStringLiteral("handleSerialError(QSerialPort::SerialPortError)"),
        QStringLiteral("slot_execute_cmd(QString)"),
    };
    QCOMPARE(methods, expected);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(meta.method(meta.methodOffset() + i).methodType(), QMetaMethod::Signal);
    }
}

void tst_serial_port_thread::closes_only_on_link_errors_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("closes");

    QTest::newRow("no error") << QSerialPort::NoError << false;
    QTest::newRow("device not found") << QSerialPort::DeviceNotFoundError << true;
    QTest::newRow("permission") << QSerialPort::PermissionError << true;
    QTest::newRow("open") << QSerialPort::OpenError << false;
    QTest::newRow("parity") << QSerialPort::ParityError << false;
    QTest::newRow("framing") << QSerialPort::FramingError << false;
    QTest::newRow("break") << QSerialPort::BreakConditionError << false;
    QTest::newRow("write") << QSerialPort::WriteError << true;
    QTest::newRow("read") << QSerialPort::ReadError << false;
    QTest::newRow("resource") << QSerialPort::ResourceError << true;
    QTest::newRow("unsupported") << QSerialPort::UnsupportedOperationError << false;
    QTest::newRow("unknown") << QSerialPort::UnknownError << true;
    QTest::newRow("timeout") << QSerialPort::TimeoutError << false;
    QTest::newRow("not open") << QSerialPort::NotOpenError << false;
}

// A worker that does not run has no port: a link error only clears the flags, with the traces.
void tst_serial_port_thread::closes_only_on_link_errors()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, closes);

    SerialPortThread worker;
    const trace_capture traces;
    worker.handleSerialError(error);
    QCOMPARE(traces.lines(), closes ? closing_traces : QStringList{});
}

void tst_serial_port_thread::destroying_unstarted_worker_sends_nothing()
{
    const trace_capture traces;
    {
        SerialPortThread worker;
        worker.set_port_params(QStringLiteral("/dev/null"), 115200, false);
        worker.slot_execute_cmd(QStringLiteral("AT+GPRS=?"));
    }
    QCOMPARE(traces.count(QStringLiteral("Sending bye...")), 0);
    QVERIFY(traces.lines().endsWith(closing_traces.last()));
}

void tst_serial_port_thread::exits_while_port_cannot_be_opened()
{
    const QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("tracker"));
    const trace_capture traces;
    SerialPortThread worker;
    const worker_probe probe(worker);
    worker.set_port_params(missing, 115200, false);
    worker.slot_execute_cmd(QStringLiteral("AT+GPRS=?"));
    worker.start();

    const QString failure = QStringLiteral("Can't open %1, error code %2")
                                .arg(missing)
                                .arg(int(QSerialPort::DeviceNotFoundError));
    QTRY_VERIFY_WITH_TIMEOUT(probe.count_of_status(failure) >= 2, 10000);
    worker.request_exit();
    // The retry pause gives way to the exit request.
    QTRY_COMPARE_WITH_TIMEOUT(probe.disconnections, 1, 3000);
    QVERIFY(worker.wait(10000));

    QCOMPARE(probe.statuses.first(), QStringLiteral("Opening port %1 (115200)").arg(missing));
    QCOMPARE(probe.handshakes, 0);
    QVERIFY(probe.executed.isEmpty());
    QCOMPARE(probe.events.last(), QStringLiteral("disconnected"));
    QCOMPARE(traces.count(QStringLiteral("Sending bye...")), 0);
    QCOMPARE(traces.count(QStringLiteral("Thraed finished ok!")), 1);
}

QTEST_GUILESS_MAIN(tst_serial_port_thread)
#include "tst_serial_port_thread.moc"
