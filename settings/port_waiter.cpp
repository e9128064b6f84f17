#include "port_waiter.h"

port_waiter::port_waiter(t_settings& s, port_lister lister, QObject* parent)
    : QObject(parent), settings(s), list(std::move(lister))
{
    timer.setInterval(default_interval_ms);
    connect(&timer, &QTimer::timeout, this, &port_waiter::look);
}

void port_waiter::start()
{
    looks = 0;
    timer.start();
}

void port_waiter::stop()
{
    timer.stop();
}

void port_waiter::set_interval(int ms)
{
    timer.setInterval(ms);
}

void port_waiter::look()
{
    ++looks;
    if (!choose_port(list(), settings)) {
        emit still_waiting(looks);
        return;
    }
    timer.stop();
    emit port_chosen();
}
