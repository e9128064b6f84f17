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
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(QList<port_entry>)

namespace {

QList<port_entry> presented_ports;
QList<port_entry> presented()
{
    return presented_ports;
}

int restarts = 0;
void count_restart()
{
    ++restarts;
}

// The new instance reads the file: it must hold the new values before the restart is announced.
int file_said_simple_mode_at_box = -1;
void check_file_at_box(message_box_kind kind, QWidget*, const QString& title, const QString& text)
{
    file_said_simple_mode_at_box = read_settings(settings_file_path()).simple_mode;
    recorded_boxes::seen().append({kind, title, text});
}

const port_entry usb_a{"ttyACM0", QStringLiteral("Трекер"), "STMicroelectronics"};
const port_entry usb_b{"ttyACM1", "Virtual COM Port", "STMicroelectronics"};
const port_entry bt{"rfcomm0", "Standard Serial over Bluetooth link", "Microsoft"};
const port_entry modem{"ttyS0", "Modem", "Other Inc."};

template <typename T>
T* field(QWidget& w, const char* name)
{
    T* found = w.findChild<T*>(name);
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QStringList item_texts(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

class test_settings_dialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void form_rows_data();
    void form_rows();
    void lists_of_ports_and_speeds();
    void fill_and_store_round_trip();
    void absent_port_is_listed_and_sorted();
    void unknown_speed_leaves_no_choice();
    void cancel_changes_nothing();
    void accept_saves_and_updates_pages();
    void mode_change_announces_restart();
    void auto_connect_without_port_picks_none();

private:
    QTemporaryDir work_dir;
    recorded_boxes boxes; // no profile here: its error boxes are recorded, not shown
};

void test_settings_dialog::initTestCase()
{
    QVERIFY(work_dir.isValid());
    QVERIFY(QDir::setCurrent(work_dir.path()));
    set_port_source(presented);
    set_restart_function(count_restart);
}

void test_settings_dialog::init()
{
    presented_ports = {usb_a, modem, bt};
    restarts = 0;
    QFile::remove(settings_file_path());
}

void test_settings_dialog::cleanupTestCase()
{
    set_port_source(nullptr);
    set_restart_function(nullptr);
}

void test_settings_dialog::form_rows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");

    QTest::newRow("port") << 1 << QStringLiteral("COM-Порт:") << "cbPortName"
                          << "";
    QTest::newRow("speed") << 2 << QStringLiteral("Скорость:") << "cbPortSpeed"
                           << "";
    QTest::newRow("bluetooth") << 3 << ""
                               << "check_box_bt" << QStringLiteral("Соединение через Bluetooth");
    QTest::newRow("auto") << 4 << ""
                          << "cbAutoConnect" << QStringLiteral("Соединяться автоматически");
    QTest::newRow("device password")
        << 6 << QStringLiteral("Пароль на устройство:") << "leMasterDevicePassword"
        << "";
    QTest::newRow("master password") << 7 << QStringLiteral("Мастер-пароль:") << "leMasterPassword"
                                     << "";
    QTest::newRow("simple mode") << 8 << ""
                                 << "cb_SimpleMode" << QStringLiteral("Простой режим");
}

void test_settings_dialog::form_rows()
{
    QFETCH(int, row);
    QFETCH(QString, label);
    QFETCH(QString, field);
    QFETCH(QString, text);

    Confirm_Dialog d;
    QCOMPARE(d.objectName(), QStringLiteral("Confirm_Dialog"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(d.size(), QSize(462, 346));
    auto* form = d.findChild<QFormLayout*>("formLayout");
    QVERIFY(form);
    QCOMPARE(form->rowCount(), 9);

    QLayoutItem* field_item = form->itemAt(row, QFormLayout::FieldRole);
    QVERIFY(field_item);
    QCOMPARE(field_item->widget()->objectName(), field);
    QLayoutItem* label_item = form->itemAt(row, QFormLayout::LabelRole);
    QCOMPARE(label_item ? qobject_cast<QLabel*>(label_item->widget())->text() : QString(), label);
    if (auto* check = qobject_cast<QCheckBox*>(field_item->widget()))
        QCOMPARE(check->text(), text);
    if (auto* edit = qobject_cast<QLineEdit*>(field_item->widget()))
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
}

void test_settings_dialog::lists_of_ports_and_speeds()
{
    Confirm_Dialog d;
    auto* ports = field<QComboBox>(d, "cbPortName");
    QCOMPARE(
        item_texts(ports),
        QStringList({QStringLiteral("ttyACM0 Трекер STMicroelectronics"), "ttyS0 Modem Other Inc.",
                     "rfcomm0 Standard Serial over Bluetooth link Microsoft"}));
    QCOMPARE(ports->itemData(2).toString(), QStringLiteral("rfcomm0"));

    auto* speeds = field<QComboBox>(d, "cbPortSpeed");
    QCOMPARE(item_texts(speeds), QStringList({"9600", "38400", "57600", "115200", "460800"}));
    for (int i = 0; i < speeds->count(); ++i)
        QCOMPARE(speeds->itemData(i).toInt(), speeds->itemText(i).toInt());
}

void test_settings_dialog::fill_and_store_round_trip()
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
    in.xml_path = "kept.xml";

    Confirm_Dialog d;
    d.fill_from_settings(&in);
    QCOMPARE(field<QComboBox>(d, "cbPortName")->count(), 3);
    t_settings out;
    out.xml_path = "untouched.xml";
    d.store_to_settings(&out);

    QCOMPARE(out.port_name, QStringLiteral("ttyS0"));
    // The text of the attached port wins over the one stored.
    QCOMPARE(out.port_name_long, QStringLiteral("ttyS0 Modem Other Inc."));
    QCOMPARE(out.port_speed, 57600);
    QCOMPARE(out.bt_conn, true);
    QCOMPARE(out.auto_connect, true);
    QCOMPARE(out.device_password, QStringLiteral("1111"));
    QCOMPARE(out.master_password, QStringLiteral("мастер"));
    QCOMPARE(out.simple_mode, false);
    QCOMPARE(out.xml_path, QStringLiteral("untouched.xml"));
}

void test_settings_dialog::absent_port_is_listed_and_sorted()
{
    t_settings in;
    in.port_name = "ttyUSB9";
    in.port_name_long = "ttyUSB9 Old tracker Maker";

    Confirm_Dialog d;
    d.fill_from_settings(&in);
    auto* ports = field<QComboBox>(d, "cbPortName");
    QCOMPARE(item_texts(ports),
             QStringList({"rfcomm0 Standard Serial over Bluetooth link Microsoft",
                          QStringLiteral("ttyACM0 Трекер STMicroelectronics"),
                          "ttyS0 Modem Other Inc.", "ttyUSB9 Old tracker Maker"}));
    QCOMPARE(ports->currentIndex(), 3);

    t_settings out;
    d.store_to_settings(&out);
    QCOMPARE(out.port_name, in.port_name);
    QCOMPARE(out.port_name_long, in.port_name_long);

    // No port at all: the stored values come back unchanged.
    presented_ports.clear();
    Confirm_Dialog empty;
    t_settings none;
    empty.fill_from_settings(&none);
    QCOMPARE(field<QComboBox>(empty, "cbPortName")->count(), 1);
    t_settings back;
    back.port_name = "x";
    empty.store_to_settings(&back);
    QCOMPARE(back.port_name, QString());
    QCOMPARE(back.port_name_long, QString());
}

void test_settings_dialog::unknown_speed_leaves_no_choice()
{
    t_settings in;
    in.port_speed = 14400;
    Confirm_Dialog d;
    d.fill_from_settings(&in);
    QCOMPARE(field<QComboBox>(d, "cbPortSpeed")->currentIndex(), -1);
    t_settings out;
    d.store_to_settings(&out);
    QCOMPARE(out.port_speed, 0);
}

void test_settings_dialog::cancel_changes_nothing()
{
    MainWindow w;
    auto* pages = w.findChild<tab_xml_widget*>();
    modal_answerer answer([](QWidget* dialog) {
        field<QLineEdit>(*dialog, "leMasterDevicePassword")->setText("9999");
        qobject_cast<QDialog*>(dialog)->reject();
    });
    w.show_settings_window();
    QVERIFY(answer.answered());
    QCOMPARE(pages->device_password, QStringLiteral("7395"));
    QVERIFY(!QFile::exists(settings_file_path()));
    QCOMPARE(restarts, 0);
}

void test_settings_dialog::accept_saves_and_updates_pages()
{
    MainWindow w;
    auto* pages = w.findChild<tab_xml_widget*>();
    modal_answerer answer([](QWidget* dialog) {
        field<QLineEdit>(*dialog, "leMasterDevicePassword")->setText("1234");
        field<QLineEdit>(*dialog, "leMasterPassword")->setText("5678");
        auto* ports = field<QComboBox>(*dialog, "cbPortName");
        ports->setCurrentIndex(ports->findData("ttyACM0"));
        qobject_cast<QDialog*>(dialog)->accept();
    });
    w.findChild<QAction*>("actionSettings")->trigger();
    QVERIFY(answer.answered());

    QCOMPARE(pages->device_password, QStringLiteral("1234"));
    QCOMPARE(pages->master_password, QStringLiteral("5678"));
    const t_settings saved = read_settings(settings_file_path());
    QCOMPARE(saved.device_password, QStringLiteral("1234"));
    QCOMPARE(saved.port_name, QStringLiteral("ttyACM0"));
    QCOMPARE(saved.simple_mode, true);
    QCOMPARE(restarts, 0);
}

void test_settings_dialog::mode_change_announces_restart()
{
    MainWindow w;
    modal_answerer answer([](QWidget* dialog) {
        field<QCheckBox>(*dialog, "cb_SimpleMode")->setChecked(false);
        qobject_cast<QDialog*>(dialog)->accept();
    });
    boxes.seen().clear();
    const message_box_handler recorder = set_message_box_handler(check_file_at_box);
    w.show_settings_window();
    set_message_box_handler(recorder);

    QCOMPARE(boxes.seen().size(), 1);
    QCOMPARE(boxes.seen()[0].kind, message_box_kind::information);
    QCOMPARE(boxes.seen()[0].title, QStringLiteral("Сообщение"));
    QCOMPARE(boxes.seen()[0].text,
             QStringLiteral(
                 "После изменения настроек режима отображения приложение будет перезапущено"));
    QCOMPARE(file_said_simple_mode_at_box, 0);
    QCOMPARE(restarts, 1);
}

void test_settings_dialog::auto_connect_without_port_picks_none()
{
    t_settings s;
    s.auto_connect = true;
    write_settings(settings_file_path(), s);
    presented_ports = {modem};

    MainWindow w;
    QCOMPARE(field<QCommandLinkButton>(w, "commandLinkButton")->text(),
             QStringLiteral("Соедениться с трекером"));
    QCOMPARE(w.findChild<QListWidget*>("log_widget")->count(), 1);
}

QTEST_MAIN(test_settings_dialog)
#include "test_settings_dialog.moc"
