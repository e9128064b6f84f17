#include "command_table.h"
#include "device_commands.h"
#include "device_input.h"
#include "device_state_source.h"
#include "output_queue.h"
#include "record_fixtures.h"
#include "recording_player.h"
#include "recording_reader.h"
#include "recording_writer.h"
#include "reply_lines.h"
#include "sim_profile.h"
#include "sim_transcript.h"
#include "stream_replay.h"
#include "transcript_writer.h"

#include <QtMath>
#include <QtTest>

#include <cmath>

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

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QLatin1String(text), Qt::ISODateWithMs);
}

using error_kind = recording_error::kind;

// Each field's value at a tick as the device-state page shows it: coordinates in degrees,
// numbers scaled.
struct shown_values
{
    shown_values(const device_state_source& stream, const sim_profile& from)
        : source(stream), profile(from)
    {
        for (int layout = 0; layout < profile.layouts.size(); ++layout) {
            for (const record_schema::field& field : source.layout_schema(layout).fields()) {
                fields[field.name] = field;
            }
        }
    }
    double operator()(const QString& name, int tick) const
    {
        const field_display* display = display_of(profile, name);
        const double number = source.field_value(fields[name], tick).numbers.value(0);
        const double scaled = number * (display ? display->multiplier : 1.0);
        return display && display->display_as == "coord" ? scaled / 4294967296.0 : scaled;
    }
    // Metres east and north of where the van is at tick 0.
    QPointF place(int tick) const
    {
        const double lat = (*this)("lat", tick);
        return {((*this)("lon", tick) - (*this)("lon", 0)) * 111320.0 *
                    std::cos(qDegreesToRadians(lat)),
                (lat - (*this)("lat", 0)) * 111320.0};
    }

    const device_state_source& source;
    const sim_profile& profile;
    QMap<QString, record_schema::field> fields;
};

double course_change(double from, double to)
{
    return std::abs(std::fmod(to - from + 540.0, 360.0) - 180.0);
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
    void streams_plausible_records_data();
    void streams_plausible_records();
    void writes_recordings_it_reads();
    void reads_recordings_data();
    void reads_recordings();
    void replays_recordings_on_its_clock();
    void plays_recordings_in_the_window_data();
    void plays_recordings_in_the_window();
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

void tst_sim_device::streams_plausible_records_data()
{
    QTest::addColumn<QString>("profile_path");
    QTest::newRow("simulator tests' profile") << TC_TEST_DATA "/sim_profile.xml";
    QTest::newRow("sample profile") << TC_TEST_DATA "/../../profiles/profile.xml";
}

// Values that the device-state page shows as real: inside each valid range, coordinates near a
// city, selections among the options; every number moves, so a page that stops updating shows.
// The van drives its round within the town's limits, smoothly, its course along the road, and
// the ignition is off only while it stands, with the supply voltage down.
void tst_sim_device::streams_plausible_records()
{
    QFETCH(QString, profile_path);
    sim_profile profile;
    QString error;
    QVERIFY2(load_sim_profile(profile_path, profile, error), qPrintable(error));
    device_state_source source(profile.layouts, profile.displays);
    QMap<QString, QSet<quint32>> seen;
    for (int tick = 0; tick < 60; ++tick) {
        const QList<QByteArray> line = source.next_line().split(',');
        const int layout = tick % profile.layouts.size();
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
    // A parked or driving state has two values.
    for (auto it = seen.begin(); it != seen.end(); ++it) {
        QVERIFY2(it.value().size() > 1, qPrintable(it.key()));
    }

    const shown_values shown(source, profile);
    const bool has_state = display_of(profile, "status")->display_as == "select";
    bool parked = false;
    bool back_at_depot = false;
    for (int tick = 0; tick < 700; ++tick) {
        const QByteArray at = "tick " + QByteArray::number(tick);
        const double speed = shown("speed", tick);
        const double next_speed = shown("speed", tick + 1);
        const double turn = course_change(shown("course", tick), shown("course", tick + 1));
        const bool ignition = int(shown("inputs", tick)) & 1;
        const double supply = shown("power_voltage", tick);
        QVERIFY2(speed <= 60 && std::abs(next_speed - speed) <= 10 && turn <= 45, at);
        QVERIFY2(ignition || (speed == 0 && supply < 13), at);
        QVERIFY2(speed == 0 || (ignition && supply > 13.5), at);
        QVERIFY2(!has_state || shown("status", tick) == (speed > 0 ? 1 : 0), at);
        const QPointF step = shown.place(tick + 1) - shown.place(tick);
        if (speed > 10 && next_speed > 10 && turn < 3) {
            const double bearing = qRadiansToDegrees(std::atan2(step.x(), step.y()));
            const double metres = std::hypot(step.x(), step.y());
            QVERIFY2(course_change(shown("course", tick), bearing) < 5, at);
            QVERIFY2(std::abs(metres - (speed + next_speed) / 7.2) < 1 + 0.1 * metres, at);
        }
        parked = parked || !ignition;
        back_at_depot = back_at_depot || (tick > 100 && shown.place(tick).manhattanLength() < 1);
    }
    QVERIFY(parked && back_at_depot);
}

// What the writer writes, the reader reads back: every line as received, with its time to the
// millisecond in UTC; a clock set back is written as the previous time. Lines the format cannot
// carry are refused and leave nothing behind, and a line cut by a crash is left out.
void tst_sim_device::writes_recordings_it_reads()
{
    QTemporaryDir folder;
    QFile file(folder.filePath("stream.rec"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    recording_writer writer;
    QString error;
    QVERIFY2(writer.start(&file, error), qPrintable(error));
    const QByteArray longest = "$SD,1," + QByteArray(1017, 'A');
    const struct
    {
        const char* given;
        const char* read;
        QByteArray line;
    } lines[] = {
        {"2026-12-07T14:05:09.123Z", "2026-12-07T14:05:09.123Z", "$SD,1,AAAA"},
        {"2026-12-07T14:05:09.123Z", "2026-12-07T14:05:09.123Z", "шум\tс табуляцией"},
        {"2026-12-07T14:05:08.000Z", "2026-12-07T14:05:09.123Z", longest},
        {"2026-12-07T16:05:10.500+02:00", "2026-12-07T14:05:10.500Z", "$SD,2,BBBB"},
    };
    for (const auto& line : lines) {
        QVERIFY2(writer.append(utc(line.given), line.line, error), qPrintable(error));
    }
    for (const QByteArray& refused : {QByteArray(), longest + 'A', QByteArray("a\rb"),
                                      QByteArray("\xc3"), QByteArray("\xed\xa0\x80")}) {
        QVERIFY(!writer.append(utc("2026-12-07T14:05:11.000Z"), refused, error));
    }
    QVERIFY(!writer.append(QDateTime(), "$SD", error));
    // Read while the writer still has the file open: every line is flushed as it is written.
    recording read;
    recording_error refusal;
    QVERIFY2(read_recording_file(file.fileName(), read, refusal), qPrintable(refusal.describe()));
    QCOMPARE(read.lines.size(), 4);
    for (int k = 0; k < 4; ++k) {
        QCOMPARE(read.lines[k].text, lines[k].line);
        QCOMPARE(read.lines[k].time, utc(lines[k].read));
    }
    QFile written(file.fileName());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith(
        "tracker-recording 1\n2026-12-07T14:05:09.123Z\t$SD,1,AAAA\n2026-12-07T14:05:09.123Z\t"));

    file.write("2026-12-07T14:05:12.000Z\t$SD,1,AB");
    file.flush();
    QVERIFY(read_recording_file(file.fileName(), read, refusal));
    QVERIFY(read.cut_last_line && read.lines.size() == 4);
    QVERIFY(!read_recording_file(folder.filePath("missing.rec"), read, refusal));
    QCOMPARE(int(refusal.what), int(error_kind::unreadable));
}

void tst_sim_device::reads_recordings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<int>("line");  // of the refusal
    QTest::addColumn<int>("lines"); // read when accepted

    const QByteArray header("tracker-recording 1\n");
    const QByteArray time("2026-12-07T14:05:09.123Z\t");
    const QByteArray line = time + "$SD,1,AAAA\n";
    const auto accepted = [](const char* tag, const QByteArray& bytes, int lines) {
        QTest::newRow(tag) << bytes << int(error_kind::none) << 0 << lines;
    };
    const auto refused = [](const char* tag, const QByteArray& bytes, error_kind what, int at) {
        QTest::newRow(tag) << bytes << int(what) << at << 0;
    };
    accepted("CR LF line ends", "tracker-recording 1\r\n" + time + "$SD,1,AAAA\r\n", 1);
    accepted("equal times", header + line + line, 2);
    accepted("no lines", header, 0);
    accepted("cut last line", header + line + "2026-12-07T14:05:0", 1);
    accepted("longest line", header + time + QByteArray(1023, 'A') + '\n', 1);
    refused("empty file", "", error_kind::not_a_recording, 1);
    refused("another kind of file", "<?xml version=\"1.0\"?>\n", error_kind::not_a_recording, 1);
    refused("cut header", "tracker-recor", error_kind::not_a_recording, 1);
    refused("later version", "tracker-recording 2\n" + line, error_kind::unknown_version, 1);
    refused("space for tab", header + "2026-12-07T14:05:09.123Z $SD\n", error_kind::bad_time, 2);
    refused("no milliseconds", header + "2026-12-07T14:05:09Z\t$SD\n", error_kind::bad_time, 2);
    refused("local time", header + "2026-12-07T14:05:09.123+01:00\t$SD\n", error_kind::bad_time, 2);
    refused("no such day", header + line + "2026-02-30T14:05:09.123Z\t$SD\n", error_kind::bad_time,
            3);
    refused("hour 24", header + "2026-12-07T24:00:00.000Z\t$SD\n", error_kind::bad_time, 2);
    refused("blank line", header + line + '\n' + line, error_kind::bad_time, 3);
    refused("time without a line", header + time + '\n', error_kind::empty_line, 2);
    refused("over-long", header + line + time + QByteArray(1024, 'A') + '\n', error_kind::too_long,
            3);
    refused("no line ends", header + QByteArray(200000, 'x'), error_kind::too_long, 2);
    refused("carriage return inside", header + time + "$SD\r,1\n", error_kind::line_break, 2);
    refused("not UTF-8", header + time + "$SD,\xff\n", error_kind::not_utf8, 2);
    refused("overlong UTF-8 form", header + time + "\xc0\xaf\n", error_kind::not_utf8, 2);
    refused("UTF-16 surrogate", header + time + "\xed\xa0\x80\n", error_kind::not_utf8, 2);
    refused("back in time", header + line + "2026-12-07T14:05:09.122Z\t$SD\n",
            error_kind::out_of_order, 3);
}

void tst_sim_device::reads_recordings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, refusal);
    QFETCH(int, line);
    QFETCH(int, lines);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    recording read;
    recording_error error;
    const bool accepted = read_recording(buffer, read, error);
    QCOMPARE(int(error.what), refusal);
    QCOMPARE(error.line, line);
    QCOMPARE(accepted, refusal == int(error_kind::none));
    QCOMPARE(read.lines.size(), lines);
    QCOMPARE(read.cut_last_line, accepted && !bytes.endsWith('\n'));
    QVERIFY(accepted || error.describe().startsWith(QStringLiteral("line %1: ").arg(line)));
}

// The recorded gaps on the simulator's clock: each switch-on sends the next line at once and the
// others after their gaps, with a second's pause between rounds; a simulator held up makes up
// for one second at most.
void tst_sim_device::replays_recordings_on_its_clock()
{
    stream_replay replay({{utc("2026-12-07T14:00:00.000Z"), "a"},
                          {utc("2026-12-07T14:00:00.250Z"), "b"},
                          {utc("2026-12-07T14:00:00.250Z"), "c"},
                          {utc("2026-12-07T14:00:02.000Z"), "d"}});
    const auto due_at = [&](qint64 now_ms) { return replay.take_due(now_ms * 1000).join(); };
    replay.start(5000000);
    const QList<QPair<qint64, QByteArray>> steps = {{5000, "a"}, {5249, ""},  {5250, "bc"},
                                                    {6999, ""},  {7000, "d"}, {7999, ""},
                                                    {8000, "a"}, {8100, ""}};
    for (const auto& step : steps) {
        QCOMPARE(due_at(step.first), step.second);
    }
    // Switched off after "a" and on again a while later.
    replay.start(20000000);
    QCOMPARE(due_at(20000), QByteArray("bc"));
    QCOMPARE(replay.next_due_us(), 21750000);
    QCOMPARE(due_at(80000), QByteArray("da"));
    QCOMPARE(replay.next_due_us(), 80250000);
}

void tst_sim_device::plays_recordings_in_the_window_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<qint64>("seek_ms"); // before playing
    QTest::addColumn<qint64>("elapsed_ms");
    QTest::addColumn<QString>("played");
    QTest::addColumn<qint64>("position_ms");

    QTest::newRow("the first line at once") << 1 << 0LL << 0LL << "a" << 0LL;
    QTest::newRow("real speed, just before a line") << 1 << 0LL << 1499LL << "ab" << 1499LL;
    QTest::newRow("real speed, at a line") << 1 << 0LL << 1500LL << "abc" << 1500LL;
    QTest::newRow("four times") << 4 << 0LL << 375LL << "abc" << 1500LL;
    QTest::newRow("sixteen times, to the end") << 16 << 0LL << 1000LL << "abcd" << 4000LL;
    QTest::newRow("a seek passes earlier lines over") << 1 << 1200LL << 300LL << "c" << 1500LL;
    QTest::newRow("a seek onto a line plays it") << 4 << 1000LL << 0LL << "b" << 1000LL;
    QTest::newRow("a seek past the end: the last line") << 1 << 9000LL << 10LL << "d" << 4000LL;
}

// Which lines are due at which playback time, at each speed and after a seek, on a clock of the
// test's own; a pause holds the position however long it lasts.
void tst_sim_device::plays_recordings_in_the_window()
{
    QFETCH(int, speed);
    QFETCH(qint64, seek_ms);
    QFETCH(qint64, elapsed_ms);
    QFETCH(QString, played);
    QFETCH(qint64, position_ms);

    qint64 clock_ms = 50000;
    recording_player player([&clock_ms] { return clock_ms; }, nullptr);
    const QList<recorded_line> lines{{utc("2026-12-07T14:00:00.000Z"), "a"},
                                     {utc("2026-12-07T14:00:01.000Z"), "b"},
                                     {utc("2026-12-07T14:00:01.500Z"), "c"},
                                     {utc("2026-12-07T14:00:04.000Z"), "d"}};
    player.load(lines);
    QString heard;
    qint64 recorded_ms = 0; // of the last line heard: the charts draw it at its own time
    connect(&player, &recording_player::line_due, [&](const QString& line, qint64 time_ms) {
        heard += line;
        recorded_ms = time_ms;
    });
    player.set_speed(speed);
    player.seek(seek_ms);
    player.play();
    clock_ms += elapsed_ms;
    player.advance();
    QCOMPARE(heard, played);
    QCOMPARE(recorded_ms, lines.at(played.back().unicode() - 'a').time.toMSecsSinceEpoch());
    QCOMPARE(player.position_ms(), position_ms);
    QCOMPARE(player.playing(), position_ms < player.duration_ms());

    player.pause();
    clock_ms += 10000;
    player.advance();
    QCOMPARE(heard, played);
    QCOMPARE(player.position_ms(), position_ms);
}

QTEST_GUILESS_MAIN(tst_sim_device)
#include "tst_sim_device.moc"
