#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

#include <atomic>

// Collects the debug traces of every thread while it exists, so a test can check what the
// worker wrote to the developer log. One at a time.
class trace_capture
{
public:
    trace_capture();
    ~trace_capture();
    trace_capture(const trace_capture&) = delete;
    trace_capture& operator=(const trace_capture&) = delete;

    QStringList lines() const;
    int count(const QString& trace) const;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    static std::atomic<trace_capture*> active;
    QtMessageHandler previous;
    mutable QMutex lock;
    QStringList captured;
};
