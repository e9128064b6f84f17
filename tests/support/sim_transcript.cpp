#include "sim_transcript.h"

#include <QFile>

#include <time.h>

namespace {

// Undoes the transcript's C escapes: \r, \n, \\ and \xhh.
QByteArray unescape(const QByteArray& escaped)
{
    QByteArray bytes;
    for (int k = 0; k < escaped.size(); ++k) {
        if (escaped[k] != '\\' || k + 1 == escaped.size()) {
            bytes += escaped[k];
            continue;
        }
        const char code = escaped[++k];
        if (code == 'x') {
            bytes += QByteArray::fromHex(escaped.mid(k + 1, 2));
            k += 2;
        } else {
            bytes += code == 'r' ? '\r' : code == 'n' ? '\n' : code;
        }
    }
    return bytes;
}

} // namespace

sim_transcript sim_transcript::parse(const QByteArray& contents)
{
    sim_transcript transcript;
    for (const QByteArray& line : contents.left(contents.lastIndexOf('\n') + 1).split('\n')) {
        const int first = line.indexOf(' ');
        const int second = line.indexOf(' ', first + 1);
        if (first < 0 || second < 0)
            continue;
        const qint64 time = line.left(first).toLongLong();
        const QByteArray kind = line.mid(first + 1, second - first - 1);
        const QByteArray text = line.mid(second + 1);
        if (kind == "RX")
            transcript.bytes_in.append({time, char(text.toInt(nullptr, 16))});
        else if (kind == "TX")
            transcript.lines_out.append({time, unescape(text)});
        else if (kind == "EV")
            transcript.event_list.append({time, QString::fromUtf8(unescape(text))});
    }
    return transcript;
}

sim_transcript sim_transcript::read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? parse(file.readAll()) : sim_transcript();
}

qint64 sim_transcript::now_us()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

QByteArray sim_transcript::received_bytes() const
{
    QByteArray bytes;
    for (const received_byte& received : bytes_in)
        bytes += received.byte;
    return bytes;
}

QList<QByteArray> sim_transcript::sent_lines() const
{
    QList<QByteArray> lines;
    for (const sent_line& line : lines_out)
        lines.append(line.bytes);
    return lines;
}

QList<sim_transcript::event> sim_transcript::events_named(const QString& text) const
{
    QList<event> found;
    for (const event& item : event_list) {
        if (item.text == text || item.text.startsWith(text + QLatin1Char(' ')))
            found.append(item);
    }
    return found;
}

QStringList sim_transcript::commands() const
{
    const QString name = QStringLiteral("command");
    QStringList texts;
    for (const event& item : events_named(name))
        texts.append(item.text.mid(name.size() + 1));
    return texts;
}
