#pragma once

#include "provisioning_job.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

struct station_settings
{
    QString name; // the station's name in the records
    // The ports to serve; empty: every port the start-up choice of a port would take, including
    // ports that appear later.
    QStringList ports;
    int speed = 115200;
    bool bluetooth = false;     // of the named ports; found ports say it themselves
    int count = 0;              // stop after this many trackers have finished; 0: until stopped
    int jobs = 16;              // trackers served at once
    int look_interval_ms = 500; // how often the ports are looked for
};

// The production station: on each port, one tracker after another, each served by a job on a
// thread of its own while the port's tracker is plugged in. The tool and the window both run it.
// Most signals are emitted on the ports' threads: connect them with a receiver or a context object
// of the station's thread, so that they arrive there queued.
class provisioning_station : public QObject
{
    Q_OBJECT

public:
    provisioning_station(const provisioning_plan& plan, const provisioning_records& records,
                         const station_settings& settings, QObject* parent = nullptr);
    ~provisioning_station() override; // stops and waits for every port's thread

    void start();
    // Jobs under way finish the step they are in and close their links; nothing new starts.
    // stopped() follows once every port's thread has ended.
    void stop();
    bool running() const { return !threads.empty() && !ended; }

    // Jobs that were interrupted before they could finish.
    int cut_short() const { return interrupted_jobs; }

signals:
    void port_found(const QString& port);
    void phase_changed(const QString& port, station_phase phase, int done, int total);
    void identified(const QString& port, const QString& identity);
    void note(const QString& port, const QString& text);
    void finished_one(const QString& port, const provisioning_result& result);
    void stopped();

private:
    void look_for_ports();
    void serve(const QString& port, bool bluetooth);
    bool wait_for_port(const QString& port, bool present);
    bool claim_job();
    void run_job(const QString& port, bool bluetooth);
    void thread_ended();
    bool stopping() const { return stop_requested; }

    const provisioning_plan plan;
    const provisioning_records& records;
    const station_settings settings;
    QTimer looking;
    std::vector<std::unique_ptr<QThread>> threads;
    QHash<QString, bool> served; // by port: the loop of that port runs
    int running_threads = 0;
    bool ended = false;

    QSemaphore job_slots;
    std::atomic<int> claimed{0};
    std::atomic<int> finished{0};
    std::atomic<int> interrupted_jobs{0};
    std::atomic<bool> stop_requested{false};
    std::mutex waking_lock;
    std::condition_variable waking;
    QMutex links_lock;
    QList<tracker_link*> active_links;
};
