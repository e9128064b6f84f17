#include "recording_reader.h"

#include "recording_format.h"

#include <QFile>

namespace {

using kind = recording_error::kind;
using recording_format::text_problem;

constexpr qint64 chunk_bytes = 16 * 1024;

kind kind_of(text_problem problem)
{
    switch (problem) {
    case text_problem::empty:
        return kind::empty_line;
    case text_problem::too_long:
        return kind::too_long;
    case text_problem::line_break:
        return kind::line_break;
    case text_problem::not_utf8:
        return kind::not_utf8;
    case text_problem::none:
        break;
    }
    return kind::none;
}

// Takes the file's lines one by one, without their line ends, numbered from 1.
class line_reader
{
public:
    bool take(const QByteArray& line, recording_error& error)
    {
        ++number;
        const kind problem = number == 1 ? check_header(line) : take_record(line);
        if (problem != kind::none) {
            error.what = problem;
            error.line = number;
            error.detail =
                problem == kind::unknown_version ? QString::fromLatin1(version) : QString();
        }
        return problem == kind::none;
    }

    // The number the line under way will have.
    int next_number() const { return number + 1; }
    recording result;

private:
    kind check_header(const QByteArray& line)
    {
        const QByteArray name = recording_format::header_name() + ' ';
        version = line.mid(name.size());
        bool numeric = false;
        version.toUInt(&numeric);
        if (!line.startsWith(name) || !numeric) {
            return kind::not_a_recording;
        }
        return line == recording_format::header() ? kind::none : kind::unknown_version;
    }

    kind take_record(const QByteArray& line)
    {
        using namespace recording_format;
        recorded_line record;
        if (line.size() <= time_bytes || line[time_bytes] != '\t' ||
            !parse_time(line.left(time_bytes), record.time)) {
            return kind::bad_time;
        }
        record.text = line.mid(time_bytes + 1);
        const kind problem = kind_of(check_text(record.text));
        if (problem != kind::none) {
            return problem;
        }
        if (!result.lines.isEmpty() && record.time < result.lines.last().time) {
            return kind::out_of_order;
        }
        result.lines.append(record);
        return kind::none;
    }

    int number = 0;
    QByteArray version;
};

// A line end is LF; a CR before it is part of the line end, for a file that went through a
// system that writes CR LF.
QByteArray without_line_end(const QByteArray& pending, int start, int end)
{
    const int length = end > start && pending[end - 1] == '\r' ? end - 1 - start : end - start;
    return pending.mid(start, length);
}

bool read_error(const QIODevice& device, recording_error& error)
{
    error.what = kind::unreadable;
    error.line = 0;
    error.detail = device.errorString();
    return false;
}

} // namespace

QString recording_error::describe() const
{
    static const char* const reasons[] = {
        "",
        "cannot be read",
        "not a recording (no \"tracker-recording\" header)",
        "a recording of version %1, which this program does not read",
        "does not start with a time (2026-12-07T14:05:09.123Z) and a tab",
        "a time without a line",
        "longer than the longest line a tracker sends",
        "a carriage return inside the line",
        "not UTF-8 text",
        "a time before the previous line's",
    };
    QString reason = QLatin1String(reasons[int(what)]);
    if (what == kind::unknown_version) {
        reason = reason.arg(detail);
    } else if (what == kind::unreadable) {
        return reason + QStringLiteral(": ") + detail;
    }
    return QStringLiteral("line %1: %2").arg(line).arg(reason);
}

bool read_recording(QIODevice& device, recording& result, recording_error& error)
{
    line_reader reader;
    QByteArray pending;
    char chunk[chunk_bytes];
    for (;;) {
        const qint64 got = device.read(chunk, chunk_bytes);
        if (got < 0) {
            return read_error(device, error);
        }
        if (got == 0 && !device.waitForReadyRead(-1)) {
            break;
        }
        pending.append(chunk, int(got));
        int start = 0;
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n', start)) {
            if (!reader.take(without_line_end(pending, start, end), error)) {
                return false;
            }
            start = end + 1;
        }
        pending.remove(0, start);
        // Said at once, so that a file of another kind is not read whole.
        if (pending.size() > recording_format::max_line_bytes + 1) {
            error = {kind::too_long, reader.next_number(), QString()};
            return false;
        }
    }
    if (reader.next_number() == 1) {
        error = {kind::not_a_recording, 1, QString()};
        return false;
    }
    reader.result.cut_last_line = !pending.isEmpty();
    result = reader.result;
    return true;
}

bool read_recording_file(const QString& path, recording& result, recording_error& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return read_error(file, error);
    }
    return read_recording(file, result, error);
}
