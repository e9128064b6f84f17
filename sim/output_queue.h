#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <deque>

// Lines waiting to be sent, in order, each not before its own time and, when it is paced, one
// byte at a time with a pause after every byte. Free of I/O: the caller asks what is due, writes
// what it can and reports how much went out, so a partial write simply leaves the rest queued.
class output_queue
{
public:
    void push(const QByteArray& line, qint64 not_before_us, int byte_pause_us = 0);
    void clear();
    bool empty() const { return lines.empty(); }

    // Time at which the next byte may go out; only meaningful when not empty.
    qint64 next_due_us() const;
    // The bytes that may be written at now_us: the rest of the head line, or a single byte of a
    // paced line; empty when nothing is due.
    QByteArray due_bytes(qint64 now_us) const;
    // The head line when count more bytes complete it, else an empty array: a line is recorded
    // as sent before its last bytes go out, so that no reader sees them before the record.
    QByteArray line_completed_by(int count) const;
    // Records that count bytes of due_bytes() were written at now_us.
    void consume(int count, qint64 now_us);

private:
    struct pending_line
    {
        QByteArray bytes;
        qint64 not_before_us;
        int byte_pause_us;
        int sent;
    };

    std::deque<pending_line> lines;
    qint64 paused_until_us = 0; // a paced byte's pause holds back everything behind it
};
