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

tracker_port tracker_port_kind(const port_entry& port)
{
    if (port.manufacturer.contains(QLatin1String("STMicroelectronics"))) {
        return tracker_port::usb;
    }
    if (port.description.contains(QLatin1String("Standard Serial over Bluetooth link"))) {
        return tracker_port::bluetooth;
    }
    return tracker_port::none;
}

bool choose_port(const QList<port_entry>& ports, t_settings& settings)
{
    for (const tracker_port kind : {tracker_port::usb, tracker_port::bluetooth}) {
        for (const port_entry& port : ports) {
            if (tracker_port_kind(port) == kind) {
                take_port(port, settings);
                settings.bt_conn = kind == tracker_port::bluetooth;
                return true;
            }
        }
    }
    return false;
}
