#include "device_state_values.h"
#include "parameter_value_store.h"
#include "profile_reader.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(display_kind)

namespace {

QString data_path(const QString& name)
{
    return QStringLiteral(TC_TEST_DATA "/profile/") + name;
}

QList<profile_page> pages_of(bool simple_mode)
{
    QList<profile_page> pages;
    QString error;
    if (!read_mode_pages(data_path("rules.xml"), simple_mode, pages, error)) {
        qWarning() << error;
    }
    return pages;
}

QString yes(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

// One element per line: the element at depth n is on line n.
QByteArray nested(int depth)
{
    return "<p>\n" + QByteArray("<a>\n").repeated(depth - 1) +
           QByteArray("</a>").repeated(depth - 1) + "</p>";
}

// "key:slots" per record, a slot as "index=value" with "*" when changed and "~" when only the
// tracker named it, "!" after a master record.
QString contents(const parameter_value_store& store)
{
    QStringList records;
    for (const command_values& record : store.records()) {
        QStringList slots_text;
        for (const value_slot& slot : record.value_slots) {
            slots_text << QStringLiteral("%1%2%3=%4")
                              .arg(slot.tracker_only ? "~" : "")
                              .arg(slot.index)
                              .arg(slot.changed ? "*" : "")
                              .arg(slot.value);
        }
        records << record.key + ':' + slots_text.join(' ') + (record.master ? "!" : "");
    }
    return records.join(QStringLiteral(" | "));
}

// Positions 1 and 3 of +NAME, registered in reverse.
parameter_value_store name_store()
{
    parameter_value_store store;
    store.add_spec_entry("+NAME,#3", false);
    store.add_spec_entry("+NAME,#1", false);
    return store;
}

} // namespace

class test_profile_model : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reads_attributes_data();
    void reads_attributes();
    void refuses_unreadable_profiles_data();
    void refuses_unreadable_profiles();
    void registers_entries_data();
    void registers_entries();
    void stores_replies_data();
    void stores_replies();
    void writes_every_value_at_its_position_data();
    void writes_every_value_at_its_position();
    void edits_saves_and_refusals();
    void formats_values_data();
    void formats_values();
    void stores_decoded_fields_data();
    void stores_decoded_fields();
    void long_records_are_not_cut();
};

// A comma locale must not leak into the numbers shown.
void test_profile_model::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void test_profile_model::reads_attributes_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* tag, const QString& got, const QString& expected) {
        QTest::newRow(tag) << got << expected;
    };

    const QList<profile_page> pages = pages_of(false);
    QStringList outline;
    for (const profile_page& page : pages) {
        outline << page.id + '/' + QString::number(page.commands.size());
    }
    // Only the first "expert_mode" counts; pages nested deeper below it are found in order.
    row("expert pages", outline.join(' '), "a&amp;b/2 p2/1 empty/0");
    if (pages.size() != 3) {
        return;
    }
    const profile_command& apn = pages.at(0).commands.at(0);
    const profile_command& x = pages.at(1).commands.at(0);
    row("page name escaped", pages.at(0).name, "&lt;Сеть&gt;");
    row("description escaped", apn.description, "Точка &quot;доступа&quot;");
    row("parameters at any depth", QString::number(apn.parameters.size()), "3");
    row("flags: TRUE, True and 1 are false",
        yes(apn.master) + yes(pages.at(0).commands.at(1).polldata) + yes(x.polldata),
        "falsefalsefalse");
    row("polldata, master", yes(apn.polldata) + yes(x.master), "truetrue");
    row("texts as written", apn.parameters.at(0).description + apn.parameters.at(0).defaultvalue,
        "Имя & точкиa<b");
    row("empty maxlen is absent", yes(apn.parameters.at(0).has_maxlen), "false");
    row("maxlen, readonly",
        QString::number(apn.parameters.at(2).maxlen) + yes(apn.parameters.at(2).readonly),
        "12true");
    row("missing range",
        QStringLiteral("%1..%2")
            .arg(apn.parameters.at(1).minvalue)
            .arg(apn.parameters.at(1).maxvalue),
        "0..0");
    row("option value as written", x.parameters.at(0).options.at(0).value, "07");
    row("unknown type kept",
        x.parameters.at(1).type + QString::number(int(x.parameters.at(1).kind)),
        "float" + QString::number(int(parameter_kind::other)));

    const QList<profile_page> simple = pages_of(true);
    row("simple pages", QString::number(simple.size()), "1");
    const profile_parameter& period = simple.at(0).parameters.at(0);
    const profile_parameter& mode = simple.at(0).parameters.at(1);
    row("entries as written", period.read + ' ' + mode.write, "+TRK,#1 none");
    row("kinds: integer, capitalised",
        QStringLiteral("%1 %2").arg(int(period.kind)).arg(int(mode.kind)),
        QStringLiteral("%1 %2").arg(int(parameter_kind::integer)).arg(int(parameter_kind::other)));

    QList<profile_rawdata> rawdata;
    QList<profile_column> columns;
    QString error;
    read_device_state(data_path("rules.xml"), rawdata, columns, error);
    QStringList layouts;
    for (const profile_rawdata& layout : rawdata) {
        layouts << QString::number(layout.id) + ' ' + layout.schema;
    }
    row("record layouts", layouts.join(" | "), "7 LS|a,&quot;b&quot; | 0 C|c");
    // Rows anywhere count, an empty row keeps its column, a fourth row has no column.
    QStringList displays;
    for (const profile_column& column : columns) {
        QStringList lines;
        for (const profile_display& display : column.displays) {
            // Numbers that are not finite fall back like text that is not a number.
            lines << QStringLiteral("%1 %2 %3..%4 %5")
                         .arg(display.field)
                         .arg(double(display.multiplier))
                         .arg(double(display.valid_range_min))
                         .arg(double(display.valid_range_max))
                         .arg(int(display.kind));
        }
        displays << lines.join(", ");
    }
    row("columns", displays.join(" | "),
        QStringLiteral("speed 0.1 0..250 %1, mode 1 0..0 %2 | lat 1 0..0 %3, nan 1 0..0 %1, "
                       "big 1 0..1.5 %4 | ")
            .arg(int(display_kind::number))
            .arg(int(display_kind::select))
            .arg(int(display_kind::coord))
            .arg(int(display_kind::splitter)));
    const profile_display& mode_line = columns.at(0).displays.at(1);
    row("unit escaped", columns.at(0).displays.at(0).unit, "км/ч");
    row("select options escaped", mode_line.options.at(0).text + ' ' + mode_line.options.at(1).id,
        "&lt;движение&gt; default");

    // Rows describe no page without a record layout; a missing section gives no pages.
    QList<profile_page> none;
    read_device_state(data_path("no_sections.xml"), rawdata, columns, error);
    read_mode_pages(data_path("no_sections.xml"), false, none, error);
    row("nothing to read", QString::number(rawdata.size() + columns.size() + none.size()), "0");
}

void test_profile_model::reads_attributes()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void test_profile_model::refuses_unreadable_profiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // written to file first when not empty
    QTest::addColumn<QString>("error");      // empty: the profile is read

    const QString too_deep = QStringLiteral("Elements nested deeper than %1 levels Line: %2")
                                 .arg(max_profile_depth)
                                 .arg(max_profile_depth + 1);
    QTest::newRow("missing file") << "does_not_exist.xml" << QByteArray()
                                  << "Error opening XML file " + data_path("does_not_exist.xml");
    QTest::newRow("malformed") << "malformed.xml" << QByteArray() << "tag mismatch Line: 5";
    QTest::newRow("deepest nesting read") << "deep.xml" << nested(max_profile_depth) << "";
    QTest::newRow("one level deeper") << "deep.xml" << nested(max_profile_depth + 1) << too_deep;
    QTest::newRow("deep enough to crash the parser") << "deep.xml" << nested(50000) << too_deep;
    // Past an error the stream reader cannot follow the nesting; the tags that follow bound it.
    QTest::newRow("error before deep nesting")
        << "deep.xml"
        << "<p><b></c>" + nested(max_profile_depth) << "Opening and ending tag mismatch. Line: 1";
    QTest::newRow("too large")
        << "large.xml"
        << "<p>\n" + QByteArray(max_profile_size, ' ') + "</p>"
        << QStringLiteral("Profile larger than %1 bytes Line: 2").arg(max_profile_size);
}

void test_profile_model::refuses_unreadable_profiles()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QString path = data_path(file);
    if (!content.isEmpty()) {
        path = dir.filePath(file);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
    }
    // Both readings report the same text and leave their lists untouched.
    QList<profile_page> pages{profile_page{}};
    QString mode_error;
    QCOMPARE(read_mode_pages(path, false, pages, mode_error), error.isEmpty());
    QCOMPARE(mode_error, error);
    QCOMPARE(pages.size(), error.isEmpty() ? 0 : 1);
    QList<profile_rawdata> rawdata;
    QList<profile_column> columns;
    QString state_error;
    QCOMPARE(read_device_state(path, rawdata, columns, state_error), error.isEmpty());
    QCOMPARE(state_error, error);
}

void test_profile_model::registers_entries_data()
{
    QTest::addColumn<QStringList>("entries"); // "!" in front: registered as master
    QTest::addColumn<QString>("registered");
    QTest::addColumn<int>("warnings");

    QTest::newRow("shared position, slots in order")
        << QStringList{"+A,#2", "+A,p2", "+A,#1"} << "+A:1= 2=" << 0;
    QTest::newRow("marker unchecked, extra parts ignored")
        << QStringList{"+A,x3,junk"} << "+A:3=" << 0;
    QTest::newRow("keys in order of first mention")
        << QStringList{"+B,#1", "+A,#1", "+B,#2"} << "+B:1= 2= | +A:1=" << 0;
    QTest::newRow("master is sticky")
        << QStringList{"+A,#1", "!+A,#2", "+A,#3", "!+B,#1"} << "+A:1= 2= 3=! | +B:1=!" << 0;
    QTest::newRow("bare name, none and empty name nothing")
        << QStringList{"+DEF", "none", ""} << "" << 0;
    // A bad position still makes its command known, so that it is read.
    QTest::newRow("position 0") << QStringList{"+A,#0"} << "+A:" << 1;
    QTest::newRow("marker without number") << QStringList{"+VER,1"} << "+VER:" << 1;
    QTest::newRow("position not a number") << QStringList{"+A,#x", "+A,#2"} << "+A:2=" << 1;
    QTest::newRow("position beyond reason")
        << QStringList{"+A,#1001", "!+A,#1000"} << "+A:1000=!" << 1;
}

void test_profile_model::registers_entries()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, registered);
    QFETCH(int, warnings);

    for (int i = 0; i < warnings; ++i) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Entry .* names no value position"));
    }
    parameter_value_store store;
    for (const QString& entry : entries) {
        store.add_spec_entry(entry.startsWith('!') ? entry.mid(1) : entry, entry.startsWith('!'));
    }
    QCOMPARE(contents(store), registered);
    QStringList reads;
    for (const command_values& record : store.records()) {
        reads << "AT" + record.key + "=?";
    }
    QCOMPARE(store.build_read_commands(), reads);
}

void test_profile_model::stores_replies_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("registered");

    const QString untouched = "+NAME:1= 3=";
    QTest::newRow("fills and adds tracker slots")
        << "+RESP:NAME,a,b,c" << true << "+NAME:1=a ~2=b 3=c";
    QTest::newRow("empty values kept") << "+RESP:NAME,,b" << true << "+NAME:1= ~2=b 3=";
    QTest::newRow("no values") << "+RESP:NAME" << true << untouched;
    QTest::newRow("unknown key") << "+RESP:OTHER,1,2" << true << untouched;
    QTest::newRow("two colons") << "+RESP:NAME,12:30" << false << untouched;
    QTest::newRow("no colon") << "+RESP NAME,1" << false << untouched;
    QTest::newRow("wrong head") << "xx+RESP:NAME,1" << false << untouched;
    QTest::newRow("lower-case head") << "+resp:NAME,1" << false << untouched;
    QTest::newRow("error without name") << "+RESP:ERROR,PASSWORD" << false << untouched;
    QTest::newRow("refused command") << "+RESP:NAME,ERROR,PASSWORD" << false << untouched;
    QTest::newRow("refusal of unknown kind") << "+RESP:NAME,ERROR,BUSY" << false << untouched;
}

void test_profile_model::stores_replies()
{
    QFETCH(QString, line);
    QFETCH(bool, stored);
    QFETCH(QString, registered);

    parameter_value_store store = name_store();
    QCOMPARE(store.store_response_values(line), stored);
    QCOMPARE(contents(store), registered);
}

void test_profile_model::writes_every_value_at_its_position_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QList<int>>("edited");
    QTest::addColumn<QString>("command");

    QTest::newRow("after reply, edit 3")
        << "+RESP:NAME,a,b,c" << QList<int>{3} << "AT+NAME=pw,,,x3,";
    QTest::newRow("before reply, edit 3") << "" << QList<int>{3} << "AT+NAME=pw,,,x3,";
    QTest::newRow("before reply, edit 1") << "" << QList<int>{1} << "AT+NAME=pw,x1,,,";
    QTest::newRow("before reply, edit both") << "" << QList<int>{1, 3} << "AT+NAME=pw,x1,,x3,";
    QTest::newRow("tracker slot never written")
        << "+RESP:NAME,a,b,c,d" << QList<int>{2, 3} << "AT+NAME=pw,,,x3,,";
    QTest::newRow("nothing edited") << "+RESP:NAME,a,b,c" << QList<int>{} << "";
    QTest::newRow("edit of unknown position dropped") << "" << QList<int>{2, 7} << "";
}

void test_profile_model::writes_every_value_at_its_position()
{
    QFETCH(QString, reply);
    QFETCH(QList<int>, edited);
    QFETCH(QString, command);

    parameter_value_store store = name_store();
    store.store_response_values(reply);
    for (int index : edited) {
        store.mark_value_changed("+NAME", index, QStringLiteral("x%1").arg(index));
    }
    QCOMPARE(store.build_write_commands("pw", "master").join('\n'), command);
}

void test_profile_model::edits_saves_and_refusals()
{
    parameter_value_store store;
    store.add_spec_entry("+A,#1", false);
    store.add_spec_entry("+B,#2", true);
    store.mark_value_changed("+A", 1, "1");
    store.mark_value_changed("+B", 2, "2");
    store.mark_value_changed("+C", 1, "dropped");
    store.clear_change_flags("+NOBODY");
    QCOMPARE(contents(store), QStringLiteral("+A:1*=1 | +B:2*=2!"));
    QCOMPARE(store.build_write_commands("d", "m"), QStringList({"AT+A=d,1,", "AT+B=m,,2,"}));

    // A reply replaces the user's value and its mark; clearing one key leaves the others.
    store.store_response_values("+RESP:A,9");
    store.mark_value_changed("+B", 2, "3");
    store.clear_change_flags("+A");
    QCOMPARE(contents(store), QStringLiteral("+A:1=9 | +B:2*=3!"));

    // A sent write awaits the tracker: a refusal makes it due again, an answer settles it.
    store.mark_value_changed("+A", 1, "5");
    store.mark_writes_sent();
    QVERIFY(store.build_write_commands("d", "m").isEmpty());
    store.restore_refused("+B");
    store.store_response_values("+RESP:A,5");
    store.restore_refused("+A");
    QCOMPARE(store.build_write_commands("d", "m"), QStringList({"AT+B=m,,3,"}));
    store.clear_change_flags("");
    QVERIFY(store.build_write_commands("d", "m").isEmpty());
}

void test_profile_model::formats_values_data()
{
    QTest::addColumn<display_kind>("kind");
    QTest::addColumn<uint>("number");
    QTest::addColumn<QString>("text"); // "-": no value decoded
    QTest::addColumn<float>("multiplier");
    QTest::addColumn<float>("minimum");
    QTest::addColumn<float>("maximum");
    QTest::addColumn<QString>("shown");

    const QString invalid = QStringLiteral("недействительны");
    const auto row = [](const char* tag, display_kind kind, uint number, float multiplier,
                        float minimum, float maximum, const QString& shown,
                        const QString& text = QString()) {
        QTest::newRow(tag) << kind << number << text << multiplier << minimum << maximum << shown;
    };
    row("no data", display_kind::number, 0, 1, 0, 0, "Нет данных", "-");
    row("string as is", display_kind::hex, 0, 2, 5, 6, "ABC:1", "ABC:1");
    row("hex", display_kind::hex, 255, 1, 0, 0, "000000FF");
    row("hex top", display_kind::hex, 0xFFFFFFFFu, 1, 0, 0, "FFFFFFFF");
    row("binary", display_kind::binary, 5, 1, 0, 0, "101");
    row("binary zero", display_kind::binary, 0, 1, 0, 0, "0");
    row("coord 180", display_kind::coord, 1u << 31, 360, 0, 0, "180.00000000");
    row("coord 45", display_kind::coord, 1u << 29, 360, 0, 0, "45.00000000");
    row("coord below 10 padded", display_kind::coord, 1u << 31, 18, 0, 0, " 9.00000000");
    row("coord invalid", display_kind::coord, 0xFFFFFFFFu, 0.5f, 0, 0, invalid);
    row("coord ignores range", display_kind::coord, 1u << 31, 360, 0, 1, "180.00000000");
    row("scaled", display_kind::number, 123, 0.1f, 0, 0, "12.3");
    row("six digits", display_kind::number, 1000000, 1, 0, 0, "1e+06");
    row("above range", display_kind::number, 200, 1, 0, 100, invalid);
    row("inside range", display_kind::number, 100, 1, 0, 100, "100");
    row("max left out", display_kind::number, 5, 1, 10, 0, invalid);
    row("select formats as number", display_kind::select, 2, 1, 0, 0, "2");
    row("largest number exact", display_kind::number, 0xFFFFFFFFu, 1, 0, 0, "4.29497e+09");
    // Ties round to the even digit, as the C library's conversions do.
    row("tie in six digits", display_kind::number, 7559665, 1, 0, 0, "7.55966e+06");
    row("tie in eight decimals", display_kind::coord, 1u << 23, 1, 0, 0, " 0.00195312");
}

void test_profile_model::formats_values()
{
    QFETCH(display_kind, kind);
    QFETCH(uint, number);
    QFETCH(QString, text);
    QFETCH(float, multiplier);
    QFETCH(float, minimum);
    QFETCH(float, maximum);
    QFETCH(QString, shown);

    const field_value value{QStringLiteral("f"), number, text};
    const field_format format{kind, multiplier, minimum, maximum};
    QCOMPARE(format_field(text == "-" ? nullptr : &value, format), shown);
}

void test_profile_model::stores_decoded_fields_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("stored");

    QTest::newRow("numbers and strings") << QStringList{"a,L:7;b,Z8:AB;c,C:;"} << "a=7 b='AB' c=0";
    QTest::newRow("list reads as 0") << QStringList{"v,S2:10,11;"} << "v=0";
    QTest::newRow("empty string is number 0") << QStringList{"s,Z4:;"} << "s=0";
    QTest::newRow("string cut at a colon") << QStringList{"s,Z8:a:b;"} << "s='a'";
    QTest::newRow("string split at a semicolon") << QStringList{"s,Z8:a;b;n,C:1;"} << "s='a' n=1";
    QTest::newRow("pieces without name or token skipped") << QStringList{"x:1;y,L:2;;:;"} << "y=2";
    QTest::newRow("negative reads as 0") << QStringList{"n,L:-1;"} << "n=0";
    QTest::newRow("later record updates in place, keeps the rest")
        << QStringList{"a,L:1;b,L:2;", "b,L:3;c,Z2:x;"} << "a=1 b=3 c='x'";
    QTest::newRow("a number replaces a string") << QStringList{"a,Z2:x;", "a,L:4;"} << "a=4";
}

void test_profile_model::stores_decoded_fields()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, stored);

    QList<field_value> values;
    QHash<QString, int> index;
    for (const QString& text : texts) {
        store_decoded_fields(text, values, index);
    }
    QStringList got;
    for (const field_value& value : values) {
        QCOMPARE(index.value(value.name, -1), got.size());
        got << value.name + '=' +
                   (value.text.isEmpty() ? QString::number(value.number) : "'" + value.text + "'");
    }
    QCOMPARE(got.join(' '), stored);
}

// A text beyond the first buffer is decoded whole: a cut would show a shortened number.
void test_profile_model::long_records_are_not_cut()
{
    const QByteArray schema = "L300|big";
    const QByteArray record = QByteArray("\xff\xff\xff\xff", 4).repeated(300);
    const QByteArray text = decode_record_text(schema, record);
    QVERIFY(text.size() > 1024);
    QVERIFY(text.startsWith("big,L300:4294967295,"));
    QVERIFY(text.endsWith(",4294967295;"));
    QCOMPARE(text.count(','), 1 + 299);

    // A kept buffer has room for the long text; a short one after it is not mixed with it.
    std::vector<char> buffer;
    QCOMPARE(decode_record_text(schema, record, buffer), text);
    QCOMPARE(decode_record_text("CS|a,b", QByteArray::fromHex("010200"), buffer),
             QByteArray("a,C:1;b,S:2;"));
    QCOMPARE(decode_record_text("L|x", QByteArray::fromHex("0100"), buffer), QByteArray("x,L:;"));
}

QTEST_GUILESS_MAIN(test_profile_model)
#include "test_profile_model.moc"
