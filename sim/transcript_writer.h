#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The simulator's record of everything on its line, one event per text line, flushed at once so
// that a test can follow it while the simulator runs:
//   <t> RX <hh>     one received byte, two lower-case hex digits
//   <t> TX <text>   one sent line with its line end, C-escaped
//   <t> EV <text>   an event (plugged, command-mode, command AT..., stored +NAME v1,v2, ...)
// <t> is CLOCK_MONOTONIC in microseconds. Without a file nothing is written.
class transcript_writer
{
public:
    bool open(const QString& path, QString& error);

    void received(qint64 time_us, char byte);
    void sent(qint64 time_us, const QByteArray& line);
    void event(qint64 time_us, const QString& text);

    // "\r", "\n", "\\" and "\xhh" for other bytes outside printable ASCII.
    static QByteArray escape(const QByteArray& bytes);

private:
    void write_line(qint64 time_us, const char* kind, const QByteArray& text);

    QFile file;
};
