// The settings dialog and what the window does with it: the port and speed lists, the round trip
// of a configuration, and the outcomes of cancelling, accepting and changing the display mode.

#include "confirm_dialog.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "port_list.h"
#include "program_restart.h"
#include "recorded_boxes.h"
#include "settings_file.h"
#include "tab_xml_widget.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<port_entry> presented_ports;
QList<port_entry> presented()
{
    return presented_ports;
}

int restarts = 0;
int file_mode_at_restart = -1; // the new instance reads the file: it must be written by then
void count_restart()
{
    ++restarts;
    file_mode_at_restart = read_settings(settings_file_path()).simple_mode;
}

QStringList item_texts(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

template <typename T>
T* field(QWidget* w, const char* name)
{
    return w->findChild<T*>(name);
}

} // namespace

class test_settings_dialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void fill_and_store();
    void absent_port_and_unknown_speed();
    void window_outcomes_data();
    void window_outcomes();
    void auto_connect_without_port_picks_none();

private:
    QTemporaryDir work_dir;
};

void test_settings_dialog::initTestCase()
{
    QVERIFY(work_dir.isValid());
    QVERIFY(QDir::setCurrent(work_dir.path()));
    QVERIFY(QFile::copy(TC_TEST_DATA "/app_profile.xml", "profile.xml"));
    set_port_source(presented);
    set_restart_function(count_restart);
}

void test_settings_dialog::init()
{
    presented_ports = {{"ttyACM0", QStringLiteral("Трекер"), "STMicroelectronics"},
                       {"ttyS0", "Modem", "Other Inc."},
                       {"rfcomm0", "Standard Serial over Bluetooth link", "Microsoft"}};
    restarts = 0;
    file_mode_at_restart = -1;
    QFile::remove(settings_file_path());
}

void test_settings_dialog::cleanupTestCase()
{
    set_port_source(nullptr);
    set_restart_function(nullptr);
}

void test_settings_dialog::fill_and_store()
{
    t_settings in;
    in.port_name = "ttyS0";
    in.port_name_long = "stale text";
    in.port_speed = 57600;
    in.bt_conn = true;
    in.auto_connect = true;
    in.device_password = "1111";
    in.master_password = QStringLiteral("мастер");
    in.simple_mode = false;

    Confirm_Dialog d;
    QCOMPARE(item_texts(field<QComboBox>(&d, "cbPortSpeed")),
             QStringList({"9600", "38400", "57600", "115200", "460800"}));
    d.fill_from_settings(&in);
    // Sorted by text; an attached port is not listed twice.
    QCOMPARE(item_texts(field<QComboBox>(&d, "cbPortName")),
             QStringList({"rfcomm0 Standard Serial over Bluetooth link Microsoft",
                          QStringLiteral("ttyACM0 Трекер STMicroelectronics"),
                          "ttyS0 Modem Other Inc."}));
    t_settings out;
    out.xml_path = "untouched.xml";
    d.store_to_settings(&out);

    QCOMPARE(out.port_name, QStringLiteral("ttyS0"));
    QCOMPARE(out.port_name_long, QStringLiteral("ttyS0 Modem Other Inc.")); // the attached text
    QCOMPARE(out.port_speed, 57600);
    QCOMPARE(out.bt_conn, true);
    QCOMPARE(out.auto_connect, true);
    QCOMPARE(out.device_password, QStringLiteral("1111"));
    QCOMPARE(out.master_password, QStringLiteral("мастер"));
    QCOMPARE(out.simple_mode, false);
    QCOMPARE(out.xml_path, QStringLiteral("untouched.xml"));
}

void test_settings_dialog::absent_port_and_unknown_speed()
{
    t_settings in;
    in.port_name = "ttyUSB9";
    in.port_name_long = "ttyUSB9 Old tracker Maker";
    in.port_speed = 14400;

    Confirm_Dialog d;
    d.fill_from_settings(&in);
    auto* ports = field<QComboBox>(&d, "cbPortName");
    QCOMPARE(ports->count(), 4);
    QCOMPARE(ports->currentText(), in.port_name_long); // listed under its stored text, chosen
    QCOMPARE(ports->itemText(3), in.port_name_long);   // and sorted into its place
    QCOMPARE(field<QComboBox>(&d, "cbPortSpeed")->currentIndex(), -1);

    t_settings out;
    d.store_to_settings(&out);
    QCOMPARE(out.port_name, in.port_name);
    QCOMPARE(out.port_name_long, in.port_name_long);
    QCOMPARE(out.port_speed, 0);
}

void test_settings_dialog::window_outcomes_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("toggle_mode");
    QTest::addColumn<QString>("pages_password");
    QTest::addColumn<bool>("file_written");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<int>("restarts");

    const QString restart_text =
        QStringLiteral("После изменения настроек режима отображения приложение будет перезапущено");
    QTest::newRow("cancel") << false << true << "7395" << false << QStringList() << 0;
    QTest::newRow("accept") << true << false << "1234" << true << QStringList() << 0;
    QTest::newRow("accept a new mode")
        << true << true << "1234" << true << QStringList{restart_text} << 1;
}

void test_settings_dialog::window_outcomes()
{
    QFETCH(bool, accept);
    QFETCH(bool, toggle_mode);
    recorded_boxes boxes;
    MainWindow w;
    auto* pages = w.findChild<tab_xml_widget*>();
    modal_answerer answer([&](QWidget* dialog) {
        field<QLineEdit>(dialog, "leMasterDevicePassword")->setText("1234");
        field<QLineEdit>(dialog, "leMasterPassword")->setText("5678");
        if (toggle_mode)
            field<QCheckBox>(dialog, "cb_SimpleMode")->setChecked(false);
        if (accept)
            accept_modal(dialog);
        else
            qobject_cast<QDialog*>(dialog)->reject();
    });
    w.findChild<QAction*>("actionSettings")->trigger();
    QVERIFY(answer.answered());

    QTEST(pages->device_password, "pages_password");
    QCOMPARE(pages->master_password, accept ? QStringLiteral("5678") : QStringLiteral("7395"));
    QTEST(QFile::exists(settings_file_path()), "file_written");
    if (accept)
        QCOMPARE(read_settings(settings_file_path()).master_password, QStringLiteral("5678"));
    QTEST(boxes.texts(), "boxes");
    for (const recorded_boxes::box& b : boxes.seen())
        QCOMPARE(b.title, QStringLiteral("Сообщение"));
    QTEST(restarts, "restarts");
    if (restarts)
        QCOMPARE(file_mode_at_restart, 0);
}

void test_settings_dialog::auto_connect_without_port_picks_none()
{
    t_settings s;
    s.auto_connect = true;
    write_settings(settings_file_path(), s);
    presented_ports = {{"ttyS0", "Modem", "Other Inc."}};

    recorded_boxes boxes;
    MainWindow w;
    QCOMPARE(field<QCommandLinkButton>(&w, "commandLinkButton")->text(),
             QStringLiteral("Соедениться с трекером"));
    QCOMPARE(read_settings(settings_file_path()).port_name, QString());
}

QTEST_MAIN(test_settings_dialog)
#include "test_settings_dialog.moc"
