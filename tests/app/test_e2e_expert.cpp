// The whole program in expert mode against the simulated tracker, driven as a user would.

#include "mainwindow.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QComboBox>
#include <QCommandLinkButton>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

namespace {

const int wait_ms = 20000;

const QMap<QString, QStringList> tracker_values{{"+APN", {"apn.tracker", "user7"}},
                                                {"+GSM", {"3", "0"}},
                                                {"+PIN", {"1111"}},
                                                {"+TRACK", {"120", "42"}},
                                                {"+ODO", {"5555"}}};

QLineEdit* edit(tab_xml_widget& pages, int tab, int cmd, int parameter)
{
    return qobject_cast<QLineEdit*>(
        pages.page_list[tab].commands[cmd].parameters[parameter].widget);
}

QComboBox* combo(tab_xml_widget& pages, int tab, int cmd, int parameter)
{
    return qobject_cast<QComboBox*>(
        pages.page_list[tab].commands[cmd].parameters[parameter].widget);
}

QString stream_off()
{
    return QStringLiteral("AT+SDAD=7395,,0,,,,,");
}

} // namespace

class test_e2e_expert : public QObject
{
    Q_OBJECT

private slots:
    void auto_connect_polls_each_tab_once();
    void read_and_set_buttons();
    void tracker_errors_leave_inputs_alone();
    void save_sends_only_the_save_request();
    void manual_connect_and_disconnect();
};

void test_e2e_expert::auto_connect_polls_each_tab_once()
{
    tracker_session s;
    QVERIFY2(s.start({false, true, "7395", "8642", {}, tracker_values}), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    // The link starts during construction, before the handshake enables anything.
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));
    QVERIFY(s.wait_until_ready());
    QVERIFY(s.log().contains("Handshake OK"));

    QTRY_COMPARE_WITH_TIMEOUT(edit(pages, 0, 0, 0)->text(), QStringLiteral("apn.tracker"), wait_ms);
    QTRY_COMPARE_WITH_TIMEOUT(combo(pages, 0, 1, 1)->currentData().toInt(), 0, wait_ms);
    QCOMPARE(edit(pages, 0, 0, 1)->text(), QStringLiteral("user7"));
    QCOMPARE(edit(pages, 0, 1, 0)->text(), QStringLiteral("3"));
    // Only the current tab is polled, and only its readable blocks.
    QCOMPARE(s.wait_for_commands(0, 2), QStringList({"AT+APN=?", "AT+GSM=?"}));
    QCOMPARE(edit(pages, 1, 0, 0)->text(), QStringLiteral("60"));

    int seen = s.tracker_command_count();
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(seen, 3), QStringList({stream_off(), "AT+TRACK=?", "AT+ODO=?"}));
    QCOMPARE(edit(pages, 1, 0, 0)->text(), QStringLiteral("120"));
    QCOMPARE(edit(pages, 1, 0, 1)->text(), QStringLiteral("42")); // read-only rows are shown too
    QCOMPARE(edit(pages, 1, 1, 0)->text(), QStringLiteral("5555"));

    // Back to a tab already polled: only the streaming command.
    seen = s.tracker_command_count();
    pages.tab_widget->setCurrentIndex(0);
    QCOMPARE(s.wait_for_commands(seen, 1), QStringList({stream_off()}));
    // The streaming command's answer names no block of the profile: the user is told each time.
    const QString no_block = QStringLiteral("No correspondig component found...");
    QCOMPARE(s.boxes(), QStringList({no_block, no_block}));
}

void test_e2e_expert::read_and_set_buttons()
{
    tracker_session s;
    QVERIFY2(s.start({false, true, "7395", "8642", {}, tracker_values}), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    int seen = s.tracker_command_count();
    edit(pages, 0, 0, 0)->setText(QStringLiteral("новый.apn"));
    QTest::mouseClick(pages.page_list[0].commands[0].set_button, Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 1), QStringList({"AT+APN=7395,новый.apn,user7,"}));
    QVERIFY(s.tracker().wait_for_event(QStringLiteral("stored +APN новый.apn,user7")));

    // Read brings the tracker's value back over a local edit.
    edit(pages, 0, 0, 0)->setText("local edit");
    QTest::mouseClick(pages.page_list[0].commands[0].read_button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(edit(pages, 0, 0, 0)->text(), QStringLiteral("новый.apn"), wait_ms);

    // A master block carries the master password; an option sends its value, not its text.
    QVERIFY(s.wait_for_replies());
    seen = s.tracker_command_count();
    edit(pages, 0, 2, 0)->setText("2468");
    QTest::mouseClick(pages.page_list[0].commands[2].set_button, Qt::LeftButton);
    QVERIFY(s.tracker().wait_for_event(QStringLiteral("stored +PIN 2468")));
    combo(pages, 0, 1, 1)->setCurrentIndex(combo(pages, 0, 1, 1)->findData(1));
    QTest::mouseClick(pages.page_list[0].commands[1].set_button, Qt::LeftButton);
    QVERIFY(s.tracker().wait_for_event(QStringLiteral("stored +GSM 3,1")));
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({"AT+PIN=8642,2468,", "AT+GSM=7395,3,1,"}));
    QCOMPARE(s.boxes(), QStringList());
}

void test_e2e_expert::tracker_errors_leave_inputs_alone()
{
    tracker_session s;
    QVERIFY2(s.start({false, true, "7395", "8642", {"--permission", "+ODO"}, tracker_values}),
             qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    // The tracker refuses a password it does not know.
    pages.device_password = "0000";
    edit(pages, 0, 0, 0)->setText("mine");
    QTest::mouseClick(pages.page_list[0].commands[0].set_button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(recorded_boxes::seen().size(), 1, wait_ms);
    QCOMPARE(recorded_boxes::seen()[0].kind, message_box_kind::critical);
    QCOMPARE(recorded_boxes::seen()[0].title, QStringLiteral("Ошибка"));
    QCOMPARE(recorded_boxes::seen()[0].text, QStringLiteral("Неверный пароль"));
    QCOMPARE(edit(pages, 0, 0, 0)->text(), QStringLiteral("mine"));
    QCOMPARE(edit(pages, 0, 0, 1)->text(), QStringLiteral("user7"));

    // A command the tracker does not allow.
    pages.tab_widget->setCurrentIndex(1);
    QTRY_COMPARE_WITH_TIMEOUT(recorded_boxes::texts().count("Ошибка прав доступа"), 1, wait_ms);
    QCOMPARE(edit(pages, 1, 1, 0)->text(), QStringLiteral("1234"));
    QTRY_COMPARE_WITH_TIMEOUT(edit(pages, 1, 0, 0)->text(), QStringLiteral("120"), wait_ms);
}

void test_e2e_expert::save_sends_only_the_save_request()
{
    tracker_session s;
    QVERIFY2(s.start({false, true, "7395", "8642", {}, tracker_values}), qPrintable(s.error()));
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(2, 1), QStringList({"AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved"));
    // The tracker's answer names no block of the profile, and the user is told so.
    QCOMPARE(s.boxes(), QStringList({"No correspondig component found..."}));
    QCOMPARE(s.tracker().saved_values().value("+APN"), QStringList({"apn.tracker", "user7"}));
}

void test_e2e_expert::manual_connect_and_disconnect()
{
    tracker_session s;
    QVERIFY2(s.start({false, false, "7395", "8642", {}, tracker_values}), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Соедениться с трекером"));
    QVERIFY(!s.controls_enabled());
    QCOMPARE(s.tracker_command_count(), 0);

    QTest::mouseClick(s.connect_button(), Qt::LeftButton);
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));
    QVERIFY(s.wait_until_ready());
    QTRY_COMPARE_WITH_TIMEOUT(edit(pages, 0, 0, 0)->text(), QStringLiteral("apn.tracker"), wait_ms);
    pages.tab_widget->setCurrentIndex(1);
    s.wait_for_commands(0, 5);
    QCOMPARE(edit(pages, 1, 0, 0)->text(), QStringLiteral("120"));

    // Disconnect: the stream is switched off, then the worker closes the link.
    int seen = s.tracker_command_count();
    QTest::mouseClick(s.connect_button(), Qt::LeftButton);
    QVERIFY(!s.controls_enabled());
    QVERIFY(s.wait_until_idle());
    QVERIFY(s.tracker().wait_for_event("data-mode"));
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({stream_off(), "AT+TEXT=7395,"}));
    QVERIFY(!s.controls_enabled());

    // A new link polls each tab again on its first showing.
    edit(pages, 1, 0, 0)->setText("local");
    seen = s.tracker_command_count();
    QTest::mouseClick(s.connect_button(), Qt::LeftButton);
    QVERIFY(s.wait_until_ready());
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({"AT+TRACK=?", "AT+ODO=?"}));
    QCOMPARE(edit(pages, 1, 0, 0)->text(), QStringLiteral("120"));
    seen = s.tracker_command_count();
    pages.tab_widget->setCurrentIndex(0);
    QCOMPARE(s.wait_for_commands(seen, 3), QStringList({stream_off(), "AT+APN=?", "AT+GSM=?"}));
}

QTEST_MAIN(test_e2e_expert)
#include "test_e2e_expert.moc"
