#include "mainwindow.h"
#include "recorded_boxes.h"
#include "tab_xml_widget.h"

#include <QAction>
#include <QCommandLinkButton>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

class test_main_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form_widgets_data();
    void form_widgets();
    void form_layout_and_policies();
    void actions_data();
    void actions();
    void menus();
    void test_dialog_menu_is_empty_and_inert();
    void slots_keep_their_order();
    void first_start_without_configuration();
    void status_text_goes_to_label_and_top_of_log();
    void closes_at_once_without_link();

private:
    QTemporaryDir work_dir;
    recorded_boxes boxes; // a box would block the test; none is expected
};

namespace {

QStringList log_rows(MainWindow& w)
{
    auto* log = w.findChild<QListWidget*>("log_widget");
    QStringList rows;
    for (int i = 0; i < log->count(); ++i)
        rows << log->item(i)->text();
    return rows;
}

QLabel* status_label(MainWindow& w)
{
    const auto labels = w.statusBar()->findChildren<QLabel*>();
    return labels.isEmpty() ? nullptr : labels.first();
}

} // namespace

void test_main_window::initTestCase()
{
    QVERIFY(work_dir.isValid());
    QVERIFY(QDir::setCurrent(work_dir.path()));
    // The pages read the profile of the working directory; without one they report it in boxes.
    QVERIFY(QFile::copy(QStringLiteral(TC_TEST_DATA "/../../profiles/profile.xml"), "profile.xml"));
}

void test_main_window::form_widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("connect button")
        << "commandLinkButton" << QStringLiteral("Соедениться с трекером") << QRect(0, 0, 231, 41);
    QTest::newRow("save button") << "commandLinkButton_2" << QStringLiteral("Сохранить настройки")
                                 << QRect(240, 0, 251, 41);
}

void test_main_window::form_widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);

    MainWindow w;
    auto* button = w.findChild<QCommandLinkButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->geometry(), geometry);
    QCOMPARE(button->parent()->objectName(), QStringLiteral("frame"));
}

void test_main_window::form_layout_and_policies()
{
    MainWindow w;
    QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(w.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(w.size(), QSize(818, 631));
    QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("centralWidget"));

    auto* frame = w.findChild<QFrame*>("frame");
    QVERIFY(frame);
    QCOMPARE(frame->frameShape(), QFrame::NoFrame);
    QCOMPARE(frame->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(frame->minimumHeight(), 41);

    auto* frame_2 = w.findChild<QFrame*>("frame_2");
    QVERIFY(frame_2);
    QCOMPARE(frame_2->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame_2->frameShadow(), QFrame::Raised);
    QCOMPARE(frame_2->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    auto* pages = w.findChild<tab_xml_widget*>();
    QVERIFY(pages);
    QCOMPARE(pages->parentWidget(), frame_2);

    auto* log = w.findChild<QListWidget*>("log_widget");
    QVERIFY(log);
    QCOMPARE(log->minimumHeight(), 150);
    QCOMPARE(log->maximumHeight(), 150);
    QCOMPARE(log->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);

    QVERIFY(w.findChild<QToolBar*>("mainToolBar"));
    QCOMPARE(w.toolBarArea(w.findChild<QToolBar*>("mainToolBar")), Qt::TopToolBarArea);
    QCOMPARE(w.statusBar()->objectName(), QStringLiteral("statusBar"));
}

void test_main_window::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("visible");

    QTest::newRow("show") << "actionShow"
                          << "Show"
                          << "Alt+T" << false << false;
    QTest::newRow("test dialog 2") << "actionTest_dialog_2"
                                   << "Test dialog 2"
                                   << "Ctrl+T" << true << false;
    QTest::newRow("settings") << "actionSettings" << QStringLiteral("Настройки...") << "" << true
                              << true;
    QTest::newRow("exit") << "actionExit" << QStringLiteral("Выход") << "" << true << true;
}

void test_main_window::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(bool, enabled);
    QFETCH(bool, visible);

    MainWindow w;
    auto* action = w.findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->parent(), &w);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcut().toString(), shortcut);
    QCOMPARE(action->isVisible(), visible);
    // A hidden action always reports itself disabled; its own enabled state shows once visible.
    action->setVisible(true);
    QCOMPARE(action->isEnabled(), enabled);
}

void test_main_window::menus()
{
    MainWindow w;
    QCOMPARE(w.menuBar()->objectName(), QStringLiteral("menuBar"));
    const auto top = w.menuBar()->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top[0]->menu()->objectName(), QStringLiteral("menuMain"));
    QCOMPARE(top[0]->text(), QStringLiteral("Файл"));
    QCOMPARE(top[1]->menu()->objectName(), QStringLiteral("menuTest_Dialog"));
    QCOMPARE(top[1]->text(), QStringLiteral("Test Dialog"));

    const auto file = top[0]->menu()->actions();
    QCOMPARE(file.size(), 3);
    QCOMPARE(file[0]->objectName(), QStringLiteral("actionSettings"));
    QVERIFY(file[1]->isSeparator());
    QCOMPARE(file[2]->objectName(), QStringLiteral("actionExit"));
}

void test_main_window::test_dialog_menu_is_empty_and_inert()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* menu = w.findChild<QMenu*>("menuTest_Dialog");
    QVERIFY(menu);
    for (QAction* action : menu->actions())
        QVERIFY2(!action->isVisible(), qPrintable(action->objectName()));

    QSignalSpy show(w.findChild<QAction*>("actionShow"), &QAction::triggered);
    QSignalSpy test2(w.findChild<QAction*>("actionTest_dialog_2"), &QAction::triggered);
    QTest::keyClick(&w, Qt::Key_T, Qt::AltModifier);
    QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(show.count(), 0);
    QCOMPARE(test2.count(), 0);
}

void test_main_window::slots_keep_their_order()
{
    const QStringList expected = {
        "show_settings_window()",
        "tracker_disconnected()",
        "set_status_text(QString)",
        "slot_execute_cmd_ok(QString,QString)",
        "slot_tracker_handshake_ok()",
        "tracker_read_command(int,int,QString)",
        "tracker_set_command(int,int,QString)",
        "slot_on_tab_change(QStringList,int)",
        "get_sensor_data(QString)",
        "on_commandLinkButton_clicked()",
        "on_commandLinkButton_2_clicked()",
    };
    const QMetaObject& mo = MainWindow::staticMetaObject;
    QStringList found;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        found << QString::fromLatin1(m.methodSignature());
        const bool is_private = found.last().startsWith("on_commandLinkButton");
        QCOMPARE(m.access(), is_private ? QMetaMethod::Private : QMetaMethod::Public);
    }
    QCOMPARE(found, expected);
}

void test_main_window::first_start_without_configuration()
{
    QVERIFY(!QFile::exists("tracker_config.ini"));
    MainWindow w;
    QCOMPARE(log_rows(w).size(), 1);
    QVERIFY(log_rows(w).first().endsWith("] Init ok!"));
    QCOMPARE(status_label(w)->text(), QStringLiteral("Init ok!"));

    auto* pages = w.findChild<tab_xml_widget*>();
    QVERIFY(pages->is_simple_mode);
    QCOMPARE(pages->device_password, QStringLiteral("7395"));
    QCOMPARE(pages->master_password, QStringLiteral("7395"));
    QCOMPARE(w.findChild<QCommandLinkButton*>("commandLinkButton")->text(),
             QStringLiteral("Соедениться с трекером"));
    // Reading the configuration never creates it.
    QVERIFY(!QFile::exists("tracker_config.ini"));
    QCOMPARE(boxes.texts(), QStringList());
}

void test_main_window::status_text_goes_to_label_and_top_of_log()
{
    MainWindow w;
    const QTime before = QTime::currentTime();
    w.set_status_text("Opening port ttyACM0 (115200)");
    w.set_status_text("Handshake OK");
    const QTime after = QTime::currentTime();

    QCOMPARE(status_label(w)->text(), QStringLiteral("Handshake OK"));
    const QStringList rows = log_rows(w);
    QCOMPARE(rows.size(), 3);

    const QRegularExpression line(R"(^\[(\d\d:\d\d:\d\d)\] (.*)$)");
    const QStringList texts = {"Handshake OK", "Opening port ttyACM0 (115200)", "Init ok!"};
    for (int i = 0; i < rows.size(); ++i) {
        const auto m = line.match(rows[i]);
        QVERIFY2(m.hasMatch(), qPrintable(rows[i]));
        QCOMPARE(m.captured(2), texts[i]);
        const QTime stamp = QTime::fromString(m.captured(1), "HH:mm:ss");
        QVERIFY(stamp.isValid());
        if (before <= after) // not across midnight
            QVERIFY(stamp >= before.addMSecs(-before.msec() - 1000) && stamp <= after);
    }
}

void test_main_window::closes_at_once_without_link()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());

    MainWindow w2;
    w2.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w2));
    w2.findChild<QAction*>("actionExit")->trigger();
    QVERIFY(!w2.isVisible());
}

QTEST_MAIN(test_main_window)
#include "test_main_window.moc"
