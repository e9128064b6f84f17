#include "control_fifo.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

control_fifo::~control_fifo()
{
    if (descriptor >= 0) {
        ::close(descriptor);
        ::unlink(QFile::encodeName(fifo_path).constData());
    }
}

bool control_fifo::create(const QString& path, QString& error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat existing
    {
    };
    if (lstat(name.constData(), &existing) == 0 && S_ISFIFO(existing.st_mode)) {
        ::unlink(name.constData());
    }
    if (mkfifo(name.constData(), 0600) != 0) {
        error = QStringLiteral("cannot create the control FIFO %1: %2")
                    .arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    descriptor = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        error = QStringLiteral("cannot open the control FIFO %1: %2")
                    .arg(path, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(name.constData());
        return false;
    }
    fifo_path = path;
    return true;
}

QStringList control_fifo::take_lines()
{
    char buffer[4096];
    ssize_t length = 0;
    while ((length = ::read(descriptor, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, int(length));
    }
    QStringList lines;
    int end = -1;
    while ((end = pending.indexOf('\n')) >= 0) {
        lines.append(QString::fromUtf8(pending.left(end)));
        pending.remove(0, end + 1);
    }
    return lines;
}
