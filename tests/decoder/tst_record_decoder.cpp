#include "../support/record_fixtures.h"
#include "record_decoder.h"

#include <QByteArray>
#include <QList>
#include <QtTest>

#include <vector>

namespace {

struct decoded
{
    QByteArray text;
    int result;
};

// Room for the longest texts the tests make. An empty record is passed as null.
decoded decode(const QByteArray& schema, const QByteArray& record)
{
    std::vector<char> out(1 << 19);
    const auto* bytes = reinterpret_cast<const unsigned char*>(record.constData());
    const int result =
        decode_record(schema.constData(), record.isEmpty() ? nullptr : bytes, out.data(),
                      out.size(), static_cast<std::uint16_t>(record.size()));
    return {QByteArray(out.data()), result};
}

} // namespace

class tst_record_decoder : public QObject
{
    Q_OBJECT

private slots:
    void decodes_records_data();
    void decodes_records();
    void reads_type_tokens_data();
    void reads_type_tokens();
    void gets_fields_data();
    void gets_fields();
    void names_follow_signed_field_counter();
    void cuts_output_at_buffer_size_data();
    void cuts_output_at_buffer_size();
};

void tst_record_decoder::decodes_records_data()
{
    QTest::addColumn<QByteArray>("schema");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("result");

    auto row = [](const char* tag, const QByteArray& schema, const QByteArray& hex,
                  const QByteArray& text, int result) {
        QTest::newRow(tag) << schema << QByteArray::fromHex(hex) << text << result;
    };
    row("one of each number", "CSL|a,b,c", "01020003000000", "a,C:1;b,S:2;c,L:3;", 0);
    row("list and string", "S2Z4|v,s", "0a000b0041420000", "v,S2:10,11;s,Z4:AB;", 0);
    row("no names", "LL", "0100000002000000", ",L:1;,L:2;", 0);
    row("count 0 reads nothing", "L0S|a,b", "0500", "a,L0:;b,S:5;", 0);
    row("string skips its padding", "Z8C|name,n", "414243005858585807", "name,Z8:ABC;n,C:7;", 0);
    row("full string", "Z3|n", "414243", "n,Z3:ABC;", 0);
    row("string without count", "ZZ|a,b", "4142", "a,Z:A;b,Z:B;", 0);
    row("empty string", "Z2C|s,n", "000009", "s,Z2:;n,C:9;", 0);
    row("bytes kept as they are", "Z5", "3a3bc3a9ff", ",Z5:\x3a\x3b\xc3\xa9\xff;", 0);
    row("lower-case letter", "Ls|x", "01000000", "", -1);
    row("digit first", "3L|x", "01000000", "", 0);
    row("malformed after entries", "CLx|a,b", "0102000000", "a,C:1;", -1);
    row("digits then junk", "C2C1x", "0102", ",C2:1,2;", -1);
    row("space first", " C|x", "01", "", 0);
    row("value needs all its bytes", "L|x", "0100", "x,L:;", 0);
    row("short record empties the rest", "CLS|a,b,c", "07", "a,C:7;b,L:;c,S:;", 0);
    row("list cut short keeps comma", "S3|v", "0100020003", "v,S3:1,2,;", 0);
    row("list cut at record end", "S3|v", "01000200", "v,S3:1,2,;", 0);
    row("long record ignored", "C", "010203", ",C:1;", 0);
    row("empty record", "CZ4|a,b", "", "a,C:;b,Z4:;", 0);
    row("little-endian at odd offset", "CLS", "01785634120201", ",C:1;,L:305419896;,S:258;", 0);
    row("largest values", "LS", "ffffffffffff", ",L:4294967295;,S:65535;", 0);
    row("leading zeros", "C002|a", "0102", "a,C002:1,2;", 0);
    row("count 65536 is 0", "C65536C", "09", ",C65536:;,C:9;", 0);
    row("count 65537 is 1", "C65537C", "0908", ",C65537:9;,C:8;", 0);
    row("quoted comma", "CC|\"a,b\",c", "0102", "a,b,C:1;c,C:2;", 0);
    row("unclosed quote", "CC|\"a,b", "0102", "a,b,C:1;,C:2;", 0);
    row("empty and missing names", "CCCC|a,,c", "01020304", "a,C:1;,C:2;c,C:3;,C:4;", 0);
    row("bar in names", "C|a|b", "01", "a|b,C:1;", 0);
    row("longest token", "C00000000000001C", "0102", ",C00000000000001:1;,C:2;", 0);
    row("token too long", "CC000000000000001", "0102", ",C:1;", -1);
    row("longest name", "C|" + QByteArray(63, 'n'), "01", QByteArray(63, 'n') + ",C:1;", 0);
    row("name cut", "CC|" + QByteArray(64, 'n') + ",b", "0102", QByteArray(63, 'n') + ",C:1;b,C:2;",
        0);
    const QByteArray letters(65535, 'A');
    const QByteArray ones = QByteArray(65535, '\1').toHex();
    row("longest string", "Z65535", letters.toHex(), ",Z65535:" + letters + ';', 0);
    row("longest record cuts a list", "L16384", ones,
        ",L16384:" + QByteArray("16843009,").repeated(16383) + ';', 0);
    row("longest count", "C65535C|a,b", ones,
        "a,C65535:" + QByteArray("1,").repeated(65534) + "1;b,C:;", 0);
    // The records that the simulator's encoder is checked against.
    QList<QMap<QString, QString>> fixtures;
    QVERIFY(read_record_fixtures(TC_TEST_DATA "/device_records.txt", fixtures));
    for (const auto& fixture : fixtures) {
        row(qPrintable(fixture["schema"] + ' ' + fixture["values"]), fixture["schema"].toUtf8(),
            fixture["bytes"].toLatin1(), fixture["text"].toUtf8(), 0);
    }
}

void tst_record_decoder::decodes_records()
{
    QFETCH(QByteArray, schema);
    QFETCH(QByteArray, record);
    QFETCH(QByteArray, text);
    QFETCH(int, result);

    const decoded got = decode(schema, record);
    QCOMPARE(got.text, text);
    QCOMPARE(got.result, result);
}

void tst_record_decoder::reads_type_tokens_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("next"); // offset of the returned cursor, -1 for none

    QTest::newRow("letter") << QByteArray("L") << QByteArray("L") << 1;
    QTest::newRow("letter and count") << QByteArray("S2Z4") << QByteArray("S2") << 2;
    QTest::newRow("before names") << QByteArray("Z16|x") << QByteArray("Z16") << 3;
    QTest::newRow("used up at bar") << QByteArray("|L") << QByteArray() << 0;
    QTest::newRow("used up at end") << QByteArray() << QByteArray() << 0;
    QTest::newRow("digit first") << QByteArray("12L") << QByteArray() << -1;
    QTest::newRow("other first") << QByteArray("xL") << QByteArray() << -1;
    QTest::newRow("junk after letter") << QByteArray("Lq") << QByteArray("L") << -1;
    QTest::newRow("junk after count") << QByteArray("L10 ") << QByteArray("L10") << -1;
    QTest::newRow("15 characters")
        << QByteArray("Z12345678901234L") << QByteArray("Z12345678901234") << 15;
    QTest::newRow("16 characters")
        << QByteArray("Z123456789012345") << QByteArray("Z12345678901234") << -1;
}

void tst_record_decoder::reads_type_tokens()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, token);
    QFETCH(int, next);

    char got[type_token_size];
    const char* cursor = next_type_token(text.constData(), got);
    QCOMPARE(QByteArray(got), token);
    QCOMPARE(cursor == nullptr ? -1 : int(cursor - text.constData()), next);
}

void tst_record_decoder::gets_fields_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<char>("separator");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("result");

    auto row = [](const char* tag, const QByteArray& text, int index, const QByteArray& field,
                  int result, char separator = ',') {
        QTest::newRow(tag) << text << separator << index << field << result;
    };
    row("first", "a,b,c", 0, "a", 0);
    row("last", "a,b,c", 2, "c", 0);
    row("past the end", "a,b,c", 3, "", 0);
    row("negative", "a,b,c", -1, "", 0);
    row("empty text first", "", 0, "", 0);
    row("empty text second", "", 1, "", -1);
    row("no separator first", "abc", 0, "abc", 0);
    row("no separator second", "abc", 1, "", -1);
    row("empty field", "a,,c", 1, "", 0);
    row("empty last field", "a,b,", 2, "", 0);
    row("quoted comma", "\"a,b\",c", 0, "a,b", 0);
    row("after quoted comma", "\"a,b\",c", 1, "c", 0);
    row("quotes dropped inside", "x\"y\"z,w", 0, "xyz", 0);
    row("other separator", "a,b;c", 1, "c", 0, ';');
    row("quote as separator", "\"a\"b", 1, "b", 0, '"');
    row("long field cut", QByteArray(70, 'n') + ",b", 0, QByteArray(63, 'n'), 0);
    row("after long field", QByteArray(70, 'n') + ",b", 1, "b", 0);
}

void tst_record_decoder::gets_fields()
{
    QFETCH(QByteArray, text);
    QFETCH(char, separator);
    QFETCH(int, index);
    QFETCH(QByteArray, field);
    QFETCH(int, result);

    char got[field_name_size];
    QCOMPARE(get_field(text.constData(), separator, static_cast<std::int8_t>(index), got), result);
    QCOMPARE(QByteArray(got), field);
}

// The name index is a signed 8-bit counter: fields 128 to 255 are nameless, 256 starts over.
void tst_record_decoder::names_follow_signed_field_counter()
{
    QByteArray names = "\"q,0\"";
    for (int k = 1; k < 300; ++k) {
        names += ",n" + QByteArray::number(k);
    }
    const QList<QByteArray> entries =
        decode(QByteArray(300, 'C') + '|' + names, QByteArray(300, '\1')).text.split(';');
    QCOMPARE(entries.size(), 301);
    const QList<QByteArray> named{"q,0,C:1", "n1,C:1"};
    QCOMPARE(entries.mid(0, 2), named);
    QCOMPARE(entries.mid(127, 2), (QList<QByteArray>{"n127,C:1", ",C:1"}));
    QCOMPARE(entries.mid(255, 3), QList<QByteArray>{",C:1"} + named);
    QCOMPARE(entries[299], QByteArray("n43,C:1"));
}

void tst_record_decoder::cuts_output_at_buffer_size_data()
{
    QTest::addColumn<QByteArray>("schema");
    QTest::addColumn<int>("out_size");

    const QByteArray schema = "CZ8L|first,second,third";
    for (int size : {0, 1, 2, 10, 11, 17, 30, 42, 43, 44}) {
        QTest::addRow("size %d", size) << schema << size;
    }
    QTest::newRow("cut before malformed token") << QByteArray("CZ8Lx") << 4;
}

void tst_record_decoder::cuts_output_at_buffer_size()
{
    QFETCH(QByteArray, schema);
    QFETCH(int, out_size);
    const QByteArray record = QByteArray::fromHex("01 4142430000000000 78563412");
    const auto* bytes = reinterpret_cast<const unsigned char*>(record.constData());
    const decoded full = decode(schema, record);
    const int guard = 16;

    // With no room at all the buffer may be null.
    std::vector<char> out(out_size + guard, '#');
    QCOMPARE(decode_record(schema.constData(), bytes, out_size == 0 ? nullptr : out.data(),
                           out_size, static_cast<std::uint16_t>(record.size())),
             full.result);
    QCOMPARE(QByteArray(out.data() + out_size, guard), QByteArray(guard, '#'));
    if (out_size > 0) {
        const int kept = qMin(full.text.size(), out_size - 1);
        QCOMPARE(QByteArray(out.data(), kept + 1), full.text.left(kept) + '\0');
    }
}

QTEST_APPLESS_MAIN(tst_record_decoder)
#include "tst_record_decoder.moc"
