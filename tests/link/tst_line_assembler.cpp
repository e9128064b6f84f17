#include "line_assembler.h"

#include <QtTest>

namespace {

// Feeds the bytes one by one and writes down every completed line: "line:<text>" or
// "too_long:<length>".
QStringList assemble(const QByteArray& bytes)
{
    line_assembler assembler;
    QStringList events;
    for (const char byte : bytes) {
        switch (assembler.take(byte)) {
        case line_assembler::result::line:
            events << QStringLiteral("line:") + QString::fromLatin1(assembler.line());
            break;
        case line_assembler::result::too_long:
            events << QStringLiteral("too_long:%1").arg(assembler.dropped_bytes());
            break;
        case line_assembler::result::incomplete:
            break;
        }
    }
    return events;
}

} // namespace

class tst_line_assembler : public QObject
{
    Q_OBJECT

private slots:
    void assembles_lines_data();
    void assembles_lines();
    void keeps_longest_line_whole();
    void drops_over_long_line_and_goes_on();
};

void tst_line_assembler::assembles_lines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("events");

    const QStringList reply{QStringLiteral("line:+RESP:GPRS,1,2")};
    QTest::newRow("cr") << QByteArray("+RESP:GPRS,1,2\r") << reply;
    QTest::newRow("cr lf") << QByteArray("+RESP:GPRS,1,2\r\n") << reply;
    QTest::newRow("lf cr") << QByteArray("+RESP:GPRS,1,2\n\r") << reply;
    QTest::newRow("lf before the line") << QByteArray("\n+RESP:GPRS,1,2\r") << reply;
    QTest::newRow("bare lf does not end a line")
        << QByteArray("ab\ncd\r") << QStringList{QStringLiteral("line:abcd")};
    QTest::newRow("cr at the start gives an empty line")
        << QByteArray("\rab\r") << QStringList{QStringLiteral("line:"), QStringLiteral("line:ab")};
    QTest::newRow("several lines")
        << QByteArray("a\r\nb\r\n\r\n")
        << QStringList{QStringLiteral("line:a"), QStringLiteral("line:b"), QStringLiteral("line:")};
    QTest::newRow("no cr, no line") << QByteArray("+RESP:GPRS,1\n") << QStringList{};
    QTest::newRow("only line feeds") << QByteArray("\n\n\n") << QStringList{};
}

void tst_line_assembler::assembles_lines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, events);
    QCOMPARE(assemble(bytes), events);
}

void tst_line_assembler::keeps_longest_line_whole()
{
    const QByteArray longest(line_assembler::max_line_bytes, 'x');
    QCOMPARE(assemble(longest + "\r"), QStringList{QStringLiteral("line:") + longest});
    // Line feeds do not count towards the length.
    QCOMPARE(assemble(longest + "\n\n\r"), QStringList{QStringLiteral("line:") + longest});
}

void tst_line_assembler::drops_over_long_line_and_goes_on()
{
    const QByteArray over_long(line_assembler::max_line_bytes + 1, 'x');
    QCOMPARE(assemble(over_long + "\r+RESP:A,1\r"),
             (QStringList{QStringLiteral("too_long:1024"), QStringLiteral("line:+RESP:A,1")}));

    // A reply hidden past the limit is not handed on cut.
    const QByteArray hidden = QByteArray(2000, 'y') + "+RESP:A,1";
    QCOMPARE(assemble(hidden + "\r"),
             QStringList{QStringLiteral("too_long:%1").arg(hidden.size())});
}

QTEST_GUILESS_MAIN(tst_line_assembler)
#include "tst_line_assembler.moc"
