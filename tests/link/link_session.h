#pragma once

#include "serial_port_thread.h"
#include "sim_process.h"
#include "worker_probe.h"

#include <QStringList>

#include <memory>

// One worker linked to one simulated tracker, as the main window runs it: the worker is created,
// given the simulator's port, watched by a probe on the test thread and started. Whatever still
// runs at the end is stopped.
class link_session
{
public:
    // Generous: the machines that run the tests are small and busy.
    static constexpr int timeout_ms = 30000;

    link_session() = default;
    ~link_session();
    link_session(const link_session&) = delete;
    link_session& operator=(const link_session&) = delete;

    // Starts the simulator on the link tests' profile; a failure is in sim.error().
    bool start_sim(const QStringList& options = {});
    // Creates and starts the worker; commands are queued before it starts.
    void start_worker(bool bluetooth = false, int speed = 115200, const QStringList& queued = {});
    // Asks the worker to exit and waits for its end; true when it ended gracefully.
    bool stop_worker();

    sim_process sim;
    std::unique_ptr<SerialPortThread> worker;
    std::unique_ptr<worker_probe> probe;
};
