#include "pty_client.h"
#include "sim_process.h"

#include <QtTest>

namespace {

constexpr int timeout_ms = sim_process::default_timeout_ms;
const QByteArray access_code("4182763");

QByteArray reply_to(pty_client& client, const QByteArray& command, const QByteArray& until = "\n")
{
    return client.send("\r" + command + "\r") ? client.read_until(until, timeout_ms) : QByteArray();
}

// A client on the simulator's port, past the handshake.
bool connect_client(pty_client& client, const sim_process& sim)
{
    return client.open(sim.port_path()) && client.enter_command_mode(access_code, timeout_ms);
}

} // namespace

class tst_tracker_sim : public QObject
{
    Q_OBJECT

private slots:
    void serves_a_wired_session();
    void serves_bluetooth_without_handshake();
    void applies_faults_on_demand();
    void survives_clients_and_cables();
    void ends_with_the_process_that_started_it();
};

void tst_tracker_sim::serves_a_wired_session()
{
    sim_process sim;
    const QStringList options{"--permission",      "GSM", "--clamp", "+TRACK,2,900",
                              "--stream-interval", "20"};
    QVERIFY2(sim.start(options), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    // In data mode the echo probe goes unanswered: the prompt is all that is sent.
    QVERIFY(client.send("&"));
    QVERIFY(client.enter_command_mode(access_code, timeout_ms));
    QVERIFY(sim.wait_for_event("command-mode"));
    QCOMPARE(sim.transcript().sent_lines(), QList<QByteArray>{">"});

    QVERIFY(client.send("&"));
    QCOMPARE(client.read_until("&", timeout_ms), QByteArray("&"));
    QCOMPARE(reply_to(client, "AT+APN=?"), QByteArray("+RESP:APN,internet,,\r\n"));
    QCOMPARE(reply_to(client, "AT+GSM=?"), QByteArray("+RESP:GSM,ERROR,PERMISSION\r\n"));
    QCOMPARE(reply_to(client, "AT+TRACK=7395,,1000,"), QByteArray("+RESP:TRACK,30,900,15\r\n"));
    QVERIFY(client.send(QByteArray(1, '\0')));
    QByteArray streamed = reply_to(client, "AT+SDAD=7395,,3,,,,,", "$SD,1,");
    streamed += client.read_until("$SD,2,", timeout_ms);
    QVERIFY2(streamed.startsWith("+RESP:SDAD,OK\r\n$SD,"), streamed.constData());
    QVERIFY(streamed.contains("$SD,2,"));
    QVERIFY(reply_to(client, "AT+SDAD=7395,,0,,,,,", "+RESP:SDAD,OK\r\n").endsWith("OK\r\n"));
    QCOMPARE(reply_to(client, "AT+SAVE=7395,"), QByteArray("+RESP:SAVE,OK\r\n"));
    QVERIFY(client.send("\rAT+TEXT=7395,\r"));
    QVERIFY(sim.wait_for_event("data-mode"));

    const sim_transcript transcript = sim.transcript();
    QCOMPARE(transcript.commands().last(), QStringLiteral("AT+TEXT=7395,"));
    QCOMPARE(transcript.events_named("stored").first().text,
             QStringLiteral("stored +TRACK 30,900,15"));
    QCOMPARE(transcript.count_events("keepalive"), 1);
    QCOMPARE(transcript.count_events("stream off"), 1);
    // No device-state line follows the end of the stream.
    QCOMPARE(transcript.sent().last().bytes, QByteArray("+RESP:SAVE,OK\r\n"));
    for (int k = 1; k < transcript.received().size(); ++k) {
        QVERIFY(transcript.received()[k].time_us >= transcript.received()[k - 1].time_us);
    }
    client.close();
    QVERIFY2(sim.stop(), qPrintable(sim.error()));

    // The saved values come back with the next run.
    QCOMPARE(sim.saved_values().value("+TRACK"), QStringList({"30", "900", "15"}));
    QVERIFY2(sim.start(), qPrintable(sim.error()));
    QVERIFY(connect_client(client, sim));
    QCOMPARE(reply_to(client, "AT+TRACK=?"), QByteArray("+RESP:TRACK,30,900,15\r\n"));
}

void tst_tracker_sim::serves_bluetooth_without_handshake()
{
    sim_process sim;
    QVERIFY2(sim.start({"--bluetooth", "--device-password", "1111"}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.send("AT+TRACK=7395,1,\r"));
    QCOMPARE(client.read_until("\n", timeout_ms), QByteArray("+RESP:TRACK,ERROR,PASSWORD\r\n"));
    // Closing does not leave command mode: there is no handshake to come back with.
    QVERIFY(client.send("AT+TEXT=7395,\rAT+TRACK=1111,1,\r"));
    QCOMPARE(client.read_until("\n", timeout_ms), QByteArray("+RESP:TRACK,1,600,15\r\n"));
}

void tst_tracker_sim::applies_faults_on_demand()
{
    sim_process sim;
    QVERIFY2(sim.start({"--reply-delay", "300", "--byte-pause", "20000"}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(connect_client(client, sim));
    const QByteArray reply("+RESP:SIMPIN,\r\n");
    QCOMPARE(reply_to(client, "AT+SIMPIN=?"), reply);
    const sim_transcript transcript = sim.transcript();
    const qint64 took =
        transcript.sent().last().time_us - transcript.events_named("command").last().time_us;
    QVERIFY2(took >= 300000 + (reply.size() - 1) * 20000, qPrintable(QString::number(took)));

    for (const char* command : {"reply-delay 0", "byte-pause 0", "line-end lfcr", "noise-lines 2",
                                "noise-kind text", "long-line 15"}) {
        QVERIFY2(sim.control(command), qPrintable(sim.error()));
    }
    QCOMPARE(reply_to(client, "AT+SIMPIN=?", "SIMPIN,\n\r"),
             QByteArray("NOISE 1\n\rNOISE 2\n\r012345678901234\n\r+RESP:SIMPIN,\n\r"));
    for (const char* command : {"reply-delay soon", "line-end crcr", "stream maybe", "explode"}) {
        QVERIFY(!sim.control(command));
        QVERIFY2(sim.error().contains("control-error"), qPrintable(sim.error()));
    }
    QVERIFY(sim.control("silent on"));
    QVERIFY(client.send("\rAT+SIMPIN=?\r"));
    QVERIFY(sim.wait_for_event("command", 3));
    QVERIFY(sim.control("send after silence"));
    QCOMPARE(client.read_until("\r", timeout_ms), QByteArray("after silence\n\r"));

    QVERIFY(sim.control("silent off"));
    QVERIFY(client.send("\rAT+TEXT=7395,\r"));
    QVERIFY(sim.wait_for_event("data-mode"));
    QVERIFY(sim.control("refuse-handshake on"));
    QVERIFY(client.send("\r" + access_code + "\r"));
    QVERIFY(sim.wait_for_event("handshake refused"));
    QVERIFY(sim.control("refuse-handshake off"));
    QVERIFY(client.enter_command_mode(access_code, timeout_ms));
    QCOMPARE(sim.transcript().count_events("command-mode"), 2);
}

void tst_tracker_sim::survives_clients_and_cables()
{
    sim_process sim;
    QVERIFY2(sim.start({"--reply-delay", "400"}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(connect_client(client, sim));
    QVERIFY(client.send("\rAT+APN=?\r"));
    QVERIFY(sim.wait_for_event("command"));
    client.close();
    QVERIFY(sim.wait_for_event("port-closed"));
    // The next client gets only its own reply, from a device still in command mode.
    QVERIFY(sim.control("reply-delay 0"));
    QVERIFY(client.open(sim.port_path()));
    QCOMPARE(reply_to(client, "AT+TRACK=?"), QByteArray("+RESP:TRACK,30,600,15\r\n"));
    QCOMPARE(sim.transcript().sent_lines(), QList<QByteArray>({">", "+RESP:TRACK,30,600,15\r\n"}));

    QVERIFY2(sim.unplug(), qPrintable(sim.error()));
    QVERIFY(client.wait_for_hangup(timeout_ms));
    QVERIFY(!client.open(sim.port_path()));
    QVERIFY2(sim.replug(), qPrintable(sim.error()));
    // A fresh device: back in data mode, so the echo probe goes unanswered until the code.
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.send("&"));
    QVERIFY(client.enter_command_mode(access_code, timeout_ms));
    QCOMPARE(sim.transcript().count_events("command-mode"), 2);
    QCOMPARE(sim.transcript().sent_lines().count("&"), 0);
}

void tst_tracker_sim::ends_with_the_process_that_started_it()
{
    QTemporaryDir folder;
    const QString port = folder.filePath(QStringLiteral("ttyORPHAN"));
    // A parent that starts the simulator, waits until it is plugged in, and dies without a word.
    QProcess parent;
    parent.start("sh", {"-c",
                        "\"$0\" --profile \"$1\" --port \"$2\" & "
                        "while [ ! -L \"$2\" ]; do sleep 0.05; done; kill -9 $$",
                        sim_process::executable(), sim_process::default_profile(), port});
    QVERIFY(parent.waitForFinished(timeout_ms));
    QCOMPARE(parent.exitStatus(), QProcess::CrashExit);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(port).isSymLink(), timeout_ms);
}

QTEST_GUILESS_MAIN(tst_tracker_sim)
#include "tst_tracker_sim.moc"
