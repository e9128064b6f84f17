#include "port_list.h"
#include "provisioning_station.h"
#include "sim_process.h"

#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int job_timeout_ms = 60000;

const QByteArray station_file = R"({"format": "tracker-configuration", "version": 1,
  "commands": {"+APN": ["m2m.example"], "+SRV": [null, "60"], "+IMEI": ["861000000000009"]}})";

const QString unit_a = "861000000000001";
const QString unit_b = "861000000000002"; // no row
const QString unit_c = "861000000000003";
const QString unit_d = "861000000000004";

const QByteArray unit_csv = "identity,+SRV#1,+ADMIN#1\n"
                            "861000000000001,login-a,+70000000001\n"
                            "861000000000003,login-c,+70000000003\n"
                            "861000000000004,login-d,+70000000004\n";

provisioning_plan plan_of(const QByteArray& csv, QString& error)
{
    QFile file(TC_STATION_PROFILE);
    QDomDocument profile;
    if (!file.open(QIODevice::ReadOnly) || !profile.setContent(&file)) {
        error = "cannot read the test profile";
        return {};
    }
    provisioning_plan plan;
    plan.simple_pages = mode_pages(profile, true);
    plan.rules = value_rules::of_simple_pages(plan.simple_pages);
    plan.frame = {"7395", "7395", false};
    plan.identity = find_identity(plan.simple_pages);
    if (!parse_configuration(station_file, plan.file, &error) ||
        (!csv.isEmpty() && !read_unit_values(csv, plan, error))) {
        return {};
    }
    return plan;
}

// The system's port list as the second station sees it: the tracker's USB port once it is listed.
QString listed_port;
QList<port_entry> station_ports()
{
    return listed_port.isEmpty() ? QList<port_entry>()
                                 : QList<port_entry>{{listed_port, "", "STMicroelectronics"}};
}

bool write_unit(const QString& path, const QString& identity)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QJsonDocument(QJsonObject{{"+IMEI", QJsonArray{identity}}}).toJson()) > 0;
}

// What a station said, in order, for the waits and the checks.
struct station_log
{
    QList<provisioning_result> results;
    QStringList waiting; // ports, each time one waits for a tracker

    void follow(provisioning_station& station)
    {
        QObject::connect(
            &station, &provisioning_station::finished_one, &station,
            [this](const QString&, const provisioning_result& result) { results << result; });
        QObject::connect(&station, &provisioning_station::phase_changed, &station,
                         [this](const QString& port, station_phase phase, int, int) {
                             if (phase == station_phase::waiting) {
                                 waiting << port;
                             }
                         });
    }
};

} // namespace

class tst_station : public QObject
{
    Q_OBJECT

private slots:
    void unit_values_data();
    void unit_values();
    void database_addresses_data();
    void database_addresses();
    void station_serves_units_data();
    void station_serves_units();
};

void tst_station::unit_values_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("error");       // part of read_unit_values' error; empty: read
    QTest::addColumn<QStringList>("refused"); // what the check of values says, in order
    QTest::addColumn<QString>("server");      // +SRV#1 of unit 111's configuration

    QTest::newRow("a row per unit, quoted fields, CRLF")
        << QByteArray("identity,+SRV#1,+ADMIN#1\r\n111,\"log\"\"in\",\"+7 (1) 2\"\r\n\r\n222,b,c")
        << QString() << QStringList() << "log\"in";
    QTest::newRow("columns in any order") << QByteArray("+ADMIN#1,identity,+SRV#1\nx,111,login\n")
                                          << QString() << QStringList() << "login";
    QTest::newRow("a value the check refuses")
        << QByteArray("identity,+SRV#1\n111,\"lo,gin\"\n222,ok\n333,seventeen-letters\n"
                      "444,\"two\nlines\"\n")
        << QString()
        << QStringList{"unit 111: +SRV,#1 \"Логин сервера\" = \"lo,gin\" refused: contains a comma",
                       "unit 333: +SRV,#1 \"Логин сервера\" = \"seventeen-letters\" refused: "
                       "longer than 16 characters",
                       "unit 444: +SRV,#1 \"Логин сервера\" = \"two\\x0alines\" refused: contains "
                       "a "
                       "line feed"}
        << "lo,gin";
    QTest::newRow("unknown column")
        << QByteArray("identity,+NOPE#1\n111,x\n") << "column \"+NOPE#1\" is no position"
        << QStringList() << QString();
    QTest::newRow("read-only column")
        << QByteArray("identity,+IMEI#1\n111,x\n") << "column \"+IMEI#1\" is no position"
        << QStringList() << QString();
    QTest::newRow("column twice") << QByteArray("identity,+SRV#1,+SRV#1\n111,x,y\n")
                                  << "column \"+SRV#1\" given twice" << QStringList() << QString();
    QTest::newRow("no identity column")
        << QByteArray("+SRV#1\nx\n") << "line 1: no column \"identity\"" << QStringList()
        << QString();
    QTest::newRow("identity twice")
        << QByteArray("identity,+SRV#1\n111,a\n222,b\n111,c\n")
        << "line 4: identity 111 given twice" << QStringList() << QString();
    QTest::newRow("empty identity") << QByteArray("identity,+SRV#1\n,a\n") << "line 2: no identity"
                                    << QStringList() << QString();
    QTest::newRow("fields missing")
        << QByteArray("identity,+SRV#1\n111\n") << "line 2: 1 fields, the header has 2"
        << QStringList() << QString();
    QTest::newRow("quote never closed")
        << QByteArray("identity,+SRV#1\n111,\"abc\n") << "line 2: a quote is never closed"
        << QStringList() << QString();
}

void tst_station::unit_values()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, error);
    QFETCH(QStringList, refused);
    QFETCH(QString, server);

    QString failure;
    const provisioning_plan plan = plan_of(csv, failure);
    if (!error.isEmpty()) {
        QVERIFY2(failure.contains(error), qPrintable(failure));
        return;
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(refused_in_plan(plan), refused);
    const std::optional<tracker_configuration> unit = plan.configuration_for("111");
    QVERIFY(unit);
    QVERIFY(!plan.configuration_for("999"));
    // The file's values stay where no column replaces them; its read-only IMEI is no one's.
    const QByteArray text = configuration_json(*unit);
    QVERIFY2(text.contains("\"+APN\": [\"m2m.example\"]") && text.contains("\"+IMEI\": [null]"),
             text.constData());
    const auto server_command =
        std::find_if(unit->commands.begin(), unit->commands.end(),
                     [](const configured_command& command) { return command.key == "+SRV"; });
    QVERIFY(server_command != unit->commands.end());
    QCOMPARE(server_command->values, (QList<std::optional<QString>>{server, QString("60")}));
}

void tst_station::database_addresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("shown"); // empty: refused

    QTest::newRow("sqlite") << "sqlite:records/provision.db"
                            << "sqlite:records/provision.db";
    QTest::newRow("postgresql") << "postgresql://station@db.example:6543/fleet"
                                << "postgresql://station@db.example:6543/fleet";
    QTest::newRow("postgresql default port") << "postgresql://station@db.example/fleet"
                                             << "postgresql://station@db.example:5432/fleet";
    QTest::newRow("password in the address") << "postgresql://station:hunter2@db/fleet"
                                             << "";
    QTest::newRow("no database") << "postgresql://station@db.example:6543"
                                 << "";
    QTest::newRow("no sqlite file") << "sqlite:"
                                    << "";
    QTest::newRow("other kind") << "mysql://station@db/fleet"
                                << "";
}

void tst_station::database_addresses()
{
    QFETCH(QString, url);
    QFETCH(QString, shown);

    database_address address;
    QString error;
    QCOMPARE(parse_database_address(url, address, error), !shown.isEmpty());
    if (!shown.isEmpty()) {
        QCOMPARE(address.shown(), shown);
    }
    QVERIFY2(!error.contains("hunter2"), qPrintable(error)); // a secret is never repeated
}

void tst_station::station_serves_units_data()
{
    QTest::addColumn<QString>("database"); // empty: SQLite in the test's folder

    QTest::newRow("sqlite") << QString();
    QTest::newRow("postgresql") << qEnvironmentVariable("TC_TEST_POSTGRESQL");
}

// Two stations write into one database at once, each serving units one after another on its
// port: a unit with a row, a unit without one, a unit verified before, a unit unplugged in the
// middle of its write.
void tst_station::station_serves_units()
{
    QFETCH(QString, database);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (QTest::currentDataTag() == QLatin1String("postgresql")) {
        if (database.isEmpty()) {
            QSKIP("TC_TEST_POSTGRESQL names no server (./scripts/test starts one)");
        }
    } else {
        database = "sqlite:" + folder.filePath("provision.db");
    }
    database_address address;
    QString error;
    QVERIFY2(parse_database_address(database, address, error), qPrintable(error));
    if (address.driver == "QPSQL") {
        // Each run starts from an empty table.
        QSqlDatabase connection = QSqlDatabase::addDatabase("QPSQL", "cleaning");
        connection.setHostName(address.host);
        connection.setPort(address.port);
        connection.setUserName(address.user);
        connection.setDatabaseName(address.path);
        QVERIFY(connection.open());
        QSqlQuery(connection).exec("DROP TABLE IF EXISTS provisioning");
        connection.close();
    }
    QSqlDatabase::removeDatabase("cleaning");
    provisioning_records records(address);
    QVERIFY2(records.open(error), qPrintable(error));
    const provisioning_plan plan = plan_of(unit_csv, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    sim_process first;
    sim_process second;
    const auto unit_file = [&](const QString& identity) {
        const QString path = folder.filePath(identity + ".json");
        return write_unit(path, identity) ? path : QString();
    };
    QVERIFY(write_unit(first.state_path(), unit_a) && write_unit(second.state_path(), unit_c));
    QVERIFY2(first.start({}, TC_STATION_PROFILE), qPrintable(first.error()));
    QVERIFY2(second.start({}, TC_STATION_PROFILE), qPrintable(second.error()));

    std::vector<std::unique_ptr<provisioning_station>> stations;
    station_log logs[2];
    // The second station names no port: it takes the tracker's port once the system lists it.
    set_port_source(station_ports);
    for (int i = 0; i < 2; ++i) {
        station_settings settings;
        settings.name = QString("line-%1").arg(i + 1);
        settings.ports = i == 0 ? QStringList{first.port_path()} : QStringList();
        settings.look_interval_ms = 50;
        stations.push_back(std::make_unique<provisioning_station>(plan, records, settings));
        logs[i].follow(*stations.back());
        stations.back()->start();
    }
    listed_port = second.port_path(); // listed after the station's first look
    // The next tracker on a station's port, once the last one's unplugging has been seen.
    const auto next_unit = [&](int line, sim_process& tracker, const QString& identity) {
        const int waits = int(logs[line].waiting.size());
        QVERIFY(tracker.unplug());
        QTRY_VERIFY_WITH_TIMEOUT(logs[line].waiting.size() > waits, job_timeout_ms);
        QVERIFY2(tracker.replug(unit_file(identity)), qPrintable(tracker.error()));
    };

    QTRY_COMPARE_WITH_TIMEOUT(logs[0].results.size() + logs[1].results.size(), 2, job_timeout_ms);
    QCOMPARE(first.saved_values().value("+SRV"), (QStringList{"login-a", "60"}));
    QCOMPARE(first.saved_values().value("+ADMIN"), QStringList{"+70000000001"});
    QCOMPARE(second.saved_values().value("+APN"), QStringList{"m2m.example"});

    next_unit(0, first, unit_b);
    QTRY_COMPARE_WITH_TIMEOUT(logs[0].results.size(), 2, job_timeout_ms);
    next_unit(0, first, unit_a);
    QTRY_COMPARE_WITH_TIMEOUT(logs[0].results.size(), 3, job_timeout_ms);

    // Slow answers keep the write under way while the cable is pulled.
    QVERIFY(second.control("reply-delay 300"));
    next_unit(1, second, unit_d);
    QVERIFY(second.wait_for([](const sim_transcript& transcript) {
        return !transcript.events_named("command AT+SRV=7395,login-d,60,").isEmpty();
    }));
    QVERIFY(second.unplug());
    QTRY_COMPARE_WITH_TIMEOUT(logs[1].results.size(), 2, job_timeout_ms);
    // The access point was answered before the cable went: taken, but lost at a restart.
    const QString cut = logs[1].results.last().row.detail;
    QVERIFY2(cut.endsWith("set but not saved: +APN,#1 \"Точка доступа\""), qPrintable(cut));

    for (const auto& station : stations) {
        QSignalSpy stopped(station.get(), &provisioning_station::stopped);
        station->stop();
        QVERIFY(stopped.count() == 1 || stopped.wait(job_timeout_ms));
        QCOMPARE(station->cut_short(), 0);
    }
    QFile unit_b_state(folder.filePath(unit_b + ".json"));
    QVERIFY(unit_b_state.open(QIODevice::ReadOnly));
    QVERIFY2(!unit_b_state.readAll().contains("+SRV"), "a unit without a row was saved");

    set_port_source(nullptr);
    listed_port.clear();
    QList<provisioning_row> rows;
    QVERIFY2(records.rows(rows, error), qPrintable(error));
    QStringList seen;
    for (const provisioning_row& row : rows) {
        seen << QString("%1 %2 %3 %4: %5")
                    .arg(row.station, row.identity, row.result)
                    .arg(row.positions_written)
                    .arg(row.detail.section(':', 0, 0));
        QVERIFY(row.started_at.isValid() && row.finished_at >= row.started_at);
    }
    seen.sort();
    QCOMPARE(seen, (QStringList{"line-1 861000000000001 skipped 0: verified before with this "
                                "configuration",
                                "line-1 861000000000001 verified 4: 4 positions written",
                                "line-1 861000000000002 failed 0: no row",
                                "line-2 861000000000003 verified 4: 4 positions written",
                                "line-2 861000000000004 failed 4: link error"}));
    QCOMPARE(rows.at(0).configuration_sha256.size(), 64);
    // history prints them: a header and a line each, the detail's comma and quotes kept whole.
    const QList<QByteArray> csv = rows_csv(rows).split('\n');
    QCOMPARE(csv.size(), rows.size() + 2);
    QVERIFY(csv.first().startsWith("id,station,started_at,finished_at,port,identity,"));
    const QJsonObject last = QJsonDocument::fromJson(rows_jsonl(rows).split('\n').at(4)).object();
    QCOMPARE(last.value("detail").toString(), rows.at(4).detail);
    QCOMPARE(last.value("started_at").toString(),
             rows.at(4).started_at.toString(Qt::ISODateWithMs));
}

QTEST_GUILESS_MAIN(tst_station)
#include "tst_station.moc"
