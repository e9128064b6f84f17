#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// A parsed transcript of the simulated tracker (see sim/README.md): the bytes it received with
// their time stamps, the lines it sent and its events. Time stamps are CLOCK_MONOTONIC in
// microseconds, comparable with now_us() in the test process.
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

    // Reading. A last line without its newline is still being written and is left out.
    static sim_transcript parse(const QByteArray& contents);
    static sim_transcript read(const QString& path);
    static QByteArray unescape(const QByteArray& escaped);
    static qint64 now_us();

    // What is in it
    const QList<received_byte>& received() const { return bytes_in; }
    const QList<sent_line>& sent() const { return lines_out; }
    const QList<event>& events() const { return event_list; }

    // Common questions
    QByteArray received_bytes() const;
    QList<QByteArray> sent_lines() const;
    QStringList event_texts() const;
    // Events equal to text, or beginning with text followed by a space.
    int count_events(const QString& text) const;
    QList<event> events_named(const QString& text) const;
    // The texts of the complete commands received ("AT+..."), in order.
    QStringList commands() const;

private:
    QList<received_byte> bytes_in;
    QList<sent_line> lines_out;
    QList<event> event_list;
};
