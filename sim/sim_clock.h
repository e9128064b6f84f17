#pragma once

#include <QtGlobal>

#include <time.h>

// The simulator's one time base: CLOCK_MONOTONIC in microseconds, the clock that transcript
// stamps use, so that a test on the same machine can compare them with its own readings.
inline qint64 monotonic_us()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
