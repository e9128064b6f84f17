#include "tracker_commands.h"

#include <QtTest>

namespace tc = tracker_commands;

namespace {

// What each display mode reads from a reply line, in one text.
QString reading(const QString& line)
{
    const tc::reply r = tc::parse_reply(line);
    return QStringList{
        r.readable() ? "readable" : "unreadable",    r.well_formed() ? "+RESP" : "-", r.key,
        r.carries_values() ? "values" : "no values", tc::refusal_text(r.refused),     r.value(2)}
        .join('|');
}

QString device_state(const QString& line)
{
    const tc::device_state_line parsed = tc::parse_device_state_line(line);
    return parsed.valid ? QStringLiteral("%1|%2").arg(parsed.schema_id).arg(parsed.payload) : "-";
}

} // namespace

class test_tracker_commands : public QObject
{
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
};

void test_tracker_commands::texts_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const QString& got, const char* expected) {
        QTest::newRow(tag) << got << QString::fromUtf8(expected);
    };

    row("read", tc::read("+APN"), "AT+APN=?");
    row("set keeps empty values", tc::set("+SRV", "1234", {"host", "", "5000"}),
        "AT+SRV=1234,host,,5000,");
    row("set without values", tc::set("+X", "pw", {}), "AT+X=pw,");
    row("save", tc::save("4321"), "AT+SAVE=4321,");
    row("stream on", tc::streaming("1111", tc::stream_mode::on), "AT+SDAD=1111,,3,,,,,");
    row("stream off", tc::streaming("1111", tc::stream_mode::off), "AT+SDAD=1111,,0,,,,,");
    row("closing carries the fixed password", tc::closing(), "AT+TEXT=7395,");

    row("values", reading("+RESP:APN,a,,c"), "readable|+RESP|+APN|values||");
    row("no comma", reading("+RESP:APN"), "unreadable|+RESP|+APN|values||");
    row("no colon", reading("+RESP,1"), "unreadable|+RESP||no values||");
    row("colon only in a value", reading("+RESP,12:30"), "unreadable|+RESP||no values||");
    row("empty name", reading("+RESP:,1"), "readable|+RESP|+|no values||");
    row("text before head", reading("xx+RESP:NAME,1"), "readable|-|+NAME|no values||");
    row("second colon", reading("+RESP:T,12:30"), "readable|+RESP|+T|no values||");
    row("name cut at a second colon", reading("+RESP:A:B,1"), "readable|+RESP|+A|no values||");
    row("password refused", reading("+RESP:APN,ERROR,PASSWORD"),
        "readable|+RESP|+APN|no values|Неверный пароль|PASSWORD");
    row("permission refused", reading("+RESP:APN,ERROR,PERMISSION"),
        "readable|+RESP|+APN|no values|Ошибка прав доступа|PERMISSION");
    row("command refused", reading("+RESP:APN,ERROR,COMMAND"),
        "readable|+RESP|+APN|no values|Неверная команда|COMMAND");
    row("ERROR as a value", reading("+RESP:APN,ERROR,BUSY"), "readable|+RESP|+APN|values||BUSY");
    row("ERROR without kind", reading("+RESP:APN,ERROR"), "readable|+RESP|+APN|values||");
    row("error without name", reading("+RESP:ERROR,PASSWORD"), "readable|+RESP|+ERROR|no values||");

    row("device-state record", device_state("$SD,2,AQID"), "2|AQID");
    row("text before the marker", device_state("x$SD,17,AA==,more"), "17|AA==");
    row("no record", device_state("$SD,2"), "-");
}

void test_tracker_commands::texts()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(test_tracker_commands)
#include "test_tracker_commands.moc"
