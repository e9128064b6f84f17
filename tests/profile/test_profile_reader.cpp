#include "profile_reader.h"

#include <QDomDocument>
#include <QTest>

namespace {

QString data_path(const char* name)
{
    return QStringLiteral(TC_TEST_DATA "/profile/") + QLatin1String(name);
}

QList<profile_page> pages_of(const char* file, bool simple_mode)
{
    QList<profile_page> pages;
    QString error;
    if (!read_mode_pages(data_path(file), simple_mode, pages, error)) {
        qWarning() << error;
    }
    return pages;
}

} // namespace

class test_profile_reader : public QObject
{
    Q_OBJECT

private slots:
    void expert_pages_follow_descendant_search();
    void expert_attributes_data();
    void expert_attributes();
    void simple_pages();
    void device_state_section();
    void missing_sections_give_nothing();
    void errors_carry_the_user_text_data();
    void errors_carry_the_user_text();
};

void test_profile_reader::expert_pages_follow_descendant_search()
{
    const QList<profile_page> pages = pages_of("rules.xml", false);
    QStringList names;
    for (const profile_page& page : pages) {
        names << page.id + QLatin1Char('/') + QString::number(page.commands.size());
    }
    // Only the first "expert_mode" counts; pages nested deeper below it are found in order.
    QCOMPARE(names, QStringList({"a&amp;b/2", "p2/1", "empty/0"}));
    QCOMPARE(pages.at(0).name, QStringLiteral("&lt;Сеть&gt;"));
    QCOMPARE(pages.at(0).commands.at(0).parameters.size(), 3);
    QVERIFY(pages.at(0).parameters.isEmpty());
}

void test_profile_reader::expert_attributes_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");

    const QList<profile_page> pages = pages_of("rules.xml", false);
    QVERIFY(pages.size() == 3);
    const profile_command& apn = pages.at(0).commands.at(0);
    const profile_command& abc = pages.at(0).commands.at(1);
    const profile_command& x = pages.at(1).commands.at(0);
    auto yes = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };

    QTest::newRow("description escaped") << apn.description << "Точка &quot;доступа&quot;";
    QTest::newRow("capital TRUE is false") << yes(apn.master) << "false";
    QTest::newRow("polldata true") << yes(apn.polldata) << "true";
    QTest::newRow("polldata True is false") << yes(abc.polldata) << "false";
    QTest::newRow("polldata 1 is false") << yes(x.polldata) << "false";
    QTest::newRow("parameter description not escaped")
        << apn.parameters.at(0).description << "Имя & точки";
    QTest::newRow("default value not escaped") << apn.parameters.at(0).defaultvalue << "a<b";
    QTest::newRow("empty maxlen is absent") << yes(apn.parameters.at(0).has_maxlen) << "false";
    QTest::newRow("maxlen") << QString::number(apn.parameters.at(2).maxlen) << "12";
    QTest::newRow("readonly") << yes(apn.parameters.at(2).readonly) << "true";
    QTest::newRow("missing range") << QStringLiteral("%1..%2")
                                          .arg(apn.parameters.at(1).minvalue)
                                          .arg(apn.parameters.at(1).maxvalue)
                                   << "0..0";
    QTest::newRow("option value as written") << x.parameters.at(0).options.at(0).value << "07";
    QTest::newRow("unknown type kept") << x.parameters.at(1).type << "float";
}

void test_profile_reader::expert_attributes()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void test_profile_reader::simple_pages()
{
    const QList<profile_page> pages = pages_of("rules.xml", true);
    QCOMPARE(pages.size(), 1);
    QVERIFY(pages.at(0).commands.isEmpty());
    const QList<profile_parameter>& parameters = pages.at(0).parameters;
    QCOMPARE(parameters.size(), 2);
    QCOMPARE(parameters.at(0).read, QStringLiteral("+TRK,#1"));
    QCOMPARE(parameters.at(1).write, QStringLiteral("none"));
    QVERIFY(parameters.at(1).master);
}

void test_profile_reader::device_state_section()
{
    QList<profile_rawdata> rawdata;
    QList<profile_column> rows;
    QString error;
    QVERIFY(read_device_state(data_path("rules.xml"), rawdata, rows, error));

    QCOMPARE(rawdata.size(), 2);
    QCOMPARE(rawdata.at(0).id, 7);
    QCOMPARE(rawdata.at(0).schema, QStringLiteral("LS|a,&quot;b&quot;"));
    QCOMPARE(rawdata.at(1).id, 0);

    // Rows anywhere count, an empty row keeps its column, a fourth row has no column.
    QCOMPARE(rows.size(), device_state_columns);
    QCOMPARE(rows.at(0).displays.size(), 2);
    QCOMPARE(rows.at(1).displays.size(), 1);
    QCOMPARE(rows.at(2).displays.size(), 0);

    const profile_display& speed = rows.at(0).displays.at(0);
    QCOMPARE(speed.unit, QStringLiteral("км/ч"));
    QCOMPARE(speed.multiplier, 0.1f);
    QCOMPARE(speed.valid_range_max, 250.0f);
    QCOMPARE(speed.display_as, QString());

    const profile_display& mode = rows.at(0).displays.at(1);
    QCOMPARE(mode.options.size(), 2);
    QCOMPARE(mode.options.at(0).text, QStringLiteral("&lt;движение&gt;"));
    QCOMPARE(mode.options.at(1).id, QStringLiteral("default"));

    const profile_display& lat = rows.at(1).displays.at(0);
    QCOMPARE(lat.multiplier, 1.0f);
    QCOMPARE(lat.valid_range_min, 0.0f);
    QCOMPARE(lat.comment, QString());
}

void test_profile_reader::missing_sections_give_nothing()
{
    QString error;
    QList<profile_page> pages;
    QVERIFY(read_mode_pages(data_path("no_sections.xml"), false, pages, error));
    QVERIFY(pages.isEmpty());
    QVERIFY(read_mode_pages(data_path("no_sections.xml"), true, pages, error));
    QVERIFY(pages.isEmpty());

    // Rows describe no page without a record layout.
    QList<profile_rawdata> rawdata;
    QList<profile_column> rows;
    QVERIFY(read_device_state(data_path("no_sections.xml"), rawdata, rows, error));
    QVERIFY(rawdata.isEmpty());
    QVERIFY(rows.isEmpty());
    QVERIFY(error.isEmpty());
}

void test_profile_reader::errors_carry_the_user_text_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");

    const QString missing = data_path("does_not_exist.xml");
    QTest::newRow("missing file") << missing << QStringLiteral("Error opening XML file ") + missing;
    QTest::newRow("malformed") << data_path("malformed.xml")
                               << QStringLiteral("tag mismatch Line: 5");
}

void test_profile_reader::errors_carry_the_user_text()
{
    QFETCH(QString, path);
    QFETCH(QString, error);

    QList<profile_page> pages{profile_page{}};
    QString mode_error;
    QVERIFY(!read_mode_pages(path, false, pages, mode_error));
    QCOMPARE(mode_error, error);
    QCOMPARE(pages.size(), 1);

    QList<profile_rawdata> rawdata;
    QList<profile_column> rows;
    QString state_error;
    QVERIFY(!read_device_state(path, rawdata, rows, state_error));
    QCOMPARE(state_error, error);
}

QTEST_GUILESS_MAIN(test_profile_reader)
#include "test_profile_reader.moc"
