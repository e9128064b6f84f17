#include "recording_player.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>

namespace {

// Often enough that a line is shown within a frame or two of its time, even at 16 times.
constexpr int tick_ms = 20;

recording_player::clock steady_clock()
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    return [started] { return started->elapsed(); };
}

} // namespace

recording_player::recording_player(QObject* parent) : recording_player(steady_clock(), parent) {}

recording_player::recording_player(clock time_now, QObject* parent)
    : QObject(parent), now(std::move(time_now))
{
    timer.setInterval(tick_ms);
    connect(&timer, &QTimer::timeout, this, &recording_player::advance);
}

void recording_player::load(const QList<recorded_line>& recorded)
{
    texts.clear();
    offsets_ms.clear();
    first_ms = recorded.isEmpty() ? 0 : recorded.first().time.toMSecsSinceEpoch();
    for (const recorded_line& line : recorded) {
        texts << QString::fromUtf8(line.text);
        offsets_ms << recorded.first().time.msecsTo(line.time);
    }
    stop();
}

qint64 recording_player::duration_ms() const
{
    return offsets_ms.isEmpty() ? 0 : offsets_ms.last();
}

qint64 recording_player::position_ms() const
{
    const qint64 elapsed = running ? (now() - anchor_clock_ms) * factor : 0;
    return std::min(anchor_position_ms + elapsed, duration_ms());
}

void recording_player::play()
{
    if (running) {
        return;
    }
    if (next == texts.size()) {
        seek(0);
    }
    anchor_clock_ms = now();
    running = true;
    timer.start();
    advance();
}

void recording_player::pause()
{
    hold_position();
    running = false;
    timer.stop();
}

void recording_player::stop()
{
    pause();
    seek(0);
}

void recording_player::seek(qint64 position_ms)
{
    anchor_position_ms = std::clamp<qint64>(position_ms, 0, duration_ms());
    anchor_clock_ms = now();
    next = int(std::lower_bound(offsets_ms.begin(), offsets_ms.end(), anchor_position_ms) -
               offsets_ms.begin());
    emit position_changed(anchor_position_ms);
}

void recording_player::set_speed(int times)
{
    hold_position();
    factor = std::max(times, 1);
}

void recording_player::advance()
{
    if (!running) {
        return;
    }
    const qint64 position = position_ms();
    while (next < texts.size() && offsets_ms[next] <= position) {
        emit line_due(texts[next], first_ms + offsets_ms[next]);
        ++next;
    }
    emit position_changed(position);
    if (next == texts.size()) {
        pause();
        emit finished();
    }
}

void recording_player::hold_position()
{
    anchor_position_ms = position_ms();
    anchor_clock_ms = now();
}
