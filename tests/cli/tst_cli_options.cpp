#include "cli_options.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Mistakes on the command line are caught before any port is opened.
class tst_cli_options : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();

private:
    QTemporaryDir folder;
};

// The files the rows name, in the working directory: a port and a link to it, password files.
void tst_cli_options::initTestCase()
{
    QVERIFY(QDir::setCurrent(folder.path()));
    for (const auto& [name, contents] :
         {std::pair("tty", ""), {"pw", "2468\r\nnext\n"}, {"empty", "\n"}}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) >= 0);
    }
    QVERIFY(QFile::link("tty", "link"));
}

void tst_cli_options::parse_data()
{
    QTest::addColumn<QString>("arguments");
    // A good line: its command, ports, speed, output, count, format, passwords, the keys worked on
    // and the values to set; else "error: " and a part of the message.
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const char* arguments, const char* expected) {
        QTest::newRow(tag) << arguments << expected;
    };

    row("several ports, one output each", "-p /dev/ttyA --port /dev/ttyB read -o c-{port}.json",
        "read /dev/ttyA,/dev/ttyB 115200 c-{port}.json 0 0 7395 7395");
    row("watch with its options", "-p /dev/ttyA -s 9600 watch -n 3 --format csv",
        "watch /dev/ttyA 9600  3 2 7395 7395");
    row("a password from a file, a regular file replaced",
        "-p x --password-file pw --master-password 1111 read -o tty",
        "read x 115200 tty 0 0 2468 1111");
    row("a command with a longer key than the closing one", "-p x send AT+TEXTS=1,",
        "send x 115200  0 0 7395 7395");
    row("standard output", "-p x read -o -", "read x 115200  0 0 7395 7395");
    row("some commands only", "-p x --only +SRV,+TRACK,+SRV diff -",
        "diff x 115200  0 0 7395 7395 +SRV,+TRACK");
    row("single values, each command read once", "-p x set +TRACK#1=60 +APN#1=a=b +TRACK#2=",
        "set x 115200  0 0 7395 7395 +TRACK,+APN +TRACK#1=60;+APN#1=a=b;+TRACK#2=");
    row("a value without its position", "-p x set +TRACK=60", "error: +KEY#N=VALUE expected");
    row("a value at position 0", "-p x set +TRACK#0=60", "error: +KEY#N=VALUE expected");
    row("a value without its key's +", "-p x set TRACK#1=60", "error: +KEY#N=VALUE expected");
    row("a position set twice", "-p x set +TRACK#1=6 +TRACK#1=7", "error: +TRACK#1 is given twice");
    row("set without a value", "-p x set", "error: KEY#N=VALUE");
    row("keys of set given apart", "-p x --only +APN set +APN#1=a", "error: --only belongs");
    row("only commas for keys", "-p x --only , read", "error: no command key");
    row("several ports, one output file", "-p /dev/ttyA -p /dev/ttyB read -o c.json",
        "error: {port}");
    row("several ports to standard output", "-p /dev/ttyA -p /dev/ttyB read", "error: {port}");
    row("ports whose names {port} cannot tell apart", "-p /a/tty -p /b/tty read -o {port}",
        "error: same name");
    row("a port twice", "-p /dev/ttyA -p /dev/ttyA send X", "error: twice");
    row("a port twice, once through a link", "-p tty -p link send X", "error: twice");
    row("a port twice, once with ./", "-p ./x -p x send X", "error: twice");
    row("an empty port", "-p  send X", "error: --port is empty");
    row("an empty command", "-p x send X ", "error: empty COMMAND");
    row("the closing command", "-p x send AT+VER=? AT+TEXT=7395,", "error: data mode");
    row("the closing command in lower case", "-p x send at+text=1,", "error: data mode");
    row("output onto a device", "-p x read -o /dev/null", "error: not a regular file");
    row("output onto a folder", "-p x read -o .", "error: a folder");
    row("output into a missing folder", "-p x read -o none/c.json", "error: no such folder");
    row("report onto a folder", "-p x --report . read", "error: a folder");
    row("report into a missing folder", "-p x --report none/r read", "error: no such folder");
    row("a password and its file", "-p x --password 1 --password-file pw read", "error: not both");
    row("an empty password file", "-p x --master-password-file empty read", "error: no password");
    row("a missing password file", "-p x --password-file none read", "error: cannot read");
    row("no port", "read", "error: --port");
    row("send without a command", "-p /dev/ttyA send", "error: COMMAND");
    row("count of another command", "-p /dev/ttyA read -n 3", "error: watch");
    row("output of another command", "-p /dev/ttyA watch -o x", "error: read");
    row("unknown format", "-p /dev/ttyA watch --format xml", "error: csv or raw");
    row("one recording of two trackers", "-p /dev/ttyA -p /dev/ttyB watch --format raw",
        "error: one --port");
    row("unknown option", "-p /dev/ttyA --baud 9600 read", "error: baud");
    row("a station on the ports found", "provision conf.json",
        "provision  115200  0 0 7395 7395    |  sqlite:provision.db  no 16");
    row("a station with all its options",
        "-p x provision conf.json --identity +IMEI#1 --vars u.csv --db postgresql://st@db/fleet "
        "--station line-2 --force --jobs 4 -n 5",
        "provision x 115200  5 0 7395 7395   +IMEI#1 | u.csv postgresql://st@db/fleet line-2 "
        "force 4");
    row("the records as JSON lines", "history --format jsonl",
        "history  115200  0 1 7395 7395    |  sqlite:provision.db  no 16");
    row("the records as text", "history --format text", "error: csv or jsonl");
    row("no jobs", "provision conf.json --jobs 0", "error: --jobs needs a positive number");
    row("identity of another command", "-p x --identity +IMEI#1 read",
        "error: belong to provision");
    row("a database of another command", "-p x --db sqlite:x write f", "error: --db belongs");
}

namespace {

QString assignments(const cli_options& options)
{
    QStringList given;
    for (const value_assignment& assignment : options.assignments) {
        given << QString("%1#%2=%3")
                     .arg(assignment.key)
                     .arg(assignment.position)
                     .arg(assignment.value);
    }
    return given.join(';');
}

} // namespace

void tst_cli_options::parse()
{
    QFETCH(QString, arguments);
    QFETCH(QString, expected);

    cli_options o;
    QString message;
    const parse_outcome outcome = parse_options(arguments.split(' '), o, message);
    if (outcome == parse_outcome::run && message.isEmpty()) {
        const QStringList asked{command_name(o.command),
                                o.ports.join(','),
                                QString::number(o.speed),
                                o.output,
                                QString::number(o.count),
                                QString::number(int(o.format)),
                                o.password,
                                o.master_password,
                                o.only.join(','),
                                assignments(o)};
        const bool station =
            o.command == cli_command::provision || o.command == cli_command::history;
        const QStringList station_asked{o.identity,
                                        "|",
                                        o.vars,
                                        o.database,
                                        o.station,
                                        o.force ? "force" : "no",
                                        QString::number(o.jobs)};
        QCOMPARE((asked + (station ? station_asked : QStringList())).join(' ').trimmed(), expected);
    } else {
        QCOMPARE(outcome, parse_outcome::usage_error);
        QVERIFY2(expected.startsWith("error: ") && message.contains(expected.mid(7)),
                 qPrintable(message));
    }
}

QTEST_GUILESS_MAIN(tst_cli_options)
#include "tst_cli_options.moc"
