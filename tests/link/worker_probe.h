#pragma once

#include "serial_port_thread.h"

#include <QObject>
#include <QRegularExpression>
#include <QStringList>

// Writes down what a worker reports, on the test's own thread. The worker emits from its thread,
// so the signals arrive queued and in emission order, exactly as the main window gets them.
class worker_probe : public QObject
{
public:
    explicit worker_probe(SerialPortThread& worker)
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

    // The events of one kind ("status", "executed", "sensor"), without their kind.
    QStringList of(const QString& kind) const
    {
        return events.filter(QRegularExpression(QLatin1Char('^') + kind + QLatin1Char(' ')))
            .replaceInStrings(QRegularExpression(QLatin1String("^\\w+ ")), QString());
    }
    bool ended() const { return events.contains(QStringLiteral("disconnected")); }

    // Every signal in order: "status <text>", "executed <command> -> <reply>", "handshake",
    // "sensor <line>", "disconnected".
    QStringList events;
};
