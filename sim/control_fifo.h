#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The control channel: a FIFO that the simulator creates and reads commands from, one per line,
// while it runs. It is opened for reading and writing, so that writers may come and go without
// the simulator ever seeing an end of file. The FIFO is removed again on destruction.
class control_fifo
{
public:
    control_fifo() = default;
    ~control_fifo();
    control_fifo(const control_fifo&) = delete;
    control_fifo& operator=(const control_fifo&) = delete;

    bool create(const QString& path, QString& error);
    int fd() const { return descriptor; }

    // The complete lines that arrived since the last call.
    QStringList take_lines();

private:
    QString fifo_path;
    int descriptor = -1;
    QByteArray pending;
};
