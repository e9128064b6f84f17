#include "recording_reader.h"
#include "sim_process.h"
#include "tracker_configuration.h"

#include <QBuffer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <optional>

namespace {

constexpr int tool_timeout_ms = 120000;

// The simulated tracker's values: the defaults of the test profile.
const QByteArray tracker_file = R"({"format": "tracker-configuration", "version": 1,
  "commands": {"+APN": ["internet"], "+SRV": ["track.example.net", "20100"], "+TRACK": ["30"],
               "+CALL": ["0"], "+VER": ["4.2"]}})";
const QStringList reads{"AT+APN=?", "AT+SRV=?", "AT+TRACK=?", "AT+CALL=?", "AT+VER=?"};
const QString closing = "AT+TEXT=7395,";

struct tool_result
{
    bool acted = true; // what the test did while the tool ran went as planned
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray file_bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QStringList lines_of(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts);
}

// The lines a recording holds; none when the reader refuses it.
QStringList recorded_lines(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    recording read;
    recording_error error;
    QStringList lines;
    for (const recorded_line& line :
         read_recording(buffer, read, error) ? read.lines : QList<recorded_line>()) {
        lines << QString::fromUtf8(line.text);
    }
    return lines;
}

bool start_tracker(sim_process& tracker, const QStringList& options = {})
{
    return tracker.start(QStringList{"--master-password", "1111"} + options, TC_CLI_PROFILE);
}

} // namespace

// The tool as a user runs it, against simulated trackers on pseudo-terminals.
class tst_cli_tool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void read_several_trackers();
    void diff_and_write_data();
    void diff_and_write();
    void watch_data();
    void watch();
    void ends_data();
    void ends();

private:
    tool_result run(const QStringList& arguments,
                    const std::function<bool(QProcess&)>& meanwhile = {},
                    const QString& redirection = {});

    std::optional<QTemporaryDir> work;
};

// CTest runs the silent tracker (the link's own 21 tries, half a minute) as an entry of its own
// beside the rest; TC_CLI_PART names the part a run is for, and without it everything runs.
void tst_cli_tool::init()
{
    const QByteArray part = qgetenv("TC_CLI_PART");
    const bool slow = QByteArray(QTest::currentDataTag()) == "silent tracker";
    if (!part.isEmpty() && (part == "slow") != slow) {
        QSKIP("run by the other part");
    }
    work.emplace();
}

// Runs the tool to its end in the test's folder, its output redirected by the shell when asked
// ("> FILE", "| COMMAND", "< FILE"), or on a terminal that script(1) makes ("on a terminal"; then
// both outputs are in out); meanwhile acts while it runs.
tool_result tst_cli_tool::run(const QStringList& arguments,
                              const std::function<bool(QProcess&)>& meanwhile,
                              const QString& redirection)
{
    QProcess tool;
    tool.setWorkingDirectory(work->path());
    const QStringList line =
        QStringList{TC_CLI_EXECUTABLE, "--profile", TC_CLI_PROFILE, "--master-password", "1111"} +
        arguments;
    // pipefail: the status is the tool's, not that of the command it feeds.
    const QString script = "set -o pipefail; \"$0\" \"$@\" " + redirection;
    if (redirection == "on a terminal") {
        tool.start("script", {"-qec", "'" + line.join("' '") + "'", "/dev/null"});
    } else {
        tool.start(redirection.isEmpty() ? line.first() : "bash",
                   redirection.isEmpty() ? line.mid(1) : QStringList{"-c", script} + line);
    }
    tool_result result;
    result.acted = tool.waitForStarted() && (!meanwhile || meanwhile(tool));
    if (tool.waitForFinished(tool_timeout_ms) && tool.exitStatus() == QProcess::NormalExit) {
        result.code = tool.exitCode();
    }
    result.out = tool.readAllStandardOutput();
    result.err = tool.readAllStandardError();
    return result;
}

// Each tracker's file holds that tracker's values under its {port}; the report names its hash.
void tst_cli_tool::read_several_trackers()
{
    const QStringList names{"ttyA", "ttyB", "ttyC"};
    sim_process trackers[3];
    QStringList arguments{"--report", "report.jsonl", "read", "-o", "conf-{port}.json"};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(write_file(trackers[i].state_path(),
                           R"({"+APN": ["apn-)" + QByteArray::number(i) + "\"]}"));
        QVERIFY2(start_tracker(trackers[i]), qPrintable(trackers[i].error()));
        // Every simulator calls its port the same; {port} needs names apart.
        QVERIFY(QFile::link(trackers[i].port_path(), work->filePath(names[i])));
        arguments << "-p" << work->filePath(names[i]);
    }
    QCOMPARE(run(arguments).code, 0);

    const QStringList report = lines_of(file_bytes(work->filePath("report.jsonl")));
    QCOMPARE(report.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QByteArray bytes = file_bytes(work->filePath("conf-" + names[i] + ".json"));
        const QByteArray expected =
            QByteArray(tracker_file).replace("internet", "apn-" + QByteArray::number(i));
        QCOMPARE(QJsonDocument::fromJson(bytes)["commands"],
                 QJsonDocument::fromJson(expected)["commands"]);
        const QJsonObject entry =
            QJsonDocument::fromJson(report.filter(names[i]).value(0).toUtf8()).object();
        QCOMPARE(entry["result"].toString(), "ok");
        // The hash is over the commands: the expected file, with no time of its own, has it too.
        tracker_configuration wanted;
        QVERIFY(parse_configuration(expected, wanted, nullptr));
        QCOMPARE(entry["sha256"].toString(), configuration_sha256(wanted));
    }
}

void tst_cli_tool::diff_and_write_data()
{
    QTest::addColumn<QString>("command"); // "-" reads file.json from standard input
    QTest::addColumn<QStringList>("tracker_options");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("keys"); // the commands read and written; empty: all
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("report");     // the result and the positions it names
    QTest::addColumn<QStringList>("errors"); // lines among those on standard error
    const QByteArray changed = QByteArray(tracker_file)
                                   .replace(R"("20100")", R"("20200")")
                                   .replace(R"(["30"])", R"(["60"])");
    const QByteArray wanted = QByteArray(changed).replace(R"(["0"])", R"(["1"])");
    const QString verified = "%1 of 3 differing positions written and verified";
    const QString call_refused =
        R"(+CALL,#1 "Входящие вызовы" = "7" refused: not one of the options)";

    const QStringList srv_and_call{"+SRV", "+CALL"};

    QTest::newRow("diff: the tracker's own values, from standard input")
        << "diff -" << QStringList() << tracker_file << QStringList() << 0 << QStringList() << "ok"
        << QStringList();
    // An option's text stands beside its code; a read-only difference comes last.
    QTest::newRow("diff: four positions, a refused value and an unknown key")
        << "diff file.json" << QStringList()
        << QByteArray(changed)
               .replace(R"(["0"])", R"(["7"])")
               .replace("4.2", "9.9")
               .replace("]}", R"(], "+GONE": ["1"]})")
        << QStringList() << 1
        << QStringList{R"(+SRV,#2 "Порт сервера": tracker "20100", file "20200")",
                       R"(+TRACK,#1 "Период, с": tracker "30", file "60")",
                       R"(+CALL,#1 "Входящие вызовы": tracker "0" (Отклонять), file "7")",
                       "read-only, never written:",
                       R"(+VER,#1 "Версия": tracker "4.2", file "9.9")"}
        << "differences +SRV,#2 +TRACK,#1 +CALL,#1 +VER,#1"
        << QStringList{"tracker-cli: warning: " + call_refused,
                       "not in the profile, skipped: +GONE"};
    QTest::newRow("diff: some commands only")
        << "--only +SRV,+CALL diff file.json" << QStringList() << wanted << srv_and_call << 1
        << QStringList{R"(+SRV,#2 "Порт сервера": tracker "20100", file "20200")",
                       R"(+CALL,#1 "Входящие вызовы": tracker "0" (Отклонять), file "1" (Принимать))"}
        << "differences +SRV,#2 +CALL,#1" << QStringList();
    QTest::newRow("diff: not a configuration file")
        << "diff file.json" << QStringList() << QByteArray("{\"format\": ") << QStringList() << 2
        << QStringList() << "" << QStringList();
    QTest::newRow("diff: a key the profile does not know")
        << "--only +SRV,+GONE diff file.json" << QStringList() << tracker_file << QStringList() << 2
        << QStringList() << ""
        << QStringList{"tracker-cli: --only: +GONE is no command of the profile's simple mode"};
    QTest::newRow("write: the tracker takes every value")
        << "write file.json" << QStringList() << wanted << QStringList() << 0
        << QStringList{verified.arg(3)} << "ok" << QStringList();
    QTest::newRow("write: some commands only, from standard input")
        << "--only +SRV,+CALL write -" << QStringList() << wanted << srv_and_call << 0
        << QStringList{"2 of 2 differing positions written and verified"} << "ok" << QStringList();
    // set reads and writes the commands it names, as write does.
    QTest::newRow("set: single values")
        << "set +SRV#2=20200 +TRACK#1=60 +CALL#1=1" << QStringList() << QByteArray()
        << QStringList{"+SRV", "+TRACK", "+CALL"} << 0 << QStringList{verified.arg(3)} << "ok"
        << QStringList();
    QTest::newRow("set: refused values")
        << "set +VER#1=9.9 +APN#1=a,b" << QStringList() << QByteArray() << QStringList() << 2
        << QStringList() << ""
        << QStringList{R"(tracker-cli: +APN,#1 "Точка доступа" = "a,b" refused: contains a comma)",
                       R"(tracker-cli: +VER,#1 "Версия" = "9.9" refused: read-only)",
                       "tracker-cli: set: 2 refused value(s), nothing written"};
    QTest::newRow("set: a position the profile does not know")
        << "set +SRV#3=1" << QStringList() << QByteArray() << QStringList() << 2 << QStringList()
        << ""
        << QStringList{"tracker-cli: set: +SRV#3 is no position of the profile's simple mode"};
    // A read-only position that differs is named, never written.
    QTest::newRow("write: the tracker clamps a value")
        << "write file.json" << QStringList{"--clamp", "+TRACK,1,45"}
        << QByteArray(wanted).replace("4.2", "9.9") << QStringList() << 1
        << QStringList{R"(unverified +TRACK,#1 "Период, с": wanted "60", the tracker holds "45")",
                       R"(unverified +VER,#1 "Версия": not writable, the tracker holds "4.2")",
                       "2 of 4 differing positions written and verified"}
        << "unverified +TRACK,#1 +VER,#1" << QStringList();
    QTest::newRow("write: the tracker refuses the master password")
        << "write file.json" << QStringList{"--master-password", "2222"} << wanted << QStringList()
        << 1
        << QStringList{R"(unverified +CALL,#1 "Входящие вызовы": refused: PASSWORD)",
                       verified.arg(2)}
        << "unverified +CALL,#1" << QStringList();
    // Every refused value is named, and no port is opened.
    QTest::newRow("write: refused values")
        << "write file.json" << QStringList()
        << QByteArray(wanted)
               .replace("internet", "inter,net")
               .replace("20200", "0")
               .replace(R"(["60"])", R"(["3601"])")
               .replace(R"(["1"])", R"(["7"])")
        << QStringList() << 2 << QStringList() << ""
        << QStringList{
               R"(tracker-cli: +APN,#1 "Точка доступа" = "inter,net" refused: contains a comma)",
               R"(tracker-cli: +SRV,#2 "Порт сервера" = "0" refused: below the minimum 1)",
               R"(tracker-cli: +TRACK,#1 "Период, с" = "3601" refused: above the maximum 3600)",
               "tracker-cli: " + call_refused,
               "tracker-cli: file.json: 4 refused value(s), nothing written"};
}

// Differences are told position by position; a file that cannot be read, a value or a key that is
// refused opens no port. A write sends only the differing positions (the master command with the
// master password), saves and reads them back: what the tracker holds afterwards decides the
// status.
void tst_cli_tool::diff_and_write()
{
    QFETCH(QString, command);
    QFETCH(QStringList, tracker_options);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, keys);
    QFETCH(int, code);

    sim_process tracker;
    QVERIFY2(start_tracker(tracker, tracker_options), qPrintable(tracker.error()));
    QVERIFY(write_file(work->filePath("file.json"), file));
    const tool_result result =
        run(QStringList{"-p", tracker.port_path(), "--report", "r.jsonl"} + command.split(' '), {},
            command.endsWith(" -") ? "< file.json" : "");
    QCOMPARE(result.code, code);
    QTEST(lines_of(result.out), "lines");
    QFETCH(QStringList, errors);
    for (const QString& line : errors) {
        QVERIFY2(lines_of(result.err).contains(line), result.err.constData());
    }
    QStringList commands = reads;
    if (!command.contains("diff")) {
        // The writes, the save and the read-back.
        commands += QString("AT+SRV=7395,,20200, AT+TRACK=7395,60, AT+CALL=1111,1, AT+SAVE=7395, "
                            "AT+SRV=? AT+TRACK=? AT+CALL=?")
                        .split(' ');
        QCOMPARE(tracker.saved_values().value("+SRV"),
                 (code == 2 ? QStringList() : QStringList{"track.example.net", "20200"}));
    }
    const auto of_keys = [&keys](const QString& sent) {
        return keys.isEmpty() || sent.startsWith("AT+SAVE") ||
               std::any_of(keys.begin(), keys.end(), [&sent](const QString& key) {
                   return sent.startsWith("AT" + key + '=');
               });
    };
    commands.erase(std::remove_if(commands.begin(), commands.end(), std::not_fn(of_keys)),
                   commands.end());
    QCOMPARE(tracker.transcript().commands(), code == 2 ? QStringList() : commands << closing);
    const QJsonObject entry =
        QJsonDocument::fromJson(file_bytes(work->filePath("r.jsonl"))).object();
    QTEST((QStringList(entry["result"].toString()) + entry["positions"].toVariant().toStringList())
              .join(' '),
          "report");
}

void tst_cli_tool::watch_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("lines"); // the first and the second

    // The first record carries the speed alone.
    QTest::newRow("text") << "text"
                          << QStringList{"Скорость: 46.6 км/ч; Спутники: Нет данных; Состояние: "
                                         "Движение",
                                         "Скорость: 1 км/ч; Спутники: 12; Состояние: Движение"};
    QTest::newRow("jsonl") << "jsonl"
                           << QStringList{R"({"sats":null,"speed":"46.6","status":null}})",
                                          R"({"sats":"12","speed":"1","status":"Движение"}})"};
    QTest::newRow("csv") << "csv" << QStringList{"port,time,speed,sats,status", ",46.6,,"};
    // A recording the reader takes, of the lines as sent.
    QTest::newRow("raw") << "raw" << QStringList{"$SD,2,0gE=", "$SD,1,CgAMAQ=="};
}

// Each line the tracker sends is shown with every value as the device-state page shows it, a
// missing one as null or an empty field in JSONL and CSV; after COUNT lines the stream is switched
// off and the port closed.
void tst_cli_tool::watch()
{
    QFETCH(QString, format);
    QFETCH(QStringList, lines);

    sim_process tracker;
    // No lines of its own: the test sends records whose values it knows.
    QVERIFY2(start_tracker(tracker, {"--stream-interval", "3600000"}), qPrintable(tracker.error()));
    const tool_result result =
        run({"-p", tracker.port_path(), "watch", "-n", "3", "--format", format}, [&](QProcess&) {
            bool sent = tracker.wait_for_event("stream on");
            for (const char* record : {"2,0gE=", "1,CgAMAQ==", "1,0gEGAA=="}) {
                sent = sent && tracker.control(QStringLiteral("send $SD,") + record);
            }
            return sent;
        });
    QVERIFY(result.acted);
    QCOMPARE(result.code, 0);
    const QStringList shown = format == "raw" ? recorded_lines(result.out) : lines_of(result.out);
    QCOMPARE(shown.size(), format == "csv" ? 4 : 3);
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(shown[i].endsWith(lines[i]), qPrintable(shown[i]));
    }
    QCOMPARE(tracker.transcript().commands(),
             (QStringList{"AT+SDAD=7395,,3,,,,,", "AT+SDAD=7395,,0,,,,,", closing}));
}

void tst_cli_tool::ends_data()
{
    QTest::addColumn<QStringList>("tracker_options");
    QTest::addColumn<QString>("port");    // empty: the tracker's
    QTest::addColumn<QString>("command"); // and its arguments
    // What ends it once a command is sent (and a line shown): "Ctrl+C", or a redirection of its
    // output by the shell; empty: nothing; "on a terminal" runs it so (see run()).
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");  // a part of the output, standard error first
    QTest::addColumn<int>("tries");        // of the first command; -1: as many as time allowed
    QTest::addColumn<QStringList>("last"); // the last commands the tracker received
    const QStringList stream{"--stream-interval", "50"};
    const QString stream_off = "AT+SDAD=7395,,0,,,,,";

    QTest::newRow("no such port") << QStringList() << "missing"
                                  << "read"
                                  << "" << 3 << "no such device" << 0 << QStringList();
    QTest::newRow("handshake refused") << QStringList{"--refuse-handshake"} << QString() << "read"
                                       << "" << 3 << "nothing answered on" << 0 << QStringList();
    QTest::newRow("silent tracker")
        << QStringList{"--silent"} << QString() << "read"
        << "" << 3 << "nothing answered AT+APN=? after the link's 21 tries" << 21
        << QStringList{closing};
    QTest::newRow("Ctrl+C in watch")
        << stream << QString() << "watch"
        << "Ctrl+C" << 0 << "" << 1 << QStringList{stream_off, closing};
    QTest::newRow("Ctrl+C in a read waiting for a reply")
        << QStringList{"--silent"} << QString() << "read"
        << "Ctrl+C" << 3 << "link error: interrupted" << -1 << QStringList{closing};
    QTest::newRow("watch into a closed pipe")
        << stream << QString() << "watch"
        << "| head -n 2" << 0 << "" << 1 << QStringList{stream_off, closing};
    QTest::newRow("watch onto a full disk")
        << stream << QString() << "watch"
        << "> /dev/full" << 2 << "cannot write to standard output" << 1
        << QStringList{stream_off, closing};
    QTest::newRow("help onto a full disk")
        << QStringList() << QString() << "--help"
        << "> /dev/full" << 2 << "cannot write to standard output" << 0 << QStringList();
    QTest::newRow("watch refused by the tracker")
        << QStringList() << QString() << "--password 2222 watch"
        << "" << 1 << "+SDAD refused: PASSWORD" << 1
        << QStringList{"AT+SDAD=2222,,3,,,,,", closing};
    QTest::newRow("ports under their header")
        << QStringList() << QString() << "ports"
        << "" << 0 << "PORT\tDESCRIPTION\tMANUFACTURER\tUSB ID\tSERIAL NUMBER\n"
        << 0 << QStringList();
    QTest::newRow("a profile that is no XML")
        << QStringList() << QString() << "--profile /dev/null read"
        << "" << 2 << "tracker-cli: /dev/null: " << 0 << QStringList();
    QTest::newRow("set on a terminal, each phase shown")
        << QStringList() << QString() << "set +TRACK#1=60"
        << "on a terminal" << 0
        << "ttySIM reading 1/1\r\x1b[K\r\x1b[KttySIM writing 0/2\r\x1b[KttySIM writing "
           "1/2\r\x1b[KttySIM writing 2/2\r\x1b[K\r\x1b[KttySIM verifying 0/1"
        << 2 << QStringList{"AT+TRACK=7395,60,", "AT+SAVE=7395,", "AT+TRACK=?", closing};
    QTest::newRow("provision of one unit, then its count is reached")
        << QStringList() << QString() << "provision file.json --identity +VER#1 -n 1"
        << "" << 0 << "ttySIM 4.2 verified: 0 positions written\n"
        << 1 << QStringList{"AT+VER=?", closing};
    QTest::newRow("provision with a CSV that is no table of units")
        << QStringList() << QString() << "provision file.json --identity +VER#1 --vars /dev/null"
        << "" << 2 << "/dev/null: line 1: no column \"identity\"" << 0 << QStringList();
    QTest::newRow("history of a database that is not there")
        << QStringList() << QString() << "history --db sqlite:none.db"
        << "" << 2 << "--db: sqlite:none.db: no such file" << 0 << QStringList();
    QTest::newRow("Ctrl+C in a provision waiting for a reply")
        << QStringList{"--silent"} << QString() << "provision file.json --identity +VER#1"
        << "Ctrl+C" << 3 << "ttySIM - failed: link error: interrupted" << -1
        << QStringList{closing};
    QTest::newRow("send with a refusal")
        << QStringList() << QString() << "send AT+VER=? AT+TRACK=9999,60,"
        << "" << 1 << "+RESP:VER,4.2\n+RESP:TRACK,ERROR,PASSWORD\n"
        << 1 << QStringList{"AT+VER=?", "AT+TRACK=9999,60,", closing};
}

// A link failure ends within the link's own limits with status 3 and names its cause; a refusal
// is told by status 1. Ctrl+C, and an output that fails, close the port with the closing command
// (a watch switches its stream off first), whatever the tool was doing.
void tst_cli_tool::ends()
{
    QFETCH(QStringList, tracker_options);
    QFETCH(QString, port);
    QFETCH(QString, command);
    QFETCH(QString, stop);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(int, tries);
    QFETCH(QStringList, last);

    sim_process tracker;
    QVERIFY2(start_tracker(tracker, tracker_options), qPrintable(tracker.error()));
    QVERIFY(write_file(work->filePath("file.json"), tracker_file));
    const QString path = port.isEmpty() ? tracker.port_path() : work->filePath(port);
    const auto interrupt = [&](QProcess& tool) {
        if (stop != "Ctrl+C") {
            return true;
        }
        bool started =
            tracker.wait_for([](const sim_transcript& t) { return !t.commands().isEmpty(); });
        while (started && command == "watch" && !tool.canReadLine()) {
            started = tool.waitForReadyRead(tool_timeout_ms);
        }
        return started && ::kill(pid_t(tool.processId()), SIGINT) == 0;
    };
    const tool_result result = run(QStringList{"-p", path} + command.split(' '), interrupt,
                                   stop == "Ctrl+C" ? QString() : stop);
    QVERIFY(result.acted);
    QCOMPARE(result.code, code);
    QVERIFY2((result.err + result.out).contains(message.toUtf8()),
             (result.err + result.out).constData());
    if (code == 3 && !command.startsWith("provision")) {
        QCOMPARE(result.out, QByteArray()); // a link error shows no result
    }
    const QStringList commands = tracker.transcript().commands();
    QCOMPARE(commands.mid(commands.size() - last.size()), last);
    if (tries >= 0) {
        QCOMPARE(int(commands.count(commands.value(0))), tries);
    }
}

QTEST_GUILESS_MAIN(tst_cli_tool)
#include "tst_cli_tool.moc"
