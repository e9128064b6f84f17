#include "port_advice.h"

#include <QFile>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QStringList permission_advice(const QString& port, const QString& group)
{
    return {
        QStringLiteral("Нет прав на порт %1: открыть его могут только члены группы «%2».")
            .arg(port, group),
        QStringLiteral("Добавьте себя в эту группу командой: sudo usermod -aG %1 $USER").arg(group),
        QStringLiteral("Затем выйдите из системы и войдите снова: членство в группе "
                       "действует только с нового входа.")};
}

QString busy_advice(const QString& port)
{
    return QStringLiteral("Порт %1 занят другой программой. Закройте её: подключение "
                          "повторяется само.")
        .arg(port);
}

} // namespace

port_access inspect_port_access(const QString& port_name)
{
    port_access access;
#ifdef Q_OS_UNIX
    // A bare name is what the system's port list gives; the device lives under /dev.
    const QString path =
        port_name.startsWith('/') ? port_name : QStringLiteral("/dev/") + port_name;
    const QByteArray file = QFile::encodeName(path);
    struct stat info;
    if (::stat(file.constData(), &info) != 0)
        return access;
    access.denied = ::access(file.constData(), R_OK | W_OK) != 0;
    const struct group* owner = ::getgrgid(info.st_gid);
    access.group = owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
#else
    Q_UNUSED(port_name)
#endif
    return access;
}

QStringList open_failure_advice(const QString& port, QSerialPort::SerialPortError error,
                                const access_inspector& inspect)
{
    if (error != QSerialPort::PermissionError)
        return {};
    const port_access access = inspect(port);
    if (access.denied)
        return permission_advice(port, access.group);
    return {busy_advice(port)};
}
