#include "fake_tracker.h"
#include "serial_port_thread.h"
#include "tracker_protocol.h"
#include "worker_probe.h"

#include <QtTest>

using reply = fake_tracker::reply;
Q_DECLARE_METATYPE(reply)
Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

namespace {

constexpr qint64 second_us = 1000000;
const QByteArray code_frame = '\r' + QByteArray(fake_tracker::access_code) + '\r';
const QByteArray closing_frame = '\r' + QByteArray(fake_tracker::closing_command) + '\r';
const QByteArray read_gprs = QByteArrayLiteral("AT+GPRS=?");
const QByteArray gprs_reply = QByteArrayLiteral("+RESP:GPRS,1,60");

reply at(qint64 delay_us, const QByteArray& bytes)
{
    return {{delay_us, bytes}};
}

// The protocol on its own timings over a fake tracker, which keeps the time.
struct protocol_run : link_owner
{
    explicit protocol_run(bool bluetooth = false) : protocol(tracker, *this, bluetooth, {})
    {
        tracker.open(QIODevice::ReadWrite);
    }
    bool link_lost() const override { return lost; }
    bool exit_requested() const override { return exit; }
    void report_status(const QString& text) override { statuses << text; }
    void pause_us(qint64 us) override { tracker.advance(us); }

    fake_tracker tracker;
    tracker_protocol protocol;
    bool lost = false;
    bool exit = false;
    QStringList statuses;
};

class fake_worker : public SerialPortThread
{
public:
    fake_worker(fake_tracker& tracker, bool bluetooth)
        : SerialPortThread(tracker, [&tracker](qint64 us) { tracker.advance(us); })
    {
        set_port_params(QStringLiteral("fake"), 115200, bluetooth);
    }
};

// The worker's loop over a fake tracker; the tracker's hooks, or the worker itself, end the run.
struct worker_run
{
    explicit worker_run(bool bluetooth = false) : worker(tracker, bluetooth), probe(worker)
    {
        tracker.command_mode = bluetooth;
    }
    bool run(const QList<QByteArray>& queued)
    {
        for (const QByteArray& command : queued) {
            worker.slot_execute_cmd(QString::fromUtf8(command.data(), command.size()));
        }
        worker.start();
        return QTest::qWaitFor([this] { return probe.ended(); }, 20000) && worker.wait(20000);
    }
    // For the hooks, which run on the worker thread.
    void exit_after(qint64 us)
    {
        tracker.at(tracker.now_us() + us, [this] { worker.request_exit(); });
    }

    fake_tracker tracker;
    fake_worker worker;
    worker_probe probe;
};

} // namespace

// The protocol and the worker's loop against a tracker inside the test.
class tst_link_protocol : public QObject
{
    Q_OBJECT

private slots:
    void shakes_hands_data();
    void shakes_hands();
    void exchanges_commands_data();
    void exchanges_commands();

    void runs_the_link_data();
    void runs_the_link();
    void gives_up_after_21_failures_data();
    void gives_up_after_21_failures();
    void keeps_wired_link_alive_data();
    void keeps_wired_link_alive();
    void reopens_on_link_errors_data();
    void reopens_on_link_errors();
};

void tst_link_protocol::shakes_hands_data()
{
    QTest::addColumn<int>("refusals"); // -1: already in command mode
    QTest::addColumn<qint64>("prompt_delay_us");
    QTest::addColumn<QString>("at_first_code"); // "exit" or "lost"
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<qint64>("retry_gap_us"); // from the first code's CR to the second code

    const QByteArray two_codes = '&' + code_frame + code_frame;
    // The CR's own pause, the wait for the prompt, the pause before trying again.
    const qint64 gap = 1500 + 100000 + second_us;
    QTest::newRow("command mode already on")
        << -1 << 0LL << "" << QByteArray("&\r") << "Already done!" << 0LL;
    QTest::newRow("code accepted") << 0 << 0LL << "" << '&' + code_frame << "Handshake OK" << 0LL;
    QTest::newRow("accepted at the second attempt")
        << 1 << 0LL << "" << two_codes << "Handshake OK" << gap;
    // The second attempt finds the prompt that came too late for the first.
    QTest::newRow("prompt later than the pause")
        << 0 << 150000LL << "" << two_codes << "Handshake OK" << gap;
    QTest::newRow("refused twice")
        << 2 << 0LL << "" << two_codes + closing_frame << "Handshake ERROR" << gap;
    // Only the pause gives way: the tracker still gets the closing command.
    QTest::newRow("exit requested")
        << 2 << 0LL << "exit" << two_codes + closing_frame << "Handshake ERROR" << gap - second_us;
    QTest::newRow("link lost") << 2 << 0LL << "lost" << '&' + code_frame << "" << 0LL;
}

void tst_link_protocol::shakes_hands()
{
    QFETCH(int, refusals);
    QFETCH(qint64, prompt_delay_us);
    QFETCH(QString, at_first_code);
    QFETCH(QByteArray, sent);
    QFETCH(QString, outcome);
    QFETCH(qint64, retry_gap_us);

    protocol_run run;
    run.tracker.command_mode = refusals < 0;
    run.tracker.refusals = refusals;
    run.tracker.prompt_delay_us = prompt_delay_us;
    run.tracker.on_frame = [&](const QByteArray& frame) {
        run.exit |= frame == fake_tracker::access_code && at_first_code == "exit";
        run.lost |= frame == fake_tracker::access_code && at_first_code == "lost";
    };
    QCOMPARE(run.protocol.handshake(), outcome == "Handshake OK" || outcome == "Already done!");
    QCOMPARE(run.tracker.received, sent);
    QStringList statuses{"Handshaking..."};
    if (!outcome.isEmpty()) {
        statuses << outcome;
    }
    QCOMPARE(run.statuses, statuses);
    const int second_code = sent.lastIndexOf(code_frame);
    if (retry_gap_us > 0) {
        const qint64 gap =
            run.tracker.received_at.at(second_code) - run.tracker.received_at.at(second_code - 1);
        QCOMPARE(gap, retry_gap_us);
    }
}

void tst_link_protocol::exchanges_commands_data()
{
    QTest::addColumn<bool>("bluetooth");
    QTest::addColumn<reply>("answer");
    QTest::addColumn<QByteArray>("reply"); // empty: none found

    const QByteArray line = gprs_reply + '\r';
    const QByteArray ten_lines = "\rERROR\r$SD,1,AAEC\r" + QByteArray("x\r").repeated(7);
    const QByteArray longest = "+RESP:" + QByteArray(1017, 'x');
    const QByteArray none;
    QTest::newRow("wired") << false << at(0, line) << gprs_reply;
    QTest::newRow("bluetooth") << true << at(0, line) << gprs_reply;
    QTest::newRow("cr lf") << false << at(0, gprs_reply + "\r\n") << gprs_reply;
    QTest::newRow("lf cr") << false << at(0, gprs_reply + "\n\r") << gprs_reply;
    QTest::newRow("lf within a line") << false << at(0, "+RESP:GP\nRS,1,60\r") << gprs_reply;
    QTest::newRow("reply anywhere in a line")
        << false << at(0, "echo +RESP:GPRS,5\r") << QByteArray("echo +RESP:GPRS,5");
    QTest::newRow("error reply") << false << at(0, "+RESP:GPRS,ERROR,PASSWORD\r")
                                 << QByteArray("+RESP:GPRS,ERROR,PASSWORD");
    QTest::newRow("ten other lines first") << false << at(0, ten_lines + line) << gprs_reply;
    QTest::newRow("eleven other lines first") << false << at(0, "\r" + ten_lines + line) << none;
    QTest::newRow("longest line") << false << at(0, longest + '\r') << longest;
    // Cut short, it would pass for a reply.
    QTest::newRow("over-long line dropped") << false << at(0, longest + "x\r" + line) << gprs_reply;
    QTest::newRow("wired, 1.0 s late") << false << at(second_us, line) << gprs_reply;
    QTest::newRow("wired, 1.1 s late") << false << at(1100000, line) << none;
    QTest::newRow("bluetooth, 10.0 s late") << true << at(10 * second_us, line) << gprs_reply;
    QTest::newRow("bluetooth, 10.1 s late") << true << at(10100000, line) << none;
    QTest::newRow("every byte restarts the silence")
        << false << reply{{0, "+RESP:GP"}, {900000, "RS,1,"}, {900000, "60\r"}} << gprs_reply;
    QTest::newRow("no answer") << false << reply{} << none;
}

void tst_link_protocol::exchanges_commands()
{
    QFETCH(bool, bluetooth);
    QFETCH(reply, answer);
    QFETCH(QByteArray, reply);

    protocol_run run(bluetooth);
    run.tracker.command_mode = true;
    run.tracker.replies[read_gprs] = {answer};
    QByteArray result;
    QCOMPARE(run.protocol.execute_command(read_gprs, result), !reply.isEmpty());
    QCOMPARE(result, reply);
    QCOMPARE(run.tracker.received, (bluetooth ? "" : "\r") + read_gprs + '\r');
    const QVector<qint64>& times = run.tracker.received_at;
    for (int i = 1; i < times.size(); ++i) {
        QCOMPARE(times.at(i) - times.at(i - 1), qint64(1500));
    }
}

void tst_link_protocol::runs_the_link_data()
{
    QTest::addColumn<bool>("bluetooth");
    QTest::addColumn<int>("refusals");         // -1: already in command mode
    QTest::addColumn<QStringList>("statuses"); // until the link is ready
    QTest::addColumn<QByteArray>("handshake");

    const QString shaking = QStringLiteral("Handshaking...");
    QTest::newRow("wired") << false << 0 << QStringList{shaking, "Handshake OK"}
                           << '&' + code_frame;
    QTest::newRow("wired, command mode on")
        << false << -1 << QStringList{shaking, "Already done!"} << QByteArray("&\r");
    QTest::newRow("wired, refused once")
        << false << 2 << QStringList{shaking, "Handshake ERROR", shaking, "Handshake OK"}
        << '&' + code_frame + code_frame + closing_frame + '&' + code_frame;
    QTest::newRow("bluetooth") << true << 0 << QStringList{} << QByteArray();
}

// Queued commands wait for the handshake and go out one by one; those that cannot be framed are
// dropped: the longest one that fits has two framing CRs and the device buffer's terminator
// beside it on a wired link, one CR on Bluetooth. Device-state lines are forwarded only between
// exchanges. At the exit the command under way is completed and the rest are not sent.
void tst_link_protocol::runs_the_link()
{
    QFETCH(bool, bluetooth);
    QFETCH(int, refusals);
    QFETCH(QStringList, statuses);
    QFETCH(QByteArray, handshake);

    worker_run run(bluetooth);
    run.tracker.command_mode |= refusals < 0;
    run.tracker.refusals = refusals;
    const QByteArray longest(bluetooth ? 1022 : 1021, 'y');
    const QByteArray set_name = "AT+NAME=7395,Трекер №1,";
    run.tracker.replies[read_gprs] = {at(0, "$SD,1,AA\r\n" + gprs_reply + "\r\n$SD,2,AB\r\n")};
    run.tracker.replies[longest] = {at(0, "+RESP:Y\r\n")};
    run.tracker.replies[set_name] = {at(0, "+RESP:NAME,Трекер №1\r\n")};
    run.tracker.on_frame = [&](const QByteArray& frame) {
        if (frame == set_name) {
            run.worker.request_exit();
        }
    };
    // One byte too long, in fewer characters than bytes.
    const QByteArray too_long = (bluetooth ? "x" : "") + QString(511, QChar(0x416)).toUtf8();
    const QList<QByteArray> unframable{too_long, "AT+A=1\rAT+B=?", "AT+A=1\n", {"AT\0", 3}};
    for (const char* trace : {"Thraed finished ok!", "Sending bye...", "usleeping...",
                              "flushing...", "clearing error...", "closing port...", "closed."}) {
        QTest::ignoreMessage(QtDebugMsg, trace);
    }
    QVERIFY(run.run(QList<QByteArray>{read_gprs} + unframable +
                    QList<QByteArray>{longest, set_name, "AT+PIN=?"}));

    QStringList events{"status Opening port fake (115200)", "status fake open OK"};
    for (const QString& status : statuses) {
        events << "status " + status;
    }
    events << "handshake"
           << "status Executing...AT+GPRS=?"
           << "executed AT+GPRS=? -> +RESP:GPRS,1,60"
           << "sensor $SD,2,AB";
    for (const QByteArray& command : unframable) {
        events << "status Executing..." + QString::fromUtf8(command.data(), command.size())
               << "status Command error...";
    }
    events << "status Executing..." + longest << "executed " + longest + " -> +RESP:Y"
           << "status Executing...AT+NAME=7395,Трекер №1,"
           << "executed AT+NAME=7395,Трекер №1, -> +RESP:NAME,Трекер №1"
           << "disconnected";
    QCOMPARE(run.probe.events, events);
    const QByteArray frame_start = bluetooth ? "" : "\r";
    QCOMPARE(run.tracker.received, handshake + frame_start + read_gprs + '\r' + frame_start +
                                       longest + '\r' + frame_start + set_name + '\r' +
                                       closing_frame);
}

void tst_link_protocol::gives_up_after_21_failures_data()
{
    QTest::addColumn<QVector<bool>>("answers"); // per attempt the tracker allows for
    QTest::addColumn<int>("attempts");

    const QVector<bool> twenty(20, false);
    QTest::newRow("20 failures, then a reply") << twenty + QVector<bool>{true} << 21;
    QTest::newRow("21 failures") << twenty + QVector<bool>{false, true} << 21;
    QTest::newRow("a reply starts the count afresh")
        << twenty + QVector<bool>{true} + twenty + QVector<bool>{true} << 42;
}

void tst_link_protocol::gives_up_after_21_failures()
{
    QFETCH(QVector<bool>, answers);
    QFETCH(int, attempts);

    worker_run run;
    QList<QByteArray> queued;
    for (const bool answered : answers) {
        run.tracker.replies[read_gprs] << (answered ? at(0, gprs_reply + '\r') : reply{});
        queued << (answered ? QList<QByteArray>{read_gprs} : QList<QByteArray>{});
    }
    int sent = 0;
    run.tracker.on_frame = [&](const QByteArray& frame) {
        if (frame == read_gprs && ++sent == answers.size()) {
            run.worker.request_exit();
        }
    };
    QVERIFY(run.run(queued));
    QCOMPARE(sent, attempts);
    QCOMPARE(run.probe.of("status").count("Command error..."), answers.mid(0, sent).count(false));
    QCOMPARE(run.probe.of("executed").size(), answers.mid(0, sent).count(true));
}

void tst_link_protocol::keeps_wired_link_alive_data()
{
    QTest::addColumn<bool>("bluetooth");
    QTest::addColumn<int>("keep_alives");

    // The handshake takes about 0.25 s of the five.
    QTest::newRow("wired") << false << 4;
    QTest::newRow("bluetooth") << true << 0;
}

void tst_link_protocol::keeps_wired_link_alive()
{
    QFETCH(bool, bluetooth);
    QFETCH(int, keep_alives);

    worker_run run(bluetooth);
    run.exit_after(5 * second_us);
    QVERIFY(run.run({}));
    QCOMPARE(run.tracker.received.count('\0'), keep_alives);
    for (int i = run.tracker.received.indexOf('\0'), next; i >= 0; i = next) {
        next = run.tracker.received.indexOf('\0', i + 1);
        // Eleven silent waits of the loop lie between two of them.
        QVERIFY(next < 0 ||
                run.tracker.received_at.at(next) - run.tracker.received_at.at(i) == 11 * 100000);
    }
}

void tst_link_protocol::reopens_on_link_errors_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("closes");

    QTest::newRow("device not found") << QSerialPort::DeviceNotFoundError << true;
    QTest::newRow("permission") << QSerialPort::PermissionError << true;
    QTest::newRow("write") << QSerialPort::WriteError << true;
    QTest::newRow("resource") << QSerialPort::ResourceError << true;
    QTest::newRow("unknown") << QSerialPort::UnknownError << true;
    QTest::newRow("read") << QSerialPort::ReadError << false;
    QTest::newRow("timeout") << QSerialPort::TimeoutError << false;
}

// A link error during an exchange fails the command and closes the port with the closing
// command; the port is reopened and the command sent again after a new handshake.
void tst_link_protocol::reopens_on_link_errors()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, closes);

    worker_run run;
    run.tracker.replies[read_gprs] = {at(50000, gprs_reply + '\r')};
    run.tracker.on_frame = [&](const QByteArray& frame) {
        if (frame == read_gprs && run.tracker.received.count(read_gprs) == 1) {
            run.worker.handleSerialError(error);
            run.exit_after(3 * second_us);
        }
    };
    QVERIFY(run.run({read_gprs}));
    QCOMPARE(run.probe.events.count("handshake"), closes ? 2 : 1);
    QCOMPARE(run.probe.of("status").count("Command error..."), closes ? 1 : 0);
    QCOMPARE(run.probe.of("executed"), QStringList{"AT+GPRS=? -> +RESP:GPRS,1,60"});
    QCOMPARE(run.tracker.received.count(closing_frame), closes ? 2 : 1);
}

QTEST_GUILESS_MAIN(tst_link_protocol)
#include "tst_link_protocol.moc"
