// How the window reads a tracker's reply line in expert mode: which block it fills, and which
// box the user sees. No tracker is needed: the replies are handed in as the worker would.

#include "mainwindow.h"
#include "recorded_boxes.h"
#include "tab_xml_widget.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

class test_expert_replies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reply_fills_block_or_explains_data();
    void reply_fills_block_or_explains();
    void option_value_without_item_clears_selection();

private:
    QTemporaryDir work_dir;
    recorded_boxes boxes;
};

namespace {

QLineEdit* apn_input(tab_xml_widget& pages, int row)
{
    return qobject_cast<QLineEdit*>(pages.page_list[0].commands[0].parameters[row].widget);
}

} // namespace

void test_expert_replies::initTestCase()
{
    QVERIFY(work_dir.isValid());
    QVERIFY(QDir::setCurrent(work_dir.path()));
    QVERIFY(QFile::copy(TC_TEST_DATA "/app_profile.xml", "profile.xml"));
    QFile ini("tracker_config.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[XML]\nSimpleMode=false\n");
}

void test_expert_replies::reply_fills_block_or_explains_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("shown_boxes");
    QTest::addColumn<QString>("apn");
    QTest::addColumn<QString>("user");

    const QStringList none;
    const QString parse_error = "Error parsing";
    QTest::newRow("values") << "+RESP:APN,a.b,c" << none << "a.b"
                            << "c";
    QTest::newRow("fewer values than rows") << "+RESP:APN,only" << none << "only"
                                            << "gprs";
    QTest::newRow("more values than rows") << "+RESP:APN,a,b,c,d" << none << "a"
                                           << "b";
    QTest::newRow("empty values") << "+RESP:APN,," << none << ""
                                  << "";
    QTest::newRow("no comma") << "+RESP:APN" << QStringList{parse_error} << "internet"
                              << "gprs";
    QTest::newRow("wrong password") << "+RESP:APN,ERROR,PASSWORD"
                                    << QStringList{QStringLiteral("Неверный пароль")} << "internet"
                                    << "gprs";
    QTest::newRow("no permission")
        << "+RESP:APN,ERROR,PERMISSION" << QStringList{QStringLiteral("Ошибка прав доступа")}
        << "internet"
        << "gprs";
    QTest::newRow("unknown command")
        << "+RESP:APN,ERROR,COMMAND" << QStringList{QStringLiteral("Неверная команда")}
        << "internet"
        << "gprs";
    QTest::newRow("other error kind is a value") << "+RESP:APN,ERROR,BUSY" << none << "ERROR"
                                                 << "BUSY";
    QTest::newRow("error without kind is a value") << "+RESP:APN,ERROR" << none << "ERROR"
                                                   << "gprs";
    QTest::newRow("text before the head") << "xx+RESP:APN,1" << QStringList{parse_error} << "1"
                                          << "gprs";
    QTest::newRow("no colon") << "APN,1,2" << QStringList{parse_error} << "internet"
                              << "gprs";
    QTest::newRow("empty line") << "" << QStringList{parse_error} << "internet"
                                << "gprs";
    QTest::newRow("second colon ends the name") << "+RESP:APN:x,7" << none << "7"
                                                << "gprs";
    QTest::newRow("unknown command name")
        << "+RESP:NOSUCH,1" << QStringList{"No correspondig component found..."} << "internet"
        << "gprs";
    QTest::newRow("name is case-sensitive")
        << "+RESP:apn,1" << QStringList{"No correspondig component found..."} << "internet"
        << "gprs";
}

void test_expert_replies::reply_fills_block_or_explains()
{
    QFETCH(QString, line);
    QFETCH(QStringList, shown_boxes);
    QFETCH(QString, apn);
    QFETCH(QString, user);

    MainWindow w;
    auto& pages = *w.findChild<tab_xml_widget*>();
    QVERIFY(!pages.is_simple_mode);
    boxes.seen().clear();

    w.slot_execute_cmd_ok("AT+GSM=?", line); // the command sent plays no part
    QCOMPARE(boxes.texts(), shown_boxes);
    for (const recorded_boxes::box& b : boxes.seen()) {
        const bool tracker_error = b.title == QStringLiteral("Ошибка");
        QCOMPARE(b.kind, tracker_error ? message_box_kind::critical : message_box_kind::plain);
    }
    QCOMPARE(apn_input(pages, 0)->text(), apn);
    QCOMPARE(apn_input(pages, 1)->text(), user);
    QCOMPARE(w.findChild<QListWidget*>("log_widget")->item(0)->text().section("] ", 1),
             "Result: " + line);
}

void test_expert_replies::option_value_without_item_clears_selection()
{
    MainWindow w;
    auto& pages = *w.findChild<tab_xml_widget*>();
    auto* roaming = qobject_cast<QComboBox*>(pages.page_list[0].commands[1].parameters[1].widget);
    QCOMPARE(roaming->currentData().toInt(), 1);
    boxes.seen().clear();

    w.slot_execute_cmd_ok("", "+RESP:GSM,2,0");
    QCOMPARE(roaming->currentData().toInt(), 0);
    w.slot_execute_cmd_ok("", "+RESP:GSM,2,7");
    QCOMPARE(roaming->currentIndex(), -1);
    QCOMPARE(boxes.texts(), QStringList());
}

QTEST_MAIN(test_expert_replies)
#include "test_expert_replies.moc"
