#include "pty_client.h"

#include <QDeadlineTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

pty_client::~pty_client()
{
    close();
}

bool pty_client::open(const QString& path)
{
    close();
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0;
}

void pty_client::close()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool pty_client::send(const QByteArray& bytes)
{
    return fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() &&
           tcdrain(fd) == 0;
}

QByteArray pty_client::read_until(const QByteArray& wanted, int timeout_ms)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(timeout_ms);
    while (fd >= 0 && !bytes.contains(wanted) && !deadline.hasExpired()) {
        pollfd state{fd, POLLIN, 0};
        if (poll(&state, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0 ||
            (state.revents & POLLIN) == 0) {
            break;
        }
        char buffer[256];
        const ssize_t length = ::read(fd, buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        bytes.append(buffer, int(length));
    }
    return bytes;
}

bool pty_client::wait_for_hangup(int timeout_ms)
{
    const QDeadlineTimer deadline(timeout_ms);
    while (fd >= 0 && !deadline.hasExpired()) {
        pollfd state{fd, POLLIN, 0};
        if (poll(&state, 1, int(qMax<qint64>(1, deadline.remainingTime()))) < 0) {
            return false;
        }
        if ((state.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        char buffer[256];
        if ((state.revents & POLLIN) != 0 && ::read(fd, buffer, sizeof buffer) <= 0) {
            return true;
        }
    }
    return false;
}

bool pty_client::enter_command_mode(const QByteArray& access_code, int timeout_ms)
{
    return send("\r" + access_code + "\r") && read_until(">", timeout_ms).contains('>');
}
