#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class QIODevice;

// Writes a recording (docs/recording-format.md) line by line, each flushed to the system as it
// is written, so that a program that crashes loses at most the line under way.
class recording_writer
{
public:
    // Writes the header to device, which must be open for writing and outlive the writer's use;
    // it stays the caller's to close.
    bool start(QIODevice* device, QString& error);

    // Appends one line as received (without its line end) with the time it was received. A line
    // the format cannot carry (empty, over 1023 bytes, holding a line break, not UTF-8) is
    // refused and nothing is written. A time before the previous line's (the system clock was
    // set back) is written as the previous one, so that the file stays in time order.
    bool append(const QDateTime& received, const QByteArray& line, QString& error);

private:
    bool write(const QByteArray& bytes, QString& error);

    QIODevice* device = nullptr;
    QDateTime last;
};
