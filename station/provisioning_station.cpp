#include "provisioning_station.h"

#include "port_list.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>

#include <chrono>

namespace {

// A named path is there while its device file is; a port found in the system's list is there
// while the list has it.
bool port_present(const QString& port)
{
    if (port.contains(QLatin1Char('/'))) {
        return QFileInfo::exists(port);
    }
    const QList<port_entry> ports = available_ports();
    return std::any_of(ports.begin(), ports.end(),
                       [&](const port_entry& entry) { return entry.port_name == port; });
}

} // namespace

provisioning_station::provisioning_station(const provisioning_plan& shared,
                                           const provisioning_records& db,
                                           const station_settings& chosen, QObject* parent)
    : QObject(parent), plan(shared), records(db), settings(chosen), job_slots(qMax(1, chosen.jobs))
{
    qRegisterMetaType<station_phase>();
    qRegisterMetaType<provisioning_result>();
    looking.setInterval(settings.look_interval_ms);
    connect(&looking, &QTimer::timeout, this, &provisioning_station::look_for_ports);
}

provisioning_station::~provisioning_station()
{
    stop();
    for (const auto& thread : threads) {
        thread->wait();
    }
}

void provisioning_station::start()
{
    if (settings.ports.isEmpty()) {
        looking.start();
        look_for_ports();
        return;
    }
    for (const QString& port : settings.ports) {
        serve(port, settings.bluetooth);
    }
}

void provisioning_station::stop()
{
    looking.stop();
    stop_requested = true;
    {
        const std::lock_guard<std::mutex> lock(waking_lock);
        waking.notify_all();
    }
    const QMutexLocker lock(&links_lock);
    for (tracker_link* link : qAsConst(active_links)) {
        link->interrupt();
    }
    if (threads.empty() && !ended) {
        ended = true;
        emit stopped();
    }
}

// Every port the start-up choice would take gets a loop of its own, once.
void provisioning_station::look_for_ports()
{
    for (const port_entry& port : available_ports()) {
        const tracker_port kind = tracker_port_kind(port);
        if (kind != tracker_port::none && !served.contains(port.port_name) && !stopping()) {
            serve(port.port_name, kind == tracker_port::bluetooth);
        }
    }
}

// One port's loop, on a thread of its own: a tracker plugged in is served, then the loop waits
// for it to be unplugged before it takes the next.
void provisioning_station::serve(const QString& port, bool bluetooth)
{
    served.insert(port, true);
    threads.emplace_back(QThread::create([this, port, bluetooth] {
        while (!stopping()) {
            emit phase_changed(port, station_phase::waiting, 0, 0);
            if (!wait_for_port(port, true) || !claim_job()) {
                break;
            }
            run_job(port, bluetooth);
            if (!stopping()) {
                wait_for_port(port, false);
            }
        }
        emit phase_changed(port, station_phase::stopped, 0, 0);
    }));
    QThread* thread = threads.back().get();
    // Traces of the thread, such as the worker's, name their port.
    thread->setObjectName(port);
    connect(thread, &QThread::finished, this, &provisioning_station::thread_ended);
    ++running_threads;
    emit port_found(port);
    thread->start();
}

// Until the port is there (or gone); false when the station stops first.
bool provisioning_station::wait_for_port(const QString& port, bool present)
{
    std::unique_lock<std::mutex> lock(waking_lock);
    while (!stopping()) {
        lock.unlock();
        const bool there = port_present(port);
        lock.lock();
        if (there == present) {
            return true;
        }
        waking.wait_for(lock, std::chrono::milliseconds(settings.look_interval_ms),
                        [this] { return stopping(); });
    }
    return false;
}

// A free job slot, and, with a count, one of the trackers still to be served; false when the
// station stops or the count is taken.
bool provisioning_station::claim_job()
{
    while (!stopping()) {
        if (job_slots.tryAcquire(1, settings.look_interval_ms)) {
            if (settings.count == 0 || claimed++ < settings.count) {
                return true;
            }
            job_slots.release();
            return false;
        }
    }
    return false;
}

void provisioning_station::run_job(const QString& port, bool bluetooth)
{
    tracker_link link({port, settings.speed, bluetooth});
    {
        const QMutexLocker lock(&links_lock);
        active_links << &link;
        if (stopping()) {
            link.interrupt();
        }
    }
    provisioning_job job(
        plan, records, link, port, settings.name,
        {[this, port](station_phase phase, int done, int total) {
             emit phase_changed(port, phase, done, total);
         },
         [this, port](const QString& identity) { emit identified(port, identity); },
         [this, port](const QString& text) { emit note(port, text); }});
    const provisioning_result result = job.run();
    {
        const QMutexLocker lock(&links_lock);
        active_links.removeOne(&link);
    }
    job_slots.release();
    interrupted_jobs += result.cut_short ? 1 : 0;
    emit finished_one(port, result);
    if (settings.count > 0 && ++finished >= settings.count) {
        QMetaObject::invokeMethod(this, &provisioning_station::stop, Qt::QueuedConnection);
    }
}

void provisioning_station::thread_ended()
{
    if (--running_threads == 0 && stopping() && !ended) {
        ended = true;
        emit stopped();
    }
}
