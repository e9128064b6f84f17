#include "tracker_commands.h"

#include <QtTest>

namespace tc = tracker_commands;

class test_tracker_commands : public QObject
{
    Q_OBJECT

private slots:
    void command_texts_data();
    void command_texts();
    void replies_data();
    void replies();
    void device_state_lines_data();
    void device_state_lines();
};

void test_tracker_commands::command_texts_data()
{
    QTest::addColumn<QString>("built");
    QTest::addColumn<QString>("expected");
    QTest::newRow("read") << tc::read("+APN") << "AT+APN=?";
    QTest::newRow("set keeps empty values")
        << tc::set("+SRV", "1234", {"host", "", "5000"}) << "AT+SRV=1234,host,,5000,";
    QTest::newRow("set without values") << tc::set("+X", "pw", {}) << "AT+X=pw,";
    QTest::newRow("save") << tc::save("4321") << "AT+SAVE=4321,";
    QTest::newRow("stream on") << tc::streaming("1111", tc::stream_mode::on)
                               << "AT+SDAD=1111,,3,,,,,";
    QTest::newRow("stream off") << tc::streaming("1111", tc::stream_mode::off)
                                << "AT+SDAD=1111,,0,,,,,";
    QTest::newRow("closing carries the fixed password") << tc::closing() << "AT+TEXT=7395,";
}

void test_tracker_commands::command_texts()
{
    QFETCH(QString, built);
    QFETCH(QString, expected);
    QCOMPARE(built, expected);
}

void test_tracker_commands::replies_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("readable");    // expert mode finds a name
    QTest::addColumn<bool>("well_formed"); // head is "+RESP"
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("carries_values"); // simple mode stores it
    QTest::addColumn<int>("refused");
    QTest::addColumn<QString>("value2");

    const int none = int(tc::refusal::none);
    QTest::newRow("values") << "+RESP:APN,a,,c" << true << true << "+APN" << true << none << "";
    QTest::newRow("no comma") << "+RESP:APN" << false << true << "+APN" << true << none << "";
    QTest::newRow("no colon") << "+RESP,1" << false << true << "" << false << none << "";
    QTest::newRow("text before head")
        << "xx+RESP:NAME,1" << true << false << "+NAME" << false << none << "";
    QTest::newRow("second colon") << "+RESP:T,12:30" << true << true << "+T" << false << none << "";
    QTest::newRow("name cut at a second colon")
        << "+RESP:A:B,1" << true << true << "+A" << false << none << "";
    QTest::newRow("password refused") << "+RESP:APN,ERROR,PASSWORD" << true << true << "+APN"
                                      << false << int(tc::refusal::password) << "PASSWORD";
    QTest::newRow("permission refused") << "+RESP:APN,ERROR,PERMISSION" << true << true << "+APN"
                                        << false << int(tc::refusal::permission) << "PERMISSION";
    QTest::newRow("command refused") << "+RESP:APN,ERROR,COMMAND" << true << true << "+APN" << false
                                     << int(tc::refusal::command) << "COMMAND";
    QTest::newRow("ERROR as a value")
        << "+RESP:APN,ERROR,BUSY" << true << true << "+APN" << true << none << "BUSY";
    QTest::newRow("ERROR without kind")
        << "+RESP:APN,ERROR" << true << true << "+APN" << true << none << "";
    QTest::newRow("error without name")
        << "+RESP:ERROR,PASSWORD" << true << true << "+ERROR" << false << none << "";
}

void test_tracker_commands::replies()
{
    QFETCH(QString, line);
    const tc::reply r = tc::parse_reply(line);
    QTEST(r.readable(), "readable");
    QTEST(r.well_formed(), "well_formed");
    QTEST(r.key, "key");
    QTEST(r.carries_values(), "carries_values");
    QTEST(int(r.refused), "refused");
    QTEST(r.value(2), "value2");
}

void test_tracker_commands::device_state_lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("schema_id");
    QTest::addColumn<QString>("payload");
    QTest::newRow("record") << "$SD,2,AQID" << true << 2 << "AQID";
    QTest::newRow("text before marker") << "x$SD,17,AA==,more" << true << 17 << "AA==";
    QTest::newRow("no record") << "$SD,2" << false << 0 << "";
}

void test_tracker_commands::device_state_lines()
{
    QFETCH(QString, line);
    const tc::device_state_line parsed = tc::parse_device_state_line(line);
    QTEST(parsed.valid, "valid");
    QTEST(parsed.schema_id, "schema_id");
    QTEST(parsed.payload, "payload");
}

QTEST_GUILESS_MAIN(test_tracker_commands)
#include "test_tracker_commands.moc"
