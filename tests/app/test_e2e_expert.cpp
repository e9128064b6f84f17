// The whole program in expert mode against the simulated tracker, driven as a user would.

#include "mainwindow.h"
#include "modal_answerer.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

namespace {

const int wait_ms = sim_process::default_timeout_ms;
const QString stream_off = QStringLiteral("AT+SDAD=7395,,0,,,,,");

tracker_session::options expert_options()
{
    tracker_session::options o;
    o.tracker_values = {{"+APN", {"apn.tracker", "user7"}},
                        {"+GSM", {"3", "0"}},
                        {"+TRACK", {"120", "42"}},
                        {"+ODO", {"5555"}}};
    return o;
}

QWidget* input(tab_xml_widget& pages, int tab, int cmd, int parameter)
{
    return pages.page_list[tab].commands[cmd].parameters[parameter].widget;
}

QString text_of(tab_xml_widget& pages, int tab, int cmd, int parameter)
{
    QWidget* w = input(pages, tab, cmd, parameter);
    if (auto* box = qobject_cast<QComboBox*>(w))
        return box->currentData().toString();
    return qobject_cast<QLineEdit*>(w)->text();
}

// The texts of the device-state page by field name.
QMap<QString, QString> shown_state(tab_xml_widget& pages)
{
    QMap<QString, QString> values;
    for (const t_display_field& d : pages.display_fields) {
        if (auto* box = qobject_cast<QComboBox*>(d.widget))
            values.insert(d.field, box->currentText());
        else
            values.insert(d.field, qobject_cast<QLineEdit*>(d.widget)->text());
    }
    return values;
}

} // namespace

class test_e2e_expert : public QObject
{
    Q_OBJECT

private slots:
    void connect_poll_save_and_disconnect();
    void live_device_state();
    void link_lost_and_back();
    void reply_and_end_of_link_while_a_box_is_open();
};

void test_e2e_expert::connect_poll_save_and_disconnect()
{
    tracker_session s;
    QVERIFY2(s.start(expert_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    // The link starts during construction, before the handshake enables anything.
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));
    QVERIFY(s.wait_until_ready());

    // Only the current tab is polled, and only its readable blocks; each tab once per link.
    QCOMPARE(s.wait_for_commands(0, 2), QStringList({"AT+APN=?", "AT+GSM=?"}));
    QCOMPARE(text_of(pages, 0, 0, 0), QStringLiteral("apn.tracker"));
    QCOMPARE(text_of(pages, 0, 0, 1), QStringLiteral("user7"));
    QCOMPARE(text_of(pages, 0, 1, 1), QStringLiteral("0"));
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(2, 3), QStringList({stream_off, "AT+TRACK=?", "AT+ODO=?"}));
    QCOMPARE(text_of(pages, 1, 0, 1), QStringLiteral("42")); // read-only rows are shown too
    pages.tab_widget->setCurrentIndex(2);
    pages.tab_widget->setCurrentIndex(0);
    QCOMPARE(s.wait_for_commands(5, 2), QStringList({"AT+SDAD=7395,,3,,,,,", stream_off}));

    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(7, 1), QStringList({"AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved"));
    // The answers to the window's own commands need no block of the profile.
    QCOMPARE(s.boxes(), QStringList());

    QTest::mouseClick(s.connect_button(), Qt::LeftButton);
    QVERIFY(!s.controls_enabled());
    QVERIFY(s.wait_until_idle());
    QCOMPARE(s.wait_for_commands(8, 2), QStringList({stream_off, "AT+TEXT=7395,"}));

    // A new link polls the tabs again.
    QTest::mouseClick(s.connect_button(), Qt::LeftButton);
    QVERIFY(s.wait_until_ready());
    QCOMPARE(s.wait_for_commands(10, 2), QStringList({"AT+APN=?", "AT+GSM=?"}));
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(12, 3), QStringList({stream_off, "AT+TRACK=?", "AT+ODO=?"}));
}

void test_e2e_expert::live_device_state()
{
    tracker_session s;
    tracker_session::options o;
    // The test sends its own records; the tracker's would come too late to interfere.
    o.sim_options = QStringList{"--stream-interval", "600000"};
    QVERIFY2(s.start(o), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    pages.tab_widget->setCurrentIndex(pages.page_list.size() - 1);
    QCOMPARE(s.wait_for_commands(2, 1), QStringList({"AT+SDAD=7395,,3,,,,,"}));

    // Layout 1: lat, lon, speed, sats, status. Layout 2: voltage, inputs, outputs, flags, imei;
    // id 99 has no layout and changes nothing.
    const QByteArray nav = QByteArray::fromHex("00000040"
                                               "00000010"
                                               "e803"
                                               "07"
                                               "01");
    const QByteArray power = QByteArray::fromHex("409c"
                                                 "05"
                                                 "00"
                                                 "efbeadde") +
                             QByteArray("123456789012345\0", 16);
    QVERIFY(s.tracker().control("send $SD,1," + nav.toBase64()));
    QVERIFY(s.tracker().control("send $SD,99," + QByteArray(12, '\0').toBase64()));
    QVERIFY(s.tracker().control("send $SD,2," + power.toBase64()));
    QTRY_COMPARE_WITH_TIMEOUT(shown_state(pages)["flags"], QStringLiteral("DEADBEEF"), wait_ms);

    const QMap<QString, QString> expected{{"lat", "45.00000000"},
                                          {"lon", "22.50000000"},
                                          {"speed", "100"},
                                          {"sats", "7"},
                                          {"status", QStringLiteral("Движение")},
                                          {"voltage", QStringLiteral("недействительны")},
                                          {"inputs", "101"},
                                          {"outputs", "0"},
                                          {"flags", "DEADBEEF"},
                                          {"imei", "123456789012345"},
                                          {"absent", QStringLiteral("Нет данных")}};
    QCOMPARE(shown_state(pages), expected);
}

void test_e2e_expert::link_lost_and_back()
{
    tracker_session s;
    QVERIFY2(s.start(expert_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    QVERIFY(s.tracker().unplug());
    // The worker notices the lost device and keeps trying to open the port.
    const QString opening = "Opening port " + s.tracker().port_path() + " (115200)";
    QVERIFY(QTest::qWaitFor([&] { return s.log().count(opening) >= 2; }, wait_ms));
    QTest::mouseClick(pages.page_list[0].commands[1].read_button, Qt::LeftButton);
    qobject_cast<QLineEdit*>(input(pages, 0, 1, 0))->setText("local");

    QVERIFY(s.tracker().replug());
    // The read queued meanwhile survives, and the current tab is polled again.
    QStringList after = s.wait_for_commands(2, 3);
    after.sort();
    QCOMPARE(after, QStringList({"AT+APN=?", "AT+GSM=?", "AT+GSM=?"}));
    QCOMPARE(text_of(pages, 0, 1, 0), QStringLiteral("3"));
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));

    // Closing the window ends the link without a streaming command, then closes.
    s.window().close();
    QVERIFY(s.window().isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window().isVisible(), wait_ms);
    QCOMPARE(s.log().first(), QStringLiteral("Tracker disconnected..."));
    QCOMPARE(s.wait_for_commands(5, 1), QStringList({"AT+TEXT=7395,"}));
}

// A box runs its own event loop: replies and the end of the link are handled inside it.
void test_e2e_expert::reply_and_end_of_link_while_a_box_is_open()
{
    tracker_session s;
    tracker_session::options o = expert_options();
    o.real_boxes = true;
    o.sim_options = QStringList{"--master-password", "1357"};
    QVERIFY2(s.start(o), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);
    qobject_cast<QLineEdit*>(input(pages, 0, 1, 0))->setText("local");

    QString box_text;
    bool filled_meanwhile = false;
    bool ended_meanwhile = false;
    modal_answerer answer([&](QWidget* box) {
        box_text = qobject_cast<QMessageBox*>(box)->text();
        filled_meanwhile = QTest::qWaitFor([&] { return text_of(pages, 0, 1, 0) == "3"; }, wait_ms);
        s.connect_button()->click();
        ended_meanwhile = s.wait_until_idle();
        accept_modal(box);
    });
    // The master block's set is refused; the read behind it is answered while the box is open.
    QTest::mouseClick(pages.page_list[0].commands[2].set_button, Qt::LeftButton);
    QTest::mouseClick(pages.page_list[0].commands[1].read_button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(answer.answered(), wait_ms);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), wait_ms);
    QCOMPARE(box_text, QStringLiteral("Неверный пароль"));
    QVERIFY(filled_meanwhile);
    QVERIFY(ended_meanwhile);
    QVERIFY(!s.controls_enabled());
}

QTEST_MAIN(test_e2e_expert)
#include "test_e2e_expert.moc"
