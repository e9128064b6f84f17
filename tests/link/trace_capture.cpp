#include "trace_capture.h"

#include <QMutexLocker>

std::atomic<trace_capture*> trace_capture::active{nullptr};

trace_capture::trace_capture()
{
    active = this;
    previous = qInstallMessageHandler(&trace_capture::handle);
}

trace_capture::~trace_capture()
{
    qInstallMessageHandler(previous);
    active = nullptr;
}

QStringList trace_capture::lines() const
{
    QMutexLocker locker(&lock);
    return captured;
}

int trace_capture::count(const QString& trace) const
{
    return lines().count(trace);
}

void trace_capture::handle(QtMsgType type, const QMessageLogContext& context,
                           const QString& message)
{
    trace_capture* capture = active;
    if (!capture) {
        return;
    }
    {
        QMutexLocker locker(&capture->lock);
        capture->captured << message;
    }
    if (type != QtDebugMsg && capture->previous) {
        capture->previous(type, context, message);
    }
}
