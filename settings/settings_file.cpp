#include "settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QFileDevice::Permissions owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Qt 6 reads and writes INI files in UTF-8 by default.
void open_ini([[maybe_unused]] QSettings& ini)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    ini.setIniCodec("UTF-8");
#endif
}

// QSettings replaces the file by a new one that takes over the old file's permissions, so a file
// that exists with owner-only permissions before the first write never shows the passwords to
// anyone else, not even for a moment. On Windows a file takes the access list of its folder, and a
// working folder in the user's profile is already private to the user: nothing to prepare there.
void create_private_file([[maybe_unused]] const QString& path)
{
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
#endif
}

// The file keeps the passwords too: it is made private before anything is written to it.
void remember_choice_at(const QString& key, const QString& value)
{
    create_private_file(settings_file_path());
    QSettings ini(settings_file_path(), QSettings::IniFormat);
    open_ini(ini);
    ini.setValue(key, value);
}

} // namespace

QString settings_file_path()
{
    return QStringLiteral("./tracker_config.ini");
}

t_settings read_settings(const QString& path)
{
    QSettings ini(path, QSettings::IniFormat);
    open_ini(ini);
    const t_settings defaults;
    t_settings s;
    s.port_name = ini.value("COM/PortName", defaults.port_name).toString();
    s.port_name_long = ini.value("COM/PortNameLong", defaults.port_name_long).toString();
    s.port_speed = ini.value("COM/PortSpeed", defaults.port_speed).toInt();
    s.bt_conn = ini.value("COM/BTConn", defaults.bt_conn).toBool();
    s.auto_connect = ini.value("COM/AutoConnect", defaults.auto_connect).toBool();
    s.device_password = ini.value("PASSW/DevicePassword", defaults.device_password).toString();
    s.master_password = ini.value("PASSW/MasterPassword", defaults.master_password).toString();
    s.xml_path = ini.value("XML/Path", defaults.xml_path).toString();
    s.simple_mode = ini.value("XML/SimpleMode", defaults.simple_mode).toBool();
    return s;
}

bool write_settings(const QString& path, const t_settings& s, QString* error)
{
    create_private_file(path);
    QSettings::Status status = QSettings::NoError;
    {
        QSettings ini(path, QSettings::IniFormat);
        open_ini(ini);
        ini.setValue("COM/PortName", s.port_name);
        ini.setValue("COM/PortNameLong", s.port_name_long);
        ini.setValue("COM/PortSpeed", s.port_speed);
        ini.setValue("COM/BTConn", s.bt_conn);
        ini.setValue("COM/AutoConnect", s.auto_connect);
        ini.setValue("PASSW/DevicePassword", s.device_password);
        ini.setValue("PASSW/MasterPassword", s.master_password);
        ini.setValue("XML/SimpleMode", s.simple_mode);
        // The program may restart right after saving; the new instance must read these values.
        ini.sync();
        status = ini.status();
    }
    if (status != QSettings::NoError) {
        if (error) {
            *error = QStringLiteral("Cannot write %1: %2")
                         .arg(path, status == QSettings::AccessError
                                        ? QStringLiteral("the file or its folder is not writable")
                                        : QStringLiteral("the file is not an INI file"));
        }
        return false;
    }
    // A file written by an earlier version, or by hand, may still be readable by others.
    QFile::setPermissions(path, owner_only);
    return true;
}

window_layout read_window_layout(const QString& path)
{
    QSettings ini(path, QSettings::IniFormat);
    open_ini(ini);
    return {ini.value("Window/Geometry").toByteArray(), ini.value("Window/State").toByteArray()};
}

bool write_window_layout(const QString& path, const window_layout& layout)
{
    create_private_file(path);
    QSettings ini(path, QSettings::IniFormat);
    open_ini(ini);
    ini.setValue("Window/Geometry", layout.geometry);
    ini.setValue("Window/State", layout.state);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

QString remembered_folder(const QString& purpose)
{
    QSettings ini(settings_file_path(), QSettings::IniFormat);
    open_ini(ini);
    return ini.value(QStringLiteral("Files/") + purpose, QDir::currentPath()).toString();
}

void remember_folder(const QString& purpose, const QString& chosen_file)
{
    remember_choice_at(QStringLiteral("Files/") + purpose, QFileInfo(chosen_file).absolutePath());
}

QString remembered_choice(const QString& key, const QString& fallback)
{
    QSettings ini(settings_file_path(), QSettings::IniFormat);
    open_ini(ini);
    return ini.value(QStringLiteral("Choices/") + key, fallback).toString();
}

void remember_choice(const QString& key, const QString& value)
{
    remember_choice_at(QStringLiteral("Choices/") + key, value);
}
