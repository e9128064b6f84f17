#pragma once

#include <QString>

// The program's own settings, as kept in the configuration file.
struct t_settings
{
    QString port_name;      // system name of the serial port, e.g. COM3 or /dev/ttyACM0
    QString port_name_long; // "name description manufacturer", shown when the port is absent
    int port_speed = 115200;
    bool bt_conn = false; // the port is a Bluetooth serial link
    bool auto_connect = false;
    QString device_password = QStringLiteral("7395");
    QString master_password = QStringLiteral("7395");
    QString xml_path = QStringLiteral("cmdprofile.xml"); // read but never used: see MainWindow
    bool simple_mode = true;
};
