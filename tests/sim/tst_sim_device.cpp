#include "command_table.h"
#include "device_commands.h"
#include "device_input.h"
#include "device_state_source.h"
#include "output_queue.h"
#include "record_fixtures.h"
#include "reply_lines.h"
#include "sim_profile.h"
#include "sim_transcript.h"
#include "transcript_writer.h"

#include <QtTest>

namespace {

const device_passwords passwords{QStringLiteral("1111"), QStringLiteral("2222")};

QList<sim_command> sample_commands()
{
    return {{"+APN", false, {"internet", "", ""}},
            {"+GSM", false, {"2", "10", "0"}},
            {"+SIMPIN", true, {""}}};
}

// "kind text" of an input event, the kinds named in the order of input_event::kind.
QString describe(const input_event& event)
{
    static const char* const kinds[] = {"", "echo", "keepalive", "code", "command", "overlong"};
    return (QLatin1String(kinds[int(event.what)]) + ' ' + QString::fromUtf8(event.text)).trimmed();
}

const field_display* display_of(const sim_profile& profile, const QString& field)
{
    const auto& all = profile.displays;
    const auto it =
        std::find_if(all.begin(), all.end(), [&](const auto& d) { return d.field == field; });
    return it == all.end() ? nullptr : &*it;
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
    void shapes_and_paces_output();
    void persists_values();
    void reads_profiles();
    void writes_readable_transcripts();
    void encodes_fixed_records_data();
    void encodes_fixed_records();
    void rejects_unreadable_schemas();
    void streams_plausible_records();
};

void tst_sim_device::executes_commands_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("effect");
    QTest::addColumn<QString>("stored");

    auto row = [](const char* tag, const QStringList& commands, const char* reply,
                  command_effect effect = command_effect::none, const char* stored = "") {
        QTest::newRow(tag) << commands << QByteArray(reply) << int(effect)
                           << QString::fromUtf8(stored);
    };
    row("read", {"AT+APN=?"}, "+RESP:APN,internet,,");
    row("set answers every position", {"AT+GSM=1111,,60,,"}, "+RESP:GSM,2,60,0",
        command_effect::none, "+GSM 2,60,0");
    row("capped", {"AT+GSM=1111,1,61,x,"}, "+RESP:GSM,1,60,x", command_effect::none, "+GSM 1,60,x");
    row("extra positions ignored", {"AT+SIMPIN=2222,1234,5,"}, "+RESP:SIMPIN,1234",
        command_effect::none, "+SIMPIN 1234");
    row("refused write keeps values", {"AT+APN=2222,x,", "AT+APN=?"}, "+RESP:APN,internet,,");
    row("wrong password", {"AT+APN=0000,x,"}, "+RESP:APN,ERROR,PASSWORD");
    row("master needs master", {"AT+SIMPIN=1111,1,"}, "+RESP:SIMPIN,ERROR,PASSWORD");
    row("unknown", {"AT+NOPE=?"}, "+RESP:NOPE,ERROR,COMMAND");
    row("no equals", {"AT+APN"}, "+RESP:APN,ERROR,COMMAND");
    row("refused", {"AT+GSM=?"}, "+RESP:GSM,ERROR,PERMISSION");
    row("save", {"AT+SAVE=1111,"}, "+RESP:SAVE,OK", command_effect::save);
    row("save needs device password", {"AT+SAVE=2222,"}, "+RESP:SAVE,ERROR,PASSWORD");
    row("stream on", {"AT+SDAD=1111,,3,,,,,"}, "+RESP:SDAD,OK", command_effect::stream_on);
    row("stream off", {"AT+SDAD=1111,,0,,,,,"}, "+RESP:SDAD,OK", command_effect::stream_off);
    row("stream wrong password", {"AT+SDAD=0000,,3,,,,,"}, "+RESP:SDAD,ERROR,PASSWORD");
    row("closing", {"AT+TEXT=7395,"}, "", command_effect::data_mode);
    row("closing wrong password", {"AT+TEXT=1234,"}, "+RESP:TEXT,ERROR,PASSWORD");
}

void tst_sim_device::executes_commands()
{
    QFETCH(QStringList, commands);
    QFETCH(QByteArray, reply);
    QFETCH(int, effect);
    QFETCH(QString, stored);

    command_table table(sample_commands(), {{"+GSM", 2, 60}});
    const bool refuse = QByteArray(QTest::currentDataTag()) == "refused";
    device_commands device(table, passwords, refuse ? QStringList{"GSM"} : QStringList{});
    command_outcome outcome;
    for (const QString& command : commands) {
        outcome = device.execute(command.toUtf8());
    }
    QCOMPARE(outcome.reply, reply);
    QCOMPARE(int(outcome.effect), effect);
    QCOMPARE(outcome.stored, stored);
}

void tst_sim_device::frames_input_data()
{
    QTest::addColumn<bool>("command_mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("events");

    const QByteArray longest(device_input::max_frame, 'A');
    QTest::newRow("code") << false << QByteArray("&\r4182763\r") << QStringList{"code"};
    QTest::newRow("data mode ignores commands")
        << false << QByteArray("\rAT+A=?\r&") << QStringList{};
    QTest::newRow("wrong code") << false << QByteArray("\r4182764\r") << QStringList{};
    QTest::newRow("keep-alive inside the code")
        << false << QByteArray("\r418\0002763\r", 10) << QStringList{"keepalive", "code"};
    QTest::newRow("echo") << true << QByteArray("&\r") << QStringList{"echo"};
    QTest::newRow("frames") << true << QByteArray("\rAT+A=?\rAT+B=a&b,\r")
                            << QStringList{"command AT+A=?", "command AT+B=a&b,"};
    QTest::newRow("line feeds dropped")
        << true << QByteArray("\n\rAT+\nA=?\r\n") << QStringList{"command AT+A=?"};
    QTest::newRow("overlong") << true << "\r" + longest + "A\r&AT+A=?\r"
                              << QStringList{"overlong", "echo", "command AT+A=?"};
    QTest::newRow("longest kept") << true << "\r" + longest + "\r"
                                  << QStringList{"command " + QString::fromLatin1(longest)};
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
        seen << describe(input.feed(byte));
    }
    seen.removeAll(QString());
    QCOMPARE(seen, events);
}

void tst_sim_device::shapes_and_paces_output()
{
    fault_settings faults;
    QString error;
    QVERIFY(faults.set("noise-lines", "4", error) && faults.set("noise-kind", "mixed", error) &&
            faults.set("long-line", "12", error) && faults.set("line-end", "lfcr", error));
    QVERIFY(!faults.set("line-end", "CR", error) && !faults.set("reply-delay", "-1", error));
    QCOMPARE(reply_lines("+RESP:A,1", faults, "$SD,1,AAAA"),
             QList<QByteArray>({"\n\r", "NOISE 2\n\r", "$SD,1,AAAA\n\r", "\n\r", "012345678901\n\r",
                                "+RESP:A,1\n\r"}));

    output_queue queue;
    queue.push("AB\r", 1000);
    queue.push("CD\r", 0, 500);
    queue.push("E\r", 0);
    QCOMPARE(queue.due_bytes(999), QByteArray());
    QCOMPARE(queue.due_bytes(1000), QByteArray("AB\r"));
    // A partial write leaves the rest at the head; a line counts as sent with its last byte.
    queue.consume(1, 1000);
    QCOMPARE(queue.line_completed_by(1), QByteArray());
    QCOMPARE(queue.line_completed_by(2), QByteArray("AB\r"));
    queue.consume(2, 1000);
    // A paced line goes out byte by byte, and its last pause holds back the next line.
    for (const qint64 now : {1000, 1500, 2000}) {
        QCOMPARE(queue.due_bytes(now - 1).size(), now == 1000 ? 1 : 0);
        QCOMPARE(queue.due_bytes(now).size(), 1);
        queue.consume(1, now);
    }
    QCOMPARE(queue.due_bytes(2499), QByteArray());
    QCOMPARE(queue.due_bytes(2500), QByteArray("E\r"));
}

void tst_sim_device::persists_values()
{
    command_table saved(sample_commands());
    saved.store("+APN", {"m2m", "", "secret"});
    QList<sim_command> other_profile = sample_commands();
    other_profile[1].values.append("extra");
    other_profile.removeLast();
    command_table loaded(other_profile);
    QString error;
    QVERIFY2(loaded.load_state(saved.to_state(), error), qPrintable(error));
    QCOMPARE(loaded.find("+APN")->values, QStringList({"m2m", "", "secret"}));
    // The profile decides which commands there are and how many values each has.
    QCOMPARE(loaded.find("+GSM")->values, QStringList({"2", "10", "0", "extra"}));
    QCOMPARE(loaded.find("+SIMPIN"), nullptr);
    QVERIFY(!loaded.load_state("+APN=1", error));
    QCOMPARE(loaded.find("+APN")->values, QStringList({"m2m", "", "secret"}));
}

void tst_sim_device::reads_profiles()
{
    sim_profile profile;
    QString error;
    QVERIFY2(load_sim_profile(TC_TEST_DATA "/sim_profile.xml", profile, error), qPrintable(error));
    QStringList seen;
    for (const sim_command& command : profile.commands) {
        seen << command.key + (command.master ? " master " : " ") + command.values.join(',');
    }
    QCOMPARE(seen, QStringList({"+APN internet,,", "+GSM 2,10,0", "+SIMPIN master ",
                                "+TRACK 30,600,15", "+MODE ,7", "+LOCK master "}));
    QCOMPARE(profile.layouts.size(), 2);
    QCOMPARE(profile.layouts[1].id, 2);
    QCOMPARE(profile.displays.size(), 13);
    QCOMPARE(display_of(profile, "speed")->multiplier, 0.1);
    QCOMPARE(display_of(profile, "speed")->valid_max, 250.0);
    QCOMPARE(display_of(profile, "sats")->multiplier, 1.0);
    QCOMPARE(display_of(profile, "gsm_level")->option_ids, QStringList({"0", "3", "5", "default"}));

    QVERIFY(!parse_sim_profile("<profile><expert_mode></profile>", profile, error));
    QVERIFY2(error.contains("line 1"), qPrintable(error));
    QVERIFY(!load_sim_profile(TC_TEST_DATA "/sim_missing.xml", profile, error));
    QVERIFY(error.contains("sim_missing.xml"));
    QCOMPARE(profile.commands.size(), 6);
    // The sample profile's layouts are all readable.
    QVERIFY(load_sim_profile(TC_TEST_DATA "/../../profiles/profile.xml", profile, error));
    QVERIFY(device_state_source(profile.layouts, {}).warnings().isEmpty());
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
    writer.sent(20, line);
    writer.event(30, QStringLiteral("command AT+NAME=\"й\",\\"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(written.contains("\n20 TX a\\\\b \\\\x41\\r\\n\\x01\\xc3\\xa9\\x7f\n"));

    // A line still being written is not read.
    const sim_transcript transcript = sim_transcript::parse(written + "40 EV unfini");
    QCOMPARE(transcript.received_bytes(), QByteArray("\0\xff", 2));
    QCOMPARE(transcript.received().last().time_us, 11);
    QCOMPARE(transcript.sent_lines(), QList<QByteArray>{line});
    QCOMPARE(transcript.commands(), QStringList{QStringLiteral("AT+NAME=\"й\",\\")});
    QCOMPARE(transcript.events().size(), 1);
    QCOMPARE(transcript.count_events("comm"), 0);
}

void tst_sim_device::encodes_fixed_records_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QByteArray>("bytes");

    QList<QMap<QString, QString>> fixtures;
    QVERIFY(read_record_fixtures(TC_TEST_DATA "/device_records.txt", fixtures));
    QVERIFY(fixtures.size() >= 9);
    for (const auto& fixture : fixtures) {
        QTest::newRow(qPrintable(fixture["schema"] + ' ' + fixture["values"]))
            << fixture["schema"] << fixture["values"]
            << QByteArray::fromHex(fixture["bytes"].toLatin1());
    }
}

void tst_sim_device::encodes_fixed_records()
{
    QFETCH(QString, schema);
    QFETCH(QString, values);
    QFETCH(QByteArray, bytes);

    record_schema parsed;
    QString error;
    QVERIFY2(record_schema::parse(schema, parsed, error), qPrintable(error));
    const QStringList fields = values.split(';');
    QCOMPARE(fields.size(), parsed.fields().size());
    // A Z field takes the text, the others the numbers.
    QList<record_schema::value> given;
    for (const QString& field : fields) {
        given << record_schema::value{{}, field.toLatin1()};
        for (const QString& number : field.split(',', Qt::SkipEmptyParts)) {
            given.last().numbers << number.toUInt();
        }
    }
    QCOMPARE(parsed.encode(given).toHex(' '), bytes.toHex(' '));
}

// Schemas that the configurator would not read to their end give no layout, only a warning.
void tst_sim_device::rejects_unreadable_schemas()
{
    for (const char* schema : {"Ls|x", "3L|x", "L S", "CC000000000000001"}) {
        const device_state_source source({{4, schema}}, {});
        QVERIFY2(!source.has_records() && source.warnings().size() == 1, schema);
    }
    QVERIFY(device_state_source({{4, "C00000000000001C"}}, {}).has_records());
}

// Values that the device-state page shows as real: inside each valid range, coordinates near a
// city, selections among the options; every number moves, so a page that stops updating shows.
void tst_sim_device::streams_plausible_records()
{
    sim_profile profile;
    QString error;
    QVERIFY2(load_sim_profile(TC_TEST_DATA "/sim_profile.xml", profile, error), qPrintable(error));
    device_state_source source(profile.layouts, profile.displays);
    QMap<QString, QSet<quint32>> seen;
    for (int tick = 0; tick < 60; ++tick) {
        const QList<QByteArray> line = source.next_line().split(',');
        const int layout = tick % 2;
        QCOMPARE(line.size(), 3);
        QCOMPARE(line[0] + ',' + line[1], "$SD," + QByteArray::number(profile.layouts[layout].id));
        QCOMPARE(QByteArray::fromBase64(line[2]), source.record(layout, tick));
        for (const record_schema::field& field : source.layout_schema(layout).fields()) {
            const record_schema::value value = source.field_value(field, tick);
            const field_display* display = display_of(profile, field.name);
            QVERIFY(field.type != 'Z' || !value.text.isEmpty());
            for (const quint32 number : value.numbers) {
                seen[field.name] << number;
                const double scaled = number * (display ? display->multiplier : 1.0);
                if (display && display->display_as == "coord") {
                    QVERIFY2(scaled / 4294967296.0 > 37 && scaled / 4294967296.0 < 57,
                             qPrintable(field.name));
                } else if (display && display->display_as == "select") {
                    QVERIFY(display->option_ids.contains(QString::number(number)));
                } else if (display && (display->valid_min != 0 || display->valid_max != 0)) {
                    QVERIFY2(scaled >= display->valid_min && scaled <= display->valid_max,
                             qPrintable(field.name + ' ' + QString::number(scaled)));
                }
            }
        }
    }
    for (auto it = seen.begin(); it != seen.end(); ++it) {
        QVERIFY2(it.value().size() > 2, qPrintable(it.key()));
    }
}

QTEST_GUILESS_MAIN(tst_sim_device)
#include "tst_sim_device.moc"
