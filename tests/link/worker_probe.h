#pragma once

#include "serial_port_thread.h"

#include <QMap>
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
        connect(&worker, &SerialPortThread::command_finished, this,
                [this](const command_outcome& outcome) {
                    events << QStringLiteral("outcome %1 #%2")
                                  .arg(kind_name(outcome.result))
                                  .arg(outcome.id);
                });
        connect(&worker, &SerialPortThread::link_changed, this, [this](link_event event) {
            events << QStringLiteral("link ") + event_name(event);
        });
    }

    static QString kind_name(command_outcome::kind kind)
    {
        using k = command_outcome::kind;
        const QMap<k, QString> names{{k::answered, "answered"},       {k::too_long, "too_long"},
                                     {k::control_bytes, "control"},   {k::gave_up, "gave_up"},
                                     {k::dropped_on_loss, "dropped"}, {k::link_ended, "ended"}};
        return names.value(kind);
    }
    static QString event_name(link_event event)
    {
        using e = link_event;
        const QMap<e, QString> names{
            {e::port_opened, "opened"},      {e::open_failed, "open_failed"},
            {e::handshake_done, "ready"},    {e::handshake_refused, "refused"},
            {e::handshake_silent, "silent"}, {e::link_lost, "lost"},
            {e::link_ended, "ended"}};
        return names.value(event);
    }

    // The events of one kind ("status", "executed", "sensor"), without their kind.
    QStringList of(const QString& kind) const
    {
        return events.filter(QRegularExpression(QLatin1Char('^') + kind + QLatin1Char(' ')))
            .replaceInStrings(QRegularExpression(QLatin1String("^\\w+ ")), QString());
    }
    bool ended() const { return events.contains(QStringLiteral("disconnected")); }

    // Every signal in order: "status <text>", "executed <command> -> <reply>", "handshake",
    // "sensor <line>", "disconnected", "outcome <kind> #<id>", "link <event>".
    QStringList events;
};
