#pragma once

#include <QByteArray>
#include <QString>

// The configurator's end of the simulator's pty, reduced to what the simulator tests need: plain
// POSIX, so that these tests do not depend on the serial worker they exist to test.
class pty_client
{
public:
    pty_client() = default;
    ~pty_client();
    pty_client(const pty_client&) = delete;
    pty_client& operator=(const pty_client&) = delete;

    bool open(const QString& path);
    void close();

    bool send(const QByteArray& bytes);
    // Reads until what was read contains wanted, or the deadline passes; returns all read.
    QByteArray read_until(const QByteArray& wanted, int timeout_ms);
    // Reads until the device hangs up or the deadline passes; true on the hang-up.
    bool wait_for_hangup(int timeout_ms);

    // The handshake of a wired link: access code frame, then the prompt.
    bool enter_command_mode(const QByteArray& access_code, int timeout_ms);

private:
    int fd = -1;
};
