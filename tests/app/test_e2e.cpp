// The whole program against the simulated tracker, driven as a user would: each workflow once.
// The simple mode's workflow, with its configuration files, is test_comforts'.

#include "change_marks.h"
#include "link_session.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "program_restart.h"
#include "settings_file.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

namespace {

const int wait_ms = sim_process::default_timeout_ms;
const QString stream_off = QStringLiteral("AT+SDAD=7395,,0,,,,,");

// Expert mode: the input of a parameter.
template <typename T = QLineEdit>
T* expert_input(tab_xml_widget& pages, int tab, int cmd, int parameter)
{
    return qobject_cast<T*>(pages.page_list[tab].commands[cmd].parameters[parameter].widget);
}

// The device-state page, "field=text" in page order.
QStringList shown_state(tab_xml_widget& pages)
{
    QStringList values;
    for (const t_display_field& d : pages.display_fields) {
        auto* box = qobject_cast<QComboBox*>(d.widget);
        values << d.field + '=' +
                      (box ? box->currentText() : qobject_cast<QLineEdit*>(d.widget)->text());
    }
    return values;
}

} // namespace

class test_e2e : public QObject
{
    Q_OBJECT

private slots:
    void expert_link_life();
    void refused_write_is_written_again();
};

// Expert mode through a link's life: each tab polled once, the device state shown live, a save,
// a lost port, a box open while replies come and the link ends with an edit dropped, a new link,
// and a close that writes first.
void test_e2e::expert_link_life()
{
    tracker_session s;
    // Its master password is not the window's; it sends no records of its own in the test's time.
    QVERIFY(s.start(false, {"--master-password", "1357", "--stream-interval", "600000"}));
    tab_xml_widget& pages = s.pages();
    // The link starts during construction, before the handshake enables anything.
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));
    QVERIFY(s.wait_until_ready());

    // Only the current tab is polled, and only its readable blocks; each tab once per link.
    QCOMPARE(s.wait_for_commands(0, 2), QStringList({"AT+APN=?", "AT+GSM=?"}));
    QCOMPARE(expert_input(pages, 0, 0, 1)->text(), QStringLiteral("user7"));
    QCOMPARE(expert_input<QComboBox>(pages, 0, 1, 1)->currentData().toString(),
             QStringLiteral("0"));
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(2, 3), QStringList({stream_off, "AT+TRACK=?", "AT+ODO=?"}));
    QCOMPARE(expert_input(pages, 1, 0, 1)->text(), QStringLiteral("42")); // read-only, shown
    pages.tab_widget->setCurrentIndex(2);
    QCOMPARE(s.wait_for_commands(5, 1), QStringList({"AT+SDAD=7395,,3,,,,,"}));

    // Layout 1: lat, lon, speed, sats, status. Layout 2: voltage, inputs, outputs, flags, imei.
    // Id 99 has no layout and changes nothing.
    const QByteArray nav = QByteArray::fromHex("0000004000000010e8030701");
    const QByteArray power = QByteArray::fromHex("409c0500efbead00") + "123456789012345" + '\0';
    QVERIFY(s.tracker().control("send $SD,1," + nav.toBase64()));
    QVERIFY(s.tracker().control("send $SD,99," + QByteArray(12, '\0').toBase64()));
    QVERIFY(s.tracker().control("send $SD,2," + power.toBase64()));
    QTRY_VERIFY_WITH_TIMEOUT(shown_state(pages).contains("flags=00ADBEEF"), wait_ms);
    // Scaled, ranged (40 V is out of its range), coordinates, options, bits and text.
    QCOMPARE(
        shown_state(pages),
        QStringList({"lat=45.00000000", "lon=22.50000000", "speed=100", "sats=7",
                     QStringLiteral("status=Движение"), QStringLiteral("voltage=недействительны"),
                     "inputs=101", "outputs=0", "flags=00ADBEEF", "imei=123456789012345",
                     QStringLiteral("absent=Нет данных")}));
    pages.tab_widget->setCurrentIndex(0);
    QCOMPARE(s.wait_for_commands(6, 1), QStringList({stream_off}));
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(7, 1), QStringList({"AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved"));
    // The answers to the window's own commands need no block of the profile.
    QCOMPARE(s.boxes(), QStringList());

    // The worker notices the lost port and keeps trying to open it. The window says so at once
    // and takes no command until the tracker answers again and the current tab is read afresh.
    QVERIFY(s.tracker().unplug());
    const QString opening = "Opening port " + s.tracker().port_path() + " (115200)";
    QVERIFY(QTest::qWaitFor([&] { return s.log().count(opening) >= 2; }, wait_ms));
    QCOMPARE(s.log().filter(QStringLiteral("Связь с трекером потеряна: ")).size(), 1);
    QVERIFY(!s.controls_enabled());
    QVERIFY(!s.save_button()->isEnabled());
    expert_input(pages, 0, 1, 0)->setText("local");
    QVERIFY(s.tracker().replug());
    QCOMPARE(s.wait_for_commands(8, 2), QStringList({"AT+APN=?", "AT+GSM=?"}));
    QVERIFY(s.wait_until_ready());
    QVERIFY(s.save_button()->isEnabled());
    QCOMPARE(expert_input(pages, 0, 1, 0)->text(), QStringLiteral("3"));
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));

    // A refused set opens a box, which runs its own event loop: the read behind the set is
    // answered while it is open, and the link ends, asking about the edit, dropped here.
    QLineEdit* user = expert_input(pages, 0, 0, 1);
    retype(user, "driver");
    expert_input(pages, 0, 1, 0)->setText("local");
    tracker_session::edits_question::answer = edits_answer::discard;
    s.record_boxes(false);
    QStringList seen;
    modal_answerer answer([&](QWidget* box) {
        seen << qobject_cast<QMessageBox*>(box)->text();
        seen << QString::number(
            QTest::qWaitFor([&] { return expert_input(pages, 0, 1, 0)->text() == "3"; }, wait_ms));
        s.connect_button()->click();
        seen << QString::number(!s.controls_enabled() && s.wait_until_idle());
        accept_modal(box);
    });
    QTest::mouseClick(pages.page_list[0].commands[2].set_button, Qt::LeftButton);
    QTest::mouseClick(pages.page_list[0].commands[1].read_button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(answer.answered() && !QApplication::activeModalWidget(), wait_ms);
    s.record_boxes(true);
    QCOMPARE(seen, QStringList({"Неверный пароль", "1", "1"}));
    // The stream is switched off before the closing command.
    QCOMPARE(s.wait_for_commands(10, 4),
             QStringList({"AT+PIN=8642,0000,", "AT+GSM=?", stream_off, "AT+TEXT=7395,"}));
    QCOMPARE(tracker_session::edits_question::asked, 1);
    QVERIFY(!has_change_mark(user));

    // A new link polls the tabs again.
    QTest::mouseClick(s.connect_button(), Qt::LeftButton);
    QVERIFY(s.wait_until_ready());
    QCOMPARE(s.wait_for_commands(14, 2), QStringList({"AT+APN=?", "AT+GSM=?"}));
    pages.tab_widget->setCurrentIndex(1);
    QCOMPARE(s.wait_for_commands(16, 3), QStringList({stream_off, "AT+TRACK=?", "AT+ODO=?"}));

    // A block set but not saved is asked about on closing; saving it sends the save request,
    // then the link ends without a streaming command.
    retype(user, "driver");
    QTest::mouseClick(pages.page_list[0].commands[0].set_button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!has_change_mark(user), wait_ms);
    tracker_session::edits_question::answer = edits_answer::write;
    s.window().close();
    QVERIFY(s.wait_until_closed());
    QCOMPARE(tracker_session::edits_question::kind, edits_kind::set_not_saved);
    QCOMPARE(s.wait_for_commands(19, 3),
             QStringList({"AT+APN=7395,apn.tracker,driver,", "AT+SAVE=7395,", "AT+TEXT=7395,"}));
    QCOMPARE(s.log().first(), QStringLiteral("Tracker disconnected..."));
    QVERIFY(!has_change_mark(user));
}

// A write the tracker refuses for its password stays an edit: once the password is changed in
// the settings, the next save writes it again.
void test_e2e::refused_write_is_written_again()
{
    QStringList shown; // outlives the window, which reports until its link has ended
    tracker_session s;
    QVERIFY(s.start(true, {"--device-password", "1357"}));
    // The indicator counts the first poll as it is answered, whatever the order of queueing.
    auto* indicator = s.window().findChild<QLabel*>("link_indicator_text");
    QObject::connect(s.window().findChild<link_session*>(), &link_session::progress_changed,
                     indicator, [&shown, indicator] { shown << indicator->text(); });
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 6);
    QTRY_COMPARE_WITH_TIMEOUT(
        shown.mid(5),
        QStringList({"Чтение 1 из 6", "Чтение 2 из 6", "Чтение 3 из 6", "Чтение 4 из 6",
                     "Чтение 5 из 6", "Чтение 6 из 6", "Готов"}),
        wait_ms);
    retype(simple_input(pages, 0, 1), "driver");
    // A mode change writes the edit first. Refused, it leaves the mode as it was, in the file too,
    // so that the next start matches the pages; the user hears why.
    static int restarts = 0;
    set_restart_function([] { ++restarts; });
    tracker_session::edits_question::answer = edits_answer::write;
    modal_answerer mode_change([&](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("cb_SimpleMode")->setChecked(false);
        accept_modal(dialog);
    });
    s.window().show_settings_window();
    QVERIFY(mode_change.answered());
    QCOMPARE(s.wait_for_commands(6, 2), QStringList({"AT+APN=7395,,driver,", "AT+SAVE=7395,"}));
    QCOMPARE(s.boxes(), QStringList({"Неверный пароль", "Неверный пароль"}));
    QCOMPARE(restarts, 0);
    QVERIFY(read_settings(settings_file_path()).simple_mode);
    QCOMPARE(s.log().filter(QStringLiteral("Режим отображения не изменён")).size(), 1);
    QCOMPARE(simple_input(pages, 0, 1)->text(), QStringLiteral("driver"));

    modal_answerer answer([&](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("leMasterDevicePassword")->setText("1357");
        accept_modal(dialog);
    });
    s.window().show_settings_window();
    QVERIFY(answer.answered());
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(8, 2), QStringList({"AT+APN=1357,,driver,", "AT+SAVE=1357,"}));
    QCOMPARE(s.log().filter("Записано в трекер").first(),
             QStringLiteral("Записано в трекер: 1 параметр, сохранено"));
    // The new password reaches the streaming command too.
    pages.tab_widget->setCurrentIndex(pages.page_list.size() - 1);
    QCOMPARE(s.wait_for_commands(10, 1), QStringList({"AT+SDAD=1357,,3,,,,,"}));
    // The tracker stores a save before it reads the next command.
    QCOMPARE(s.tracker().saved_values().value("+APN"), QStringList({"apn.tracker", "driver"}));
}

QTEST_MAIN(test_e2e)
#include "test_e2e.moc"
