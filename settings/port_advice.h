#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <functional>

// What the user can do when a serial port does not open. On Linux both a device file the user
// may not open and a port another program holds give the permission error, so the device file
// tells the two apart.

// What the system says about the device file of a port.
struct port_access
{
    bool denied = false; // this user may not read and write it
    QString group;       // the group that owns it, by name where the system knows one
};

// The device file of a port (Unix; elsewhere nothing is known and nothing is denied).
port_access inspect_port_access(const QString& port_name);
using access_inspector = std::function<port_access(const QString& port_name)>;

// The lines of advice on a port that failed to open with error; none for errors the user cannot
// act on.
QStringList open_failure_advice(const QString& port, QSerialPort::SerialPortError error,
                                const access_inspector& inspect = inspect_port_access);
