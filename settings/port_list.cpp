#include "port_list.h"

#include <QSerialPortInfo>

namespace {

port_source installed_source = nullptr;

QList<port_entry> system_ports()
{
    QList<port_entry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.description(), info.manufacturer()});
    return ports;
}

void take_port(const port_entry& port, t_settings& settings)
{
    settings.port_name = port.port_name;
    settings.port_name_long = port_display_text(port);
}

} // namespace

QList<port_entry> available_ports()
{
    return installed_source ? installed_source() : system_ports();
}

void set_port_source(port_source source)
{
    installed_source = source;
}

QString port_display_text(const port_entry& port)
{
    return port.port_name + ' ' + port.description + ' ' + port.manufacturer;
}

bool choose_port(const QList<port_entry>& ports, t_settings& settings)
{
    for (const port_entry& port : ports) {
        if (port.manufacturer.contains(QLatin1String("STMicroelectronics"))) {
            take_port(port, settings);
            return true;
        }
    }
    for (const port_entry& port : ports) {
        if (port.description.contains(QLatin1String("Standard Serial over Bluetooth link"))) {
            take_port(port, settings);
            settings.bt_conn = true;
            return true;
        }
    }
    return false;
}
