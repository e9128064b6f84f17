#include "field_history.h"

field_history::field_history(int capacity) : samples(std::size_t(qMax(1, capacity))) {}

void field_history::add(qint64 time_ms, double value)
{
    if (count > 0) {
        time_ms = qMax(time_ms, at(count - 1).time_ms);
    }
    samples[std::size_t((first + count) % capacity())] = {time_ms, value};
    if (count < capacity()) {
        ++count;
    } else {
        first = (first + 1) % capacity();
    }
}

void field_history::clear()
{
    first = 0;
    count = 0;
}

const history_sample& field_history::at(int i) const
{
    return samples[std::size_t((first + i) % capacity())];
}

int field_history::first_at_or_after(qint64 time_ms) const
{
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (at(middle).time_ms < time_ms) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

QPointF field_history::point(int i) const
{
    return {double(at(i).time_ms), at(i).value};
}

QVector<QPointF> field_history::points(qint64 from_ms, qint64 to_ms, int buckets) const
{
    const int begin = first_at_or_after(from_ms);
    const int end = first_at_or_after(to_ms + 1);
    QVector<QPointF> out;
    const int total = end - begin;
    if (total <= 2 * qMax(1, buckets)) {
        out.reserve(qMax(0, total));
        for (int i = begin; i < end; ++i) {
            out.append(point(i));
        }
        return out;
    }
    out.reserve(2 * buckets);
    for (int b = 0; b < buckets; ++b) {
        const int bucket_begin = begin + int(qint64(total) * b / buckets);
        const int bucket_end = begin + int(qint64(total) * (b + 1) / buckets);
        int low = bucket_begin;
        int high = bucket_begin;
        for (int i = bucket_begin + 1; i < bucket_end; ++i) {
            low = at(i).value < at(low).value ? i : low;
            high = at(i).value > at(high).value ? i : high;
        }
        out.append(point(qMin(low, high)));
        if (low != high) {
            out.append(point(qMax(low, high)));
        }
    }
    return out;
}
