#include "pty_port.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString system_error(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

void close_fd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool make_raw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    cfsetspeed(&settings, B115200);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

} // namespace

pty_port::pty_port(const QString& link_path) : link(link_path) {}

pty_port::~pty_port()
{
    unplug();
}

bool pty_port::plug(QString& error)
{
    unplug();
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !make_raw(master)) {
        error = system_error("cannot create a pseudo-terminal");
        close_fd(master);
        return false;
    }
    slave = QString::fromLocal8Bit(ptsname(master));
    int first_open = ::open(QFile::encodeName(slave).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    close_fd(first_open);
    watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 ||
        inotify_add_watch(watch, QFile::encodeName(slave).constData(), IN_OPEN | IN_CLOSE) < 0) {
        error = system_error("cannot watch the pseudo-terminal");
        unplug();
        return false;
    }
    if (!publish_link(error)) {
        unplug();
        return false;
    }
    return true;
}

// The link appears whole or not at all: it is made under a temporary name and renamed.
bool pty_port::publish_link(QString& error)
{
    const QByteArray path = QFile::encodeName(link);
    struct stat existing
    {
    };
    if (lstat(path.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
        return false;
    }
    const QByteArray temporary = path + ".new";
    ::unlink(temporary.constData());
    if (symlink(QFile::encodeName(slave).constData(), temporary.constData()) != 0 ||
        rename(temporary.constData(), path.constData()) != 0) {
        error = system_error("cannot create the port link");
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

void pty_port::unplug()
{
    if (master >= 0) {
        ::unlink(QFile::encodeName(link).constData());
    }
    close_fd(watch);
    close_fd(master);
    slave.clear();
}

bool pty_port::client_present() const
{
    if (master < 0) {
        return false;
    }
    pollfd state{master, POLLIN, 0};
    return poll(&state, 1, 0) >= 0 && (state.revents & POLLHUP) == 0;
}

bool pty_port::take_watch_events()
{
    bool closed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(watch, buffer, sizeof buffer);
        if (length <= 0) {
            return closed;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            closed = closed || (event->mask & IN_CLOSE) != 0;
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
}

int pty_port::read_byte(char& byte)
{
    const ssize_t length = ::read(master, &byte, 1);
    if (length == 1) {
        return 1;
    }
    return length < 0 && errno == EIO ? -1 : 0;
}

int pty_port::write(const QByteArray& bytes)
{
    const ssize_t length = ::write(master, bytes.constData(), size_t(bytes.size()));
    return length < 0 ? 0 : int(length);
}

void pty_port::discard_unread_output()
{
    if (master >= 0) {
        tcflush(master, TCOFLUSH);
    }
}
