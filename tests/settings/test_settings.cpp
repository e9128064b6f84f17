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

Q_DECLARE_METATYPE(QList<port_entry>)

namespace {

// Every field, in the order of the record, so that a comparison shows which one differs.
QStringList fields(const t_settings& s)
{
    return QStringList{s.port_name, s.port_name_long, QString::number(s.port_speed)}
           << (s.bt_conn ? "bt" : "wired") << (s.auto_connect ? "auto" : "manual")
           << s.device_password << s.master_password << s.xml_path
           << (s.simple_mode ? "simple" : "expert");
}

} // namespace

class test_settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void reading_data();
    void reading();
    void written_file();
    void start_up_port_choice_data();
    void start_up_port_choice();
    void restart_runs_the_program_data();
    void restart_runs_the_program();

private:
    QScopedPointer<QTemporaryDir> dir;
};

void test_settings::init()
{
    // The file lives in the working directory, whatever the program's own folder is.
    dir.reset(new QTemporaryDir);
    QVERIFY(QDir::setCurrent(dir->path()));
}

void test_settings::reading_data()
{
    QTest::addColumn<QByteArray>("ini"); // empty: no file at all
    QTest::addColumn<QStringList>("read");

    const QStringList defaults{"",     "",     "115200",         "wired", "manual",
                               "7395", "7395", "cmdprofile.xml", "simple"};
    auto with = [&](int field, const QString& value) {
        QStringList s = defaults;
        s[field] = value;
        return s;
    };
    QTest::newRow("no file") << QByteArray() << defaults;
    QTest::newRow("not an ini file") << QByteArray("\x01\x02\xff garbage = = [[[\n") << defaults;
    QTest::newRow("speed not a number") << QByteArray("[COM]\nPortSpeed=fast\n") << with(2, "0");
    QTest::newRow("flag as a digit") << QByteArray("[COM]\nBTConn=1\n") << with(3, "bt");
    QTest::newRow("profile path") << QByteArray("[XML]\nPath=my.xml\nSimpleMode=false\n")
                                  << with(7, "my.xml").replaceInStrings("simple", "expert");
}

void test_settings::reading()
{
    QFETCH(QByteArray, ini);
    if (!ini.isEmpty()) {
        QFile f(settings_file_path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    QTEST(fields(read_settings(settings_file_path())), "read");
    // Reading never creates the file.
    QCOMPARE(QFile::exists(settings_file_path()), !ini.isEmpty());
}

// Other programs read the file too: plain UTF-8, in the sections the keys name, and private to
// its owner, also when an older version left it readable by others. A failed write says so.
void test_settings::written_file()
{
    const auto owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto all = owner_only | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                     QFileDevice::ReadOther | QFileDevice::WriteOther;
    const QString path = settings_file_path();
    const QString long_name = QStringLiteral("ttyACM3 Последовательный порт STMicroelectronics");
    t_settings s{"ttyACM3", long_name, 460800, true, true, "пароль1", "0000", "written", false};
    QVERIFY(write_settings(path, s));
    QCOMPARE(QFile::permissions(path) & all, owner_only);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    QVERIFY(raw.contains("[COM]") && raw.contains("[PASSW]") && raw.contains("[XML]"));
    QVERIFY(raw.contains(long_name.toUtf8()));
    QVERIFY(!raw.contains("Path="));

    // A hand-edited profile path survives the next save.
    QVERIFY(QFile::setPermissions(path, all));
    QSettings(path, QSettings::IniFormat).setValue("XML/Path", "my.xml");
    QVERIFY(write_settings(path, s));
    QCOMPARE(QFile::permissions(path) & all, owner_only);
    s.xml_path = "my.xml";
    QCOMPARE(fields(read_settings(path)), fields(s));

    // A file that cannot be written is reported; a regular file for its folder fails for root too.
    const QString blocked = path + "/tracker_config.ini";
    QString error;
    QVERIFY(!write_settings(blocked, s, &error));
    QCOMPARE(error, "Cannot write " + blocked + ": the file or its folder is not writable");
}

void test_settings::start_up_port_choice_data()
{
    QTest::addColumn<QList<port_entry>>("ports");
    QTest::addColumn<QStringList>("chosen"); // name, long name, link kind

    const port_entry usb_a{"ttyACM0", QStringLiteral("Трекер"), "STMicroelectronics"};
    const port_entry usb_b{"ttyACM1", "", "STMicroelectronics"};
    const port_entry bt{"rfcomm0", "Standard Serial over Bluetooth link", "Microsoft"};
    const port_entry modem{"ttyS0", "Modem", "Other Inc."};
    const QStringList none{"", "", "wired"};
    const QStringList a{"ttyACM0", QStringLiteral("ttyACM0 Трекер STMicroelectronics"), "wired"};
    QTest::newRow("tracker port") << QList<port_entry>{modem, usb_a} << a;
    QTest::newRow("first of two tracker ports")
        << QList<port_entry>{usb_b, usb_a}
        << QStringList{"ttyACM1", "ttyACM1  STMicroelectronics", "wired"};
    QTest::newRow("usb before bluetooth") << QList<port_entry>{bt, usb_a} << a;
    QTest::newRow("bluetooth when no usb")
        << QList<port_entry>{modem, bt}
        << QStringList{"rfcomm0", "rfcomm0 Standard Serial over Bluetooth link Microsoft", "bt"};
    QTest::newRow("manufacturer is case-sensitive")
        << QList<port_entry>{{"ttyACM0", "", "stmicroelectronics"}} << none;
    QTest::newRow("the whole description")
        << QList<port_entry>{{"rfcomm1", "Serial over Bluetooth", ""}} << none;
}

void test_settings::start_up_port_choice()
{
    QFETCH(QList<port_entry>, ports);
    QFETCH(QStringList, chosen);
    t_settings s;
    QCOMPARE(choose_port(ports, s), !chosen.first().isEmpty());
    QCOMPARE((QStringList{s.port_name, s.port_name_long, s.bt_conn ? "bt" : "wired"}), chosen);
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
    QCOMPARE(command.arguments, arguments);
}

QTEST_GUILESS_MAIN(test_settings)
#include "test_settings.moc"
