#include "access_code.h"
#include "pty_client.h"
#include "sim_process.h"

#include <QtTest>

namespace {

constexpr int timeout_ms = sim_process::default_timeout_ms;

QByteArray reply_to(pty_client& client, const QByteArray& command, const QByteArray& wanted)
{
    if (!client.send("\r" + command + "\r")) {
        return QByteArray();
    }
    return client.read_until(wanted, timeout_ms);
}

// The lines of a reply up to and including the one holding "+RESP", split at the line end.
QList<QByteArray> lines_of(const QByteArray& bytes, const QByteArray& line_end)
{
    QList<QByteArray> lines;
    int start = 0;
    int end = -1;
    while ((end = bytes.indexOf(line_end, start)) >= 0) {
        lines.append(bytes.mid(start, end - start));
        start = end + line_end.size();
    }
    return lines;
}

} // namespace

class tst_tracker_sim : public QObject
{
    Q_OBJECT

private slots:
    void serves_wired_session();
    void serves_bluetooth_without_handshake();
    void shapes_replies_data();
    void shapes_replies();
    void paces_and_delays_replies();
    void refuses_handshake_on_demand();
    void drops_output_for_closed_client();
    void unplugs_and_replugs();
    void keeps_saved_values_across_runs();
    void rejects_bad_control_commands();
    void streams_device_state();
    void ends_with_the_process_that_started_it();
};

void tst_tracker_sim::serves_wired_session()
{
    sim_process sim;
    QVERIFY2(sim.start({QStringLiteral("--permission"), QStringLiteral("GSM")}),
             qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));

    QVERIFY(client.send("&"));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QVERIFY(sim.wait_for_event(QStringLiteral("command-mode")));
    // In data mode the probe went unanswered: the prompt is all that was sent.
    QCOMPARE(sim.transcript().sent_lines(), QList<QByteArray>{">"});

    QVERIFY(client.send("&"));
    QCOMPARE(client.read_until("&", timeout_ms), QByteArray("&"));
    QCOMPARE(reply_to(client, "AT+APN=?", "\r\n"), QByteArray("+RESP:APN,internet,,\r\n"));
    QCOMPARE(reply_to(client, "AT+GSM=?", "\r\n"), QByteArray("+RESP:GSM,ERROR,PERMISSION\r\n"));
    QCOMPARE(reply_to(client, "AT+APN=7395,m2m,,,", "\r\n"), QByteArray("+RESP:APN,m2m,,\r\n"));

    const QByteArray keepalive(1, '\0');
    QVERIFY(client.send(keepalive));
    QVERIFY(client.send("\rAT+TEXT=7395,\r"));
    QVERIFY(sim.wait_for_event(QStringLiteral("data-mode")));

    const sim_transcript transcript = sim.transcript();
    QCOMPARE(transcript.commands(),
             QStringList({"AT+APN=?", "AT+GSM=?", "AT+APN=7395,m2m,,,", "AT+TEXT=7395,"}));
    QCOMPARE(transcript.count_events(QStringLiteral("stored")), 1);
    QCOMPARE(transcript.count_events(QStringLiteral("keepalive")), 1);
    QCOMPARE(transcript.received_bytes().right(16), keepalive + "\rAT+TEXT=7395,\r");
    for (int k = 1; k < transcript.received().size(); ++k) {
        QVERIFY(transcript.received()[k].time_us >= transcript.received()[k - 1].time_us);
    }
    QVERIFY2(sim.stop(), qPrintable(sim.error()));
}

void tst_tracker_sim::serves_bluetooth_without_handshake()
{
    sim_process sim;
    QVERIFY2(sim.start({QStringLiteral("--bluetooth"), QStringLiteral("--device-password"),
                        QStringLiteral("1111")}),
             qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.send("AT+TRACK=?\r"));
    QCOMPARE(client.read_until("\r\n", timeout_ms), QByteArray("+RESP:TRACK,30,600,15\r\n"));
    QVERIFY(client.send("AT+TRACK=7395,1,\r"));
    QCOMPARE(client.read_until("\r\n", timeout_ms), QByteArray("+RESP:TRACK,ERROR,PASSWORD\r\n"));
    // Closing does not leave command mode: there is no handshake to come back with.
    QVERIFY(client.send("AT+TEXT=7395,\rAT+TRACK=1111,1,\r"));
    QCOMPARE(client.read_until("\r\n", timeout_ms), QByteArray("+RESP:TRACK,1,600,15\r\n"));
    QCOMPARE(sim.transcript().count_events(QStringLiteral("command-mode")), 0);
}

void tst_tracker_sim::shapes_replies_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("line_end");
    QTest::addColumn<QList<QByteArray>>("lines");

    const QByteArray reply("+RESP:TRACK,30,600,15");
    QTest::newRow("cr") << QStringList{"--line-end", "cr"} << QByteArray("\r")
                        << QList<QByteArray>{reply};
    QTest::newRow("lfcr") << QStringList{"--line-end", "lfcr"} << QByteArray("\n\r")
                          << QList<QByteArray>{reply};
    QTest::newRow("text noise") << QStringList{"--noise-lines", "2"} << QByteArray("\r\n")
                                << QList<QByteArray>{"NOISE 1", "NOISE 2", reply};
    QTest::newRow("empty noise") << QStringList{"--noise-lines", "10", "--noise-kind", "empty"}
                                 << QByteArray("\r\n")
                                 << (QVector<QByteArray>(10).toList() << reply);
    QTest::newRow("long line") << QStringList{"--long-line", "1500", "--line-end", "cr"}
                               << QByteArray("\r")
                               << QList<QByteArray>{QByteArray("0123456789").repeated(150), reply};
}

void tst_tracker_sim::shapes_replies()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, line_end);
    QFETCH(QList<QByteArray>, lines);

    sim_process sim;
    QVERIFY2(sim.start(options), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    const QByteArray received = reply_to(client, "AT+TRACK=?", "15" + line_end);
    QCOMPARE(lines_of(received, line_end), lines);
    QCOMPARE(sim.transcript().sent().size(), lines.size() + 1);
}

void tst_tracker_sim::paces_and_delays_replies()
{
    sim_process sim;
    QVERIFY2(sim.start({"--reply-delay", "300", "--byte-pause", "20000"}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QCOMPARE(reply_to(client, "AT+SIMPIN=?", "\r\n"), QByteArray("+RESP:SIMPIN,\r\n"));

    const sim_transcript transcript = sim.transcript();
    const qint64 asked = transcript.events_named(QStringLiteral("command")).last().time_us;
    const qint64 answered = transcript.sent().last().time_us;
    const int paced_gaps = QByteArray("+RESP:SIMPIN,\r\n").size() - 1;
    QVERIFY2(answered - asked >= 300000 + paced_gaps * 20000,
             qPrintable(QStringLiteral("reply after %1 us").arg(answered - asked)));

    // The control channel changes the faults of a running device.
    QVERIFY(sim.control(QStringLiteral("reply-delay 0")));
    QVERIFY(sim.control(QStringLiteral("byte-pause 0")));
    QVERIFY(sim.control(QStringLiteral("line-end cr")));
    QCOMPARE(reply_to(client, "AT+SIMPIN=?", "\r"), QByteArray("+RESP:SIMPIN,\r"));
    QVERIFY(sim.control(QStringLiteral("silent on")));
    QVERIFY(client.send("\rAT+SIMPIN=?\r"));
    QVERIFY(sim.wait_for_event(QStringLiteral("command"), 3));
    QVERIFY(sim.control(QStringLiteral("send after silence")));
    QCOMPARE(client.read_until("\r", timeout_ms), QByteArray("after silence\r"));
}

void tst_tracker_sim::refuses_handshake_on_demand()
{
    sim_process sim;
    QVERIFY2(sim.start({"--refuse-handshake", "--access-code", "1234567"}),
             qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.send("\r1234567\r"));
    QVERIFY(sim.wait_for_event(QStringLiteral("handshake refused")));
    QVERIFY(sim.control(QStringLiteral("refuse-handshake off")));
    QVERIFY(client.send("\r" + tracker_access_code() + "\r"));
    QVERIFY(client.enter_command_mode("1234567", timeout_ms));
    QCOMPARE(sim.transcript().count_events(QStringLiteral("command-mode")), 1);
    QCOMPARE(sim.transcript().sent_lines(), QList<QByteArray>{">"});
}

void tst_tracker_sim::drops_output_for_closed_client()
{
    sim_process sim;
    QVERIFY2(sim.start({"--reply-delay", "400"}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QVERIFY(client.send("\rAT+APN=?\r"));
    QVERIFY(sim.wait_for_event(QStringLiteral("command")));
    client.close();
    QVERIFY(sim.wait_for_event(QStringLiteral("port-closed")));

    // The device stays in command mode, and the next client gets only its own reply.
    QVERIFY(sim.control(QStringLiteral("reply-delay 0")));
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(sim.wait_for_event(QStringLiteral("port-opened"), 2));
    QCOMPARE(reply_to(client, "AT+TRACK=?", "\r\n"), QByteArray("+RESP:TRACK,30,600,15\r\n"));
    QCOMPARE(sim.transcript().sent_lines(), QList<QByteArray>({">", "+RESP:TRACK,30,600,15\r\n"}));
}

void tst_tracker_sim::unplugs_and_replugs()
{
    sim_process sim;
    QVERIFY2(sim.start(), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));

    QVERIFY2(sim.unplug(), qPrintable(sim.error()));
    QVERIFY(client.wait_for_hangup(timeout_ms));
    QVERIFY(!client.open(sim.port_path()));

    QVERIFY2(sim.replug(), qPrintable(sim.error()));
    QVERIFY(client.open(sim.port_path()));
    // A fresh device: back in data mode, so the echo probe goes unanswered until the code.
    QVERIFY(client.send("&"));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QCOMPARE(reply_to(client, "AT+TRACK=?", "\r\n"), QByteArray("+RESP:TRACK,30,600,15\r\n"));
    const sim_transcript transcript = sim.transcript();
    QCOMPARE(transcript.count_events(QStringLiteral("command-mode")), 2);
    QCOMPARE(transcript.count_events(QStringLiteral("plugged")), 2);
    QCOMPARE(transcript.sent_lines().count(QByteArray("&")), 0);
}

void tst_tracker_sim::keeps_saved_values_across_runs()
{
    sim_process sim;
    QVERIFY2(sim.start(), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QCOMPARE(reply_to(client, "AT+GSM=7395,1,,3,", "\r\n"), QByteArray("+RESP:GSM,1,10,3\r\n"));
    QCOMPARE(reply_to(client, "AT+SAVE=1234,", "\r\n"),
             QByteArray("+RESP:SAVE,ERROR,PASSWORD\r\n"));
    QVERIFY(!QFile::exists(sim.state_path()));
    QCOMPARE(reply_to(client, "AT+SAVE=7395,", "\r\n"), QByteArray("+RESP:SAVE,OK\r\n"));
    QCOMPARE(sim.saved_values().value(QStringLiteral("+GSM")), QStringList({"1", "10", "3"}));
    client.close();
    QVERIFY2(sim.stop(), qPrintable(sim.error()));

    QVERIFY2(sim.start(), qPrintable(sim.error()));
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QCOMPARE(reply_to(client, "AT+GSM=?", "\r\n"), QByteArray("+RESP:GSM,1,10,3\r\n"));
}

void tst_tracker_sim::rejects_bad_control_commands()
{
    sim_process sim;
    QVERIFY2(sim.start(), qPrintable(sim.error()));
    for (const char* command :
         {"reply-delay soon", "line-end crcr", "stream maybe", "explode", "noise-lines -1"}) {
        QVERIFY2(!sim.control(QLatin1String(command)), command);
        QVERIFY(sim.error().contains(QLatin1String(command)));
    }
    QVERIFY(sim.control(QStringLiteral("noise-kind mixed")));
}

void tst_tracker_sim::streams_device_state()
{
    sim_process sim;
    QVERIFY2(sim.start({"--stream-interval", "20"}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.enter_command_mode(tracker_access_code(), timeout_ms));
    QCOMPARE(reply_to(client, "AT+SDAD=7395,,3,,,,,", "\r\n"), QByteArray("+RESP:SDAD,OK\r\n"));
    const QByteArray streamed = client.read_until("$SD,1,", timeout_ms);
    QVERIFY(streamed.contains("$SD,2,"));
    QVERIFY(sim.wait_for(
        [](const sim_transcript& transcript) { return transcript.sent().size() >= 6; }));
    QCOMPARE(reply_to(client, "AT+SDAD=7395,,0,,,,,", "+RESP:SDAD,OK\r\n").right(15),
             QByteArray("+RESP:SDAD,OK\r\n"));
    QVERIFY(client.send("\rAT+TEXT=7395,\r"));
    QVERIFY(sim.wait_for_event(QStringLiteral("data-mode")));
    const sim_transcript transcript = sim.transcript();
    QCOMPARE(transcript.count_events(QStringLiteral("stream on")), 1);
    QCOMPARE(transcript.count_events(QStringLiteral("stream off")), 1);
    // Nothing follows the reply that switched the stream off.
    QCOMPARE(transcript.sent().last().bytes, QByteArray("+RESP:SDAD,OK\r\n"));
}

QTEST_GUILESS_MAIN(tst_tracker_sim)
#include "tst_tracker_sim.moc"

void tst_tracker_sim::ends_with_the_process_that_started_it()
{
    QTemporaryDir folder;
    const QString port = folder.filePath(QStringLiteral("ttyORPHAN"));
    // A parent that starts the simulator, waits until it is plugged in, and dies without a word.
    QProcess parent;
    parent.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("\"$0\" --profile \"$1\" --port \"$2\" & "
                                 "while [ ! -L \"$2\" ]; do sleep 0.05; done; kill -9 $$"),
                  sim_process::executable(), sim_process::default_profile(), port});
    QVERIFY(parent.waitForFinished(timeout_ms));
    QCOMPARE(parent.exitStatus(), QProcess::CrashExit);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(port).isSymLink(), timeout_ms);
}
