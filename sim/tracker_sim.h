#pragma once

#include "command_table.h"
#include "control_fifo.h"
#include "device_commands.h"
#include "device_input.h"
#include "device_state_source.h"
#include "output_queue.h"
#include "pty_port.h"
#include "sim_options.h"
#include "sim_profile.h"
#include "stream_replay.h"
#include "transcript_writer.h"

#include <QString>

// The simulated tracker process: one thread, one poll loop over the pty, its open/close watch,
// the control FIFO and a signal descriptor for SIGTERM and SIGINT. The device logic lives in the
// plain classes it holds; this class only moves bytes between them and the pty, on time.
class tracker_sim
{
public:
    tracker_sim(const sim_config& settings, const sim_profile& profile);

    // Opens the transcript and the control FIFO, loads the state file and plugs the device in.
    bool start(QString& error);
    // Serves until SIGTERM or SIGINT; then the link is removed. Returns the exit code.
    int run();

private:
    // The loop
    void wait_for_activity();
    qint64 next_deadline_us() const;
    void handle_signals();
    void handle_port();
    void read_client_bytes();
    void send_due_output();
    void tick_stream();

    // The client's side of the pty
    void client_opened();
    void client_closed();

    // Received bytes and commands
    void take_byte(char byte, qint64 now_us);
    void take_access_code(qint64 now_us);
    void take_command(const QByteArray& command, qint64 now_us);
    void apply_effect(command_effect effect, qint64 now_us);
    void send_reply(const QByteArray& reply, qint64 now_us);
    void send_line(const QByteArray& bytes, qint64 now_us);

    // Control
    void handle_control();
    bool apply_control(const QString& line, QString& error);
    bool become_unit(const QString& state, QString& error);
    bool plug(QString& error);
    bool load_replay(QString& error);
    void unplug();
    void set_streaming(bool on, qint64 now_us);
    void save_values();

    void event(const QString& text);

    sim_config config;
    command_table table;
    const command_table factory_table; // a new unit's values, before its state file
    device_commands commands;
    device_input input;
    device_state_source state_source;
    stream_replay replay;
    fault_settings faults;
    output_queue output;
    pty_port port;
    control_fifo control;
    transcript_writer transcript;

    int signal_fd = -1;
    bool stopping = false;
    bool client = false;         // a client has the device open
    bool output_blocked = false; // the pty took no more bytes: wait until it can
    bool streaming = false;
    qint64 next_stream_us = 0;
};
