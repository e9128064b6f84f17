#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class QIODevice;

// One device-state line as the program received it, without its line end, and when.
struct recorded_line
{
    QDateTime time; // UTC, to the millisecond
    QByteArray text;
};

struct recording
{
    QList<recorded_line> lines; // in time order
    // The file ended inside a line (its writer stopped while writing it): that line is left out.
    bool cut_last_line = false;
};

// Why a recording was refused, and where.
struct recording_error
{
    enum class kind
    {
        none,
        unreadable,      // the file or stream could not be read; detail says why
        not_a_recording, // no header: empty, or another kind of file
        unknown_version, // a header of a version this reader does not know; detail holds it
        bad_time,        // a line that does not start with a time and a tab
        empty_line,      // a time with no line after it
        too_long,
        line_break, // a carriage return inside the line
        not_utf8,
        out_of_order, // a time before the previous line's
    };

    kind what = kind::none;
    int line = 0; // from 1; 0 for an unreadable file
    QString detail;

    // In English, "line 7: time before the previous line's"; the window words its own.
    QString describe() const;
};

// Reads a whole recording from device, open for reading, to its end. On a refusal result is
// untouched and error names the first line refused.
bool read_recording(QIODevice& device, recording& result, recording_error& error);
bool read_recording_file(const QString& path, recording& result, recording_error& error);
