#include "parameter_value_store.h"

#include <QTest>

namespace {

// "index=value" per slot, with "*" for a changed slot and "~" for one only the tracker named.
QString slots_of(const parameter_value_store& store, const QString& key)
{
    const command_values* record = store.find(key);
    if (!record) {
        return QStringLiteral("(none)");
    }
    QStringList slots_text;
    for (const value_slot& slot : record->value_slots) {
        slots_text << QStringLiteral("%1%2%3=%4")
                          .arg(slot.tracker_only ? "~" : "")
                          .arg(slot.index)
                          .arg(slot.changed ? "*" : "")
                          .arg(slot.value);
    }
    return slots_text.join(QLatin1Char(' '));
}

} // namespace

class test_parameter_value_store : public QObject
{
    Q_OBJECT

private slots:
    void registers_entries_data();
    void registers_entries();
    void master_flag_is_sticky();
    void stores_replies_data();
    void stores_replies();
    void writes_every_value_at_its_position_data();
    void writes_every_value_at_its_position();
    void edits_and_clearing();
    void read_commands_follow_first_mention();
};

void test_parameter_value_store::registers_entries_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("slots_text");
    QTest::addColumn<int>("records");

    QTest::newRow("shared position") << QStringList{"+A,#2", "+A,p2", "+A,#1"} << "+A"
                                     << "1= 2=" << 1;
    QTest::newRow("marker unchecked, extra parts ignored") << QStringList{"+A,x3,junk"} << "+A"
                                                           << "3=" << 1;
    QTest::newRow("bare name ignored") << QStringList{"+A,p2", "+DEF"} << "+DEF"
                                       << "(none)" << 1;
    QTest::newRow("none writes nothing") << QStringList{"none"} << "none"
                                         << "(none)" << 0;
    QTest::newRow("empty entry") << QStringList{""} << ""
                                 << "(none)" << 0;
    QTest::newRow("position 0 names the command") << QStringList{"+A,#0"} << "+A"
                                                  << "(none)" << 0;
    QTest::newRow("position not a number") << QStringList{"+A,#x"} << "+A"
                                           << "(none)" << 0;
    QTest::newRow("position beyond reason") << QStringList{"+A,#1001", "+A,#1000"} << "+A"
                                            << "1000=" << 1;
}

void test_parameter_value_store::registers_entries()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, key);
    QFETCH(QString, slots_text);
    QFETCH(int, records);

    parameter_value_store store;
    for (const QString& entry : entries) {
        store.add_spec_entry(entry, false);
    }
    QCOMPARE(slots_of(store, key), slots_text);
    QCOMPARE(store.records().size(), records);
}

void test_parameter_value_store::master_flag_is_sticky()
{
    parameter_value_store store;
    store.add_spec_entry("+A,#1", false);
    store.add_spec_entry("+A,#2", true);
    store.add_spec_entry("+A,#3", false);
    store.add_spec_entry("+B,#1", true);
    QVERIFY(store.find("+A")->master);
    QVERIFY(store.find("+B")->master);

    store.mark_value_changed("+A", 1, "v");
    QCOMPARE(store.build_write_commands("dev", "mst"), QStringList{"AT+A=mst,v,,,"});
}

void test_parameter_value_store::stores_replies_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("slots_text");

    QTest::newRow("fills and adds tracker slots") << "+RESP:NAME,a,b,c" << true << "1=a ~2=b 3=c";
    QTest::newRow("empty values kept") << "+RESP:NAME,,b" << true << "1= ~2=b 3=";
    QTest::newRow("no values") << "+RESP:NAME" << true << "1= 3=";
    QTest::newRow("two colons") << "+RESP:NAME,12:30" << false << "1= 3=";
    QTest::newRow("no colon") << "+RESP NAME,1" << false << "1= 3=";
    QTest::newRow("wrong head") << "xx+RESP:NAME,1" << false << "1= 3=";
    QTest::newRow("lower-case head") << "+resp:NAME,1" << false << "1= 3=";
    QTest::newRow("error without name") << "+RESP:ERROR,PASSWORD" << false << "1= 3=";
    QTest::newRow("refused command") << "+RESP:NAME,ERROR,PASSWORD" << false << "1= 3=";
    QTest::newRow("unknown key") << "+RESP:OTHER,1,2" << true << "1= 3=";
}

void test_parameter_value_store::stores_replies()
{
    QFETCH(QString, line);
    QFETCH(bool, stored);
    QFETCH(QString, slots_text);

    parameter_value_store store;
    store.add_spec_entry("+NAME,#1", false);
    store.add_spec_entry("+NAME,#3", false);
    store.mark_value_changed("+NAME", 1, "edited");
    store.clear_change_flags("+NAME");
    store.mark_value_changed("+NAME", 1, "");
    store.clear_change_flags("");

    QCOMPARE(store.store_response_values(line), stored);
    QCOMPARE(slots_of(store, "+NAME"), slots_text);
    QVERIFY(!store.find("+OTHER"));
}

void test_parameter_value_store::writes_every_value_at_its_position_data()
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

void test_parameter_value_store::writes_every_value_at_its_position()
{
    QFETCH(QString, reply);
    QFETCH(QList<int>, edited);
    QFETCH(QString, command);

    parameter_value_store store;
    store.add_spec_entry("+NAME,#3", false);
    store.add_spec_entry("+NAME,#1", false);
    store.store_response_values(reply);
    for (int index : edited) {
        store.mark_value_changed("+NAME", index, QStringLiteral("x%1").arg(index));
    }
    const QStringList expected = command.isEmpty() ? QStringList() : QStringList{command};
    QCOMPARE(store.build_write_commands("pw", "master"), expected);
}

void test_parameter_value_store::edits_and_clearing()
{
    parameter_value_store store;
    store.add_spec_entry("+A,#1", false);
    store.add_spec_entry("+B,#2", true);
    store.mark_value_changed("+A", 1, "1");
    store.mark_value_changed("+B", 2, "2");
    store.mark_value_changed("+C", 1, "dropped");
    QVERIFY(!store.find("+C"));

    store.clear_change_flags("+NOBODY");
    QCOMPARE(store.build_write_commands("d", "m"), QStringList({"AT+A=d,1,", "AT+B=m,,2,"}));

    // A reply replaces the user's value and its mark.
    store.store_response_values("+RESP:A,9");
    QCOMPARE(store.build_write_commands("d", "m"), QStringList{"AT+B=m,,2,"});

    store.mark_value_changed("+A", 1, "1");
    store.clear_change_flags("+B");
    QCOMPARE(store.build_write_commands("d", "m"), QStringList{"AT+A=d,1,"});
    store.clear_change_flags("");
    QVERIFY(store.build_write_commands("d", "m").isEmpty());
    QCOMPARE(slots_of(store, "+A"), QStringLiteral("1=1"));
}

void test_parameter_value_store::read_commands_follow_first_mention()
{
    parameter_value_store store;
    for (const char* entry : {"+B,#1", "+A,#1", "+B,#2", "bare", "+C,#1"}) {
        store.add_spec_entry(entry, false);
    }
    QCOMPARE(store.build_read_commands(), QStringList({"AT+B=?", "AT+A=?", "AT+C=?"}));
}

QTEST_GUILESS_MAIN(test_parameter_value_store)
#include "test_parameter_value_store.moc"
