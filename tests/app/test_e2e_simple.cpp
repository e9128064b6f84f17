// The whole program in simple mode against the simulated tracker: the poll fills the forms, and
// the save button writes exactly what the user changed.

#include "mainwindow.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QComboBox>
#include <QCommandLinkButton>
#include <QLineEdit>
#include <QTest>

namespace {

const QMap<QString, QStringList> tracker_values{
    {"+APN", {"apn.tracker", "user7"}}, {"+GSM", {"3", "0"}}, {"+ROAM", {"0"}}, {"+PIN", {"1111"}},
    {"+TRACK", {"120", "42"}},          {"+ODO", {"5555"}}};

const QStringList poll{"AT+APN=?", "AT+GSM=?", "AT+ROAM=?", "AT+PIN=?", "AT+TRACK=?", "AT+ODO=?"};

const QString nothing_changed = QStringLiteral("Вы не изменили ни одного параметра");

QWidget* input(tab_xml_widget& pages, int tab, int row)
{
    return pages.page_list[tab].parameters[row]->widget;
}

QLineEdit* edit(tab_xml_widget& pages, int tab, int row)
{
    return qobject_cast<QLineEdit*>(input(pages, tab, row));
}

QComboBox* roaming(tab_xml_widget& pages)
{
    return qobject_cast<QComboBox*>(input(pages, 0, 2));
}

// Types over the whole text, as a user would.
void retype(QLineEdit* line, const QString& text)
{
    line->selectAll();
    QTest::keyClicks(line, text);
}

tracker_session::options simple_options(const QStringList& sim_options = {})
{
    tracker_session::options o;
    o.simple_mode = true;
    o.sim_options = sim_options;
    o.tracker_values = tracker_values;
    return o;
}

} // namespace

class test_e2e_simple : public QObject
{
    Q_OBJECT

private slots:
    void poll_fills_every_page();
    void save_writes_exactly_the_changed_positions();
    void nothing_to_save_is_said_and_nothing_sent();
    void master_and_shared_commands();
    void refused_write_shows_no_error_as_value();
};

void test_e2e_simple::poll_fills_every_page()
{
    tracker_session s;
    QVERIFY2(s.start(simple_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    QCOMPARE(s.wait_for_commands(0, poll.size()), poll);

    QCOMPARE(edit(pages, 0, 0)->text(), QStringLiteral("apn.tracker"));
    QCOMPARE(edit(pages, 0, 1)->text(), QStringLiteral("user7"));
    // Reads the second value of +GSM, though it writes to +ROAM.
    QCOMPARE(roaming(pages)->currentData().toString(), QStringLiteral("0"));
    QCOMPARE(edit(pages, 0, 3)->text(), QStringLiteral("1111"));
    QCOMPARE(edit(pages, 1, 0)->text(), QStringLiteral("120"));
    QCOMPARE(edit(pages, 1, 1)->text(), QStringLiteral("42"));
    QCOMPARE(edit(pages, 1, 2)->text(), QStringLiteral("5555"));

    // Tab changes switch the device-state stream only; simple pages are never polled again.
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(poll.size(), 1), QStringList({"AT+SDAD=7395,,0,,,,,"}));
    QCOMPARE(s.boxes(), QStringList());
}

void test_e2e_simple::save_writes_exactly_the_changed_positions()
{
    tracker_session s;
    QVERIFY2(s.start(simple_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    int seen = s.wait_for_commands(0, poll.size()).size();

    retype(edit(pages, 0, 1), "driver");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({"AT+APN=7395,,driver,", "AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved"));
    QCOMPARE(s.tracker().saved_values().value("+APN"), QStringList({"apn.tracker", "driver"}));
    QCOMPARE(edit(pages, 0, 0)->text(), QStringLiteral("apn.tracker"));

    // A value typed back to what it was still counts as an edit.
    seen = s.tracker_command_count();
    retype(edit(pages, 1, 0), "120");
    roaming(pages)->setFocus();
    QTest::keyClick(roaming(pages), Qt::Key_Down); // from "Запрещён" to "Разрешён"
    QCOMPARE(roaming(pages)->currentData().toString(), QStringLiteral("1"));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 3),
             QStringList({"AT+ROAM=7395,1,", "AT+TRACK=7395,120,,", "AT+SAVE=7395,"}));
    QCOMPARE(s.tracker().saved_values().value("+ROAM"), QStringList({"1"}));
    QCOMPARE(s.tracker().saved_values().value("+GSM"), QStringList({"3", "0"}));
    QCOMPARE(s.boxes(), QStringList());
}

void test_e2e_simple::nothing_to_save_is_said_and_nothing_sent()
{
    tracker_session s;
    QVERIFY2(s.start(simple_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, poll.size()).size();

    // The values that came from the tracker are no edits.
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes(), QStringList({nothing_changed}));
    QCOMPARE(recorded_boxes::seen()[0].kind, message_box_kind::information);
    QCOMPARE(recorded_boxes::seen()[0].title, QStringLiteral("Сообщение"));

    // A value that is never written is no edit either.
    retype(edit(pages, 1, 1), "99");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes(), QStringList({nothing_changed, nothing_changed}));

    // After a save, the same edit is not written twice.
    retype(edit(pages, 1, 2), "6000");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({"AT+ODO=7395,6000,", "AT+SAVE=7395,"}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes().count(nothing_changed), 3);
    QCOMPARE(s.tracker_command_count(), seen + 2);
}

void test_e2e_simple::master_and_shared_commands()
{
    tracker_session s;
    QVERIFY2(s.start(simple_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, poll.size()).size();

    // Two commands edited: both writes, in profile order, before one save request; the master
    // command carries the master password, the save request the device password.
    retype(edit(pages, 0, 3), "2468");
    retype(edit(pages, 0, 0), "apn.new");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 3),
             QStringList({"AT+APN=7395,apn.new,,", "AT+PIN=8642,2468,", "AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved"));
    QCOMPARE(s.tracker().saved_values().value("+PIN"), QStringList({"2468"}));
    QCOMPARE(s.tracker().saved_values().value("+APN"), QStringList({"apn.new", "user7"}));
}

void test_e2e_simple::refused_write_shows_no_error_as_value()
{
    tracker_session s;
    // The tracker expects another device password than the one configured.
    QVERIFY2(s.start(simple_options({"--device-password", "1357"})), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, poll.size()).size();

    retype(edit(pages, 0, 1), "driver");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({"AT+APN=7395,,driver,", "AT+SAVE=7395,"}));
    QVERIFY(s.wait_for_log("Result: +RESP:APN,ERROR,PASSWORD"));
    QCOMPARE(edit(pages, 0, 0)->text(), QStringLiteral("apn.tracker"));
    QCOMPARE(edit(pages, 0, 1)->text(), QStringLiteral("driver"));
    QCOMPARE(s.boxes(), QStringList());
    QCOMPARE(s.tracker().saved_values().value("+APN"), QStringList({"apn.tracker", "user7"}));
}

QTEST_MAIN(test_e2e_simple)
#include "test_e2e_simple.moc"
