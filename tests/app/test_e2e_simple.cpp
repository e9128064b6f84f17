// The whole program in simple mode against the simulated tracker: the poll fills the forms, the
// save button writes exactly what the user changed, and a refused write is written again.

#include "mainwindow.h"
#include "modal_answerer.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

namespace {

const QStringList poll{"AT+APN=?", "AT+GSM=?", "AT+ROAM=?", "AT+PIN=?", "AT+TRACK=?", "AT+ODO=?"};
const QString nothing_changed = QStringLiteral("Вы не изменили ни одного параметра");

tracker_session::options simple_options(const QStringList& sim_options = {})
{
    tracker_session::options o;
    o.simple_mode = true;
    o.sim_options = sim_options;
    o.tracker_values = {{"+APN", {"apn.tracker", "user7"}},
                        {"+GSM", {"3", "0"}},
                        {"+ROAM", {"0"}},
                        {"+PIN", {"1111"}},
                        {"+TRACK", {"120", "42"}},
                        {"+ODO", {"5555"}}};
    return o;
}

QLineEdit* edit(tab_xml_widget& pages, int tab, int row)
{
    return qobject_cast<QLineEdit*>(pages.page_list[tab].parameters[row]->widget);
}

QComboBox* roaming(tab_xml_widget& pages)
{
    return qobject_cast<QComboBox*>(pages.page_list[0].parameters[2]->widget);
}

// Types over the whole text, as a user would.
void retype(QLineEdit* line, const QString& text)
{
    line->selectAll();
    QTest::keyClicks(line, text);
}

} // namespace

class test_e2e_simple : public QObject
{
    Q_OBJECT

private slots:
    void poll_edit_and_save();
    void refused_write_is_written_again_data();
    void refused_write_is_written_again();
};

void test_e2e_simple::poll_edit_and_save()
{
    tracker_session s;
    QVERIFY2(s.start(simple_options()), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    QCOMPARE(s.wait_for_commands(0, poll.size()), poll);
    QCOMPARE(edit(pages, 0, 1)->text(), QStringLiteral("user7"));
    QCOMPARE(roaming(pages)->currentData().toString(), QStringLiteral("0")); // from +GSM #2
    QCOMPARE(edit(pages, 1, 2)->text(), QStringLiteral("5555"));
    // Simple pages are never polled again: a tab change switches the stream only.
    pages.tab_widget->setCurrentIndex(1);
    int seen = poll.size();
    QCOMPARE(s.wait_for_commands(seen++, 1), QStringList({"AT+SDAD=7395,,0,,,,,"}));

    // The values from the tracker are no edits, and neither is a value that is never written.
    retype(edit(pages, 1, 1), "99");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes(), QStringList({nothing_changed}));

    // One position of +APN, the master +PIN, an option's code rather than its text, and a value
    // typed back to what it was; written in profile order, then one save request.
    retype(edit(pages, 0, 1), "driver");
    retype(edit(pages, 0, 3), "2468");
    retype(edit(pages, 1, 0), "120");
    roaming(pages)->setFocus();
    QTest::keyClick(roaming(pages), Qt::Key_Down);
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 5),
             QStringList({"AT+APN=7395,,driver,", "AT+ROAM=7395,1,", "AT+PIN=8642,2468,",
                          "AT+TRACK=7395,120,,", "AT+SAVE=7395,"}));
    QVERIFY(s.tracker().wait_for_event("saved"));
    const QMap<QString, QStringList> saved = s.tracker().saved_values();
    QCOMPARE(saved.value("+APN"), QStringList({"apn.tracker", "driver"}));
    QCOMPARE(saved.value("+ROAM"), QStringList({"1"}));
    QCOMPARE(saved.value("+PIN"), QStringList({"2468"}));

    // Written and answered: nothing left to save.
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.boxes(), QStringList({nothing_changed, nothing_changed}));
    QCOMPARE(s.command_count(), seen + 5);
}

void test_e2e_simple::refused_write_is_written_again_data()
{
    QTest::addColumn<QStringList>("sim_options");
    QTest::addColumn<QStringList>("refusals");
    QTest::addColumn<QString>("new_password"); // set in the settings dialog after the refusal
    QTest::addColumn<QStringList>("saved");

    const QString wrong = QStringLiteral("Неверный пароль");
    const QString denied = QStringLiteral("Ошибка прав доступа");
    // The write and the save request are refused.
    QTest::newRow("wrong password")
        << QStringList{"--device-password", "1357"} << QStringList{wrong, wrong} << "1357"
        << QStringList{"apn.tracker", "driver"};
    // The poll's read and the write are refused.
    QTest::newRow("no permission")
        << QStringList{"--permission", "+APN"} << QStringList{denied, denied} << "7395"
        << QStringList{"apn.tracker", "user7"};
}

void test_e2e_simple::refused_write_is_written_again()
{
    QFETCH(QStringList, sim_options);
    QFETCH(QStringList, refusals);
    QFETCH(QString, new_password);
    tracker_session s;
    QVERIFY2(s.start(simple_options(sim_options)), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    int seen = s.wait_for_commands(0, poll.size()).size();

    retype(edit(pages, 0, 1), "driver");
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({"AT+APN=7395,,driver,", "AT+SAVE=7395,"}));
    QCOMPARE(s.boxes(), refusals);
    for (const recorded_boxes::box& box : recorded_boxes::seen()) {
        QCOMPARE(box.kind, message_box_kind::critical);
        QCOMPARE(box.title, QStringLiteral("Ошибка"));
    }
    QCOMPARE(edit(pages, 0, 1)->text(), QStringLiteral("driver"));

    modal_answerer answer([&](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("leMasterDevicePassword")->setText(new_password);
        accept_modal(dialog);
    });
    s.window().show_settings_window();
    QVERIFY(answer.answered());

    // Without a further edit, the next save writes the refused position again.
    seen += 2;
    QTest::mouseClick(s.save_button(), Qt::LeftButton);
    const QString write = "AT+APN=" + new_password + ",,driver,";
    QCOMPARE(s.wait_for_commands(seen, 2), QStringList({write, "AT+SAVE=" + new_password + ","}));
    // The new password reaches the streaming command too.
    pages.tab_widget->setCurrentIndex(pages.page_list.size() - 1);
    QCOMPARE(s.wait_for_commands(seen + 2, 1),
             QStringList({"AT+SDAD=" + new_password + ",,3,,,,,"}));
    // The tracker stores a save before it reads the next command.
    QTEST(s.tracker().saved_values().value("+APN"), "saved");
}

QTEST_MAIN(test_e2e_simple)
#include "test_e2e_simple.moc"
