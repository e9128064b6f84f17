#include "cli_options.h"

#include <QTest>

// Mistakes on the command line are caught before any port is opened.
class tst_cli_options : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_cli_options::parse_data()
{
    QTest::addColumn<QString>("arguments");
    // A good line: its command, ports, speed, output, count and format; else "error: " and a part
    // of the message.
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const char* arguments, const char* expected) {
        QTest::newRow(tag) << arguments << expected;
    };

    row("several ports, one output each", "-p /dev/ttyA --port /dev/ttyB read -o c-{port}.json",
        "read /dev/ttyA,/dev/ttyB 115200 c-{port}.json 0 0");
    row("watch with its options", "-p /dev/ttyA -s 9600 watch -n 3 --format csv",
        "watch /dev/ttyA 9600  3 2");
    row("several ports, one output file", "-p /dev/ttyA -p /dev/ttyB read -o c.json",
        "error: {port}");
    row("several ports to standard output", "-p /dev/ttyA -p /dev/ttyB read", "error: {port}");
    row("ports whose names {port} cannot tell apart", "-p /a/tty -p /b/tty read -o {port}",
        "error: same name");
    row("a port twice", "-p /dev/ttyA -p /dev/ttyA send X", "error: twice");
    row("no port", "read", "error: --port");
    row("send without a command", "-p /dev/ttyA send", "error: COMMAND");
    row("count of another command", "-p /dev/ttyA read -n 3", "error: watch");
    row("output of another command", "-p /dev/ttyA watch -o x", "error: read");
    row("unknown format", "-p /dev/ttyA watch --format xml", "error: jsonl or csv");
    row("unknown option", "-p /dev/ttyA --baud 9600 read", "error: baud");
}

void tst_cli_options::parse()
{
    QFETCH(QString, arguments);
    QFETCH(QString, expected);

    cli_options o;
    QString message;
    const parse_outcome outcome = parse_options(arguments.split(' '), o, message);
    if (outcome == parse_outcome::run && message.isEmpty()) {
        const QStringList asked{command_name(o.command),  o.ports.join(','),
                                QString::number(o.speed), o.output,
                                QString::number(o.count), QString::number(int(o.format))};
        QCOMPARE(asked.join(' '), expected);
    } else {
        QCOMPARE(outcome, parse_outcome::usage_error);
        QVERIFY2(expected.startsWith("error: ") && message.contains(expected.mid(7)),
                 qPrintable(message));
    }
}

QTEST_GUILESS_MAIN(tst_cli_options)
#include "tst_cli_options.moc"
