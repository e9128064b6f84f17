#include "device_state_values.h"
#include "parameter_value_store.h"
#include "profile_reader.h"
#include "profile_test_support.h"
#include "track_geometry.h"
#include "tracker_commands.h"
#include "value_check.h"

#include <QDomDocument>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

const char* const parameter_kinds[] = {"integer", "string", "option", "splitter", "other"};
const char* const display_kinds[] = {"number", "binary", "hex", "coord", "select", "splitter"};
const char* const display_roles[] = {"", " role=latitude", " role=longitude", " role=course"};

QString yes(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

// One line per record, every field as read.
QString parameter_line(const profile_parameter& p)
{
    QStringList options;
    for (const profile_option& option : p.options) {
        options << option.value + ':' + option.text;
    }
    return QStringLiteral("    %1:%2 \"%3\" readonly=%4 range=%5..%6 default=\"%7\" maxlen=%8")
               .arg(p.type, QLatin1String(parameter_kinds[int(p.kind)]), p.description,
                    yes(p.readonly))
               .arg(p.minvalue)
               .arg(p.maxvalue)
               .arg(p.defaultvalue, p.has_maxlen ? QString::number(p.maxlen) : "-") +
           QStringLiteral(" read=\"%1\" write=\"%2\" master=%3 options=%4")
               .arg(p.read, p.write, yes(p.master), options.join(','));
}

QStringList page_lines(const QList<profile_page>& pages)
{
    QStringList lines;
    for (const profile_page& page : pages) {
        lines << QStringLiteral("page %1 \"%2\"").arg(page.id, page.name);
        for (const profile_command& command : page.commands) {
            lines << QStringLiteral("  command %1 \"%2\" master=%3 polldata=%4")
                         .arg(command.command, command.description, yes(command.master),
                              yes(command.polldata));
            for (const profile_parameter& parameter : command.parameters) {
                lines << parameter_line(parameter);
            }
        }
        for (const profile_parameter& parameter : page.parameters) {
            lines << parameter_line(parameter);
        }
    }
    return lines;
}

QStringList device_state_lines(const QList<profile_rawdata>& rawdata,
                               const QList<profile_column>& columns)
{
    QStringList lines;
    for (const profile_rawdata& layout : rawdata) {
        lines << QStringLiteral("rawdata %1 %2").arg(layout.id).arg(layout.schema);
    }
    for (const profile_column& column : columns) {
        lines << QStringLiteral("column");
        for (const profile_display& d : column.displays) {
            QStringList options;
            for (const profile_display_option& option : d.options) {
                options << option.id + ':' + option.text;
            }
            lines << QStringLiteral("  %1 \"%2\" unit=\"%3\" as=%4:%5 x%6 %7..%8 options=%9%10")
                         .arg(d.field, d.comment, d.unit, d.display_as,
                              QLatin1String(display_kinds[int(d.kind)]))
                         .arg(double(d.multiplier))
                         .arg(double(d.valid_range_min))
                         .arg(double(d.valid_range_max))
                         .arg(options.join(','), QLatin1String(display_roles[int(d.role)]));
        }
    }
    return lines;
}

// A coordinate as the tracker sends it: a binary fraction of its multiplier.
quint32 fraction(double degrees, double multiplier)
{
    return quint32(std::llround(degrees / multiplier * 4294967296.0));
}

// One element per line: the element at depth n is on line n.
QByteArray nested(int depth)
{
    return "<p>\n" + QByteArray("<a>\n").repeated(depth - 1) +
           QByteArray("</a>").repeated(depth - 1) + "</p>";
}

} // namespace

class test_profile_model : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reads_profiles_data();
    void reads_profiles();
    void store_scenarios_data() { add_table_rows("store_scenarios.txt"); }
    void store_scenarios();
    void formats_and_decodes_data();
    void formats_and_decodes();
    void stores_decoded_fields_data() { add_table_rows("decoded_fields.txt"); }
    void stores_decoded_fields();
    void checks_values_data();
    void checks_values();
};

// A comma locale must not leak into the numbers shown.
void test_profile_model::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void test_profile_model::reads_profiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // written to file first when not empty
    QTest::addColumn<QString>("read");       // every record as read, or the error
    const auto row = [](const char* tag, const char* file, const QByteArray& content,
                        const QString& read) { QTest::newRow(tag) << file << content << read; };

    QFile rules(profile_data("rules_expected.txt"));
    QVERIFY(rules.open(QIODevice::ReadOnly));
    // Escaping, flags, numbers and their fallbacks, kinds, and the search for elements at any
    // depth.
    row("every attribute", "rules.xml", {}, QString::fromUtf8(rules.readAll()).trimmed());
    // Rows describe no page without a record layout; a missing section gives no pages.
    const QString nothing = "expert mode\nsimple mode\ndevice state";
    row("no sections", "no_sections.xml", {}, nothing);
    // Marked coordinates are taken as marked, in any order; no other coord display is guessed.
    row("coordinates marked", "roles.xml",
        "<p><rawdata id=\"1\"/><row><display field=\"x\" display_as=\"coord\"/>"
        "<display field=\"b\" display_as=\"coord\" role=\"lon\"/>"
        "<display field=\"a\" display_as=\"coord\" role=\"lat\"/></row></p>",
        nothing + "\nrawdata 1 \ncolumn\n  x \"\" unit=\"\" as=coord:coord x1 0..0 options=\n"
                  "  b \"\" unit=\"\" as=coord:coord x1 0..0 options= role=longitude\n"
                  "  a \"\" unit=\"\" as=coord:coord x1 0..0 options= role=latitude");
    const auto too_deep = [](int line) {
        return QStringLiteral("Elements nested deeper than %1 levels Line: %2")
            .arg(max_profile_depth)
            .arg(line);
    };
    row("missing file", "none.xml", {}, "Error opening XML file " + profile_data("none.xml"));
    // Qt's own parser words its messages, and Qt 6 words them differently.
    const QString mismatch = QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
                                 ? QStringLiteral("tag mismatch")
                                 : QStringLiteral("Opening and ending tag mismatch.");
    row("malformed", "malformed.xml", {}, mismatch + " Line: 5");
    row("deepest nesting read", "deep.xml", nested(max_profile_depth), nothing);
    row("one level deeper", "deep.xml", nested(max_profile_depth + 1), too_deep(1001));
    row("deep enough to crash the parser", "deep.xml", nested(50000), too_deep(1001));
    // Past an error the stream reader cannot follow the nesting; the tags bound it, and the
    // parser has the last word on anything else, however many elements follow.
    row("error before deep nesting", "deep.xml", "<p><b></c>" + nested(max_profile_depth),
        too_deep(1000));
    const QByteArray flat = QByteArray("<a/>\n").repeated(2000) + "</p>";
    row("error before many elements", "flat.xml", "<p>\n<b></c>\n" + flat, mismatch + " Line: 2");
    // Qt 6's parser refuses an undeclared entity, like its stream reader.
    row("undeclared entity before many elements", "flat.xml",
        "<p>\n<parameter description=\"a&nbsp;b\"/>\n" + flat,
        QT_VERSION < QT_VERSION_CHECK(6, 0, 0) ? nothing : "Entity 'nbsp' not declared. Line: 2");
    row("too large", "large.xml", "<p>\n" + QByteArray(max_profile_size, ' ') + "</p>",
        QStringLiteral("Profile larger than %1 bytes Line: 2").arg(max_profile_size));
}

// Both readings report the same error and leave their lists untouched; a reading replaces them.
void test_profile_model::reads_profiles()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, read);

    QTemporaryDir dir;
    QString path = profile_data(file);
    if (!content.isEmpty()) {
        path = dir.filePath(file);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
    }
    QList<profile_page> expert{profile_page{}};
    QList<profile_page> simple{profile_page{}};
    QList<profile_rawdata> rawdata{profile_rawdata{}};
    QList<profile_column> columns;
    QString mode_error;
    QString state_error;
    const bool mode_read = read_mode_pages(path, false, expert, mode_error);
    QCOMPARE(read_device_state(path, rawdata, columns, state_error), mode_read);
    QCOMPARE(state_error, mode_error);
    if (!mode_read) {
        QCOMPARE(mode_error, read);
        QVERIFY(expert.size() == 1 && rawdata.size() == 1);
        return;
    }
    QVERIFY(read_mode_pages(path, true, simple, mode_error));
    const QStringList lines = QStringList("expert mode") + page_lines(expert) +
                              QStringList("simple mode") + page_lines(simple) +
                              QStringList("device state") + device_state_lines(rawdata, columns);
    QCOMPARE(lines.join('\n'), read);
}

void test_profile_model::store_scenarios()
{
    QFETCH(QStringList, row);
    for (int i = row.at(4).toInt(); i > 0; --i) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Entry .* names no value position"));
    }
    parameter_value_store store;
    for (const QString& entry : row.at(0).split(' ')) {
        store.add_spec_entry(entry.startsWith('!') ? entry.mid(1) : entry, entry.startsWith('!'));
    }
    for (const QString& step : row.at(1).split(' ', Qt::SkipEmptyParts)) {
        const QString argument = step.mid(step.indexOf(':') + 1);
        if (step.startsWith("reply:")) {
            store.store_response_values(argument);
        } else if (step.startsWith("clear:")) {
            store.clear_change_flags(argument);
        } else if (step.startsWith("refused:")) {
            store.restore_refused(argument);
        } else if (step.startsWith("revert:")) {
            store.revert(argument.section('.', 0, 0), argument.section('.', 1).toInt());
        } else if (step == "sent") {
            store.mark_writes_sent();
        } else {
            store.mark_value_changed(step.section('.', 0, 0),
                                     step.section('.', 1).section('=', 0, 0).toInt(),
                                     step.section('=', 1));
        }
    }
    QCOMPARE(contents(store), row.at(2));
    QCOMPARE(store.build_write_commands("d", "m").join(' '), row.at(3));
    QStringList reads;
    for (const command_values& record : store.records()) {
        reads << "AT" + record.key + "=?";
    }
    QCOMPARE(store.build_read_commands(), reads);
}

void test_profile_model::formats_and_decodes_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, display_kind kind, uint number, float multiplier,
                        float minimum, float maximum, const char* shown, const char* text = "") {
        const field_value value{"f", number, text};
        const field_format format{kind, multiplier, minimum, maximum};
        QTest::newRow(tag) << format_field(&value, format) << QString(shown);
    };

    // Further cases, shown on a page, are in device_state_records.txt.
    const char* invalid = "недействительны";
    row("string as is", display_kind::hex, 0, 2, 5, 6, "ABC:1", "ABC:1");
    row("binary zero", display_kind::binary, 0, 1, 0, 0, "0");
    row("coord below 10 padded", display_kind::coord, 1u << 31, 18, 0, 0, " 9.00000000");
    row("coord ignores range", display_kind::coord, 1u << 31, 360, 0, 1, "180.00000000");
    row("six digits", display_kind::number, 1000000, 1, 0, 0, "1e+06");
    row("above range", display_kind::number, 200, 1, 0, 100, invalid);
    row("inside range", display_kind::number, 100, 1, 0, 100, "100");
    row("max left out", display_kind::number, 5, 1, 10, 0, invalid);
    row("select formats as number", display_kind::select, 2, 1, 0, 0, "2");
    row("largest number exact", display_kind::number, 0xFFFFFFFFu, 1, 0, 0, "4.29497e+09");
    // Ties round to the even digit, as the C library's conversions do.
    row("tie in six digits", display_kind::number, 7559665, 1, 0, 0, "7.55966e+06");
    row("tie in eight decimals", display_kind::coord, 1u << 23, 1, 0, 0, " 0.00195312");

    // A text beyond the first buffer is decoded whole: a cut would show a shortened number. A kept
    // buffer has room for the long text; a short one after it is not mixed with it.
    const auto decoded = [](const char* tag, const QByteArray& got, const QByteArray& expected) {
        QTest::newRow(tag) << QString(got) << QString(expected);
    };
    const QByteArray schema = "L300|big";
    const QByteArray record = QByteArray("\xff\xff\xff\xff", 4).repeated(300);
    const QByteArray long_text =
        "big,L300:" + QByteArray("4294967295,").repeated(299) + "4294967295;";
    std::vector<char> buffer;
    decoded("long record", decode_record_text(schema, record), long_text);
    decoded("long record, kept buffer", decode_record_text(schema, record, buffer), long_text);
    decoded("short after long", decode_record_text("CS|a,b", QByteArray::fromHex("010200"), buffer),
            "a,C:1;b,S:2;");
    decoded("bytes missing", decode_record_text("L|x", QByteArray::fromHex("0100"), buffer),
            "x,L:;");

    // The track: where a record puts the van and its map address, the grid and scale bar of a
    // zoom, the projection and the fixed-size history.
    const track_fields fields{"lat", "lon", "course", 180, 360, 1};
    const auto place = [&](const char* tag, const QList<field_value>& values, const char* shown) {
        const track_state state = track_state_of(values, fields);
        QString got = state.position ? map_address(*state.position) : "no fix";
        if (state.course) {
            got += QStringLiteral(" course %1").arg(*state.course);
        }
        QTest::newRow(tag) << got << QString(shown);
    };
    const field_value lat{"lat", fraction(55.75854, 180), {}};
    const field_value lon{"lon", fraction(37.61768, 360), {}};
    const char* address = "https://www.openstreetmap.org/"
                          "?mlat=55.75854&mlon=37.61768#map=17/55.75854/37.61768";
    place("position and course", {lat, lon, {"course", 90, {}}},
          qPrintable(address + QStringLiteral(" course 90")));
    place("course of a full turn", {lon, {"course", 360, {}}, lat},
          qPrintable(address + QStringLiteral(" course 0")));
    place("no course in the record", {lat, lon}, address);
    place("no fix", {{"lat", no_fix_coordinate, {}}, lon, {"course", 90, {}}}, "no fix");
    place("no longitude yet", {lat}, "no fix");
    const auto scale = [](const char* tag, double metres_per_pixel, const char* shown) {
        QTest::newRow(tag) << QStringLiteral("%1 %2")
                                  .arg(grid_step(metres_per_pixel, 60))
                                  .arg(scale_bar_length(metres_per_pixel, 120))
                           << QString(shown);
    };
    scale("town", 1, "100 100");
    scale("street", 0.5, "50 50");
    scale("grid wider than bar", 4, "500 200");
    scale("a power of ten up", 10, "1000 1000");
    scale("just over five", 0.0851, "10 10");
    scale("no size", 0, "1 1");
    const auto kept = [](const char* tag, int capacity, const QList<geo_point>& points,
                         const char* shown) {
        track_history history(capacity);
        for (const geo_point& point : points) {
            history.add(point);
        }
        QStringList got;
        for (int i = 0; i < history.size(); ++i) {
            const QPointF metres = metres_from(history.reference(), history.at(i));
            got << QStringLiteral("%1,%2").arg(qRound(metres.x())).arg(qRound(metres.y()));
        }
        QTest::newRow(tag) << got.join(' ') << QString(shown);
    };
    kept("a degree north", 10, {{60, 30}, {61, 30}}, "0,0 0,111195");
    kept("a degree east at 60°", 10, {{60, 30}, {60, 31}}, "0,0 55598,0");
    kept("oldest overwritten", 2, {{60, 30}, {61, 30}, {62, 30}, {63, 30}}, "0,222390 0,333585");
    kept("a standing van kept once", 10, {{60, 30}, {60, 30}, {61, 30}}, "0,0 0,111195");
}

void test_profile_model::formats_and_decodes()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void test_profile_model::stores_decoded_fields()
{
    QFETCH(QStringList, row);
    QList<field_value> values;
    QHash<QString, int> index;
    for (const QString& text : row.at(0).split(' ')) {
        store_decoded_fields(text, values, index);
    }
    QStringList stored;
    for (const field_value& value : values) {
        QCOMPARE(index.value(value.name), stored.size());
        stored << value.name + '=' +
                      (value.text.isEmpty() ? QString::number(value.number)
                                            : "'" + value.text + "'");
    }
    QCOMPARE(stored.join(' '), row.at(1));
}

void test_profile_model::checks_values_data()
{
    QTest::addColumn<QString>("mode"); // simple, expert, or simple over Bluetooth
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason"); // empty: the value is written
    const auto row = [](const char* tag, const char* mode, const char* key, int position,
                        const QString& value, const char* reason) {
        QTest::newRow(tag) << mode << key << position << value << QString(reason);
    };

    row("comma", "simple", "+APN", 2, "inter,net", "запятая недопустима");
    row("carriage return", "simple", "+APN", 2, "a\rb", "возврат каретки недопустим");
    row("line feed", "simple", "+APN", 2, "a\nb", "перевод строки недопустим");
    row("NUL", "simple", "+APN", 2, QString("ab").insert(1, QChar(0)), "нулевой символ недопустим");
    // "AT+APN=7395,," and "," around the value, in UTF-8 bytes: two a letter.
    const QString filling = QString(503, QChar(0x44F)) + 'x';
    row("frame full", "simple", "+APN", 2, filling, "");
    row("a byte over the frame", "simple", "+APN", 2, filling + 'y', "команда длиннее 1021 байт");
    row("a byte over, Bluetooth", "bluetooth", "+APN", 2, filling + 'y', "");
    row("above the range", "simple", "+T", 1, "101", "больше 100");
    row("below the range", "simple", "+T", 1, "0", "меньше 1");
    row("range limits", "simple", "+T", 1, "100", "");
    row("not a number", "simple", "+T", 1, "50x", "не число");
    row("plus sign", "simple", "+T", 1, "+5", "не число");
    row("empty integer", "simple", "+T", 1, "", "пустое значение");
    row("too many digits", "simple", "+T", 1, "99999999999999999999", "больше 100");
    row("negative range", "simple", "+TEMP", 1, "-40", "");
    row("below a negative range", "simple", "+TEMP", 1, "-99999999999999999999", "меньше -40");
    row("33 characters", "simple", "+APN", 1, QString(33, 'a'), "длиннее 32 символов");
    row("32 characters", "simple", "+APN", 1, QString(32, QChar(0x44F)), "");
    row("no such option", "simple", "+CALL", 1, "7", "нет такого варианта");
    row("option as written", "simple", "+CALL", 1, "01", "");
    row("only read", "simple", "+IMEI", 1, "860000000000001", "только для чтения");
    row("read, and written by another", "simple", "+SRV", 1, "x", "");
    row("nothing names it", "simple", "+FOO", 1, "x,y", "");
    row("expert option as an integer", "expert", "+CALL", 1, "1", "");
    row("expert option text", "expert", "+CALL", 1, "01", "нет такого варианта");
    row("expert read-only", "expert", "+CALL", 2, "5", "только для чтения");
    row("expert second block", "expert", "+CALL", 3, "5", "");
}

// The rules of a profile's pages, then the frame of the command that would carry the value.
void test_profile_model::checks_values()
{
    QFETCH(QString, mode);
    QFETCH(QString, key);
    QFETCH(int, position);
    QFETCH(QString, value);

    const QByteArray profile = R"(<p><expert_mode><page id="e" name="E">
        <command command="+CALL" description="Вызовы">
          <parameter type="option" description="Режим"><option value="01" text="Да"/></parameter>
          <parameter type="integer" description="Счётчик" readonly="true"/>
        </command>
        <command command="+CALL" description="Копия">
          <parameter type="string" description="A"/><parameter type="string" description="B"/>
          <parameter type="integer" description="C" minvalue="0" maxvalue="1"/>
        </command></page></expert_mode>
        <simple_mode><page id="s" name="S">
          <parameter type="integer" description="Период" minvalue="1" maxvalue="100"
                     read="+T,#1" write="+T,#1"/>
          <parameter type="integer" description="Мороз" minvalue="-40" maxvalue="-10"
                     read="+TEMP,#1" write="+TEMP,#1"/>
          <parameter type="string" description="Точка доступа" maxlen="32"
                     read="+APN,#1" write="+APN,#1"/>
          <parameter type="string" description="Имя" read="+APN,#2" write="+APN,#2"/>
          <parameter type="option" description="Вызовы" read="+CALL,#1" write="+CALL,#1">
            <option value="01" text="Да"/></parameter>
          <parameter type="string" description="IMEI" read="+IMEI,#1;+SRV,#1" write="none"/>
          <parameter type="string" description="Сервер" write="+SRV,#1"/>
        </page></simple_mode></p>)";
    QDomDocument document;
    QString error;
    QVERIFY2(parse_profile(profile, document, error), qPrintable(error));
    const value_rules rules = mode == "expert"
                                  ? value_rules::of_expert_pages(mode_pages(document, false))
                                  : value_rules::of_simple_pages(mode_pages(document, true));
    value_verdict verdict = rules.check(key, position, value);
    if (verdict.passes()) {
        QStringList values;
        while (values.size() < position - 1) {
            values << QString();
        }
        verdict =
            check_frame(tracker_commands::set(key, "7395", values << value), mode == "bluetooth");
    }
    QTEST(refusal_text(verdict), "reason");
}

QTEST_GUILESS_MAIN(test_profile_model)
#include "test_profile_model.moc"
