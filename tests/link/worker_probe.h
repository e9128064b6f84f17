#pragma once

#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

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
    QStringList statuses;
    QVector<QPair<QString, QString>> executed;
    QStringList sensor_lines;
    int handshakes = 0;
    int disconnections = 0;

    int count_of_status(const QString& status) const { return statuses.count(status); }
};
