#pragma once

#include <QObject>
#include <QStringList>

class SerialPortThread;

// Writes down what a worker reports, on the test's own thread. The worker emits from its thread,
// so the signals arrive queued and in emission order, exactly as the main window gets them.
class worker_probe : public QObject
{
    Q_OBJECT

public:
    explicit worker_probe(SerialPortThread& worker);

    // Every signal in order: "status <text>", "executed <command> -> <reply>", "handshake",
    // "sensor <line>", "disconnected".
    QStringList events;

    // The events of one kind ("status", "executed", "sensor"), without their kind.
    QStringList of(const QString& kind) const;
    bool ended() const { return events.contains(QStringLiteral("disconnected")); }
};
