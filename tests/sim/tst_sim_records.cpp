#include "device_state_source.h"
#include "record_decoder.h"
#include "record_schema.h"
#include "sim_profile.h"

#include <QtTest>

#include <vector>

namespace {

constexpr int ticks = 60;

sim_profile load(const QString& path)
{
    sim_profile profile;
    QString error;
    if (!load_sim_profile(path, profile, error)) {
        qWarning("%s", qPrintable(error));
    }
    return profile;
}

// The configurator's reading of a record: entry "name,TYPE:values" per field.
QMap<QString, QString> decode(const QString& schema, const QByteArray& record)
{
    std::vector<char> out(1 << 16);
    decode_record(schema.toUtf8().constData(),
                  reinterpret_cast<const unsigned char*>(record.constData()), out.data(),
                  out.size(), std::uint16_t(record.size()));
    QMap<QString, QString> entries;
    for (const QString& entry : QString::fromUtf8(out.data()).split(';', Qt::SkipEmptyParts)) {
        const int colon = entry.indexOf(':');
        entries.insert(entry.left(entry.indexOf(',')), entry.mid(colon + 1));
    }
    return entries;
}

QString expected_text(const record_schema::field& field, const record_schema::value& value)
{
    if (field.type == 'Z') {
        return QString::fromLatin1(value.text.left(field.count));
    }
    QStringList numbers;
    for (const quint32 number : value.numbers) {
        numbers.append(QString::number(number));
    }
    return numbers.join(',');
}

const display_spec* display_of(const sim_profile& profile, const QString& field)
{
    for (const display_spec& display : profile.displays) {
        if (display.field == field) {
            return &display;
        }
    }
    return nullptr;
}

bool luhn_valid(const QByteArray& digits)
{
    int sum = 0;
    for (int k = 0; k < digits.size(); ++k) {
        int digit = digits[digits.size() - 1 - k] - '0';
        if (k % 2 == 1) {
            digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
        }
        sum += digit;
    }
    return sum % 10 == 0;
}

} // namespace

class tst_sim_records : public QObject
{
    Q_OBJECT

private slots:
    void parses_schemas_data();
    void parses_schemas();
    void encodes_what_the_decoder_reads_data();
    void encodes_what_the_decoder_reads();
    void chooses_plausible_values();
    void streams_layouts_in_turn();
};

void tst_sim_records::parses_schemas_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("counts and names")
        << "LS2CZ15|a,b,c,imei" << QStringList{"L1 a", "S2 b", "C1 c", "Z15 imei"};
    QTest::newRow("no names") << "LL" << QStringList{"L1 ", "L1 "};
    QTest::newRow("fewer names") << "LSC|x" << QStringList{"L1 x", "S1 ", "C1 "};
    QTest::newRow("quoted name") << "CC|\"a,b\",c" << QStringList{"C1 a,b", "C1 c"};
    QTest::newRow("zero count") << "L0S|a,b" << QStringList{"L0 a", "S1 b"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("lower case") << "Ls|x" << QStringList{"error"};
    QTest::newRow("count first") << "3L|x" << QStringList{"error"};
    QTest::newRow("space") << "L S" << QStringList{"error"};
    QTest::newRow("count kept modulo 65536") << "C65537Z|n" << QStringList{"C1 n", "Z1 "};
}

void tst_sim_records::parses_schemas()
{
    QFETCH(QString, schema);
    QFETCH(QStringList, fields);

    record_schema parsed;
    QString error;
    QStringList seen;
    if (!record_schema::parse(schema, parsed, error)) {
        seen.append("error");
        QVERIFY(error.contains(schema));
    }
    for (const record_schema::field& field : parsed.fields()) {
        seen.append(QString(QLatin1Char(field.type)) + QString::number(field.count) + ' ' +
                    field.name);
    }
    QCOMPARE(seen, fields);
}

void tst_sim_records::encodes_what_the_decoder_reads_data()
{
    QTest::addColumn<QString>("profile");
    QTest::newRow("test profile") << QStringLiteral(TC_TEST_DATA "/sim_profile.xml");
    QTest::newRow("sample profile") << QStringLiteral(TC_TEST_DATA "/../../profiles/profile.xml");
}

void tst_sim_records::encodes_what_the_decoder_reads()
{
    QFETCH(QString, profile);

    const sim_profile loaded = load(profile);
    const device_state_source source(loaded.rawdata, loaded.displays);
    QVERIFY(source.warnings().isEmpty());
    QCOMPARE(source.layout_count(), loaded.rawdata.size());
    QVERIFY(source.layout_count() >= 2);
    for (int layout = 0; layout < source.layout_count(); ++layout) {
        const record_schema& schema = source.layout_schema(layout);
        const QString schema_text = loaded.rawdata[layout].schema;
        for (int tick = 0; tick < ticks; ++tick) {
            const QMap<QString, QString> decoded = decode(schema_text, source.record(layout, tick));
            QCOMPARE(decoded.size(), schema.fields().size());
            for (const record_schema::field& field : schema.fields()) {
                QCOMPARE(decoded.value(field.name),
                         expected_text(field, source.field_value(field, tick)));
            }
        }
    }
}

void tst_sim_records::chooses_plausible_values()
{
    const sim_profile profile = load(TC_TEST_DATA "/sim_profile.xml");
    const device_state_source source(profile.rawdata, profile.displays);
    QMap<QString, QSet<quint32>> seen;
    for (int layout = 0; layout < source.layout_count(); ++layout) {
        for (const record_schema::field& field : source.layout_schema(layout).fields()) {
            const display_spec* display = display_of(profile, field.name);
            for (int tick = 0; tick < ticks; ++tick) {
                const record_schema::value value = source.field_value(field, tick);
                if (field.type == 'Z') {
                    QVERIFY(!value.text.isEmpty());
                    continue;
                }
                QCOMPARE(value.numbers.size(), field.count);
                const quint32 number = value.numbers.first();
                QVERIFY(number <= record_schema::max_number(field.type));
                seen[field.name].insert(number);
                if (display == nullptr) {
                    continue;
                }
                const double scaled = double(number) * double(display->multiplier);
                if (display->display_as == "coord") {
                    const double degrees = scaled / 4294967296.0;
                    QVERIFY2(degrees > 37.0 && degrees < 57.0, qPrintable(field.name));
                } else if (display->display_as == "select") {
                    QVERIFY(QStringList({"0", "3", "5"}).contains(QString::number(number)));
                } else if (display->valid_range_min != 0.0f || display->valid_range_max != 0.0f) {
                    QVERIFY2(scaled >= double(display->valid_range_min) &&
                                 scaled <= double(display->valid_range_max),
                             qPrintable(field.name + ' ' + QString::number(scaled)));
                }
            }
        }
    }
    // Everything numeric moves: a state page that never changes would hide decoding faults.
    for (auto it = seen.begin(); it != seen.end(); ++it) {
        QVERIFY2(it.value().size() > 2, qPrintable(it.key()));
    }
    const record_schema::field imei{'Z', 15, QStringLiteral("imei")};
    const QByteArray digits = source.field_value(imei, 0).text;
    QCOMPARE(digits.size(), 15);
    QVERIFY(QRegularExpression("^[0-9]{15}$").match(QString::fromLatin1(digits)).hasMatch());
    QVERIFY(luhn_valid(digits));
}

void tst_sim_records::streams_layouts_in_turn()
{
    const sim_profile profile = load(TC_TEST_DATA "/sim_profile.xml");
    device_state_source source(profile.rawdata, profile.displays);
    for (int tick = 0; tick < 6; ++tick) {
        const QList<QByteArray> fields = source.next_line().split(',');
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields[0], QByteArray("$SD"));
        QCOMPARE(fields[1].toInt(), source.layout_id(tick % 2));
        QCOMPARE(QByteArray::fromBase64(fields[2]), source.record(tick % 2, tick));
    }
    const device_state_source empty({}, {});
    QVERIFY(!empty.has_records());
    device_state_source broken({{4, QStringLiteral("Lx|a")}}, {});
    QVERIFY(!broken.has_records());
    QCOMPARE(broken.warnings().size(), 1);
    QCOMPARE(broken.next_line(), QByteArray());
}

QTEST_GUILESS_MAIN(tst_sim_records)
#include "tst_sim_records.moc"
