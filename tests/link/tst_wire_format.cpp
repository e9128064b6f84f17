#include "access_code.h"
#include "wire_format.h"

#include <QtTest>

Q_DECLARE_METATYPE(wire::command_check)

class tst_wire_format : public QObject
{
    Q_OBJECT

private slots:
    void checks_commands_data();
    void checks_commands();
    void builds_access_code_frame();
    void recognises_lines_data();
    void recognises_lines();
};

void tst_wire_format::checks_commands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("bluetooth");
    QTest::addColumn<wire::command_check>("check");

    // Two framing CRs on a wired link, one on Bluetooth, and the buffer's terminator.
    QTest::newRow("wired, longest") << QByteArray(1021, 'a') << false << wire::command_check::ok;
    QTest::newRow("wired, one too many")
        << QByteArray(1022, 'a') << false << wire::command_check::too_long;
    QTest::newRow("bluetooth, longest") << QByteArray(1022, 'a') << true << wire::command_check::ok;
    QTest::newRow("bluetooth, one too many")
        << QByteArray(1023, 'a') << true << wire::command_check::too_long;
    const QByteArray cyrillic = QString(511, QChar(0x0416)).toUtf8(); // 1022 bytes
    QTest::newRow("bytes counted, not characters")
        << cyrillic << false << wire::command_check::too_long;
    QTest::newRow("empty") << QByteArray() << false << wire::command_check::ok;
    QTest::newRow("cr would split the frame")
        << QByteArray("AT+A=7395,1\rAT+B=?") << false << wire::command_check::control_bytes;
    QTest::newRow("lf") << QByteArray("AT+A=7395,1\n") << true
                        << wire::command_check::control_bytes;
    QTest::newRow("nul would cut the frame")
        << QByteArray("AT+A=7395,1\0,2,", 16) << false << wire::command_check::control_bytes;
}

void tst_wire_format::checks_commands()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, bluetooth);
    QFETCH(wire::command_check, check);
    QCOMPARE(wire::check_command(command, bluetooth), check);
}

void tst_wire_format::builds_access_code_frame()
{
    const QByteArray code = tracker_access_code();
    QCOMPARE(code.size(), 7);
    for (const char digit : code) {
        QVERIFY2(digit >= '0' && digit <= '9', code.constData());
    }
    QCOMPARE(wire::access_code_frame(), "\r" + code + "\r");
}

void tst_wire_format::recognises_lines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("reply");
    QTest::addColumn<bool>("device_state");

    QTest::newRow("reply") << QByteArray("+RESP:GPRS,1,2") << true << false;
    QTest::newRow("reply inside a line") << QByteArray("echo+RESP:GPRS,1") << true << false;
    QTest::newRow("error reply is a reply")
        << QByteArray("+RESP:GPRS,ERROR,PASSWORD") << true << false;
    QTest::newRow("error without +RESP") << QByteArray("ERROR") << false << false;
    QTest::newRow("case matters") << QByteArray("+resp:GPRS,1") << false << false;
    QTest::newRow("device state") << QByteArray("$SD,1,AAEC") << false << true;
    QTest::newRow("device state inside a line") << QByteArray("xx$SD,2,AA") << false << true;
    QTest::newRow("empty") << QByteArray() << false << false;
}

void tst_wire_format::recognises_lines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, reply);
    QFETCH(bool, device_state);
    QCOMPARE(wire::is_reply_line(line), reply);
    QCOMPARE(wire::is_device_state_line(line), device_state);
}

QTEST_GUILESS_MAIN(tst_wire_format)
#include "tst_wire_format.moc"
