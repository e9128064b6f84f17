#pragma once

#include "t_settings.h"

#include <QList>
#include <QString>

// One serial port as the system reports it.
struct port_entry
{
    QString port_name;
    QString description;
    QString manufacturer;
};

// The ports the system reports. Tests install their own list: the system's enumeration does not
// show pseudo-terminals, and a test must not depend on the machine's hardware.
QList<port_entry> available_ports();
using port_source = QList<port_entry> (*)();
void set_port_source(port_source source); // nullptr restores the system's list

// "name description manufacturer", the text the settings keep as the port's long name.
QString port_display_text(const port_entry& port);

// Which ports a tracker may be behind: its own USB port, or a Bluetooth serial link.
enum class tracker_port
{
    none,
    usb,
    bluetooth
};
tracker_port tracker_port_kind(const port_entry& port);

// Start-up choice of a port: the tracker's own USB port first, a Bluetooth serial link second.
// Returns false and leaves the settings alone when neither is present.
bool choose_port(const QList<port_entry>& ports, t_settings& settings);
