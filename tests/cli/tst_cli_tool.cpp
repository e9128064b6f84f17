#include "sim_process.h"
#include "tracker_configuration.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

constexpr int tool_timeout_ms = 120000;

// The simulated tracker's values, from the defaults of the test profile.
const char* const tracker_file = R"({"format": "tracker-configuration", "version": 1,
  "commands": {"+APN": ["internet"], "+SRV": ["track.example.net", "20100"], "+TRACK": ["30"],
               "+CALL": ["0"], "+VER": ["4.2"]}})";

struct tool_result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QString profile_path()
{
    return QStringLiteral(TC_CLI_PROFILE);
}

QStringList write_commands(const QStringList& commands)
{
    QStringList writes;
    for (const QString& command : commands) {
        if (!command.endsWith("=?") && !command.startsWith("AT+TEXT")) {
            writes << command;
        }
    }
    return writes;
}

QByteArray file_bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList lines_of(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// The tool as a user runs it, against simulated trackers on pseudo-terminals.
class tst_cli_tool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void read_several_trackers();
    void diff_data();
    void diff();
    void write_data();
    void write();
    void link_errors_data();
    void link_errors();
    void watch_data();
    void watch();
    void interrupt_data();
    void interrupt();

private:
    bool start_tracker(sim_process& tracker, const QStringList& options = {});
    void start_tool(QProcess& tool, const QStringList& arguments);
    tool_result run(const QStringList& arguments);
    QString write_file(const QString& name, const QByteArray& contents);

    std::unique_ptr<QTemporaryDir> work;
};

void tst_cli_tool::init()
{
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(work->isValid());
}

bool tst_cli_tool::start_tracker(sim_process& tracker, const QStringList& options)
{
    const bool started =
        tracker.start(QStringList{"--master-password", "1111"} + options, profile_path());
    if (!started) {
        qWarning() << tracker.error();
    }
    return started;
}

void tst_cli_tool::start_tool(QProcess& tool, const QStringList& arguments)
{
    tool.setWorkingDirectory(work->path());
    tool.start(QStringLiteral(TC_CLI_EXECUTABLE),
               QStringList{"--profile", profile_path(), "--master-password", "1111"} + arguments);
    QVERIFY(tool.waitForStarted());
}

tool_result tst_cli_tool::run(const QStringList& arguments)
{
    QProcess tool;
    start_tool(tool, arguments);
    tool_result result;
    if (tool.waitForFinished(tool_timeout_ms) && tool.exitStatus() == QProcess::NormalExit) {
        result.code = tool.exitCode();
    }
    result.out = tool.readAllStandardOutput();
    result.err = tool.readAllStandardError();
    return result;
}

QString tst_cli_tool::write_file(const QString& name, const QByteArray& contents)
{
    QFile file(work->filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size()
               ? file.fileName()
               : QString();
}

// Each tracker's file holds that tracker's values; {port} names it, and the report proves it.
void tst_cli_tool::read_several_trackers()
{
    const QStringList names{"ttyA", "ttyB", "ttyC"};
    sim_process trackers[3];
    QStringList arguments{"--report", "report.jsonl"};
    for (int i = 0; i < 3; ++i) {
        QFile state(trackers[i].state_path());
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write(QStringLiteral(R"({"+APN": ["apn-%1"]})").arg(i).toUtf8());
        state.close();
        QVERIFY(start_tracker(trackers[i]));
        // Distinct names for {port}: every simulator calls its port the same.
        QVERIFY(QFile::link(trackers[i].port_path(), work->filePath(names[i])));
        arguments << "-p" << work->filePath(names[i]);
    }
    const tool_result result = run(arguments + QStringList{"read", "-o", "conf-{port}.json"});
    QCOMPARE(result.code, 0);

    tracker_configuration expected;
    QVERIFY(parse_configuration(tracker_file, expected, nullptr));
    const QStringList report = lines_of(file_bytes(work->filePath("report.jsonl")));
    QCOMPARE(report.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QByteArray bytes = file_bytes(work->filePath("conf-" + names[i] + ".json"));
        tracker_configuration read;
        QVERIFY(parse_configuration(bytes, read, nullptr));
        expected.commands[0].values = {QStringLiteral("apn-%1").arg(i)};
        QCOMPARE(read.commands.size(), expected.commands.size());
        for (int k = 0; k < read.commands.size(); ++k) {
            QCOMPARE(read.commands[k].key, expected.commands[k].key);
            QCOMPARE(read.commands[k].values, expected.commands[k].values);
        }
        const QString sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        const auto line = std::find_if(report.begin(), report.end(), [&](const QString& text) {
            return text.contains(names[i]);
        });
        QVERIFY(line != report.end());
        const QJsonObject entry = QJsonDocument::fromJson(line->toUtf8()).object();
        QCOMPARE(entry["result"].toString(), QStringLiteral("ok"));
        QCOMPARE(entry["command"].toString(), QStringLiteral("read"));
        QCOMPARE(entry["sha256"].toString(), sha);
        QVERIFY(entry["start"].toString().endsWith('Z'));
    }
}

void tst_cli_tool::diff_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("the tracker's own values") << QByteArray(tracker_file) << 0 << QStringList();
    QTest::newRow("two positions and an unknown key")
        << QByteArray(tracker_file)
               .replace(R"("20100")", R"("20200")")
               .replace(R"(["30"])", R"(["60"], "+GONE": ["1"])")
        << 1
        << QStringList{R"(+SRV,#2 "Порт сервера": tracker "20100", file "20200")",
                       R"(+TRACK,#1 "Период, с": tracker "30", file "60")"};
    QTest::newRow("not a configuration file") << QByteArray("{\"format\": ") << 2 << QStringList();
}

// Differences are told position by position; a file that cannot be read opens no port.
void tst_cli_tool::diff()
{
    QFETCH(QByteArray, file);
    QFETCH(int, code);
    QFETCH(QStringList, lines);

    sim_process tracker;
    QVERIFY(start_tracker(tracker));
    const tool_result result = run({"-p", tracker.port_path(), "diff", write_file("f.json", file)});
    QCOMPARE(result.code, code);
    QCOMPARE(lines_of(result.out), lines);
    QCOMPARE(tracker.transcript().count_events("port-opened"), code == 2 ? 0 : 1);
    if (code == 1) {
        QVERIFY2(result.err.contains("+GONE"), result.err.constData());
    }
}

void tst_cli_tool::write_data()
{
    QTest::addColumn<QStringList>("tracker_options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("line");

    QTest::newRow("the tracker takes every value")
        << QStringList() << 0 << "3 of 3 differing positions written and verified";
    QTest::newRow("the tracker clamps a value")
        << QStringList{"--clamp", "+TRACK,1,45"} << 1
        << R"(unverified +TRACK,#1 "Период, с": wanted "60", the tracker holds "45")";
}

// Only the differing positions are written (the master command with the master password), then
// saved, then read back; what the tracker holds afterwards is what decides.
void tst_cli_tool::write()
{
    QFETCH(QStringList, tracker_options);
    QFETCH(int, code);
    QFETCH(QString, line);

    sim_process tracker;
    QVERIFY(start_tracker(tracker, tracker_options));
    const QByteArray wanted = QByteArray(tracker_file)
                                  .replace(R"("20100")", R"("20200")")
                                  .replace(R"(["30"])", R"(["60"])")
                                  .replace(R"(["0"])", R"(["1"])");
    const tool_result result = run(
        {"-p", tracker.port_path(), "--report", "r.jsonl", "write", write_file("f.json", wanted)});
    QCOMPARE(result.code, code);
    QVERIFY2(lines_of(result.out).contains(line), result.out.constData());

    const QStringList commands = tracker.transcript().commands();
    QCOMPARE(write_commands(commands), (QStringList{"AT+SRV=7395,,20200,", "AT+TRACK=7395,60,",
                                                    "AT+CALL=1111,1,", "AT+SAVE=7395,"}));
    // The read-back follows the save, then the closing command.
    QCOMPARE(commands.mid(commands.indexOf("AT+SAVE=7395,") + 1),
             (QStringList{"AT+SRV=?", "AT+TRACK=?", "AT+CALL=?", "AT+TEXT=7395,"}));
    const QMap<QString, QStringList> saved = tracker.saved_values();
    QCOMPARE(saved.value("+SRV"), (QStringList{"track.example.net", "20200"}));
    QCOMPARE(saved.value("+CALL"), QStringList{"1"});

    const QJsonObject entry =
        QJsonDocument::fromJson(file_bytes(work->filePath("r.jsonl"))).object();
    QCOMPARE(entry["result"].toString(), code == 0 ? QString("ok") : QString("unverified"));
    QCOMPARE(entry["positions"].toVariant().toStringList(),
             code == 0 ? QStringList() : QStringList{"+TRACK,#1"});
}

void tst_cli_tool::link_errors_data()
{
    QTest::addColumn<QStringList>("tracker_options");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message");

    QTest::newRow("no such port") << QStringList() << "missing"
                                  << "cannot open the port";
    QTest::newRow("handshake refused")
        << QStringList{"--refuse-handshake"} << QString() << "refused the handshake";
    QTest::newRow("silent tracker")
        << QStringList{"--silent"} << QString() << "no reply to AT+APN=? after the link's retries";
}

// Each failure ends within the link's own limits with status 3 and names its cause.
void tst_cli_tool::link_errors()
{
    QFETCH(QStringList, tracker_options);
    QFETCH(QString, port);
    QFETCH(QString, message);

    sim_process tracker;
    QVERIFY(start_tracker(tracker, tracker_options));
    const QString path = port.isEmpty() ? tracker.port_path() : work->filePath(port);
    const tool_result result = run({"-p", path, "read"});
    QCOMPARE(result.code, 3);
    QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
    QCOMPARE(result.out, QByteArray());
}

void tst_cli_tool::watch_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("first_line");

    QTest::newRow("text") << "text"
                          << "Скорость: ";
    QTest::newRow("jsonl") << "jsonl"
                           << "{";
    QTest::newRow("csv") << "csv"
                         << "port,time,speed,sats,status";
}

// COUNT decoded lines, every display field in each, then the stream off and the port closed.
void tst_cli_tool::watch()
{
    QFETCH(QString, format);
    QFETCH(QString, first_line);

    sim_process tracker;
    QVERIFY(start_tracker(tracker, {"--stream-interval", "50"}));
    QStringList arguments{"-p", tracker.port_path(), "watch", "-n", "3"};
    if (format != "text") {
        arguments << "--format" << format;
    }
    const tool_result result = run(arguments);
    QCOMPARE(result.code, 0);
    const QStringList lines = lines_of(result.out);
    QCOMPARE(lines.size(), format == "csv" ? 4 : 3);
    QVERIFY2(lines.first().startsWith(first_line), qPrintable(lines.first()));
    const QString last = lines.last();
    if (format == "jsonl") {
        const QJsonObject values =
            QJsonDocument::fromJson(last.toUtf8()).object()["values"].toObject();
        QCOMPARE(values.keys(), (QStringList{"sats", "speed", "status"}));
        QVERIFY(!values.contains("Нет данных"));
    } else {
        QVERIFY2(!last.contains("Нет данных"), qPrintable(last));
    }
    const QStringList commands = tracker.transcript().commands();
    QCOMPARE(commands.mid(commands.size() - 2),
             (QStringList{"AT+SDAD=7395,,0,,,,,", "AT+TEXT=7395,"}));
}

void tst_cli_tool::interrupt_data()
{
    QTest::addColumn<QStringList>("tracker_options");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("code");

    QTest::newRow("watch ends as with its count")
        << QStringList{"--stream-interval", "50"} << "watch" << 0;
    QTest::newRow("a read that waits for a reply") << QStringList{"--silent"} << "read" << 3;
}

// Ctrl+C closes the port with the closing command, whatever the tool was doing.
void tst_cli_tool::interrupt()
{
    QFETCH(QStringList, tracker_options);
    QFETCH(QString, command);
    QFETCH(int, code);

    sim_process tracker;
    QVERIFY(start_tracker(tracker, tracker_options));
    QProcess tool;
    start_tool(tool, {"-p", tracker.port_path(), command});
    // Mid-way: the first command sent, and for watch the first line printed.
    QVERIFY(tracker.wait_for([](const sim_transcript& t) { return !t.commands().isEmpty(); }));
    if (command == "watch") {
        QTRY_VERIFY_WITH_TIMEOUT(tool.canReadLine(), tool_timeout_ms);
    }
    ::kill(pid_t(tool.processId()), SIGINT);
    QVERIFY(tool.waitForFinished(tool_timeout_ms));
    QCOMPARE(tool.exitCode(), code);
    QCOMPARE(tracker.transcript().commands().last(), QStringLiteral("AT+TEXT=7395,"));
}

QTEST_GUILESS_MAIN(tst_cli_tool)
#include "tst_cli_tool.moc"
