// The main window without a tracker: start-up, how replies are read in both modes, the message
// boxes, the settings dialog, and what happens without a link.

#include "mainwindow.h"
#include "modal_answerer.h"
#include "port_list.h"
#include "program_restart.h"
#include "qt_translations.h"
#include "recorded_boxes.h"
#include "settings_file.h"
#include "tab_xml_widget.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString parse_error = QStringLiteral("Error parsing");
const QString no_block = QStringLiteral("No correspondig component found...");
const QString denied = QStringLiteral("Ошибка прав доступа");
const QString wrong_password = QStringLiteral("Неверный пароль");

int restarts = 0;
int file_mode_at_restart = -1; // the new instance reads the file: it must be written by then

// Newest first, without the time stamps.
QStringList log(MainWindow& w)
{
    auto* list = w.findChild<QListWidget*>("log_widget");
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text().section("] ", 1);
    return rows;
}

void write_config(bool simple_mode)
{
    t_settings s;
    s.simple_mode = simple_mode;
    QVERIFY(write_settings(settings_file_path(), s));
}

// Expert mode: both rows of the first +APN block and the row of the second one.
QStringList expert_inputs(tab_xml_widget& pages)
{
    auto line = [&](int tab, int cmd, int row) {
        return qobject_cast<QLineEdit*>(pages.page_list[tab].commands[cmd].parameters[row].widget)
            ->text();
    };
    return {line(0, 0, 0), line(0, 0, 1), line(1, 2, 0)};
}

} // namespace

class test_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init()
    {
        QFile::remove(settings_file_path());
        restarts = 0;
    }
    void first_start_without_a_tracker();
    void reply_data();
    void reply();
    void real_boxes();
    void settings_dialog_data();
    void settings_dialog();

private:
    QTemporaryDir work_dir;
};

void test_window::initTestCase()
{
    QVERIFY(work_dir.isValid());
    QVERIFY(QDir::setCurrent(work_dir.path()));
    QVERIFY(install_qt_translations(*qApp));
    QVERIFY(QFile::copy(TC_TEST_DATA "/app_profile.xml", "profile.xml"));
    set_port_source([] {
        return QList<port_entry>{{"ttyACM0", QStringLiteral("Трекер"), "STMicroelectronics"},
                                 {"ttyS0", "Modem", "Other Inc."},
                                 {"rfcomm0", "Standard Serial over Bluetooth link", "Microsoft"}};
    });
    set_restart_function([] {
        ++restarts;
        file_mode_at_restart = read_settings(settings_file_path()).simple_mode;
    });
}

// The first start, without a configuration file or a tracker: the defaults; nothing sent and a
// save that says nothing without a link; no port, so the settings first; a link that keeps trying
// to open the port until a second click ends it. The newest status text is on top, stamped, and
// in the status bar.
void test_window::first_start_without_a_tracker()
{
    recorded_boxes boxes;
    MainWindow w;
    w.show();
    auto& pages = *w.findChild<tab_xml_widget*>();
    QVERIFY(pages.is_simple_mode);
    QCOMPARE(pages.device_password + pages.master_password, QStringLiteral("73957395"));
    for (int tab = pages.page_list.size() - 1; tab >= 0; --tab)
        pages.tab_widget->setCurrentIndex(tab);
    QTest::mouseClick(w.findChild<QCommandLinkButton*>("commandLinkButton_2"), Qt::LeftButton);
    QCOMPARE(log(w), QStringList({"Init ok!"}));

    // Without a port there is nothing to open: the settings come up and say why. Cancelled, no
    // link starts; a port chosen there starts it.
    auto* button = w.findChild<QCommandLinkButton*>("commandLinkButton");
    QStringList notices;
    for (const bool accept : {false, true}) {
        modal_answerer answer([&](QWidget* dialog) {
            notices << dialog->findChild<QLabel*>("notice")->text();
            auto* list = dialog->findChild<QComboBox*>("cbPortName");
            list->setCurrentIndex(list->findData("ttyACM0"));
            if (!accept)
                qobject_cast<QDialog*>(dialog)->reject();
            else
                accept_modal(dialog);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(answer.answered());
        QCOMPARE(button->text(), accept ? QStringLiteral("Разорвать связь")
                                        : QStringLiteral("Соедениться с трекером"));
    }
    QCOMPARE(notices.size(), 2);
    QVERIFY(notices.first().startsWith(QStringLiteral("Порт трекера не выбран.")));
    QVERIFY(
        QTest::qWaitFor([&] { return log(w).count("Opening port ttyACM0 (115200)") >= 2; }, 20000));
    QCOMPARE(w.statusBar()->findChild<QLabel*>()->text(), log(w).first());
    const QString newest = w.findChild<QListWidget*>("log_widget")->item(0)->text();
    QVERIFY(QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\] ").match(newest).hasMatch());
    QVERIFY(!pages.page_list[0].parameters[0]->widget->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Соедениться с трекером"), 20000);
    QCOMPARE(log(w).count("Tracker disconnected..."), 1);
    QCOMPARE(log(w).last(), QStringLiteral("Init ok!"));
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(read_settings(settings_file_path()).port_name, QStringLiteral("ttyACM0"));
}

void test_window::reply_data()
{
    QTest::addColumn<bool>("simple");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("boxes");
    // Expert mode: expert_inputs(). Simple mode: what the next save writes after a save of
    // +APN #2 that awaits its answer.
    QTest::addColumn<QStringList>("after");

    const QStringList none;
    const QStringList untouched{"internet", "gprs", "copy"};
    QTest::newRow("the first block of a name")
        << false << "+RESP:APN,a,b" << none << QStringList{"a", "b", "copy"};
    QTest::newRow("no comma") << false << "+RESP:APN" << QStringList{parse_error} << untouched;
    QTest::newRow("text before the head")
        << false << "xx+RESP:APN,1" << QStringList{parse_error} << QStringList{"1", "gprs", "copy"};
    QTest::newRow("refused") << false << "+RESP:APN,ERROR,PERMISSION" << QStringList{denied}
                             << untouched;
    QTest::newRow("refused, no name")
        << false << "APN,ERROR,PERMISSION" << QStringList{denied} << untouched;
    QTest::newRow("unknown name") << false << "+RESP:NOSUCH,1" << QStringList{no_block}
                                  << untouched;
    QTest::newRow("own save answered") << false << "+RESP:SAVE,OK" << none << untouched;
    QTest::newRow("own stream switch answered") << false << "+RESP:SDAD,OK" << none << untouched;
    QTest::newRow("own save refused")
        << false << "+RESP:SAVE,ERROR,PASSWORD" << QStringList{wrong_password} << untouched;

    const QStringList again{"AT+APN=7395,,driver,"};
    QTest::newRow("simple: written") << true << "+RESP:APN,internet,driver" << none << none;
    QTest::newRow("simple: refused")
        << true << "+RESP:APN,ERROR,PERMISSION" << QStringList{denied} << again;
    QTest::newRow("simple: another command refused")
        << true << "+RESP:GSM,ERROR,PASSWORD" << QStringList{wrong_password} << none;
    QTest::newRow("simple: ERROR as a value") << true << "+RESP:APN,ERROR,BUSY" << none << none;
}

void test_window::reply()
{
    QFETCH(bool, simple);
    QFETCH(QString, line);
    recorded_boxes boxes;
    write_config(simple);
    MainWindow w;
    auto& pages = *w.findChild<tab_xml_widget*>();
    pages.value_store.mark_value_changed("+APN", 2, "driver");
    pages.value_store.mark_writes_sent();

    w.slot_execute_cmd_ok("AT+GSM=?", line); // the command sent plays no part
    QCOMPARE(log(w).count("Result: " + line), 1);
    QTEST(boxes.texts(), "boxes");
    QTEST(simple ? pages.value_store.build_write_commands("7395", "7395") : expert_inputs(pages),
          "after");
}

// The one path through real, modal boxes: parent, title, text and icon as the user sees them.
void test_window::real_boxes()
{
    write_config(false);
    MainWindow w;
    w.show();
    QStringList seen;
    for (const char* line : {"+RESP:NOSUCH,1", "+RESP:APN,ERROR,PERMISSION"}) {
        modal_answerer answer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen << QString::number(box->parentWidget() == &w) << box->windowTitle() << box->text()
                 << QString::number(box->icon());
            accept_modal(modal);
        });
        w.slot_execute_cmd_ok("", line);
    }
    QCOMPARE(seen, QStringList({"0", "", no_block, QString::number(QMessageBox::NoIcon), "1",
                                QStringLiteral("Ошибка"), denied,
                                QString::number(QMessageBox::Critical)}));
}

void test_window::settings_dialog_data()
{
    QTest::addColumn<QString>("port"); // in the file at the start, with the text "stored text"
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("new_mode");
    QTest::addColumn<QStringList>("ports"); // as listed, "> " before the chosen one; "Cancel"
    QTest::addColumn<QStringList>("after"); // the file, the pages' passwords, the boxes

    const QString bt = "rfcomm0 Standard Serial over Bluetooth link Microsoft";
    const QString usb = QStringLiteral("ttyACM0 Трекер STMicroelectronics");
    const QString modem = "ttyS0 Modem Other Inc.";
    const QString cancel = QStringLiteral("Отмена");
    const QString restart_text =
        QStringLiteral("После изменения настроек режима отображения приложение будет перезапущено");
    QTest::newRow("cancel") << "ttyS0" << 57600 << false << true
                            << QStringList{bt, usb, "> " + modem, cancel}
                            << QStringList{"ttyS0", "stored text", "57600",  "bt",   "manual",
                                           "1111",  "мастер",      "expert", "1111", "мастер"};
    // The text of an attached port wins over the stored one.
    QTest::newRow("attached port")
        << "ttyS0" << 57600 << true << false << QStringList{bt, usb, "> " + modem, cancel}
        << QStringList{"ttyS0", modem,  "57600",  "bt",   "manual",
                       "1234",  "5678", "expert", "1234", "5678"};
    // An absent port is listed under its stored text, in its sorted place; an unknown speed is
    // no choice and stores 0. A new mode restarts the program, once the file holds it.
    QTest::newRow("absent port, unknown speed, new mode")
        << "ttyUSB9" << 14400 << true << true
        << QStringList{bt, "> stored text", usb, modem, cancel}
        << QStringList{"ttyUSB9", "stored text", "0",    "bt",   "manual",    "1234",
                       "5678",    "simple",      "1234", "5678", restart_text};
}

void test_window::settings_dialog()
{
    QFETCH(QString, port);
    QFETCH(int, speed);
    QFETCH(bool, accept);
    QFETCH(bool, new_mode);
    // Every field, in the order of the record.
    QVERIFY(write_settings(settings_file_path(), {port, "stored text", speed, true, false, "1111",
                                                  "мастер", "kept.xml", false}));
    recorded_boxes boxes;
    MainWindow w;
    QStringList ports;
    modal_answerer answer([&](QWidget* dialog) {
        auto* list = dialog->findChild<QComboBox*>("cbPortName");
        for (int i = 0; i < list->count(); ++i)
            ports << (i == list->currentIndex() ? "> " : "") + list->itemText(i);
        dialog->findChild<QLineEdit*>("leMasterDevicePassword")->setText("1234");
        dialog->findChild<QLineEdit*>("leMasterPassword")->setText("5678");
        dialog->findChild<QCheckBox*>("cb_SimpleMode")->setChecked(new_mode);
        // Qt's own texts are Russian too.
        ports << dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
        if (accept)
            accept_modal(dialog);
        else
            qobject_cast<QDialog*>(dialog)->reject();
    });
    w.findChild<QAction*>("actionSettings")->trigger();
    QVERIFY(answer.answered());
    QTEST(ports, "ports");

    const t_settings s = read_settings(settings_file_path());
    const auto* pages = w.findChild<tab_xml_widget*>();
    QTEST(QStringList({s.port_name, s.port_name_long, QString::number(s.port_speed),
                       s.bt_conn ? "bt" : "wired", s.auto_connect ? "auto" : "manual",
                       s.device_password, s.master_password, s.simple_mode ? "simple" : "expert",
                       pages->device_password, pages->master_password}) +
              boxes.texts(),
          "after");
    for (const recorded_boxes::box& b : boxes.seen())
        QCOMPARE(b.title, QStringLiteral("Сообщение"));
    QCOMPARE(restarts, boxes.texts().size());
    if (restarts)
        QCOMPARE(file_mode_at_restart, 1);
}

QTEST_MAIN(test_window)
#include "test_window.moc"
