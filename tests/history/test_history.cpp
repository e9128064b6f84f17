#include "history_csv.h"
#include "profile_reader.h"

#include <QDomDocument>
#include <QFile>
#include <QTest>
#include <QTimeZone>

class test_history : public QObject
{
    Q_OBJECT

private slots:
    void picks_plottable_fields_data();
    void picks_plottable_fields();
    void keeps_and_selects_samples_data();
    void keeps_and_selects_samples();
    void exports_csv_data();
    void exports_csv();
};

namespace {

// "name unit min..max" per field, then each layout's fields: "1:speed,course".
QString describe(const plot_catalogue& catalogue)
{
    QStringList fields;
    for (const plot_field& field : catalogue.fields) {
        fields << QStringLiteral("%1 %2 %3")
                      .arg(field.name, field.unit,
                           field.has_range
                               ? QStringLiteral("%1..%2").arg(field.range_min).arg(field.range_max)
                               : QStringLiteral("-"));
    }
    QList<int> ids = catalogue.by_layout.keys();
    std::sort(ids.begin(), ids.end());
    QStringList layouts;
    for (int id : ids) {
        QStringList names;
        for (int field : catalogue.by_layout.value(id)) {
            names << catalogue.fields.at(field).name;
        }
        layouts << QStringLiteral("%1:%2").arg(id).arg(names.join(','));
    }
    return fields.join(QStringLiteral("; ")) + QStringLiteral(" | ") + layouts.join(' ');
}

// Samples as "time:value" separated by spaces.
QString describe(const QVector<QPointF>& points)
{
    QStringList texts;
    for (const QPointF& point : points) {
        texts << QStringLiteral("%1:%2").arg(point.x()).arg(point.y());
    }
    return texts.join(' ');
}

} // namespace

void test_history::picks_plottable_fields_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QString>("expected");
    QFile sample(QStringLiteral(TC_SAMPLE_PROFILE));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    // Coordinates, options, bit fields and the strings shown as plain displays are left out.
    QTest::newRow("sample profile")
        << sample.readAll()
        << QStringLiteral(
               "speed км/ч 0..250; course ° 0..359; altitude м 0..9000; sats  0..32; "
               "power_voltage В 6..36; battery_voltage В 3..4.3; temperature °C -40..85; "
               "uptime ч 0..100000 | 1:speed,course,altitude,sats "
               "2:power_voltage,battery_voltage,temperature 3:uptime");
    QTest::newRow("lists, unknown fields, no range")
        << QByteArray("<rawdata id='4' schema='L2SZ4|pair,level,name'/><row>"
                      "<display field='pair'/><display field='level' unit='%'/>"
                      "<display field='ghost'/><display field='name'/></row>")
        << QStringLiteral("level % - | 4:level");
    QTest::newRow("escaped unit, a field in two layouts, shown twice")
        << QByteArray("<rawdata id='1' schema='S|v'/><rawdata id='2' schema='CS|x,v'/><row>"
                      "<display field='v' unit='м&lt;с&amp;' valid_range_max='5'/>"
                      "<display field='v' unit='x'/></row>")
        << QStringLiteral("v м<с& 0..5 | 1:v 2:v");
}

void test_history::picks_plottable_fields()
{
    QFETCH(QByteArray, profile);
    QFETCH(QString, expected);
    if (!profile.startsWith("<?xml")) {
        profile = "<profile>" + profile + "</profile>";
    }
    QDomDocument document;
    QString error;
    QVERIFY2(parse_profile(profile, document, error), qPrintable(error));
    QCOMPARE(describe(plot_catalogue_of(rawdata_layouts(document), state_columns_of(document))),
             expected);
}

void test_history::keeps_and_selects_samples_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QString>("samples");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("buckets");
    QTest::addColumn<QString>("expected");
    QTest::newRow("window cut at both ends")
        << 10 << "1:1 2:2 3:3 4:4" << 2LL << 3LL << 100 << "2:2 3:3";
    QTest::newRow("empty window") << 10 << "1:1 2:2" << 3LL << 9LL << 100 << "";
    QTest::newRow("oldest overwritten")
        << 3 << "1:1 2:2 3:3 4:4 5:5" << 0LL << 9LL << 100 << "3:3 4:4 5:5";
    QTest::newRow("window in a wrapped buffer")
        << 3 << "1:1 2:2 3:3 4:4 5:5" << 4LL << 4LL << 100 << "4:4";
    QTest::newRow("clock set back keeps order")
        << 10 << "5:1 3:2 6:3" << 5LL << 5LL << 100 << "5:1 5:2";
    QTest::newRow("thinned: each bucket's low and high in order")
        << 100 << "1:0 2:0 3:9 4:0 5:0 6:0 7:-1 8:0" << 0LL << 9LL << 2 << "1:0 3:9 5:0 7:-1";
}

void test_history::keeps_and_selects_samples()
{
    QFETCH(int, capacity);
    QFETCH(QString, samples);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, buckets);
    QFETCH(QString, expected);
    field_history history(capacity);
    for (const QString& sample : samples.split(' ')) {
        history.add(sample.section(':', 0, 0).toLongLong(), sample.section(':', 1).toDouble());
    }
    QCOMPARE(history.capacity(), capacity);
    QCOMPARE(describe(history.points(from, to, buckets)), expected);
}

void test_history::exports_csv_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<QString>("expected");
    // Layout 1 carries speed and sats, layout 2 the voltage; a line's values hold every field
    // decoded so far, so a stale speed rides along with layout 2 and must not count.
    const QString drive = QStringLiteral("1000 1 speed=123 sats=7; 1500 2 volt=12500 speed=123; "
                                         "2000 1 speed=130 sats=Z; 2000 3 speed=1");
    const char* header = "Время,\"Скорость, км/ч\",Спутники,\"Борт \"\"12 В\"\", В\"\n";
    QTest::newRow("times shared and apart") << drive << QList<int>{0, 1, 2} << 0LL << 9999LL
                                            << QString(header) + "1970-01-01 00:00:01.000,12.3,7,\n"
                                                                 "1970-01-01 00:00:01.500,,,12.5\n"
                                                                 "1970-01-01 00:00:02.000,13,,\n";
    QTest::newRow("chosen fields in a window")
        << drive << QList<int>{2, 0} << 1200LL << 2000LL
        << "Время,\"Борт \"\"12 В\"\", В\",\"Скорость, км/ч\"\n"
           "1970-01-01 00:00:01.500,12.5,\n"
           "1970-01-01 00:00:02.000,,13\n";
    QTest::newRow("nothing in the window")
        << drive << QList<int>{1} << 5000LL << 6000LL << "Время,Спутники\n";
}

void test_history::exports_csv()
{
    QFETCH(QString, lines);
    QFETCH(QList<int>, fields);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(QString, expected);
    plot_catalogue catalogue;
    catalogue.fields = {{"speed", "Скорость", "км/ч", 0.1, false, 0, 0},
                        {"sats", "Спутники", "", 1, false, 0, 0},
                        {"volt", "Борт \"12 В\"", "В", 0.001, false, 0, 0}};
    catalogue.by_layout = {{1, {0, 1}}, {2, {2}}};
    state_history history(catalogue, 10);
    // "time layout name=value...": a value "Z" is a string field's.
    for (const QString& line : lines.split(QStringLiteral("; "))) {
        QStringList parts = line.split(' ');
        const qint64 time = parts.takeFirst().toLongLong();
        const int layout = parts.takeFirst().toInt();
        QList<field_value> values;
        for (const QString& part : parts) {
            const QString value = part.section('=', 1);
            values.append({part.section('=', 0, 0), value.toUInt(), value == "Z" ? value : ""});
        }
        history.take_line(layout, values, time);
    }
    QCOMPARE(history_csv(history, fields, from, to, QTimeZone::utc()),
             "\xEF\xBB\xBF" + expected.toUtf8());
}

QTEST_GUILESS_MAIN(test_history)
#include "test_history.moc"
