#include "worker_probe.h"

#include "serial_port_thread.h"

worker_probe::worker_probe(SerialPortThread& worker)
{
    connect(&worker, &SerialPortThread::set_status_text, this,
            [this](const QString& status) { events << QStringLiteral("status ") + status; });
    connect(&worker, &SerialPortThread::cmd_executed, this,
            [this](const QString& command, const QString& reply) {
                events << QStringLiteral("executed %1 -> %2").arg(command, reply);
            });
    connect(&worker, &SerialPortThread::handshake_ok, this,
            [this] { events << QStringLiteral("handshake"); });
    connect(&worker, &SerialPortThread::sensor_data, this,
            [this](const QString& line) { events << QStringLiteral("sensor ") + line; });
    connect(&worker, &SerialPortThread::disconnected_gracefully, this,
            [this] { events << QStringLiteral("disconnected"); });
}

QStringList worker_probe::of(const QString& kind) const
{
    QStringList found;
    for (const QString& event : events) {
        if (event.startsWith(kind + QLatin1Char(' '))) {
            found << event.mid(kind.size() + 1);
        }
    }
    return found;
}
