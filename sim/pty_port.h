#pragma once

#include <QByteArray>
#include <QString>

// The simulated tracker's serial device: a pseudo-terminal in raw mode whose slave is published
// under a fixed path as a symbolic link, so that a configuration file can name it. The path
// exists exactly while the device is plugged in.
//
// Whether a client has the device open is read from the master: it reports a hang-up while no
// one holds the slave. The slave is opened and closed once at plug-in time so that this holds
// before the first client too. An inotify watch on the slave wakes the simulator when a client
// opens or closes it, so that no time is spent polling for that.
class pty_port
{
public:
    explicit pty_port(const QString& link_path);
    ~pty_port();
    pty_port(const pty_port&) = delete;
    pty_port& operator=(const pty_port&) = delete;

    // Plugging
    bool plug(QString& error); // a new pty behind the link
    void unplug();             // the link vanishes and the pty closes under its client
    bool plugged() const { return master >= 0; }
    QString slave_name() const { return slave; }

    // Descriptors to wait on
    int master_fd() const { return master; }
    int watch_fd() const { return watch; }

    // The client
    bool client_present() const;
    // Empties the watch; true when it reported that the device was closed.
    bool take_watch_events();

    // Bytes; both never block
    // 1: a byte was read; 0: none waiting; -1: the client has closed the device.
    int read_byte(char& byte);
    // Bytes taken by the pty, 0 when it cannot take more now.
    int write(const QByteArray& bytes);
    // Drops what was sent and not yet read, so that a later client never sees it.
    void discard_unread_output();

private:
    bool publish_link(QString& error);

    QString link;
    QString slave;
    int master = -1;
    int watch = -1;
};
