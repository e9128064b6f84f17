#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// A parsed transcript of the simulated tracker (its format is in sim/README.md): the bytes it
// received, the lines it sent and its events, each stamped with CLOCK_MONOTONIC in microseconds,
// comparable with now_us() in the test process.
class sim_transcript
{
public:
    struct received_byte
    {
        qint64 time_us;
        char byte;
    };
    struct sent_line
    {
        qint64 time_us;
        QByteArray bytes; // unescaped, line end included
    };
    struct event
    {
        qint64 time_us;
        QString text;
    };

    // A last line without its newline is still being written and is left out.
    static sim_transcript parse(const QByteArray& contents);
    static sim_transcript read(const QString& path);
    static qint64 now_us();

    const QList<received_byte>& received() const { return bytes_in; }
    const QList<sent_line>& sent() const { return lines_out; }
    const QList<event>& events() const { return event_list; }

    QByteArray received_bytes() const;
    QList<QByteArray> sent_lines() const;
    // Events equal to text, or beginning with text and a space.
    QList<event> events_named(const QString& text) const;
    int count_events(const QString& text) const { return events_named(text).size(); }
    // The complete commands received ("AT+..."), in order.
    QStringList commands() const;

private:
    QList<received_byte> bytes_in;
    QList<sent_line> lines_out;
    QList<event> event_list;
};
