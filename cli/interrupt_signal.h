#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT (Ctrl+C) and SIGTERM into a signal of the main thread's event loop, where the
// tool can wind its links down; a signal handler itself may do almost nothing. After the first,
// the default action is restored, so that a second Ctrl+C ends a tool that hangs. On Windows the
// console's Ctrl+C, Ctrl+Break and close events play the part of the signals.
class interrupt_signal : public QObject
{
    Q_OBJECT

public:
    interrupt_signal();
    ~interrupt_signal() override;

signals:
    void raised();

private:
    void take();

    QSocketNotifier* notifier = nullptr;
};
