#pragma once

#include <QByteArray>

// Builds the tracker's CR-terminated lines from single bytes. LF bytes are dropped wherever they
// occur, so CR, CR LF and LF CR line ends give the same lines; the CR ends a line and is not part
// of it. A line longer than the protocol's 1023 bytes is never cut short and handed on, because a
// cut reply could pass for a shorter, valid one: its bytes are dropped up to its CR and the line
// is reported as too long instead.
class line_assembler
{
public:
    enum class result
    {
        incomplete, // the byte was taken; the line goes on
        line,       // a CR ended a line: line() holds it
        too_long    // a CR ended an over-long line: dropped_bytes() tells its length
    };

    static constexpr int max_line_bytes = 1023;

    result take(char byte);

    const QByteArray& line() const { return line_; }
    int dropped_bytes() const { return dropped_; }

private:
    QByteArray line_;
    int length_ = 0;
    int dropped_ = 0;
    bool complete_ = false;
};
