#pragma once

#include "port_list.h"
#include "t_settings.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// Waits for a tracker to be plugged in: when automatic connection finds no port at start-up,
// it looks at the port list again every interval and makes the start-up choice (choose_port) on
// the settings it was given as soon as a port qualifies.
class port_waiter : public QObject
{
    Q_OBJECT

public:
    using port_lister = std::function<QList<port_entry>()>;
    static constexpr int default_interval_ms = 1000;

    // settings must outlive the waiter; list gives the ports to choose from at each look.
    port_waiter(t_settings& settings, port_lister list, QObject* parent = nullptr);

    void start();
    void stop();
    bool waiting() const { return timer.isActive(); }
    void set_interval(int ms); // tests shrink it

signals:
    void still_waiting(int looks); // no port qualified yet, after this many looks
    void port_chosen();            // the settings now name the chosen port; waiting has stopped

private:
    void look();

    t_settings& settings;
    const port_lister list;
    QTimer timer;
    int looks = 0;
};
