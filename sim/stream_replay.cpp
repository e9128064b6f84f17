#include "stream_replay.h"

namespace {

constexpr qint64 pause_between_rounds_us = 1000000;
constexpr qint64 max_lag_us = 1000000;

} // namespace

stream_replay::stream_replay(const QList<recorded_line>& lines)
{
    for (int k = 0; k < lines.size(); ++k) {
        texts.append(lines[k].text);
        gaps_us.append(k == 0 ? pause_between_rounds_us
                              : lines[k - 1].time.msecsTo(lines[k].time) * 1000);
    }
}

void stream_replay::start(qint64 now_us)
{
    due_us = now_us;
}

QList<QByteArray> stream_replay::take_due(qint64 now_us)
{
    QList<QByteArray> due;
    if (!active()) {
        return due;
    }
    due_us = qMax(due_us, now_us - max_lag_us);
    while (due_us <= now_us) {
        due.append(texts[next]);
        next = (next + 1) % texts.size();
        due_us += gaps_us[next];
    }
    return due;
}
