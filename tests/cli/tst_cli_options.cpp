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
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // a part of it; empty: the command line is good

    QTest::newRow("several ports, one output each")
        << QStringList{"-p", "/dev/ttyA", "--port", "/dev/ttyB", "read", "-o", "c-{port}.json"}
        << QString();
    QTest::newRow("watch with its options")
        << QStringList{"-p", "/dev/ttyA", "watch", "-n", "3", "--format", "csv"} << QString();
    QTest::newRow("several ports, one output file")
        << QStringList{"-p", "/dev/ttyA", "-p", "/dev/ttyB", "read", "-o", "c.json"} << "{port}";
    QTest::newRow("several ports to standard output")
        << QStringList{"-p", "/dev/ttyA", "-p", "/dev/ttyB", "read"} << "{port}";
    QTest::newRow("ports whose names {port} cannot tell apart")
        << QStringList{"-p", "/a/tty", "-p", "/b/tty", "read", "-o", "{port}"} << "same name";
    QTest::newRow("a port twice") << QStringList{"-p", "/dev/ttyA", "-p", "/dev/ttyA", "send", "X"}
                                  << "twice";
    QTest::newRow("no port") << QStringList{"read"} << "--port";
    QTest::newRow("send without a command") << QStringList{"-p", "/dev/ttyA", "send"} << "COMMAND";
    QTest::newRow("count of another command")
        << QStringList{"-p", "/dev/ttyA", "read", "-n", "3"} << "watch";
    QTest::newRow("output of another command")
        << QStringList{"-p", "/dev/ttyA", "watch", "-o", "x"} << "read";
    QTest::newRow("unknown format")
        << QStringList{"-p", "/dev/ttyA", "watch", "--format", "xml"} << "jsonl or csv";
    QTest::newRow("unknown option")
        << QStringList{"-p", "/dev/ttyA", "--baud", "9600", "read"} << "baud";
}

void tst_cli_options::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);

    cli_options options;
    QString message;
    const parse_outcome outcome = parse_options(arguments, options, message);
    if (error.isEmpty()) {
        QCOMPARE(message, QString());
        QCOMPARE(outcome, parse_outcome::run);
    } else {
        QCOMPARE(outcome, parse_outcome::usage_error);
        QVERIFY2(message.contains(error), qPrintable(message));
    }
}

QTEST_GUILESS_MAIN(tst_cli_options)
#include "tst_cli_options.moc"
