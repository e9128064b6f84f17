#include "access_code.h"
#include "link_session.h"
#include "trace_capture.h"
#include "wire_format.h"

#include <QSerialPort>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace {

constexpr int timeout_ms = link_session::timeout_ms;

const QString read_gprs = QStringLiteral("AT+GPRS=?");
const QString gprs_reply = QStringLiteral("+RESP:GPRS,1,60");

QString executing(const QString& command)
{
    return QStringLiteral("Executing...") + command;
}

const QString command_error = QStringLiteral("Command error...");
const QString closing_command = QStringLiteral("AT+TEXT=7395,");

// Where needle begins in the received bytes, or -1.
int find_bytes(const QList<sim_transcript::received_byte>& received, const QByteArray& needle,
               int from = 0)
{
    QByteArray bytes;
    for (const sim_transcript::received_byte& item : received) {
        bytes.append(item.byte);
    }
    return bytes.indexOf(needle, from);
}

qint64 median(QVector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Enters command mode the way a previous session of the program would have left it.
bool put_in_command_mode(const QString& port_name)
{
    QSerialPort port(port_name);
    if (!port.open(QIODevice::ReadWrite)) {
        return false;
    }
    port.write(wire::access_code_frame());
    QByteArray answer;
    const QDeadlineTimer deadline(timeout_ms);
    while (!answer.contains(wire::prompt) && !deadline.hasExpired()) {
        port.waitForReadyRead(100);
        answer += port.readAll();
    }
    return answer.contains(wire::prompt);
}

// Waits for the condition without processing events, so that queued signals stay queued.
bool wait_without_events(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(timeout_ms);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

// A control command written straight to the simulator's FIFO, without the event processing of
// sim_process::control.
bool control_without_events(sim_process& sim, const QString& command)
{
    const int before = sim.transcript().count_events(QStringLiteral("control ") + command);
    QFile fifo(sim.control_path());
    if (!fifo.open(QIODevice::WriteOnly) || fifo.write(command.toUtf8() + '\n') < 0) {
        return false;
    }
    fifo.close();
    return wait_without_events([&] {
        return sim.transcript().count_events(QStringLiteral("control ") + command) > before;
    });
}

} // namespace

// The worker and the real serial port against the simulated tracker on a pseudo-terminal.
class tst_link_with_tracker : public QObject
{
    Q_OBJECT

private slots:
    // Handshake
    void hands_shake_with_access_code();
    void finds_command_mode_already_on();
    void retries_refused_handshake_after_closing_command();

    // Commands on the wire
    void frames_commands_data();
    void frames_commands();
    void paces_command_bytes();
    void refuses_commands_that_do_not_fit();

    // Replies
    void finds_reply_behind_other_lines_data();
    void finds_reply_behind_other_lines();
    void takes_reply_anywhere_in_line();
    void hands_on_reply_lines_data();
    void hands_on_reply_lines();
    void copes_with_over_long_lines_data();
    void copes_with_over_long_lines();
    void waits_longer_on_bluetooth_data();
    void waits_longer_on_bluetooth();

    // Device state, keep-alive
    void forwards_device_state_lines_between_exchanges();
    void keeps_wired_link_alive_but_not_bluetooth();

    // Failures and the end of a link
    void gives_up_after_21_failures_in_a_row();
    void success_starts_failure_count_afresh();
    void sends_closing_command_at_exit();
    void drops_queued_commands_at_exit();
    void closes_port_after_failed_setting();
    void reconnects_after_unplug_during_poll();
    void ignores_port_errors_older_than_the_link();
};

void tst_link_with_tracker::hands_shake_with_access_code()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    session.start_worker();
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->handshakes, 1, timeout_ms);

    const QString port = session.sim.port_path();
    QCOMPARE(session.probe->statuses,
             (QStringList{QStringLiteral("Opening port %1 (115200)").arg(port),
                          port + QStringLiteral(" open OK"), QStringLiteral("Handshaking..."),
                          QStringLiteral("Handshake OK")}));
    QVERIFY(session.sim.wait_for_event(QStringLiteral("command-mode")));
    // The probe finds no echo in data mode; then the access code frame.
    const QByteArray expected = wire::echo_probe + wire::access_code_frame();
    QCOMPARE(session.sim.transcript().received_bytes().left(expected.size()), expected);
}

void tst_link_with_tracker::finds_command_mode_already_on()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    QVERIFY(put_in_command_mode(session.sim.port_path()));
    QVERIFY(session.sim.wait_for_event(QStringLiteral("port-closed")));
    const int before = session.sim.transcript().received().size();

    session.start_worker();
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->handshakes, 1, timeout_ms);
    QVERIFY(session.probe->statuses.contains(QStringLiteral("Already done!")));
    QVERIFY(!session.probe->statuses.contains(QStringLiteral("Handshake OK")));
    // The echo answered, one CR follows and no access code.
    QCOMPARE(session.sim.transcript().received_bytes().mid(before, 2), QByteArray("&\r"));
    QCOMPARE(session.sim.transcript().count_events(QStringLiteral("command-mode")), 1);
}

void tst_link_with_tracker::retries_refused_handshake_after_closing_command()
{
    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--refuse-handshake")}),
             qPrintable(session.sim.error()));
    session.start_worker();
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->count_of_status(QStringLiteral("Handshake ERROR")) >= 1,
                             timeout_ms);
    QCOMPARE(session.probe->handshakes, 0);

    // Probe, two attempts with the code, the closing command; then the next round's probe.
    const QByteArray round = wire::echo_probe + wire::access_code_frame() +
                             wire::access_code_frame() + wire::closing_frame();
    QVERIFY(session.sim.wait_for([&](const sim_transcript& transcript) {
        return transcript.received_bytes().size() > round.size();
    }));
    QCOMPARE(session.sim.transcript().received_bytes().left(round.size() + 1),
             round + wire::echo_probe);
    QVERIFY(session.sim.transcript().count_events(QStringLiteral("handshake refused")) >= 2);

    QVERIFY(session.sim.control(QStringLiteral("refuse-handshake off")));
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->handshakes, 1, timeout_ms);
    QCOMPARE(session.probe->statuses.last(), QStringLiteral("Handshake OK"));
}

void tst_link_with_tracker::frames_commands_data()
{
    QTest::addColumn<bool>("bluetooth");
    QTest::addColumn<QByteArray>("first_bytes");

    QTest::newRow("wired") << false << (wire::echo_probe + wire::access_code_frame());
    QTest::newRow("bluetooth") << true << QByteArray("AT+GPRS=?\rAT+NAME=?\r");
}

// Commands queued before the link is ready wait for handshake_ok and then go out in order.
void tst_link_with_tracker::frames_commands()
{
    QFETCH(bool, bluetooth);
    QFETCH(QByteArray, first_bytes);

    link_session session;
    const QStringList options =
        bluetooth ? QStringList{QStringLiteral("--bluetooth")} : QStringList{};
    QVERIFY2(session.start_sim(options), qPrintable(session.sim.error()));
    const trace_capture traces;
    session.start_worker(bluetooth, 115200, {read_gprs, QStringLiteral("AT+NAME=?")});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 2, timeout_ms);

    QCOMPARE(session.probe->events.indexOf(QStringLiteral("handshake")),
             session.probe->events.indexOf(QStringLiteral("status ") + executing(read_gprs)) - 1);
    QCOMPARE(session.probe->executed.at(0), qMakePair(read_gprs, gprs_reply));
    QCOMPARE(session.probe->executed.at(1),
             qMakePair(QStringLiteral("AT+NAME=?"), QStringLiteral("+RESP:NAME,Tracker")));

    const QByteArray received = session.sim.transcript().received_bytes();
    QCOMPARE(received.left(first_bytes.size()), first_bytes);
    if (bluetooth) {
        QCOMPARE(traces.count(QStringLiteral("BT connection not requres handshake")), 1);
        QVERIFY(!session.probe->statuses.contains(QStringLiteral("Handshaking...")));
    } else {
        QVERIFY(received.contains("\rAT+GPRS=?\r"));
        QVERIFY(received.contains("\rAT+NAME=?\r"));
    }
    QCOMPARE(session.sim.transcript().commands(),
             (QStringList{read_gprs, QStringLiteral("AT+NAME=?")}));
}

void tst_link_with_tracker::paces_command_bytes()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    const QString command =
        QStringLiteral("AT+TRACKINGINTERVALSANDDISTANCESFORALLTHEMODESOFTHEDEVICE=?");
    session.start_worker(false, 115200, {command});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);

    const sim_transcript transcript = session.sim.transcript();
    const QByteArray frame = wire::command_frame(command.toUtf8(), false);
    const int start = find_bytes(transcript.received(), frame);
    QVERIFY(start >= 0);
    QVector<qint64> gaps;
    for (int i = start + 1; i < start + frame.size(); ++i) {
        gaps.append(transcript.received().at(i).time_us - transcript.received().at(i - 1).time_us);
    }
    // The simulator stamps a byte when it reads it; on a busy machine it may read two at once,
    // which shortens one gap and lengthens another. The median of the frame's gaps is immune to
    // a few such pairs, while a pause shorter than 1.5 ms pulls it below the bound. Load only
    // lengthens the real gaps.
    QVERIFY2(median(gaps) >= 1500, qPrintable(QString::number(median(gaps))));
}

void tst_link_with_tracker::refuses_commands_that_do_not_fit()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    const QString too_long = QStringLiteral("AT+NAME=7395,") + QString(1100, QLatin1Char('x'));
    const QString two_commands = QStringLiteral("AT+GPRS=7395,0,10,\rAT+SAVE=7395,");
    session.start_worker(false, 115200, {too_long, two_commands, read_gprs});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);

    QCOMPARE(session.probe->statuses.mid(session.probe->statuses.indexOf(executing(too_long))),
             (QStringList{executing(too_long), command_error, executing(two_commands),
                          command_error, executing(read_gprs)}));
    QCOMPARE(session.probe->executed.at(0).second, gprs_reply);
    // Neither reached the tracker, so nothing was changed or saved.
    QCOMPARE(session.sim.transcript().commands(), QStringList{read_gprs});
}

void tst_link_with_tracker::finds_reply_behind_other_lines_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("found");

    auto noise = [](int lines, const char* kind) {
        return QStringList{QStringLiteral("--noise-lines"), QString::number(lines),
                           QStringLiteral("--noise-kind"), QLatin1String(kind)};
    };
    QTest::newRow("10 empty lines") << noise(10, "empty") << true;
    QTest::newRow("10 text lines") << noise(10, "text") << true;
    QTest::newRow("10 device-state lines") << noise(10, "sd") << true;
    QTest::newRow("10 mixed lines") << noise(10, "mixed") << true;
    QTest::newRow("11 lines") << noise(11, "mixed") << false;
    QTest::newRow("10 lines and an over-long one")
        << noise(10, "text") + QStringList{QStringLiteral("--long-line"), QStringLiteral("3000")}
        << false;
}

// Device-state lines among them are part of the exchange: skipped, never forwarded.
void tst_link_with_tracker::finds_reply_behind_other_lines()
{
    QFETCH(QStringList, options);
    QFETCH(bool, found);

    link_session session;
    QVERIFY2(session.start_sim(options), qPrintable(session.sim.error()));
    const trace_capture traces;
    session.start_worker(false, 115200, {read_gprs});
    if (found) {
        QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);
        QCOMPARE(session.probe->executed.at(0).second, gprs_reply);
        QVERIFY(!session.probe->statuses.contains(command_error));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(session.probe->statuses.contains(command_error), timeout_ms);
        QVERIFY(session.probe->executed.isEmpty());
        QVERIFY(traces.count(QStringLiteral("CMD responce timeout")) >= 1);
    }
    QVERIFY(session.stop_worker());
    QVERIFY(session.probe->sensor_lines.isEmpty());
}

// The tracker stays silent; the test sends the reply line itself while the command waits.
void tst_link_with_tracker::takes_reply_anywhere_in_line()
{
    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--silent")}), qPrintable(session.sim.error()));
    session.start_worker(false, 115200, {read_gprs});
    const QString line = QStringLiteral("echo AT+GPRS=? +RESP:GPRS,5,30");
    int answered = 0;
    // A reply sent after the silence limit (a slow machine) is too late for its attempt; the
    // command is sent again and answered again.
    while (answered < 10) {
        QVERIFY(session.sim.wait_for([&](const sim_transcript& transcript) {
            return transcript.commands().size() > answered;
        }));
        answered = session.sim.transcript().commands().size();
        QVERIFY(session.sim.control(QStringLiteral("send ") + line));
        if (QTest::qWaitFor([&] { return !session.probe->executed.isEmpty(); }, 1500)) {
            break;
        }
    }
    QCOMPARE(session.probe->executed.value(0), qMakePair(read_gprs, line));
}

void tst_link_with_tracker::hands_on_reply_lines_data()
{
    QTest::addColumn<QString>("line_end");

    QTest::newRow("cr") << QStringLiteral("cr");
    QTest::newRow("cr lf") << QStringLiteral("crlf");
    QTest::newRow("lf cr") << QStringLiteral("lfcr");
}

// Whatever the line ends, the reply line arrives whole, without CR or LF, decoded as UTF-8;
// an error reply is a reply like any other at this level.
void tst_link_with_tracker::hands_on_reply_lines()
{
    QFETCH(QString, line_end);

    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--line-end"), line_end}),
             qPrintable(session.sim.error()));
    const QString set_name = QStringLiteral("AT+NAME=7395,Трекер №1,");
    const QString wrong_password = QStringLiteral("AT+GPRS=1111,0,30,");
    session.start_worker(false, 115200, {set_name, wrong_password, read_gprs});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 3, timeout_ms);

    QCOMPARE(session.probe->executed.at(0),
             qMakePair(set_name, QStringLiteral("+RESP:NAME,Трекер №1")));
    QCOMPARE(session.probe->executed.at(1),
             qMakePair(wrong_password, QStringLiteral("+RESP:GPRS,ERROR,PASSWORD")));
    QCOMPARE(session.probe->executed.at(2), qMakePair(read_gprs, gprs_reply));
    QVERIFY(!session.probe->statuses.contains(command_error));
    QVERIFY(session.sim.transcript().received_bytes().contains(set_name.toUtf8()));
}

void tst_link_with_tracker::copes_with_over_long_lines_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("dropped");

    QTest::newRow("longest line") << 1023 << false;
    QTest::newRow("one byte more") << 1024 << true;
    QTest::newRow("far longer") << 20000 << true;
}

void tst_link_with_tracker::copes_with_over_long_lines()
{
    QFETCH(int, length);
    QFETCH(bool, dropped);

    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--long-line"), QString::number(length)}),
             qPrintable(session.sim.error()));
    const trace_capture traces;
    session.start_worker(false, 115200, {read_gprs});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);
    QCOMPARE(session.probe->executed.at(0).second, gprs_reply);
    const QString trace = QStringLiteral("Line too long, dropped: %1 bytes").arg(length);
    QCOMPARE(traces.count(trace), dropped ? 1 : 0);
}

void tst_link_with_tracker::waits_longer_on_bluetooth_data()
{
    QTest::addColumn<bool>("bluetooth");

    QTest::newRow("wired gives up") << false;
    QTest::newRow("bluetooth waits") << true;
}

// A reply three seconds late is far past the wired link's silence limit of about 1.1 s and well
// within the Bluetooth link's 10.1 s.
void tst_link_with_tracker::waits_longer_on_bluetooth()
{
    QFETCH(bool, bluetooth);

    link_session session;
    QStringList options{QStringLiteral("--reply-delay"), QStringLiteral("3000")};
    if (bluetooth) {
        options << QStringLiteral("--bluetooth");
    }
    QVERIFY2(session.start_sim(options), qPrintable(session.sim.error()));
    session.start_worker(bluetooth, 115200, {read_gprs});
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->statuses.contains(command_error) ||
                                 !session.probe->executed.isEmpty(),
                             timeout_ms);
    QCOMPARE(session.probe->executed.size(), bluetooth ? 1 : 0);
    QCOMPARE(session.probe->statuses.contains(command_error), !bluetooth);
}

void tst_link_with_tracker::forwards_device_state_lines_between_exchanges()
{
    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--stream-interval"), QStringLiteral("150")}),
             qPrintable(session.sim.error()));
    session.start_worker(false, 115200, {QStringLiteral("AT+SDAD=7395,,3,,,,,")});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->sensor_lines.size() >= 4, timeout_ms);
    session.worker->slot_execute_cmd(QStringLiteral("AT+SDAD=7395,,0,,,,,"));
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 2, timeout_ms);
    QVERIFY(session.stop_worker());

    // Every line forwarded is one the tracker sent, whole; none is a reply.
    QStringList sent;
    for (const QByteArray& line : session.sim.transcript().sent_lines()) {
        sent << QString::fromUtf8(line).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    }
    for (const QString& line : qAsConst(session.probe->sensor_lines)) {
        QVERIFY2(line.startsWith(QStringLiteral("$SD,")), qPrintable(line));
        QVERIFY2(sent.contains(line), qPrintable(line));
    }
}

// Two links side by side: the Bluetooth one is checked over the time in which the wired one
// has sent two keep-alive bytes.
void tst_link_with_tracker::keeps_wired_link_alive_but_not_bluetooth()
{
    link_session wired;
    link_session bluetooth;
    QVERIFY2(wired.start_sim(), qPrintable(wired.sim.error()));
    QVERIFY2(bluetooth.start_sim({QStringLiteral("--bluetooth")}),
             qPrintable(bluetooth.sim.error()));
    wired.start_worker(false);
    bluetooth.start_worker(true);
    QTRY_COMPARE_WITH_TIMEOUT(wired.probe->handshakes, 1, timeout_ms);
    QTRY_COMPARE_WITH_TIMEOUT(bluetooth.probe->handshakes, 1, timeout_ms);

    QVERIFY(wired.sim.wait_for_event(QStringLiteral("keepalive"), 2));
    const sim_transcript transcript = wired.sim.transcript();
    const QList<sim_transcript::event> keepalives =
        transcript.events_named(QStringLiteral("keepalive"));
    // Eleven silent waits of 100 ms each lie between two of them; a busy machine only adds.
    QVERIFY(keepalives.at(1).time_us - keepalives.at(0).time_us >= 1000000);
    QVERIFY(transcript.received_bytes().contains('\0'));

    QCOMPARE(bluetooth.sim.transcript().count_events(QStringLiteral("keepalive")), 0);
    QVERIFY(!bluetooth.sim.transcript().received_bytes().contains('\0'));
}

void tst_link_with_tracker::gives_up_after_21_failures_in_a_row()
{
    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--silent")}), qPrintable(session.sim.error()));
    const trace_capture traces;
    session.start_worker(false, 115200, {read_gprs});
    // 21 attempts, each ending after about 1.1 s of silence.
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->disconnections, 1, 120000);
    QVERIFY(session.worker->wait(timeout_ms));

    QCOMPARE(session.probe->count_of_status(executing(read_gprs)), 21);
    QCOMPARE(session.probe->count_of_status(command_error), 21);
    QCOMPARE(traces.count(QStringLiteral("get string timeout")), 21);
    QCOMPARE(traces.count(QStringLiteral("Exit flag OK")), 1);
    QVERIFY(session.probe->executed.isEmpty());
    QCOMPARE(session.probe->events.last(), QStringLiteral("disconnected"));
    QStringList sent;
    for (int i = 0; i < 21; ++i) {
        sent << read_gprs;
    }
    QCOMPARE(session.sim.transcript().commands().mid(0, 21), sent);
    QVERIFY(session.sim.wait_for([](const sim_transcript& transcript) {
        return transcript.received_bytes().endsWith(wire::closing_frame());
    }));
}

// Failures come fast here: eleven other lines before each reply end an exchange at once.
void tst_link_with_tracker::success_starts_failure_count_afresh()
{
    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--noise-lines"), QStringLiteral("11")}),
             qPrintable(session.sim.error()));
    session.start_worker(false, 115200, {read_gprs});
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->count_of_status(command_error) >= 3, timeout_ms);
    QVERIFY(session.sim.control(QStringLiteral("noise-lines 0")));
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);
    const int failures_before = session.probe->count_of_status(command_error);

    // The simulator acknowledges a control command once it has applied it.
    QVERIFY(session.sim.control(QStringLiteral("noise-lines 11")));
    session.worker->slot_execute_cmd(read_gprs);
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->disconnections, 1, timeout_ms);
    QCOMPARE(session.probe->executed.size(), 1);
    QVERIFY(failures_before >= 3);
    const QStringList& events = session.probe->events;
    int last_success = events.size() - 1;
    while (!events.at(last_success).startsWith(QStringLiteral("executed "))) {
        --last_success;
    }
    QCOMPARE(events.mid(last_success).count(QStringLiteral("status ") + command_error), 21);
}

void tst_link_with_tracker::sends_closing_command_at_exit()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    const trace_capture traces;
    session.start_worker(false, 115200, {read_gprs});
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);
    QVERIFY(session.stop_worker());

    QVERIFY(session.sim.wait_for_event(QStringLiteral("data-mode")));
    QVERIFY(session.sim.transcript().received_bytes().endsWith(wire::closing_frame()));
    QVERIFY(session.sim.wait_for_event(QStringLiteral("port-closed")));
    const QStringList closing{QStringLiteral("Thraed finished ok!"),
                              QStringLiteral("Sending bye..."),
                              QStringLiteral("\"\\rAT+TEXT=7395,\\r\""),
                              QStringLiteral("usleeping..."),
                              QStringLiteral("flushing..."),
                              QStringLiteral("clearing error..."),
                              QStringLiteral("closing port..."),
                              QStringLiteral("closed."),
                              QStringLiteral("close port finished 1..."),
                              QStringLiteral("close port finished 2...")};
    const QStringList lines = traces.lines();
    const int start = lines.indexOf(closing.first());
    QVERIFY(start >= 0);
    QCOMPARE(lines.mid(start, closing.size()), closing);
    QCOMPARE(session.probe->events.last(), QStringLiteral("disconnected"));
}

void tst_link_with_tracker::drops_queued_commands_at_exit()
{
    link_session session;
    QVERIFY2(session.start_sim({QStringLiteral("--reply-delay"), QStringLiteral("500")}),
             qPrintable(session.sim.error()));
    const QStringList queued{read_gprs, QStringLiteral("AT+NAME=?"), QStringLiteral("AT+PIN=?")};
    session.start_worker(false, 115200, queued);
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->statuses.contains(executing(read_gprs)), timeout_ms);
    QVERIFY(session.stop_worker());

    // The command under way is completed; the rest are never sent.
    QCOMPARE(session.probe->executed.size(), 1);
    QCOMPARE(session.probe->executed.at(0).second, gprs_reply);
    QCOMPARE(session.sim.transcript().commands(), (QStringList{read_gprs, closing_command}));
}

// A speed the port refuses leaves the port closed, so every later attempt gets as far again
// instead of failing to open a port that is still open.
void tst_link_with_tracker::closes_port_after_failed_setting()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    session.start_worker(false, 0);
    const QString message = QStringLiteral("Can't set baud rate 0 baud to port %1, error code %2")
                                .arg(session.sim.port_path())
                                .arg(int(QSerialPort::UnsupportedOperationError));
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->count_of_status(message) >= 3, timeout_ms);
    QVERIFY(session.stop_worker());
    for (const QString& status : qAsConst(session.probe->statuses)) {
        QVERIFY2(!status.startsWith(QStringLiteral("Can't open")), qPrintable(status));
    }
    QCOMPARE(session.probe->handshakes, 0);
    QCOMPARE(session.sim.transcript().received_bytes(), QByteArray());
}

void tst_link_with_tracker::reconnects_after_unplug_during_poll()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    const QStringList names{QStringLiteral("GPRS"), QStringLiteral("NAME"), QStringLiteral("PIN")};
    QStringList poll;
    for (int i = 0; i < 30; ++i) {
        poll << QStringLiteral("AT+%1=?").arg(names.at(i % names.size()));
    }
    session.start_worker(false, 115200, poll);
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->executed.size() >= 3, timeout_ms);
    QVERIFY2(session.sim.unplug(), qPrintable(session.sim.error()));

    const QString cannot_open = QStringLiteral("Can't open %1, error code %2")
                                    .arg(session.sim.port_path())
                                    .arg(int(QSerialPort::DeviceNotFoundError));
    QTRY_VERIFY_WITH_TIMEOUT(session.probe->statuses.contains(cannot_open), timeout_ms);
    QVERIFY(session.probe->executed.size() < poll.size());
    QVERIFY2(session.sim.replug(), qPrintable(session.sim.error()));

    QTRY_COMPARE_WITH_TIMEOUT(session.probe->handshakes, 2, timeout_ms);
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), poll.size(), timeout_ms);
    QStringList executed;
    for (const auto& result : qAsConst(session.probe->executed)) {
        executed << result.first;
    }
    QCOMPARE(executed, poll);
    QCOMPARE(session.probe->count_of_status(QStringLiteral("Handshake OK")), 2);
    QCOMPARE(session.sim.transcript().count_events(QStringLiteral("command-mode")), 2);
}

// Port errors reach handleSerialError through the test thread's event loop. Here that loop is
// held while the tracker is unplugged and plugged in again, so the errors of the dead port and of
// the failed opens are delivered only after the worker has a new, working link. They must not
// close it.
void tst_link_with_tracker::ignores_port_errors_older_than_the_link()
{
    link_session session;
    QVERIFY2(session.start_sim(), qPrintable(session.sim.error()));
    const trace_capture traces;
    session.start_worker();
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->handshakes, 1, timeout_ms);

    // From here until the new link stands, no event is processed on this thread.
    QVERIFY(control_without_events(session.sim, QStringLiteral("unplug")));
    // The keep-alive byte that cannot be written closes the dead link; opening then fails.
    QVERIFY(wait_without_events([&] { return traces.count(QStringLiteral("closed.")) >= 1; }));
    QVERIFY(wait_without_events(
        [&] { return traces.lines().filter(QStringLiteral("Can't open")).size() >= 2; }));
    QVERIFY(control_without_events(session.sim, QStringLiteral("replug")));
    QVERIFY(wait_without_events([&] {
        return session.sim.transcript().count_events(QStringLiteral("command-mode")) >= 2;
    }));

    session.worker->slot_execute_cmd(read_gprs);
    QTRY_COMPARE_WITH_TIMEOUT(session.probe->executed.size(), 1, timeout_ms);
    QCOMPARE(session.probe->handshakes, 2);
    QCOMPARE(session.sim.transcript().count_events(QStringLiteral("command-mode")), 2);
    QCOMPARE(session.sim.transcript().count_events(QStringLiteral("port-opened")), 2);
}

QTEST_GUILESS_MAIN(tst_link_with_tracker)
#include "tst_link_with_tracker.moc"
