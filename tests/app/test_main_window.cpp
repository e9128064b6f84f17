// The main window without a tracker: start-up, the log, how replies are read, the message boxes,
// and what happens without a link.

#include "mainwindow.h"
#include "modal_answerer.h"
#include "recorded_boxes.h"
#include "settings_file.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QCommandLinkButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString parse_error = QStringLiteral("Error parsing");
const QString no_block = QStringLiteral("No correspondig component found...");

// Newest first, as "[HH:mm:ss] text".
QStringList log_rows(MainWindow& w)
{
    auto* log = w.findChild<QListWidget*>("log_widget");
    QStringList rows;
    for (int i = 0; i < log->count(); ++i)
        rows << log->item(i)->text();
    return rows;
}

int log_count(MainWindow& w, const QString& text)
{
    return log_rows(w)
        .filter(QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\] " +
                                   QRegularExpression::escape(text) + "$"))
        .size();
}

void write_config(bool simple_mode, const QString& port = QString())
{
    t_settings s;
    s.simple_mode = simple_mode;
    s.port_name = port;
    write_settings(settings_file_path(), s);
}

// What the expert pages show of +APN: both rows of its first block and the row of its second.
QStringList expert_inputs(tab_xml_widget& pages)
{
    auto line = [&](int tab, int cmd, int row) {
        return qobject_cast<QLineEdit*>(pages.page_list[tab].commands[cmd].parameters[row].widget)
            ->text();
    };
    return {line(0, 0, 0), line(0, 0, 1), line(1, 2, 0)};
}

} // namespace

class test_main_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void first_start_without_configuration();
    void expert_reply_data();
    void expert_reply();
    void simple_refusal_data();
    void simple_refusal();
    void real_boxes_data();
    void real_boxes();
    void nothing_is_sent_without_a_link();
    void connecting_without_a_tracker();

private:
    QTemporaryDir work_dir;
};

void test_main_window::initTestCase()
{
    QVERIFY(work_dir.isValid());
    QVERIFY(QDir::setCurrent(work_dir.path()));
    QVERIFY(QFile::copy(TC_TEST_DATA "/app_profile.xml", "profile.xml"));
}

void test_main_window::init()
{
    QFile::remove(settings_file_path());
}

void test_main_window::first_start_without_configuration()
{
    recorded_boxes boxes;
    MainWindow w;
    const QStringList rows = log_rows(w);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(log_count(w, "Init ok!"), 1);
    QCOMPARE(w.statusBar()->findChild<QLabel*>()->text(), QStringLiteral("Init ok!"));
    auto* pages = w.findChild<tab_xml_widget*>();
    QVERIFY(pages->is_simple_mode);
    QCOMPARE(pages->device_password, QStringLiteral("7395"));
    QCOMPARE(pages->master_password, QStringLiteral("7395"));
    QVERIFY(!QFile::exists(settings_file_path()));
    QCOMPARE(boxes.texts(), QStringList());

    // The newest status text is on top and in the status bar, unchanged.
    w.set_status_text("Opening port ttyACM0 (115200)");
    QCOMPARE(log_count(w, "Opening port ttyACM0 (115200)"), 1);
    QCOMPARE(log_rows(w)[1], rows[0]);
    QCOMPARE(w.statusBar()->findChild<QLabel*>()->text(),
             QStringLiteral("Opening port ttyACM0 (115200)"));
}

void test_main_window::expert_reply_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("inputs"); // see expert_inputs()

    const QStringList none;
    const QStringList defaults{"internet", "gprs", "copy"};
    const QStringList refused{QStringLiteral("Ошибка прав доступа")};
    QTest::newRow("the first block of a name")
        << "+RESP:APN,a,b" << none << QStringList{"a", "b", "copy"};
    QTest::newRow("no comma") << "+RESP:APN" << QStringList{parse_error} << defaults;
    QTest::newRow("no colon") << "APN,1,2" << QStringList{parse_error} << defaults;
    QTest::newRow("text before the head")
        << "xx+RESP:APN,1" << QStringList{parse_error} << QStringList{"1", "gprs", "copy"};
    QTest::newRow("refused") << "+RESP:APN,ERROR,PERMISSION" << refused << defaults;
    QTest::newRow("refused without a name") << "APN,ERROR,PERMISSION" << refused << defaults;
    QTest::newRow("other error kind is a value")
        << "+RESP:APN,ERROR,BUSY" << none << QStringList{"ERROR", "BUSY", "copy"};
    QTest::newRow("error without kind is a value")
        << "+RESP:APN,ERROR" << none << QStringList{"ERROR", "gprs", "copy"};
    QTest::newRow("unknown name") << "+RESP:NOSUCH,1" << QStringList{no_block} << defaults;
    QTest::newRow("own save answered") << "+RESP:SAVE,OK" << none << defaults;
    QTest::newRow("own stream switch answered") << "+RESP:SDAD,OK" << none << defaults;
    QTest::newRow("own save refused") << "+RESP:SAVE,ERROR,PASSWORD"
                                      << QStringList{QStringLiteral("Неверный пароль")} << defaults;
}

void test_main_window::expert_reply()
{
    QFETCH(QString, line);
    recorded_boxes boxes;
    write_config(false);
    MainWindow w;
    auto& pages = *w.findChild<tab_xml_widget*>();

    w.slot_execute_cmd_ok("AT+GSM=?", line); // the command sent plays no part
    QTEST(boxes.texts(), "boxes");
    for (const recorded_boxes::box& b : boxes.seen()) {
        const bool refusal = b.title == QStringLiteral("Ошибка");
        QCOMPARE(b.kind, refusal ? message_box_kind::critical : message_box_kind::plain);
        QVERIFY(refusal || b.title.isEmpty());
    }
    QTEST(expert_inputs(pages), "inputs");
    QCOMPARE(log_count(w, "Result: " + line), 1);
}

void test_main_window::simple_refusal_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("next_save");

    const QStringList again{"AT+APN=7395,,driver,"};
    QTest::newRow("refused") << "+RESP:APN,ERROR,PERMISSION"
                             << QStringList{QStringLiteral("Ошибка прав доступа")} << again;
    QTest::newRow("another command refused")
        << "+RESP:GSM,ERROR,PASSWORD" << QStringList{QStringLiteral("Неверный пароль")}
        << QStringList();
    QTest::newRow("ERROR as a value") << "+RESP:APN,ERROR,BUSY" << QStringList() << QStringList();
    QTest::newRow("written") << "+RESP:APN,internet,driver" << QStringList() << QStringList();
}

// A save leaves the written positions awaiting the tracker's answer; a refusal of their command
// marks them changed again, for the next save.
void test_main_window::simple_refusal()
{
    QFETCH(QString, line);
    recorded_boxes boxes;
    write_config(true);
    MainWindow w;
    parameter_value_store& store = w.findChild<tab_xml_widget*>()->value_store;
    store.mark_value_changed("+APN", 2, "driver");
    store.mark_writes_sent();

    w.slot_execute_cmd_ok("AT+APN=7395,,driver,", line);
    QTEST(boxes.texts(), "boxes");
    QTEST(store.build_write_commands("7395", "7395"), "next_save");
}

void test_main_window::real_boxes_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("box"); // parented to the window, title, text, icon

    QTest::newRow("plain") << "+RESP:NOSUCH,1"
                           << QStringList{"0", "", no_block, QString::number(QMessageBox::NoIcon)};
    QTest::newRow("critical") << "+RESP:APN,ERROR,PERMISSION"
                              << QStringList{"1", QStringLiteral("Ошибка"),
                                             QStringLiteral("Ошибка прав доступа"),
                                             QString::number(QMessageBox::Critical)};
}

// The one path through a real, modal QMessageBox.
void test_main_window::real_boxes()
{
    QFETCH(QString, line);
    write_config(false);
    MainWindow w;
    w.show();
    QStringList seen;
    modal_answerer answer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        seen << QString::number(box->parentWidget() == &w) << box->windowTitle() << box->text()
             << QString::number(box->icon());
        accept_modal(modal);
    });
    w.slot_execute_cmd_ok("", line);
    QVERIFY(answer.answered());
    QTEST(seen, "box");
}

void test_main_window::nothing_is_sent_without_a_link()
{
    recorded_boxes boxes;
    write_config(true);
    MainWindow w;
    w.show();
    auto& pages = *w.findChild<tab_xml_widget*>();
    // Even with a change marked, a save without a link neither sends nor says anything.
    pages.value_store.mark_value_changed("+APN", 1, "x");
    for (int tab = pages.page_list.size() - 1; tab >= 0; --tab)
        pages.tab_widget->setCurrentIndex(tab);
    QTest::mouseClick(w.findChild<QCommandLinkButton*>("commandLinkButton_2"), Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(log_rows(w).size(), 1);
    QVERIFY(w.close());
}

void test_main_window::connecting_without_a_tracker()
{
    recorded_boxes boxes;
    const QString port = work_dir.filePath("no-such-port");
    write_config(false, port);
    MainWindow w;
    w.show();
    auto* button = w.findChild<QCommandLinkButton*>("commandLinkButton");
    auto* pages = w.findChild<tab_xml_widget*>();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Разорвать связь"));

    // The worker keeps trying; a second click ends the link while it still tries.
    const QString opening = "Opening port " + port + " (115200)";
    QVERIFY(QTest::qWaitFor([&] { return log_count(w, opening) >= 2; }, 20000));
    QVERIFY(!pages->page_list[0].commands[0].set_button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Соедениться с трекером"), 20000);
    QCOMPARE(log_count(w, "Tracker disconnected..."), 1);
    QCOMPARE(boxes.texts(), QStringList());
}

QTEST_MAIN(test_main_window)
#include "test_main_window.moc"
