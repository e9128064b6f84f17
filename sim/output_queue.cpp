#include "output_queue.h"

void output_queue::push(const QByteArray& line, qint64 not_before_us, int byte_pause_us)
{
    if (!line.isEmpty()) {
        lines.push_back({line, not_before_us, byte_pause_us, 0});
    }
}

void output_queue::clear()
{
    lines.clear();
    paused_until_us = 0;
}

qint64 output_queue::next_due_us() const
{
    return lines.empty() ? paused_until_us : qMax(lines.front().not_before_us, paused_until_us);
}

QByteArray output_queue::due_bytes(qint64 now_us) const
{
    if (lines.empty() || next_due_us() > now_us) {
        return QByteArray();
    }
    const pending_line& head = lines.front();
    const int length = head.byte_pause_us > 0 ? 1 : head.bytes.size() - head.sent;
    return head.bytes.mid(head.sent, length);
}

QByteArray output_queue::line_completed_by(int count) const
{
    if (lines.empty() || lines.front().sent + count < lines.front().bytes.size()) {
        return QByteArray();
    }
    return lines.front().bytes;
}

void output_queue::consume(int count, qint64 now_us)
{
    if (lines.empty() || count <= 0) {
        return;
    }
    pending_line& head = lines.front();
    head.sent = qMin(head.sent + count, int(head.bytes.size()));
    if (head.byte_pause_us > 0) {
        paused_until_us = now_us + head.byte_pause_us;
    }
    if (head.sent == head.bytes.size()) {
        lines.pop_front();
    }
}
