#pragma once

#include "recording_reader.h"

#include <QObject>
#include <QTimer>

#include <functional>

// Plays a recording's lines with the gaps between their times, at real speed or faster. The
// position is the playback time since the first line; it follows a monotonic clock in
// milliseconds, handed in so that tests play on a clock of their own and step it with advance().
class recording_player : public QObject
{
    Q_OBJECT

public:
    using clock = std::function<qint64()>;

    explicit recording_player(QObject* parent = nullptr);
    recording_player(clock time_now, QObject* parent);

    // Stopped at the first line.
    void load(const QList<recorded_line>& recorded);
    qint64 duration_ms() const;
    qint64 position_ms() const;
    bool playing() const { return running; }
    int speed() const { return factor; }

    // From the position on; after the last line, from the first again.
    void play();
    void pause();
    void stop(); // paused at the first line
    // The lines before position_ms are passed over; the next one due is the first at or after it.
    void seek(qint64 position_ms);
    void set_speed(int times);

    // Plays every line due by the clock now. The timer calls it while playing.
    void advance();

signals:
    // recorded_ms: the line's own time (UTC, ms since the epoch), for views that draw time.
    void line_due(QString line, qint64 recorded_ms);
    void position_changed(qint64 position_ms);
    void finished();

private:
    void hold_position(); // the clock's position becomes the anchor: speed or pause changes

    clock now;
    QTimer timer;
    QList<QString> texts;
    QList<qint64> offsets_ms; // from the first line's time
    qint64 first_ms = 0;      // the first line's time
    int next = 0;
    bool running = false;
    int factor = 1;
    qint64 anchor_position_ms = 0; // the position at anchor_clock_ms
    qint64 anchor_clock_ms = 0;
};
