// The program's settings without a window: the configuration file, the start-up choice of a
// port and the command a restart runs.

#include "port_list.h"
#include "program_restart.h"
#include "settings_file.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

Q_DECLARE_METATYPE(QList<port_entry>)

class test_settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaults_without_file();
    void round_trip_keeps_text_and_profile_path();
    void unreadable_values_fall_back_data();
    void unreadable_values_fall_back();
    void file_is_private_to_its_owner();
    void start_up_port_choice_data();
    void start_up_port_choice();
    void restart_runs_the_program_data();
    void restart_runs_the_program();

private:
    void write_raw(const QByteArray& text);
    QByteArray read_raw() const;
    QScopedPointer<QTemporaryDir> dir;
};

void test_settings::init()
{
    // The file lives in the working directory, whatever the program's own folder is.
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
}

void test_settings::write_raw(const QByteArray& text)
{
    QFile f(settings_file_path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QByteArray test_settings::read_raw() const
{
    QFile f(dir->filePath("tracker_config.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void test_settings::defaults_without_file()
{
    const t_settings s = read_settings(settings_file_path());
    QCOMPARE(s.port_name, QString());
    QCOMPARE(s.port_name_long, QString());
    QCOMPARE(s.port_speed, 115200);
    QCOMPARE(s.bt_conn, false);
    QCOMPARE(s.auto_connect, false);
    QCOMPARE(s.device_password, QStringLiteral("7395"));
    QCOMPARE(s.master_password, QStringLiteral("7395"));
    QCOMPARE(s.xml_path, QStringLiteral("cmdprofile.xml"));
    QCOMPARE(s.simple_mode, true);
    // Reading never creates the file.
    QVERIFY(!QFile::exists(settings_file_path()));
}

void test_settings::round_trip_keeps_text_and_profile_path()
{
    t_settings s;
    s.port_name = "ttyACM3";
    s.port_name_long = QStringLiteral("ttyACM3 Последовательный порт STMicroelectronics");
    s.port_speed = 460800;
    s.bt_conn = true;
    s.auto_connect = true;
    s.device_password = QStringLiteral("пароль1");
    s.master_password = "0000";
    s.xml_path = "never written";
    s.simple_mode = false;
    write_settings(settings_file_path(), s);
    // Other programs read the file too: plain UTF-8 in the sections the keys name.
    const QByteArray raw = read_raw();
    QVERIFY(raw.contains("[COM]"));
    QVERIFY(raw.contains(s.port_name_long.toUtf8()));
    QVERIFY(raw.contains("[PASSW]"));
    QVERIFY(raw.contains("[XML]\nSimpleMode=false"));
    QVERIFY(!raw.contains("Path="));

    // A hand-edited profile path survives the next save.
    QSettings edit(settings_file_path(), QSettings::IniFormat);
    edit.setValue("XML/Path", "my/profile.xml");
    edit.sync();
    write_settings(settings_file_path(), s);

    const t_settings back = read_settings(settings_file_path());
    QCOMPARE(back.port_name, s.port_name);
    QCOMPARE(back.port_name_long, s.port_name_long);
    QCOMPARE(back.port_speed, 460800);
    QCOMPARE(back.bt_conn, true);
    QCOMPARE(back.auto_connect, true);
    QCOMPARE(back.device_password, s.device_password);
    QCOMPARE(back.master_password, s.master_password);
    QCOMPARE(back.xml_path, QStringLiteral("my/profile.xml"));
    QCOMPARE(back.simple_mode, false);
}

void test_settings::unreadable_values_fall_back_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("bt");
    QTest::addColumn<bool>("simple");

    QTest::newRow("speed not a number")
        << QByteArray("[COM]\nPortSpeed=fast\n") << 0 << false << true;
    QTest::newRow("flags as words")
        << QByteArray("[COM]\nBTConn=true\n[XML]\nSimpleMode=false\n") << 115200 << true << false;
    QTest::newRow("flags as digits")
        << QByteArray("[COM]\nBTConn=1\n[XML]\nSimpleMode=0\n") << 115200 << true << false;
    QTest::newRow("not an ini file")
        << QByteArray("\x01\x02\xff garbage = = [[[\n") << 115200 << false << true;
}

void test_settings::unreadable_values_fall_back()
{
    QFETCH(QByteArray, ini);
    write_raw(ini);
    const t_settings s = read_settings(settings_file_path());
    QTEST(s.port_speed, "speed");
    QTEST(s.bt_conn, "bt");
    QTEST(s.simple_mode, "simple");
    QCOMPARE(s.device_password, QStringLiteral("7395"));
}

void test_settings::file_is_private_to_its_owner()
{
    const auto owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto all = owner_only | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                     QFileDevice::ReadOther | QFileDevice::WriteOther;
    const QString path = settings_file_path();
    write_settings(path, t_settings());
    QCOMPARE(QFile::permissions(path) & all, owner_only);

    // A file left readable by others, e.g. by an older version, is tightened on the next save.
    QVERIFY(QFile::setPermissions(path, all));
    write_settings(path, t_settings());
    QCOMPARE(QFile::permissions(path) & all, owner_only);
}

namespace {

const port_entry usb_a{"ttyACM0", QStringLiteral("Трекер"), "STMicroelectronics"};
const port_entry usb_b{"ttyACM1", "Virtual COM Port", "STMicroelectronics"};
const port_entry bt{"rfcomm0", "Standard Serial over Bluetooth link", "Microsoft"};
const port_entry modem{"ttyS0", "Modem", "Other Inc."};

} // namespace

void test_settings::start_up_port_choice_data()
{
    QTest::addColumn<QList<port_entry>>("ports");
    QTest::addColumn<QString>("name"); // empty: none chosen
    QTest::addColumn<bool>("bt_conn");

    QTest::newRow("tracker port") << QList<port_entry>{modem, usb_a} << "ttyACM0" << false;
    QTest::newRow("first of two tracker ports")
        << QList<port_entry>{usb_b, usb_a} << "ttyACM1" << false;
    QTest::newRow("usb before bluetooth whatever the order")
        << QList<port_entry>{bt, usb_a} << "ttyACM0" << false;
    QTest::newRow("bluetooth when no usb") << QList<port_entry>{modem, bt} << "rfcomm0" << true;
    QTest::newRow("manufacturer match is case-sensitive")
        << QList<port_entry>{{"ttyACM0", "", "stmicroelectronics"}} << "" << false;
    QTest::newRow("description must carry the whole phrase")
        << QList<port_entry>{{"rfcomm1", "Serial over Bluetooth", ""}} << "" << false;
    QTest::newRow("nothing attached") << QList<port_entry>{} << "" << false;
}

void test_settings::start_up_port_choice()
{
    QFETCH(QList<port_entry>, ports);
    QFETCH(QString, name);
    t_settings s;
    QCOMPARE(choose_port(ports, s), !name.isEmpty());
    QCOMPARE(s.port_name, name);
    QTEST(s.bt_conn, "bt_conn");
    const auto it = std::find_if(ports.begin(), ports.end(),
                                 [&](const port_entry& p) { return p.port_name == name; });
    // The long name is "name description manufacturer", blanks kept for empty parts.
    const QString long_name = it == ports.end()
                                  ? QString()
                                  : it->port_name + ' ' + it->description + ' ' + it->manufacturer;
    QCOMPARE(s.port_name_long, long_name);
}

void test_settings::restart_runs_the_program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("program");

    QTest::newRow("program path first")
        << QStringList{"/opt/tc/configurator", "-style", "x"} << "/opt/tc/configurator";
    QTest::newRow("no arguments at all")
        << QStringList{} << QCoreApplication::applicationFilePath();
}

void test_settings::restart_runs_the_program()
{
    QFETCH(QStringList, arguments);
    const restart_command command = restart_command_for(arguments);
    QTEST(command.program, "program");
    QVERIFY(!command.program.isEmpty());
    QCOMPARE(command.arguments, arguments);
}

QTEST_GUILESS_MAIN(test_settings)
#include "test_settings.moc"
