#include "sim_process.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr int timeout_ms = sim_process::default_timeout_ms;
const QByteArray access_code("4182763");

// The configurator's end of the pty in plain POSIX, so that these tests do not depend on the
// serial worker they exist to test.
struct pty_client
{
    ~pty_client() { close(); }
    bool open(const QString& path)
    {
        close();
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0;
    }
    void close()
    {
        if (fd >= 0)
            ::close(std::exchange(fd, -1));
    }
    bool send(const QByteArray& bytes)
    {
        return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() &&
               tcdrain(fd) == 0;
    }
    // Reads until what was read contains wanted (with nothing wanted: until the device hangs
    // up), or the deadline passes.
    QByteArray read_until(const QByteArray& wanted)
    {
        QByteArray bytes;
        const QDeadlineTimer deadline(timeout_ms);
        char buffer[256];
        ssize_t length = 1;
        while (length > 0 && (wanted.isEmpty() || !bytes.contains(wanted))) {
            pollfd state{fd, POLLIN, 0};
            if (poll(&state, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
                break;
            length = ::read(fd, buffer, sizeof buffer);
            bytes.append(buffer, int(qMax<ssize_t>(0, length)));
        }
        hung_up = length <= 0;
        return bytes;
    }
    QByteArray ask(const QByteArray& command, const QByteArray& until = "\n")
    {
        return send("\r" + command + "\r") ? read_until(until) : QByteArray();
    }
    bool handshake() { return send("\r" + access_code + "\r") && read_until(">") == ">"; }

    int fd = -1;
    bool hung_up = false;
};

} // namespace

class tst_tracker_sim : public QObject
{
    Q_OBJECT

private slots:
    void serves_a_session_end_to_end();
    void replays_a_recording();
    void ends_with_the_process_that_started_it();
};

void tst_tracker_sim::serves_a_session_end_to_end()
{
    sim_process sim;
    QVERIFY2(
        sim.start({"--permission", "GSM", "--clamp", "+TRACK,2,900", "--stream-interval", "20"}),
        qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()));
    // In data mode the echo probe goes unanswered: the prompt is all that is sent.
    QVERIFY(client.send("&") && client.handshake());
    QVERIFY(client.send("&"));
    QCOMPARE(client.read_until("&"), QByteArray("&"));
    QCOMPARE(client.ask("AT+APN=?"), QByteArray("+RESP:APN,internet,,\r\n"));
    QCOMPARE(client.ask("AT+GSM=?"), QByteArray("+RESP:GSM,ERROR,PERMISSION\r\n"));
    QCOMPARE(client.ask("AT+TRACK=7395,,1000,"), QByteArray("+RESP:TRACK,30,900,15\r\n"));
    QVERIFY(client.send(QByteArray(1, '\0')));
    QByteArray streamed = client.ask("AT+SDAD=7395,,3,,,,,", "$SD,1,");
    streamed += client.read_until("$SD,2,");
    QVERIFY2(streamed.startsWith("+RESP:SDAD,OK\r\n$SD,"), streamed.constData());
    QVERIFY(client.ask("AT+SDAD=7395,,0,,,,,", "+RESP:SDAD,OK\r\n").endsWith("OK\r\n"));

    // Faults on demand, through the control channel.
    for (const char* command :
         {"reply-delay 300", "byte-pause 10000", "line-end lfcr", "noise-lines 1"}) {
        QVERIFY2(sim.control(command), qPrintable(sim.error()));
    }
    QVERIFY(!sim.control("explode") && sim.error().contains("control-error explode"));
    QCOMPARE(client.ask("AT+SIMPIN=?", "SIMPIN,\n\r"), QByteArray("NOISE 1\n\r+RESP:SIMPIN,\n\r"));
    sim_transcript transcript = sim.transcript();
    const qint64 took =
        transcript.sent().last().time_us - transcript.events_named("command").last().time_us;
    QVERIFY2(took >= 300000 + 15 * 10000, qPrintable(QString::number(took)));
    // What was meant for a client that has gone is lost, as on a real line.
    QVERIFY(sim.control("reply-delay 5000"));
    QVERIFY(client.send("\rAT+APN=?\r") && sim.wait_for_event("command", 7));
    client.close();
    QVERIFY(sim.wait_for_event("port-closed"));
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(sim.control("reply-delay 0") && sim.control("noise-lines 0"));
    QCOMPARE(client.ask("AT+SAVE=7395,", "\n\r"), QByteArray("+RESP:SAVE,OK\n\r"));

    // Unplugged and plugged in again, the device starts afresh in data mode.
    QVERIFY2(sim.unplug(), qPrintable(sim.error()));
    client.read_until({});
    QVERIFY(client.hung_up && !client.open(sim.port_path()));
    QVERIFY2(sim.replug(), qPrintable(sim.error()));
    QVERIFY(client.open(sim.port_path()) && client.send("&") && client.handshake());
    QVERIFY(client.send("\rAT+TEXT=7395,\r"));
    QVERIFY(sim.wait_for_event("data-mode"));

    transcript = sim.transcript();
    QCOMPARE(transcript.events_named("stored").first().text,
             QStringLiteral("stored +TRACK 30,900,15"));
    QCOMPARE(transcript.count_events("keepalive"), 1);
    QCOMPARE(transcript.count_events("command-mode"), 2);
    QVERIFY(!transcript.sent_lines().contains("+RESP:APN,internet,,\n\r"));
    QCOMPARE(transcript.sent_lines().count("&"), 1);
    for (int k = 1; k < transcript.received().size(); ++k) {
        QVERIFY(transcript.received()[k].time_us >= transcript.received()[k - 1].time_us);
    }
    client.close();
    QVERIFY2(sim.stop(), qPrintable(sim.error()));

    // The saved values come back with the next run; on Bluetooth without a handshake, and the
    // closing command leaves the device in command mode.
    QVERIFY2(sim.start({"--bluetooth"}), qPrintable(sim.error()));
    QVERIFY(client.open(sim.port_path()));
    QVERIFY(client.send("AT+TEXT=7395,\rAT+TRACK=?\r"));
    QCOMPARE(client.read_until("\n"), QByteArray("+RESP:TRACK,30,900,15\r\n"));
}

// A recording served as the stream: its lines in order and with their gaps. A file the reader
// refuses keeps the simulator from starting and names the line at fault.
void tst_tracker_sim::replays_a_recording()
{
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("drive.rec")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("tracker-recording 1\n2026-12-07T14:00:00.000Z\t$SD,1,AAAA\n"
               "2026-12-07T14:00:00.200Z\t$SD,2,BBBB\n2026-12-07T14:00:00.200Z\t$SD,1,CCCC\n");
    file.close();
    sim_process sim;
    QVERIFY2(sim.start({"--replay", file.fileName()}), qPrintable(sim.error()));
    pty_client client;
    QVERIFY(client.open(sim.port_path()) && client.handshake());
    QCOMPARE(client.ask("AT+SDAD=7395,,3,,,,,", "CCCC\r\n"),
             QByteArray("+RESP:SDAD,OK\r\n$SD,1,AAAA\r\n$SD,2,BBBB\r\n$SD,1,CCCC\r\n"));
    // Timed from the command's last byte, when the stream was switched on.
    const sim_transcript transcript = sim.transcript();
    QVERIFY(transcript.sent().size() >= 5);
    QVERIFY(transcript.sent()[3].time_us - transcript.received().last().time_us >= 200000);
    client.close();
    QVERIFY2(sim.stop(), qPrintable(sim.error()));

    QVERIFY(file.open(QIODevice::Append));
    file.write("2026-12-07T13:00:00.000Z\t$SD,1,DDDD\n");
    file.close();
    QVERIFY(!sim.start({"--replay", file.fileName()}));
    QVERIFY2(sim.error().contains("line 5: a time before"), qPrintable(sim.error()));
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
