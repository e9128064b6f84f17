#include "device_state_values.h"

#include <QLocale>
#include <QTest>

Q_DECLARE_METATYPE(display_kind)

class test_device_state_values : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formats_values_data();
    void formats_values();
    void stores_decoded_fields_data();
    void stores_decoded_fields();
    void long_records_are_not_cut();
};

// A comma locale must not leak into the numbers shown.
void test_device_state_values::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void test_device_state_values::formats_values_data()
{
    QTest::addColumn<bool>("has_value");
    QTest::addColumn<uint>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<display_kind>("kind");
    QTest::addColumn<float>("multiplier");
    QTest::addColumn<float>("minimum");
    QTest::addColumn<float>("maximum");
    QTest::addColumn<QString>("shown");

    const QString invalid = QStringLiteral("недействительны");
    auto row = [](const char* tag, uint number, display_kind kind, float multiplier, float minimum,
                  float maximum, const QString& shown) {
        QTest::newRow(tag) << true << number << QString() << kind << multiplier << minimum
                           << maximum << shown;
    };
    QTest::newRow("no data") << false << 0u << QString() << display_kind::number << 1.0f << 0.0f
                             << 0.0f << "Нет данных";
    QTest::newRow("string as is") << true << 0u << "ABC:1" << display_kind::hex << 2.0f << 5.0f
                                  << 6.0f << "ABC:1";
    row("hex", 255, display_kind::hex, 1, 0, 0, "000000FF");
    row("hex top", 0xFFFFFFFFu, display_kind::hex, 1, 0, 0, "FFFFFFFF");
    row("binary", 5, display_kind::binary, 1, 0, 0, "101");
    row("binary zero", 0, display_kind::binary, 1, 0, 0, "0");
    row("coord 180", 1u << 31, display_kind::coord, 360, 0, 0, "180.00000000");
    row("coord 45", 1u << 29, display_kind::coord, 360, 0, 0, "45.00000000");
    row("coord below 10 padded", 1u << 31, display_kind::coord, 18, 0, 0, " 9.00000000");
    row("coord invalid", 0xFFFFFFFFu, display_kind::coord, 0.5f, 0, 0, invalid);
    row("coord ignores range", 1u << 31, display_kind::coord, 360, 0, 1, "180.00000000");
    row("scaled", 123, display_kind::number, 0.1f, 0, 0, "12.3");
    row("six digits", 1000000, display_kind::number, 1, 0, 0, "1e+06");
    row("integral", 100, display_kind::number, 1, 0, 0, "100");
    row("above range", 200, display_kind::number, 1, 0, 100, invalid);
    row("inside range", 100, display_kind::number, 1, 0, 100, "100");
    row("max left out", 5, display_kind::number, 1, 10, 0, invalid);
    row("select formats as number", 2, display_kind::select, 1, 0, 0, "2");
    row("zero of an empty string", 0, display_kind::number, 1, 0, 0, "0");
    row("largest number exact", 0xFFFFFFFFu, display_kind::number, 1, 0, 0, "4.29497e+09");
}

void test_device_state_values::formats_values()
{
    QFETCH(bool, has_value);
    QFETCH(uint, number);
    QFETCH(QString, text);
    QFETCH(display_kind, kind);
    QFETCH(float, multiplier);
    QFETCH(float, minimum);
    QFETCH(float, maximum);
    QFETCH(QString, shown);

    const field_value value{QStringLiteral("f"), number, text};
    const field_format format{kind, multiplier, minimum, maximum};
    QCOMPARE(format_field(has_value ? &value : nullptr, format), shown);
}

void test_device_state_values::stores_decoded_fields_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("stored");

    QTest::newRow("numbers and strings")
        << QStringList{"a,L:7;b,Z8:AB;c,C:;"} << QStringList{"a=7", "b='AB'", "c=0"};
    QTest::newRow("list reads as 0") << QStringList{"v,S2:10,11;"} << QStringList{"v=0"};
    QTest::newRow("empty string is number 0") << QStringList{"s,Z4:;"} << QStringList{"s=0"};
    QTest::newRow("string cut at a colon") << QStringList{"s,Z8:a:b;"} << QStringList{"s='a'"};
    QTest::newRow("string split at a semicolon")
        << QStringList{"s,Z8:a;b;n,C:1;"} << QStringList{"s='a'", "n=1"};
    QTest::newRow("pieces without name or token skipped")
        << QStringList{"x:1;y,L:2;;:;"} << QStringList{"y=2"};
    QTest::newRow("negative reads as 0") << QStringList{"n,L:-1;"} << QStringList{"n=0"};
    QTest::newRow("later record updates in place, keeps the rest")
        << QStringList{"a,L:1;b,L:2;", "b,L:3;c,Z2:x;"} << QStringList{"a=1", "b=3", "c='x'"};
    QTest::newRow("a number replaces a string")
        << QStringList{"a,Z2:x;", "a,L:4;"} << QStringList{"a=4"};
}

void test_device_state_values::stores_decoded_fields()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, stored);

    QList<field_value> values;
    QHash<QString, int> index;
    for (const QString& text : texts) {
        store_decoded_fields(text, values, index);
    }
    QStringList got;
    for (const field_value& value : values) {
        got << value.name + QLatin1Char('=') +
                   (value.text.isEmpty() ? QString::number(value.number)
                                         : QLatin1Char('\'') + value.text + QLatin1Char('\''));
        QCOMPARE(index.value(value.name, -1), got.size() - 1);
    }
    QCOMPARE(got, stored);
}

// A text beyond the first buffer is decoded whole: a cut would show a shortened number.
void test_device_state_values::long_records_are_not_cut()
{
    QByteArray schema = "L300|";
    QByteArray record;
    for (int i = 0; i < 300; ++i) {
        record.append("\xff\xff\xff\xff", 4);
    }
    const QByteArray text = decode_record_text(schema + "big", record);
    QVERIFY(text.size() > 1024);
    QVERIFY(text.startsWith("big,L300:4294967295,"));
    QVERIFY(text.endsWith(",4294967295;"));
    QCOMPARE(text.count(','), 1 + 299);

    // A kept buffer has room for the long text; a short one after it is not mixed with it.
    std::vector<char> buffer;
    QCOMPARE(decode_record_text(schema + "big", record, buffer), text);
    QCOMPARE(decode_record_text("CS|a,b", QByteArray::fromHex("010200"), buffer),
             QByteArray("a,C:1;b,S:2;"));
    QCOMPARE(decode_record_text("L|x", QByteArray::fromHex("0100"), buffer), QByteArray("x,L:;"));
}

QTEST_GUILESS_MAIN(test_device_state_values)
#include "test_device_state_values.moc"
