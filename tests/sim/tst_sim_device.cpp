#include "command_table.h"
#include "device_commands.h"
#include "device_input.h"
#include "fault_settings.h"
#include "output_queue.h"
#include "reply_lines.h"
#include "sim_profile.h"
#include "sim_transcript.h"
#include "transcript_writer.h"

#include <QtTest>

namespace {

const device_passwords passwords{QStringLiteral("1111"), QStringLiteral("2222")};

QList<sim_command> sample_commands()
{
    return {{QStringLiteral("+APN"), false, {"internet", "", ""}},
            {QStringLiteral("+GSM"), false, {"2", "10", "0"}},
            {QStringLiteral("+SIMPIN"), true, {""}}};
}

QString effect_name(command_effect effect)
{
    switch (effect) {
    case command_effect::stream_on:
        return QStringLiteral("stream on");
    case command_effect::stream_off:
        return QStringLiteral("stream off");
    case command_effect::save:
        return QStringLiteral("save");
    case command_effect::data_mode:
        return QStringLiteral("data mode");
    case command_effect::none:
        break;
    }
    return QString();
}

QString describe(const input_event& event)
{
    switch (event.what) {
    case input_event::kind::echo_probe:
        return QStringLiteral("echo");
    case input_event::kind::keepalive:
        return QStringLiteral("keepalive");
    case input_event::kind::access_code:
        return QStringLiteral("code");
    case input_event::kind::command:
        return QStringLiteral("command ") + QString::fromUtf8(event.text);
    case input_event::kind::overlong:
        return QStringLiteral("overlong");
    case input_event::kind::none:
        break;
    }
    return QString();
}

} // namespace

class tst_sim_device : public QObject
{
    Q_OBJECT

private slots:
    void executes_commands_data();
    void executes_commands();
    void frames_input_data();
    void frames_input();
    void sets_faults_data();
    void sets_faults();
    void surrounds_replies_with_noise();
    void paces_output();
    void persists_values();
    void merges_profile_views();
    void writes_readable_transcripts();
};

void tst_sim_device::executes_commands_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("effect");
    QTest::addColumn<QString>("stored");

    auto row = [](const char* tag, const QStringList& commands, const char* reply,
                  const char* effect = "", const char* stored = "") {
        QTest::newRow(tag) << commands << QByteArray(reply) << QString::fromUtf8(effect)
                           << QString::fromUtf8(stored);
    };
    row("read", {"AT+APN=?"}, "+RESP:APN,internet,,");
    row("set", {"AT+APN=1111,m2m,user,pw,"}, "+RESP:APN,m2m,user,pw", "", "+APN m2m,user,pw");
    row("empty keeps", {"AT+GSM=1111,,60,,"}, "+RESP:GSM,2,60,0", "", "+GSM 2,60,0");
    row("no trailing comma", {"AT+GSM=1111,1"}, "+RESP:GSM,1,10,0", "", "+GSM 1,10,0");
    row("extra positions ignored", {"AT+SIMPIN=2222,1234,5,6,"}, "+RESP:SIMPIN,1234", "",
        "+SIMPIN 1234");
    row("set then read", {"AT+GSM=1111,1,,,", "AT+GSM=?"}, "+RESP:GSM,1,10,0");
    row("wrong password", {"AT+APN=2222,x,", "AT+APN=?"}, "+RESP:APN,internet,,");
    row("wrong password reply", {"AT+APN=0000,x,"}, "+RESP:APN,ERROR,PASSWORD");
    row("master needs master", {"AT+SIMPIN=1111,1,"}, "+RESP:SIMPIN,ERROR,PASSWORD");
    row("unknown", {"AT+NOPE=?"}, "+RESP:NOPE,ERROR,COMMAND");
    row("unknown set", {"AT+NOPE=1111,1,"}, "+RESP:NOPE,ERROR,COMMAND");
    row("no equals", {"AT+APN"}, "+RESP:APN,ERROR,COMMAND");
    row("not AT", {"HELLO"}, "+RESP:HELLO,ERROR,COMMAND");
    row("refused read", {"AT+GSM=?"}, "+RESP:GSM,ERROR,PERMISSION");
    row("save", {"AT+SAVE=1111,"}, "+RESP:SAVE,OK", "save");
    row("save needs device password", {"AT+SAVE=2222,"}, "+RESP:SAVE,ERROR,PASSWORD");
    row("stream on", {"AT+SDAD=1111,,3,,,,,"}, "+RESP:SDAD,OK", "stream on");
    row("stream off", {"AT+SDAD=1111,,0,,,,,"}, "+RESP:SDAD,OK", "stream off");
    row("stream other mode", {"AT+SDAD=1111,,1,,,,,"}, "+RESP:SDAD,OK");
    row("stream wrong password", {"AT+SDAD=0000,,3,,,,,"}, "+RESP:SDAD,ERROR,PASSWORD");
    row("closing", {"AT+TEXT=7395,"}, "", "data mode");
    row("closing with device password", {"AT+TEXT=1111,"}, "", "data mode");
    row("closing wrong password", {"AT+TEXT=1234,"}, "+RESP:TEXT,ERROR,PASSWORD");
}

void tst_sim_device::executes_commands()
{
    QFETCH(QStringList, commands);
    QFETCH(QByteArray, reply);
    QFETCH(QString, effect);
    QFETCH(QString, stored);

    const bool refuse = QByteArray(QTest::currentDataTag()).startsWith("refused");
    command_table table(sample_commands());
    device_commands device(table, passwords, refuse ? QStringList{"GSM"} : QStringList{});
    command_outcome outcome;
    for (const QString& command : commands) {
        outcome = device.execute(command.toUtf8());
    }
    QCOMPARE(outcome.reply, reply);
    QCOMPARE(effect_name(outcome.effect), effect);
    QCOMPARE(outcome.stored, stored);
}

void tst_sim_device::frames_input_data()
{
    QTest::addColumn<bool>("command_mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("code") << false << QByteArray("&\r4182763\r") << QStringList{"code"};
    QTest::newRow("data mode ignores commands")
        << false << QByteArray("\rAT+APN=?\r&") << QStringList{};
    QTest::newRow("code without leading CR")
        << false << QByteArray("4182763\r") << QStringList{"code"};
    QTest::newRow("wrong code") << false << QByteArray("\r4182764\r") << QStringList{};
    QTest::newRow("keep-alive in data mode") << false
                                             << QByteArray("\r418\0"
                                                           "2763\r",
                                                           10)
                                             << QStringList{"keepalive", "code"};
    QTest::newRow("echo") << true << QByteArray("&\r") << QStringList{"echo"};
    QTest::newRow("wired frame") << true << QByteArray("\rAT+APN=?\r")
                                 << QStringList{"command AT+APN=?"};
    QTest::newRow("bluetooth frames") << true << QByteArray("AT+A=?\rAT+B=?\r")
                                      << QStringList{"command AT+A=?", "command AT+B=?"};
    QTest::newRow("ampersand inside")
        << true << QByteArray("\rAT+P=a&b,\r") << QStringList{"command AT+P=a&b,"};
    QTest::newRow("line feeds dropped")
        << true << QByteArray("\n\rAT+\nA=?\r\n") << QStringList{"command AT+A=?"};
    QTest::newRow("keep-alive") << true << QByteArray("\0\r\0", 3)
                                << QStringList{"keepalive", "keepalive"};
    QTest::newRow("code again") << true << QByteArray("\r4182763\r") << QStringList{"code"};
    QTest::newRow("overlong") << true
                              << "\r" + QByteArray(device_input::max_frame + 1, 'A') + "\r&AT+A=?\r"
                              << QStringList{"overlong", "echo", "command AT+A=?"};
    QTest::newRow("longest kept") << true << "\r" + QByteArray(device_input::max_frame, 'A') + "\r"
                                  << QStringList{"command " + QString(device_input::max_frame,
                                                                      QLatin1Char('A'))};
}

void tst_sim_device::frames_input()
{
    QFETCH(bool, command_mode);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, events);

    device_input input("4182763",
                       command_mode ? device_input::mode::command : device_input::mode::data);
    QStringList seen;
    for (const char byte : bytes) {
        const QString event = describe(input.feed(byte));
        if (!event.isEmpty()) {
            seen.append(event);
        }
    }
    QCOMPARE(seen, events);
}

void tst_sim_device::sets_faults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("silent on") << "silent"
                               << "on" << true;
    QTest::newRow("silent yes") << "silent"
                                << "yes" << false;
    QTest::newRow("refuse off") << "refuse-handshake"
                                << "off" << true;
    QTest::newRow("delay") << "reply-delay"
                           << "1500" << true;
    QTest::newRow("negative delay") << "reply-delay"
                                    << "-1" << false;
    QTest::newRow("delay text") << "reply-delay"
                                << "soon" << false;
    QTest::newRow("pause") << "byte-pause"
                           << "0" << true;
    QTest::newRow("noise") << "noise-lines"
                           << "11" << true;
    QTest::newRow("noise kind") << "noise-kind"
                                << "sd" << true;
    QTest::newRow("noise kind unknown") << "noise-kind"
                                        << "loud" << false;
    QTest::newRow("line end") << "line-end"
                              << "lfcr" << true;
    QTest::newRow("line end case") << "line-end"
                                   << "CR" << false;
    QTest::newRow("long line") << "long-line"
                               << "2000" << true;
    QTest::newRow("unknown") << "explode"
                             << "on" << false;
}

void tst_sim_device::sets_faults()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, accepted);

    fault_settings faults;
    const fault_settings before = faults;
    QString error;
    QCOMPARE(faults.set(name, value, error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
    if (!accepted) {
        // A refused value leaves every setting as it was.
        QCOMPARE(faults.reply_delay_ms, before.reply_delay_ms);
        QCOMPARE(faults.silent, before.silent);
        QCOMPARE(faults.line_end_bytes(), before.line_end_bytes());
        QCOMPARE(int(faults.noise), int(before.noise));
    }
}

void tst_sim_device::surrounds_replies_with_noise()
{
    fault_settings faults;
    QString error;
    QVERIFY(faults.set("noise-lines", "4", error));
    QVERIFY(faults.set("noise-kind", "mixed", error));
    QVERIFY(faults.set("long-line", "1024", error));
    QVERIFY(faults.set("line-end", "cr", error));
    const QList<QByteArray> lines = reply_lines("+RESP:A,1", faults, "$SD,1,AAAA");
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.mid(0, 4), QList<QByteArray>({"\r", "NOISE 2\r", "$SD,1,AAAA\r", "\r"}));
    QCOMPARE(lines[4].size(), 1025);
    QVERIFY(!lines[4].contains("+RESP") && !lines[4].contains("$SD"));
    QVERIFY(!lines[4].left(1024).contains('\r') && !lines[4].contains('\n'));
    QCOMPARE(lines[5], QByteArray("+RESP:A,1\r"));
}

void tst_sim_device::paces_output()
{
    output_queue queue;
    queue.push("AB\r\n", 1000);
    queue.push("CD\r\n", 0, 500);
    queue.push("E\n", 0);
    QCOMPARE(queue.due_bytes(999), QByteArray());
    QCOMPARE(queue.next_due_us(), 1000);
    // A partial write leaves the rest at the head.
    QCOMPARE(queue.due_bytes(1000), QByteArray("AB\r\n"));
    QCOMPARE(queue.line_completed_by(1), QByteArray());
    queue.consume(1, 1000);
    QCOMPARE(queue.due_bytes(1000), QByteArray("B\r\n"));
    QCOMPARE(queue.line_completed_by(3), QByteArray("AB\r\n"));
    queue.consume(3, 1000);
    // A paced line goes out byte by byte, and its last pause holds back the next line.
    QCOMPARE(queue.due_bytes(1000), QByteArray("C"));
    queue.consume(1, 1000);
    QCOMPARE(queue.next_due_us(), 1500);
    QCOMPARE(queue.due_bytes(1499), QByteArray());
    QCOMPARE(queue.due_bytes(1500), QByteArray("D"));
    queue.consume(1, 1500);
    queue.consume(1, 2000);
    QCOMPARE(queue.line_completed_by(1), QByteArray("CD\r\n"));
    queue.consume(1, 2500);
    QCOMPARE(queue.due_bytes(2999), QByteArray());
    QCOMPARE(queue.due_bytes(3000), QByteArray("E\n"));
    queue.consume(2, 3000);
    QVERIFY(queue.empty());
    queue.push("F\n", 0);
    queue.clear();
    QVERIFY(queue.empty());
    QCOMPARE(queue.due_bytes(10000), QByteArray());
}

void tst_sim_device::persists_values()
{
    command_table saved(sample_commands());
    saved.store("+APN", {"m2m", "", "secret"});
    saved.store("+NOPE", {"1"});
    const QByteArray state = saved.to_state();

    QList<sim_command> other_profile = sample_commands();
    other_profile[1].values.append("extra");
    other_profile.removeLast();
    command_table loaded(other_profile);
    QString error;
    QVERIFY2(loaded.load_state(state, error), qPrintable(error));
    QCOMPARE(loaded.find("+APN")->values, QStringList({"m2m", "", "secret"}));
    // The profile decides how many values a command has.
    QCOMPARE(loaded.find("+GSM")->values, QStringList({"2", "10", "0", "extra"}));
    QCOMPARE(loaded.find("+NOPE"), nullptr);

    QVERIFY(!loaded.load_state("+APN=1", error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(loaded.find("+APN")->values, QStringList({"m2m", "", "secret"}));
}

void tst_sim_device::merges_profile_views()
{
    sim_profile profile;
    QString error;
    QVERIFY2(load_sim_profile(TC_TEST_DATA "/sim_profile.xml", profile, error), qPrintable(error));
    QStringList seen;
    for (const sim_command& command : profile.commands) {
        seen.append(command.key + (command.master ? " master " : " ") +
                    command.values.join(QLatin1Char(',')));
    }
    QCOMPARE(seen, QStringList({"+APN internet,,", "+GSM 2,10,0", "+SIMPIN master ",
                                "+TRACK 30,600,15", "+MODE ,7", "+LOCK master "}));
    QCOMPARE(profile.rawdata.size(), 2);
    QCOMPARE(profile.displays.size(), 13);

    QVERIFY(!load_sim_profile(TC_TEST_DATA "/sim_missing.xml", profile, error));
    QVERIFY(error.contains("sim_missing.xml"));
    QCOMPARE(profile.commands.size(), 6);
}

void tst_sim_device::writes_readable_transcripts()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("transcript.txt");
    transcript_writer writer;
    QString error;
    QVERIFY2(writer.open(path, error), qPrintable(error));
    const QByteArray line("a\\b \\x41\r\n\x01\xc3\xa9\x7f");
    writer.received(10, '\0');
    writer.received(11, '\xff');
    writer.received(12, '\r');
    writer.sent(20, line);
    writer.event(30, QStringLiteral("command AT+NAME=\"й\",\\"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(written.count('\n'), 5);
    QVERIFY(written.contains("20 TX a\\\\b \\\\x41\\r\\n\\x01\\xc3\\xa9\\x7f\n"));

    // A line still being written is not read.
    const sim_transcript transcript = sim_transcript::parse(written + "40 EV unfini");
    QCOMPARE(transcript.received_bytes(), QByteArray("\0\xff\r", 3));
    QCOMPARE(transcript.received().last().time_us, 12);
    QCOMPARE(transcript.sent_lines(), QList<QByteArray>{line});
    QCOMPARE(transcript.commands(), QStringList{QStringLiteral("AT+NAME=\"й\",\\")});
    QCOMPARE(transcript.events().size(), 1);
    QCOMPARE(transcript.count_events("command"), 1);
    QCOMPARE(transcript.count_events("comm"), 0);
}

QTEST_GUILESS_MAIN(tst_sim_device)
#include "tst_sim_device.moc"
