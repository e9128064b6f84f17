#include "settings_file.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class test_settings_file : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaults_without_file();
    void round_trip_with_cyrillic_text();
    void hand_edited_profile_path_survives_save();
    void unreadable_values_fall_back_data();
    void unreadable_values_fall_back();
    void file_is_private_to_its_owner();
    void relative_path_follows_working_directory();

private:
    void write_raw(const QByteArray& text);
    QString path() const { return dir->filePath("tracker_config.ini"); }
    QScopedPointer<QTemporaryDir> dir;
};

void test_settings_file::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void test_settings_file::write_raw(const QByteArray& text)
{
    QFile f(path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

void test_settings_file::defaults_without_file()
{
    const t_settings s = read_settings(path());
    QCOMPARE(s.port_name, QString());
    QCOMPARE(s.port_name_long, QString());
    QCOMPARE(s.port_speed, 115200);
    QCOMPARE(s.bt_conn, false);
    QCOMPARE(s.auto_connect, false);
    QCOMPARE(s.device_password, QStringLiteral("7395"));
    QCOMPARE(s.master_password, QStringLiteral("7395"));
    QCOMPARE(s.xml_path, QStringLiteral("cmdprofile.xml"));
    QCOMPARE(s.simple_mode, true);
    QVERIFY(!QFile::exists(path()));
}

void test_settings_file::round_trip_with_cyrillic_text()
{
    t_settings s;
    s.port_name = "ttyACM3";
    s.port_name_long = "ttyACM3 Последовательный порт STMicroelectronics";
    s.port_speed = 460800;
    s.bt_conn = true;
    s.auto_connect = true;
    s.device_password = "пароль1";
    s.master_password = "0000";
    s.simple_mode = false;
    write_settings(path(), s);

    const t_settings back = read_settings(path());
    QCOMPARE(back.port_name, s.port_name);
    QCOMPARE(back.port_name_long, s.port_name_long);
    QCOMPARE(back.port_speed, 460800);
    QCOMPARE(back.bt_conn, true);
    QCOMPARE(back.auto_connect, true);
    QCOMPARE(back.device_password, s.device_password);
    QCOMPARE(back.master_password, s.master_password);
    QCOMPARE(back.simple_mode, false);

    // Other programs read the file too: the text must be plain UTF-8, not escaped.
    QFile f(path());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    QVERIFY(raw.contains(QStringLiteral("Последовательный").toUtf8()));
    QVERIFY(raw.contains("[COM]"));
    QVERIFY(raw.contains("[PASSW]"));
    QVERIFY(raw.contains("SimpleMode=false"));
    QVERIFY(raw.contains("PortSpeed=460800"));
}

void test_settings_file::hand_edited_profile_path_survives_save()
{
    t_settings s;
    write_settings(path(), s);
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.readAll().contains("Path"));
    }

    QSettings edit(path(), QSettings::IniFormat);
    edit.setValue("XML/Path", "my/profile.xml");
    edit.sync();

    s.xml_path = "something else";
    s.port_name = "ttyUSB0";
    write_settings(path(), s);
    const t_settings back = read_settings(path());
    QCOMPARE(back.xml_path, QStringLiteral("my/profile.xml"));
    QCOMPARE(back.port_name, QStringLiteral("ttyUSB0"));
}

void test_settings_file::unreadable_values_fall_back_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("bt");
    QTest::addColumn<bool>("simple");

    QTest::newRow("speed not a number")
        << QByteArray("[COM]\nPortSpeed=fast\n") << 0 << false << true;
    QTest::newRow("empty speed") << QByteArray("[COM]\nPortSpeed=\n") << 0 << false << true;
    QTest::newRow("flags as words")
        << QByteArray("[COM]\nBTConn=true\n[XML]\nSimpleMode=false\n") << 115200 << true << false;
    QTest::newRow("flag as digit")
        << QByteArray("[COM]\nBTConn=1\n[XML]\nSimpleMode=0\n") << 115200 << true << false;
    QTest::newRow("unknown sections only")
        << QByteArray("[Other]\nKey=1\n") << 115200 << false << true;
    QTest::newRow("not an ini file")
        << QByteArray("\x01\x02\xff garbage = = [[[\n") << 115200 << false << true;
}

void test_settings_file::unreadable_values_fall_back()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, speed);
    QFETCH(bool, bt);
    QFETCH(bool, simple);
    write_raw(ini);

    const t_settings s = read_settings(path());
    QCOMPARE(s.port_speed, speed);
    QCOMPARE(s.bt_conn, bt);
    QCOMPARE(s.simple_mode, simple);
    QCOMPARE(s.device_password, QStringLiteral("7395"));
}

void test_settings_file::file_is_private_to_its_owner()
{
    const auto owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;

    write_settings(path(), t_settings());
    QCOMPARE(QFile::permissions(path()) & (owner_only | others), owner_only);

    // A file left readable by others, e.g. from an older version, is tightened on the next save.
    QVERIFY(QFile::setPermissions(path(),
                                  owner_only | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    write_settings(path(), t_settings());
    QCOMPARE(QFile::permissions(path()) & (owner_only | others), owner_only);
}

void test_settings_file::relative_path_follows_working_directory()
{
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    t_settings s;
    s.port_name = "here";
    write_settings(settings_file_path(), s);
    QVERIFY(QDir::setCurrent(old));
    QCOMPARE(read_settings(path()).port_name, QStringLiteral("here"));
}

QTEST_GUILESS_MAIN(test_settings_file)
#include "test_settings_file.moc"
