#pragma once

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QVector>

#include <functional>
#include <map>

// A tracker inside the test, behind a QIODevice and on a clock of its own: waits and pauses move
// the clock instead of taking time, so the link runs on its real timings in next to no time, with
// the same outcome on any machine. Like a serial port without an event loop, it hands over bytes
// only during a wait. One thread uses it at a time: the test sets it up before the worker starts
// and reads it after the worker has finished.
class fake_tracker : public QIODevice
{
public:
    // Pieces of bytes, each due its delay after the previous one; none: no answer.
    using reply = QList<QPair<qint64, QByteArray>>;

    // Written out here rather than taken from the program, so that a wrong byte shows.
    static constexpr char access_code[] = "4182763";
    static constexpr char closing_command[] = "AT+TEXT=7395,";

    // In data mode only the access code means anything; in command mode the tracker echoes the
    // probe "&" and answers commands.
    bool command_mode = false;
    int refusals = 0; // access codes refused before one is accepted
    qint64 prompt_delay_us = 0;
    QHash<QByteArray, QList<reply>> replies; // per command, taken in turn; the last one stays
    // Each frame received, without its CRs, once the tracker has reacted to it.
    std::function<void(const QByteArray& frame)> on_frame;

    void at(qint64 time_us, std::function<void()> action) { actions.emplace(time_us, action); }
    void advance(qint64 us) { run_until(now + us, false); }

    // Every byte received, and when.
    QByteArray received;
    QVector<qint64> received_at;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return arrived.size() + QIODevice::bytesAvailable(); }
    bool waitForReadyRead(int ms) override { return run_until(now + ms * qint64(1000), true); }
    bool waitForBytesWritten(int) override { return true; }

protected:
    qint64 readData(char* data, qint64 max_size) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void take(char byte);
    void react(const QByteArray& command);
    void send(const reply& pieces);
    // True when input arrived before time_us; the clock then stops there.
    bool run_until(qint64 time_us, bool take_input);

    qint64 now = 0;
    std::multimap<qint64, QByteArray> pending;
    std::multimap<qint64, std::function<void()>> actions;
    QByteArray arrived;
    QByteArray frame;
    int codes_refused = 0;
};
