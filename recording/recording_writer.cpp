#include "recording_writer.h"

#include "recording_format.h"

#include <QFileDevice>

namespace {

QString refusal(recording_format::text_problem problem)
{
    using recording_format::text_problem;
    switch (problem) {
    case text_problem::empty:
        return QStringLiteral("an empty line is not recorded");
    case text_problem::too_long:
        return QStringLiteral("a line over %1 bytes is not recorded")
            .arg(recording_format::max_text_bytes);
    case text_problem::line_break:
        return QStringLiteral("a line holding a line break is not recorded");
    case text_problem::not_utf8:
        return QStringLiteral("a line that is not UTF-8 is not recorded");
    case text_problem::none:
        break;
    }
    return QString();
}

} // namespace

bool recording_writer::start(QIODevice* target, QString& error)
{
    device = target;
    last = QDateTime();
    return write(recording_format::header() + '\n', error);
}

bool recording_writer::append(const QDateTime& received, const QByteArray& line, QString& error)
{
    const recording_format::text_problem problem = recording_format::check_text(line);
    if (problem != recording_format::text_problem::none) {
        error = refusal(problem);
        return false;
    }
    const QDateTime time =
        last.isValid() && received.isValid() && received < last ? last : received;
    const QByteArray stamp = recording_format::format_time(time);
    if (stamp.isEmpty()) {
        error = QStringLiteral("a line without a time the format can hold is not recorded");
        return false;
    }
    last = time;
    return write(stamp + '\t' + line + '\n', error);
}

bool recording_writer::write(const QByteArray& bytes, QString& error)
{
    if (device == nullptr || device->write(bytes) != bytes.size()) {
        error = device == nullptr ? QStringLiteral("recording not started") : device->errorString();
        return false;
    }
    auto* file = qobject_cast<QFileDevice*>(device);
    if (file != nullptr && !file->flush()) {
        error = file->errorString();
        return false;
    }
    return true;
}
