#include "worker_probe.h"

#include "serial_port_thread.h"

worker_probe::worker_probe(SerialPortThread& worker)
{
    connect(&worker, &SerialPortThread::set_status_text, this, [this](const QString& status) {
        statuses << status;
        events << QStringLiteral("status ") + status;
    });
    connect(&worker, &SerialPortThread::cmd_executed, this,
            [this](const QString& command, const QString& reply) {
                executed.append({command, reply});
                events << QStringLiteral("executed %1 -> %2").arg(command, reply);
            });
    connect(&worker, &SerialPortThread::handshake_ok, this, [this] {
        ++handshakes;
        events << QStringLiteral("handshake");
    });
    connect(&worker, &SerialPortThread::sensor_data, this, [this](const QString& line) {
        sensor_lines << line;
        events << QStringLiteral("sensor ") + line;
    });
    connect(&worker, &SerialPortThread::disconnected_gracefully, this, [this] {
        ++disconnections;
        events << QStringLiteral("disconnected");
    });
}
