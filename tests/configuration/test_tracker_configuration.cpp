#include "tracker_configuration.h"

#include "configuration_backups.h"
#include "parameter_value_store.h"
#include "profile_reader.h"

#include <QDir>
#include <QDomDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

// +KEY:"a",null per command, so that a value, an empty value and an unknown one differ.
QString commands_text(const QList<configured_command>& commands)
{
    QStringList parts;
    for (const configured_command& command : commands) {
        QStringList values;
        for (const std::optional<QString>& value : command.values) {
            values << (value ? '"' + *value + '"' : "null");
        }
        parts << command.key + ':' + values.join(',');
    }
    return parts.join(' ');
}

QByteArray file_text(const QByteArray& commands)
{
    return "{\n  \"format\": \"tracker-configuration\",\n  \"version\": 1,\n  \"profile\": "
           "\"profile.xml\",\n  \"created\": \"2026-12-06T14:00:00Z\",\n  \"commands\": {" +
           commands + "}\n}\n";
}

QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

bool write_text(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

class test_tracker_configuration : public QObject
{
    Q_OBJECT

private slots:
    void reads_and_writes_files_data();
    void reads_and_writes_files();
    void store_and_file_data();
    void store_and_file();
    void failed_write_keeps_old_file();
    void backups_in_one_second();
    void labels_from_profile();
};

void test_tracker_configuration::reads_and_writes_files_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("read"); // the commands read, or the error

    QTest::newRow("profile order, empty and null values")
        << file_text("\n    \"+SRV\": [\"host.example\", \"5000\"],\n    \"+APN\": [\"internet\", "
                     "\"\", null],\n    \"+A\": []\n  ")
        << "+SRV:\"host.example\",\"5000\" +APN:\"internet\",\"\",null +A:";
    QTest::newRow("Cyrillic and escaped characters")
        << file_text(
               "\n    \"+NAME\": [\"Трекер №1\", \"a\\\"b\\\\c\\n\\u0001\", \"\\ufeffx\"]\n  ")
        << QString::fromUtf8("+NAME:\"Трекер №1\",\"a\"b\\c\n\x01\",\"\xEF\xBB\xBFx\"");
    QTest::newRow("not JSON") << file_text("\n    \"+A\": [\"x\"}\n  ")
                              << "Not a JSON text: missing value separator at line 7";
    QTest::newRow("cut after a quote")
        << QByteArray("{\"") << "Not a JSON text: unterminated string at line 1";
    QTest::newRow("escaped byte not UTF-8")
        << file_text("\"+A\": [\"\\\xA2\"]") << "Not a UTF-8 text at line 6";
    QTest::newRow("member given twice") << file_text("").replace("1,", "1, \"version\": 1,")
                                        << "\"version\" is given twice (lines 3 and 3)";
    QTest::newRow("no object") << QByteArray("[]") << "Not a tracker configuration: no JSON object";
    QTest::newRow("another format")
        << QByteArray("{\"format\": \"other\"}")
        << "Not a tracker configuration: \"format\" is not \"tracker-configuration\"";
    QTest::newRow("version 2") << file_text("").replace("1,", "2,")
                               << "Version 2 is newer than this program reads (1)";
    QTest::newRow("version as text")
        << file_text("").replace(" 1,", " \"1\",") << "\"version\" is missing or not a number";
    QTest::newRow("commands not an object")
        << file_text("").replace("{}", "[]") << "\"commands\" is missing or not an object";
    QTest::newRow("values not a list") << file_text("\n    \"+B\": [],\n    \"+A\": \"x\"\n  ")
                                       << "+A (line 8): the values are not a list";
    QTest::newRow("value a number") << file_text("\"+A\": [\"x\", null, 5]")
                                    << "+A (line 6): position 3 is neither a text nor null";
    QTest::newRow("empty key") << file_text("\"\": [\"x\"]")
                               << "\"\" (line 6) is not a command key: \"+\" and a name";
    QTest::newRow("key given twice") << file_text("\n    \"+A\": [],\n    \"+A\": [\"x\"]\n  ")
                                     << "\"+A\" is given twice (lines 7 and 8)";
    QTest::newRow("lone surrogate") << file_text("\"+A\": [\"x\", \"\\ud800\"]")
                                    << "+A (line 6): position 2 is not valid Unicode";
    QTest::newRow("over 4 MiB") << file_text("\"+A\": [\"" +
                                             QByteArray(max_configuration_bytes, 'x') + "\"]")
                                << "The configuration is larger than 4 MiB";
}

// A file read is written back byte for byte over the old one; a refused file changes nothing.
void test_tracker_configuration::reads_and_writes_files()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, read);

    QTemporaryDir dir;
    const QString path = dir.filePath("conf.json");
    QVERIFY(write_text(path, text));
    tracker_configuration configuration;
    configuration.commands << configured_command{"+K", {"1"}};
    QString error;
    if (!read_configuration_file(path, configuration, &error)) {
        QCOMPARE(error, read);
        QCOMPARE(commands_text(configuration.commands), "+K:\"1\"");
        return;
    }
    QCOMPARE(commands_text(configuration.commands), read);
    QCOMPARE(configuration_json(configuration), text);
    QVERIFY(write_text(path, "old"));
    QVERIFY2(write_configuration_file(path, configuration, &error), qPrintable(error));
    QCOMPARE(read_all(path), text);
}

// A store filled step by step (entries as the pages register them, each a string written there or,
// after "r", only read; replies; and "=+KEY,n,value" edits), what it gives as a configuration, then
// a file compared with it ("?" for what the store does not know) and applied: the next save writes
// exactly the writable differences that pass the value check.
void test_tracker_configuration::store_and_file_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("from_store");
    QTest::addColumn<QByteArray>("file_commands");
    QTest::addColumn<QString>("comparison");
    QTest::addColumn<QStringList>("writes");

    QTest::newRow("never answered; unknown key and positions skipped")
        << QStringList{"+A,#1", "+A,#3", "=+A,3,x"} << "+A:null,null,\"x\""
        << QByteArray("\"+FOO\": [\"1\"], \"+A\": [\"\", \"y\", \"v\", \"z\"]")
        << "+A#3 x>v ?+FOO ?+A position 2 ?+A position 4" << QStringList{"AT+A=1111,,,v,"};
    QTest::newRow("answers with empty values; equal, and null keeps")
        << QStringList{"+APN,#1",   "+APN,#2", "+APN,#3", "+PIN,#1", "+RESP:APN,internet,,",
                       "+RESP:PIN,"}
        << "+APN:\"internet\",\"\",\"\" +PIN:\"\"" << QByteArray("\"+APN\": [null, null, \"\"]")
        << "" << QStringList{};
    QTest::newRow("store order; positions only the tracker names are not written")
        << QStringList{"+B,#1", "+A,#1", "+A,#2", "+RESP:A,1,2,3", "+RESP:B,b"}
        << "+B:\"b\" +A:\"1\",\"2\",\"3\""
        << QByteArray("\"+A\": [\"1\", \"20\", \"30\"], \"+B\": [\"c\"]")
        << "+A#2 2>20 +A#3 3>30(tracker) +B#1 b>c"
        << QStringList{"AT+B=1111,c,", "AT+A=1111,,20,,"};
    // Either value of +B fits a frame alone, not both in the one command a save would send.
    const QByteArray half_frame = '"' + QByteArray(600, 'x') + '"';
    QTest::newRow("read-only and refused positions are not written")
        << QStringList{"+A,#1", "r+A,#2", "+A,#3", "+B,#1", "+B,#2", "+RESP:A,1,2,3"}
        << "+A:\"1\",\"2\",\"3\" +B:null,null"
        << "\"+A\": [\"1,5\", \"20\", \"30\"], \"+B\": [" + half_frame + ", " + half_frame + "]"
        << "+A#1 1>1,5(запятая недопустима) +A#2 2>20(tracker) +A#3 3>30 "
           "+B#1 >600 x(команда длиннее 1021 байт) +B#2 >600 x(команда длиннее 1021 байт)"
        << QStringList{"AT+A=1111,,,30,"};
}

void test_tracker_configuration::store_and_file()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, file_commands);
    QFETCH(QStringList, writes);

    parameter_value_store store;
    value_rules rules;
    for (const QString& step : steps) {
        const QStringList edit = step.mid(1).split(',');
        if (step.startsWith('=')) {
            store.mark_value_changed(edit.at(0), edit.at(1).toInt(), edit.at(2));
        } else if (!store.store_response_values(step)) {
            const bool read_only = step.startsWith('r');
            const position_entry entry{step.mid(read_only).section(',', 0, 0),
                                       step.section('#', 1).toInt()};
            store.add_entry(entry, false);
            rules.add(entry.key, entry.index,
                      {"", parameter_kind::string, 0, 0, {}, {}, !read_only});
        }
    }
    QTEST(commands_text(configuration_from_store(store, "p.xml").commands), "from_store");

    tracker_configuration configuration;
    QString error;
    QVERIFY2(parse_configuration(file_text(file_commands), configuration, &error),
             qPrintable(error));
    const configuration_comparison found =
        compare_configuration(store, configuration, rules, {"1111", "9999", false});
    QStringList lines;
    for (const configuration_difference& difference : found.differences) {
        const QString wanted = difference.wanted.size() > 100
                                   ? QStringLiteral("%1 x").arg(difference.wanted.size())
                                   : difference.wanted;
        const QString refusal = refusal_text(difference.refusal);
        lines << QStringLiteral("%1#%2 %3>%4%5")
                     .arg(difference.key)
                     .arg(difference.position)
                     .arg(difference.current, wanted,
                          difference.writable ? refusal.isEmpty() ? "" : '(' + refusal + ')'
                                              : "(tracker)");
    }
    for (const QString& unknown : found.unknown) {
        lines << '?' + unknown;
    }
    QTEST(lines.join(' '), "comparison");
    apply_differences(store, found.differences);
    QCOMPARE(store.build_write_commands("1111", "9999"), writes);
}

// Both fail for root too: a regular file where the folder should be, and a name so long that
// the temporary file beside it cannot be made while the old file can be read.
void test_tracker_configuration::failed_write_keeps_old_file()
{
    QTemporaryDir dir;
    const QByteArray old_text = file_text("");
    const QString blocking_file = dir.filePath("file");
    const QString long_name = dir.filePath(QString(250, 'c'));
    QVERIFY(write_text(blocking_file, old_text) && write_text(long_name, old_text));
    tracker_configuration configuration;
    configuration.commands << configured_command{"+A", {"new"}};
    for (const QString& path : {blocking_file + "/conf.json", long_name}) {
        QString error;
        QVERIFY(!write_configuration_file(path, configuration, &error));
        QVERIFY2(error.startsWith("Cannot write " + path + ": "), qPrintable(error));
    }
    QCOMPARE(read_all(blocking_file), old_text);
    QCOMPARE(read_all(long_name), old_text);
}

// Backups within one second sort by name in the order written, so pruning keeps the newest; the
// folder and the files are their owner's alone.
void test_tracker_configuration::backups_in_one_second()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("backups");
    const QDateTime second(QDate(2026, 12, 6), QTime(14, 5, 9, 999));
    QStringList written;
    for (const QDateTime& time : {second.addMSecs(-999), second, second}) {
        QString path;
        QString error;
        QVERIFY2(write_backup(folder, "/dev/ttyACM0", {}, &path, &error, time), qPrintable(error));
        written << QFileInfo(path).fileName();
    }
    const QString name = "2026-12-06_14-05-09_ttyACM0";
    QCOMPARE(written, QStringList({name + ".json", name + "_002.json", name + "_003.json"}));
    prune_backups(folder, 2);
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), written.mid(1));
    const auto all = QFileDevice::Permissions(0x7077); // not the user bits (0x0700): root has all
    QCOMPARE(QFile::permissions(folder) & all,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(QFile::permissions(dir.filePath("backups/" + written.last())) & all,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void test_tracker_configuration::labels_from_profile()
{
    const QByteArray profile = R"(<p><simple_mode><page id="1" name="Сеть">
        <parameter type="string" description="Точка доступа" read="+APN,#1" write="+APN,#1"/>
        <parameter type="splitter" read="+APN,#2"/>
        <parameter type="string" description="Логин" read="+APN,#2;+APN,#3" write="none"
                   identity="true"/>
        <parameter type="integer" description="Порт" read="+SRV,#2" write="+SRV,#2;+PORT,#1"/>
        <parameter type="integer" description="Другой порт" read="+SRV,#2"/>
        </page></simple_mode></p>)";
    QDomDocument document;
    QString error;
    QVERIFY2(parse_profile(profile, document, error), qPrintable(error));
    const parameter_labels labels(mode_pages(document, true));

    QStringList found;
    for (const char* place :
         {"+APN,1", "+APN,2", "+APN,3", "+PORT,1", "+SRV,2", "+SRV,1", "+FOO,1"}) {
        found << labels.label(QString(place).section(',', 0, 0),
                              QString(place).section(',', 1).toInt());
    }
    QCOMPARE(found.join(','), QString::fromUtf8("Точка доступа,Логин,Логин,Порт,Порт,,"));

    // The marked parameter names the tracker in the files saved from it.
    const identity_position identity = find_identity(mode_pages(document, true));
    QCOMPARE(identity.key + QString::number(identity.position), QStringLiteral("+APN2"));
    const QDateTime time(QDate(2026, 12, 6), QTime(14, 5, 9));
    QCOMPARE(configuration_file_name(" 8612/34 ", time),
             QStringLiteral("tracker_8612_34_2026-12-06_14-05-09.json"));
    QCOMPARE(configuration_file_name("", time), QStringLiteral("tracker_2026-12-06_14-05-09.json"));
}

QTEST_GUILESS_MAIN(test_tracker_configuration)
#include "test_tracker_configuration.moc"
