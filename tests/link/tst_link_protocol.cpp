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

// A worker whose pauses move the fake tracker's clock.
struct fake_worker : SerialPortThread
{
    explicit fake_worker(fake_tracker& tracker)
        : SerialPortThread(tracker, [&tracker](qint64 us) { tracker.advance(us); })
    {
    }
};

// The worker's loop over a fake tracker; the tracker's hooks, or the worker itself, end the run.
struct worker_run
{
    explicit worker_run(bool bluetooth = false)
    {
        worker.set_port_params(QStringLiteral("fake"), 115200, bluetooth);
        tracker.command_mode = bluetooth;
    }
    void queue(const QList<QByteArray>& commands)
    {
        for (const QByteArray& command : commands) {
            worker.slot_execute_cmd(QString::fromUtf8(command.data(), command.size()));
        }
    }
    bool run(const QList<QByteArray>& queued)
    {
        queue(queued);
        worker.start();
        return QTest::qWaitFor([this] { return probe.ended(); }, 20000) && worker.wait(20000);
    }

    fake_tracker tracker;
    fake_worker worker{tracker};
    worker_probe probe{worker};
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
    void retries_failed_commands_data();
    void retries_failed_commands();
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
    QStringList statuses{"Handshaking...", outcome};
    statuses.removeAll(QString());
    QCOMPARE(run.statuses, statuses);
    if (retry_gap_us > 0) {
        const int second_code = sent.lastIndexOf(code_frame);
        const QVector<qint64>& times = run.tracker.received_at;
        QCOMPARE(times.at(second_code) - times.at(second_code - 1), retry_gap_us);
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
    QTest::addColumn<int>("refusals");
    QTest::addColumn<QStringList>("handshake_events"); // until the link is ready
    QTest::addColumn<QByteArray>("handshake");
    QTest::addColumn<int>("keep_alives"); // before the commands come

    const QString shaking = QStringLiteral("status Handshaking...");
    const QString done = QStringLiteral("status Handshake OK");
    QTest::newRow("wired") << false << 0 << QStringList{shaking, done} << '&' + code_frame << 4;
    QTest::newRow("wired, refused once")
        << false << 2
        << QStringList{shaking, "status Handshake ERROR", "link silent", shaking, done}
        << '&' + code_frame + code_frame + closing_frame + '&' + code_frame << 1;
    QTest::newRow("bluetooth") << true << 0 << QStringList{} << QByteArray() << 0;
}

// Queued commands wait for the handshake and go out one by one; those that cannot be framed are
// dropped: the longest one that fits has two framing CRs and the device buffer's terminator
// beside it on a wired link, one CR on Bluetooth. Device-state lines are forwarded only between
// exchanges. At the exit the command under way is completed and the rest are not sent. Before
// the commands come, a wired link is kept alive every eleven silent waits of the loop. Every
// command ends with one outcome, in order; no status text shows a password.
void tst_link_protocol::runs_the_link()
{
    QFETCH(bool, bluetooth);
    QFETCH(int, refusals);
    QFETCH(QStringList, handshake_events);
    QFETCH(QByteArray, handshake);
    QFETCH(int, keep_alives);

    worker_run run(bluetooth);
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
    run.tracker.at(5 * second_us, [&] {
        run.queue(QList<QByteArray>{read_gprs} + unframable +
                  QList<QByteArray>{longest, set_name, "AT+PIN=?"});
    });
    QVERIFY(run.run({}));

    QStringList events{"status Opening port fake (115200)", "status fake open OK", "link opened"};
    events << handshake_events << "link ready"
           << "handshake"
           << "status Executing...AT+GPRS=?"
           << "executed AT+GPRS=? -> +RESP:GPRS,1,60"
           << "outcome answered #1"
           << "sensor $SD,2,AB";
    const QStringList shown{QString::fromUtf8(too_long), "AT+A=****", "AT+A=****",
                            QString::fromUtf8("AT\0", 3)};
    for (int i = 0; i < unframable.size(); ++i) {
        events << "status Executing..." + shown.at(i) << "status Command error..."
               << QStringLiteral("outcome %1 #%2").arg(i == 0 ? "too_long" : "control").arg(i + 2);
    }
    events << "status Executing..." + longest << "executed " + longest + " -> +RESP:Y"
           << "outcome answered #6"
           << "status Executing...AT+NAME=****,Трекер №1,"
           << "executed AT+NAME=7395,Трекер №1, -> +RESP:NAME,Трекер №1"
           << "outcome answered #7"
           << "outcome ended #8"
           << "link ended"
           << "disconnected";
    QCOMPARE(run.probe.events, events);
    const QByteArray frame_start = bluetooth ? "" : "\r";
    QCOMPARE(run.tracker.received, handshake + QByteArray(keep_alives, '\0') + frame_start +
                                       read_gprs + '\r' + frame_start + longest + '\r' +
                                       frame_start + set_name + '\r' + closing_frame);
    const int first = handshake.size();
    for (int i = first + 1; i < first + keep_alives; ++i) {
        QCOMPARE(run.tracker.received_at.at(i) - run.tracker.received_at.at(i - 1), 11 * 100000);
    }
}

void tst_link_protocol::retries_failed_commands_data()
{
    QTest::addColumn<QVector<bool>>("answers");              // per attempt the tracker allows for
    QTest::addColumn<QSerialPort::SerialPortError>("error"); // raised during the first attempt
    QTest::addColumn<int>("commands");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("executed");
    QTest::addColumn<int>("links");     // handshakes, and closing commands
    QTest::addColumn<bool>("changing"); // the commands would change the tracker
    QTest::addColumn<QStringList>("outcomes");

    auto row = [](const char* tag, const QVector<bool>& answers, QSerialPort::SerialPortError error,
                  int commands, int attempts, int executed, int links,
                  const QStringList& outcomes = {"answered #1"}, bool changing = false) {
        QTest::newRow(tag) << answers << error << commands << attempts << executed << links
                           << changing << outcomes;
    };
    const QVector<bool> twenty(20, false);
    const QVector<bool> answered{true};
    row("20 failures, then a reply", twenty + answered, QSerialPort::NoError, 1, 21, 1, 1);
    row("21 failures", twenty + QVector<bool>{false, true}, QSerialPort::NoError, 1, 21, 0, 1,
        {"gave_up #1"});
    row("a reply starts the count afresh", twenty + answered + twenty + answered,
        QSerialPort::NoError, 2, 42, 2, 1, {"answered #1", "answered #2"});
    // The port is closed with the closing command, reopened, and the command sent again.
    row("device not found", {true, true}, QSerialPort::DeviceNotFoundError, 1, 2, 1, 2);
    row("permission", {true, true}, QSerialPort::PermissionError, 1, 2, 1, 2);
    row("write", {true, true}, QSerialPort::WriteError, 1, 2, 1, 2);
    row("resource", {true, true}, QSerialPort::ResourceError, 1, 2, 1, 2);
    row("unknown", {true, true}, QSerialPort::UnknownError, 1, 2, 1, 2);
    // A write queued for the tracker that was there never reaches the one that answers next.
    row("resource, a write", {true, true}, QSerialPort::ResourceError, 1, 1, 0, 2, {"dropped #1"},
        true);
    row("read", answered, QSerialPort::ReadError, 1, 1, 1, 1);
    row("timeout", answered, QSerialPort::TimeoutError, 1, 1, 1, 1);
}

// A failed command stays at the head of the queue; after 21 failures in a row the worker gives
// up, which is a lost link. Link errors during an exchange fail it, and close the port when the
// link is gone. Each command has exactly one outcome.
void tst_link_protocol::retries_failed_commands()
{
    QFETCH(QVector<bool>, answers);
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(int, commands);
    QFETCH(int, attempts);
    QFETCH(int, executed);
    QFETCH(int, links);
    QFETCH(bool, changing);
    QFETCH(QStringList, outcomes);

    worker_run run;
    for (const bool answered : answers) {
        run.tracker.replies[read_gprs] << (answered ? at(50000, gprs_reply + '\r') : reply{});
    }
    int sent = 0;
    int codes = 0;
    run.tracker.on_frame = [&](const QByteArray& frame) {
        sent += frame == read_gprs ? 1 : 0;
        if (frame == read_gprs && sent == 1 && error != QSerialPort::NoError) {
            run.worker.handleSerialError(error);
        }
        codes += frame == fake_tracker::access_code ? 1 : 0;
        if (sent == answers.size() || (changing && codes == 2)) {
            run.worker.request_exit();
        }
    };
    for (int i = 0; i < commands; ++i) {
        run.worker.queue_command(QString::fromLatin1(read_gprs), changing);
    }
    QVERIFY(run.run({}));
    QCOMPARE(run.probe.of("outcome"), outcomes);
    QCOMPARE(run.probe.events.count("link lost"),
             links - 1 + (outcomes.contains("gave_up #1") ? 1 : 0));
    QCOMPARE(sent, attempts);
    QCOMPARE(run.probe.of("status").count("Command error..."), attempts - executed);
    QCOMPARE(run.probe.of("executed").size(), executed);
    QCOMPARE(run.probe.events.count("handshake"), links);
    QCOMPARE(run.tracker.received.count(closing_frame), links);
}

QTEST_GUILESS_MAIN(tst_link_protocol)
#include "tst_link_protocol.moc"
