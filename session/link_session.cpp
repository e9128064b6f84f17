#include "link_session.h"

#include "serial_port_thread.h"
#include "tracker_commands.h"

link_session::link_session(QObject* parent) : QObject(parent) {}

link_session::~link_session()
{
    if (worker) {
        worker->request_exit();
        worker->wait();
    }
}

void link_session::start(const link_settings& settings)
{
    if (worker) {
        return;
    }
    link = settings;
    worker = std::make_unique<SerialPortThread>();
    // Traces name the port they come from by the worker thread's name.
    worker->setObjectName(settings.port);
    worker->set_port_params(settings.port, settings.speed, settings.bluetooth);
    connect(worker.get(), &SerialPortThread::set_status_text, this, &link_session::status_text);
    connect(worker.get(), &SerialPortThread::command_finished, this, &link_session::take_outcome);
    connect(worker.get(), &SerialPortThread::link_changed, this, &link_session::take_event);
    connect(worker.get(), &SerialPortThread::sensor_data, this, &link_session::state_line);
    connect(worker.get(), &SerialPortThread::disconnected_gracefully, this,
            &link_session::take_end);
    move_to(state::opening);
    worker->start();
}

void link_session::stop()
{
    if (!worker) {
        return;
    }
    worker->request_exit();
    move_to(state::stopping);
}

quint64 link_session::send(const QString& command, request_kind kind, outcome_handler handler)
{
    if (!worker) {
        return 0;
    }
    if (progress* counts = progress_of(kind)) {
        if (!counts->running()) {
            *counts = progress();
        }
        ++counts->total;
        emit progress_changed();
    }
    const quint64 id = worker->queue_command(command, kind == request_kind::write);
    requests.insert(id, {kind, std::move(handler)});
    return id;
}

// The stream switch is no work the user waits for.
link_session::progress* link_session::progress_of(request_kind kind)
{
    switch (kind) {
    case request_kind::read:
        return &reads;
    case request_kind::write:
        return &writes;
    case request_kind::stream:
        break;
    }
    return nullptr;
}

// Taken off the pending list first: the handler may send the next command.
void link_session::take_outcome(const command_outcome& outcome)
{
    const request taken = requests.take(outcome.id);
    if (progress* counts = progress_of(taken.kind)) {
        ++counts->done;
        emit progress_changed();
    }
    if (outcome.answered()) {
        emit answered(outcome.command, outcome.reply);
    } else if (outcome.result == command_outcome::kind::dropped_on_loss) {
        emit command_dropped(tracker_commands::masked(outcome.command));
    }
    if (taken.handler) {
        taken.handler(outcome);
    }
}

void link_session::take_event(link_event event, QSerialPort::SerialPortError error)
{
    switch (event) {
    case link_event::port_opened:
        if (now != state::stopping) {
            move_to(state::handshake);
        }
        break;
    case link_event::handshake_done:
        if (now != state::stopping) {
            move_to(state::ready);
        }
        break;
    case link_event::link_lost:
        if (now != state::stopping) {
            move_to(state::lost);
        }
        break;
    case link_event::open_failed:
    case link_event::handshake_refused:
    case link_event::handshake_silent:
    case link_event::link_ended:
        break;
    }
    emit link_changed(event, error);
    if (event == link_event::handshake_done) {
        emit ready();
    }
}

// The worker's last signal; its thread may still be returning from run().
void link_session::take_end()
{
    worker->wait();
    worker.reset();
    // Outcomes come before the end; a handler left here would wait for ever.
    requests.clear();
    reads = progress();
    writes = progress();
    emit progress_changed();
    move_to(state::idle);
    emit ended();
}

void link_session::move_to(state next)
{
    if (next == now) {
        return;
    }
    now = next;
    emit state_changed(now);
}
