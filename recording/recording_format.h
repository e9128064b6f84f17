#pragma once

#include <QByteArray>
#include <QDateTime>

// What the reader and the writer of recordings both hold to (docs/recording-format.md): the
// header, the form of a time, and which received lines a recording can carry.
namespace recording_format {

constexpr int version = 1;
// The longest line a tracker sends: the link drops longer ones, so none is ever recorded.
constexpr int max_text_bytes = 1023;
// "2026-12-07T14:05:09.123Z"
constexpr int time_bytes = 24;
// A time, a tab and the line, without the line end.
constexpr int max_line_bytes = time_bytes + 1 + max_text_bytes;

// "tracker-recording 1"
QByteArray header();
// The name before the version in the header, for telling another version from another file.
QByteArray header_name();

// The time in UTC as the format writes it; empty for a null time or one outside the years
// 0000 to 9999.
QByteArray format_time(const QDateTime& time);
// Exactly the form format_time writes, a real date and time of day; false for anything else.
bool parse_time(const QByteArray& text, QDateTime& time);

enum class text_problem
{
    none,
    empty,
    too_long,   // over max_text_bytes
    line_break, // a CR or LF, which would split the line
    not_utf8,
};

// Whether a received line can be recorded as it is.
text_problem check_text(const QByteArray& text);

} // namespace recording_format
