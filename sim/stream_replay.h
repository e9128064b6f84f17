#pragma once

#include "recording_reader.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// A recording served as the tracker's device-state stream. Switched on, the stream sends the
// next recorded line at once and each further one after the gap recorded before it; after the
// last line comes a pause of one second and the recording again from its first line. Switched
// off and on, it goes on where it stopped. Times are the simulator's clock (sim_clock.h), handed
// in, so that tests play it on a clock of their own.
class stream_replay
{
public:
    stream_replay() = default; // plays nothing
    explicit stream_replay(const QList<recorded_line>& lines);

    bool active() const { return !texts.isEmpty(); }
    void start(qint64 now_us);
    qint64 next_due_us() const { return due_us; }
    // The lines due by now_us, in order. A simulator held up (a stopped process, a loaded
    // machine) makes up for at most one second, rather than sending all it missed at once.
    QList<QByteArray> take_due(qint64 now_us);

private:
    QList<QByteArray> texts;
    QList<qint64> gaps_us; // before each line; before the first, the pause between two rounds
    int next = 0;
    qint64 due_us = 0;
};
