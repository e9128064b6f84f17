#pragma once

#include <QPointF>
#include <QVector>
#include <QtGlobal>

#include <vector>

struct history_sample
{
    qint64 time_ms = 0; // since the epoch, UTC
    double value = 0.0; // in the display's unit
};

// One field's samples of the last hour at ten lines a second, in a buffer of fixed size: the
// oldest are overwritten, so a link left open for days keeps the same memory. Times never go
// back (a clock set back gives the newest time again), so a window is found by halving.
class field_history
{
public:
    static constexpr int default_capacity = 36000;
    explicit field_history(int capacity = default_capacity);

    void add(qint64 time_ms, double value);
    void clear();
    int size() const { return count; }
    int capacity() const { return int(samples.size()); }
    const history_sample& at(int i) const; // 0 is the oldest kept
    std::size_t memory_bytes() const { return samples.size() * sizeof(history_sample); }

    // The first sample at or after time_ms; size() when there is none.
    int first_at_or_after(qint64 time_ms) const;

    // The samples from from_ms to to_ms (both included) as points (time in ms, value), at most
    // two to a bucket: a long window keeps each bucket's lowest and highest value in their order,
    // so a spike stays on the line however many samples share a pixel.
    QVector<QPointF> points(qint64 from_ms, qint64 to_ms, int buckets) const;

private:
    QPointF point(int i) const;

    std::vector<history_sample> samples;
    int first = 0;
    int count = 0;
};
