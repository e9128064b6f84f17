#include "console.h"

#include "cli_options.h"

#include <QMutexLocker>
#include <QStringList>

#include <cerrno>

#ifdef Q_OS_WIN
#include <cstdio>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const QByteArray erase_line = "\r\x1b[K";

} // namespace

console::console(bool several_ports, bool progress_shown)
    : prefix_ports(several_ports), show_progress(progress_shown)
{
}

void console::out(const QString& port, const QString& line)
{
    const QMutexLocker lock(&mutex);
    write(stdout, (prefixed(port, line) + QLatin1Char('\n')).toUtf8());
}

void console::out_raw(const QByteArray& bytes)
{
    const QMutexLocker lock(&mutex);
    write(stdout, bytes);
}

void console::note(const QString& port, const QString& line)
{
    const QMutexLocker lock(&mutex);
    write(stderr, (prefixed(port, line) + QLatin1Char('\n')).toUtf8());
}

void console::progress(const QString& port, const QString& phase, int done, int total)
{
    if (!show_progress) {
        return;
    }
    const QMutexLocker lock(&mutex);
    progress_by_port.insert(port_label(port),
                            QStringLiteral("%1 %2/%3").arg(phase).arg(done).arg(total));
    draw_progress();
}

void console::end_progress(const QString& port)
{
    if (!show_progress) {
        return;
    }
    const QMutexLocker lock(&mutex);
    progress_by_port.remove(port_label(port));
    clear_progress();
    draw_progress();
}

bool console::error_is_terminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

int console::output_error() const
{
    const QMutexLocker lock(&mutex);
    return stdout_errno;
}

QString console::prefixed(const QString& port, const QString& line) const
{
    if (!prefix_ports || port.isEmpty()) {
        return line;
    }
    return port_label(port) + QStringLiteral(": ") + line;
}

// Other output never lands in the middle of the progress line: it is wiped first and drawn again
// below what was written.
void console::write(FILE* stream, const QByteArray& bytes)
{
    if (stream == stdout && stdout_errno != 0) {
        return;
    }
    clear_progress();
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size()) &&
        std::fflush(stream) == 0;
    if (!written && stream == stdout) {
        stdout_errno = errno != 0 ? errno : EIO;
        if (on_output_failure) {
            on_output_failure();
        }
    }
    draw_progress();
}

void console::draw_progress()
{
    if (progress_by_port.isEmpty()) {
        return;
    }
    QStringList parts;
    for (auto it = progress_by_port.cbegin(); it != progress_by_port.cend(); ++it) {
        parts << it.key() + QLatin1Char(' ') + it.value();
    }
    const QByteArray line = erase_line + parts.join(QStringLiteral("  ")).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    progress_drawn = true;
}

void console::clear_progress()
{
    if (!progress_drawn) {
        return;
    }
    std::fwrite(erase_line.constData(), 1, size_t(erase_line.size()), stderr);
    progress_drawn = false;
}
