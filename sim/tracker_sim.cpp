#include "tracker_sim.h"

#include "reply_lines.h"
#include "sim_clock.h"

#include <QFileInfo>

#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// Answer to an accepted access code; the configurator looks for ">" anywhere in it.
const QByteArray prompt(">");
const QByteArray echo("&");

device_input::mode initial_mode(const sim_config& config)
{
    return config.bluetooth ? device_input::mode::command : device_input::mode::data;
}

timespec relative_timeout(qint64 deadline_us)
{
    const qint64 wait_us = qMax<qint64>(0, deadline_us - monotonic_us());
    return timespec{time_t(wait_us / 1000000), long(wait_us % 1000000) * 1000};
}

} // namespace

tracker_sim::tracker_sim(const sim_config& settings, const sim_profile& profile)
    : config(settings), table(profile.commands, settings.limits), factory_table(table),
      commands(table, settings.passwords, settings.refused_commands),
      input(settings.access_code, initial_mode(settings)),
      state_source(profile.layouts, profile.displays, settings.stream_interval_ms / 1000.0),
      faults(settings.faults), port(settings.port)
{
}

bool tracker_sim::start(QString& error)
{
    if (!config.transcript.isEmpty() && !transcript.open(config.transcript, error)) {
        return false;
    }
    if (!config.state.isEmpty() && QFileInfo::exists(config.state) &&
        !table.load_file(config.state, error)) {
        return false;
    }
    if (!config.control.isEmpty() && !control.create(config.control, error)) {
        return false;
    }
    if (!config.replay.isEmpty() && !load_replay(error)) {
        return false;
    }
    for (const QString& warning : state_source.warnings()) {
        event(QStringLiteral("warning ") + warning);
    }
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
    signal_fd = signalfd(-1, &stop_signals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signal_fd < 0) {
        error = QStringLiteral("cannot receive signals");
        return false;
    }
    // A test or script that dies without stopping its tracker must not leave it behind, holding
    // a port link and a FIFO.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    return plug(error);
}

int tracker_sim::run()
{
    while (!stopping) {
        wait_for_activity();
        handle_signals();
        handle_control();
        handle_port();
        tick_stream();
        send_due_output();
    }
    port.unplug();
    event(QStringLiteral("stopped"));
    ::close(signal_fd);
    return 0;
}

void tracker_sim::wait_for_activity()
{
    pollfd fds[4];
    nfds_t count = 0;
    fds[count++] = {signal_fd, POLLIN, 0};
    if (control.fd() >= 0) {
        fds[count++] = {control.fd(), POLLIN, 0};
    }
    if (port.plugged()) {
        fds[count++] = {port.watch_fd(), POLLIN, 0};
    }
    if (port.plugged() && client) {
        fds[count++] = {port.master_fd(), short(POLLIN | (output_blocked ? POLLOUT : 0)), 0};
    }
    const qint64 deadline = next_deadline_us();
    const timespec timeout = relative_timeout(deadline);
    ppoll(fds, count, deadline < 0 ? nullptr : &timeout, nullptr);
}

// The earliest moment at which something is due without any input: -1 for none.
qint64 tracker_sim::next_deadline_us() const
{
    qint64 deadline = -1;
    if (client && !output.empty() && !output_blocked) {
        deadline = output.next_due_us();
    }
    const qint64 stream_due = replay.active() ? replay.next_due_us() : next_stream_us;
    if (client && streaming && (deadline < 0 || stream_due < deadline)) {
        deadline = stream_due;
    }
    return deadline;
}

void tracker_sim::handle_signals()
{
    signalfd_siginfo info{};
    while (::read(signal_fd, &info, sizeof info) == ssize_t(sizeof info)) {
        stopping = true;
    }
}

void tracker_sim::handle_port()
{
    if (!port.plugged()) {
        return;
    }
    if (client) {
        read_client_bytes();
    }
    const bool closed_meanwhile = port.take_watch_events();
    const bool present = port.client_present();
    if (client && (closed_meanwhile || !present)) {
        client_closed();
    }
    if (!client && present) {
        client_opened();
    }
}

// Byte by byte, each stamped as it is taken, so that the transcript shows the client's pacing.
void tracker_sim::read_client_bytes()
{
    char byte = 0;
    int result = 0;
    while (!stopping && (result = port.read_byte(byte)) == 1) {
        take_byte(byte, monotonic_us());
    }
}

void tracker_sim::client_opened()
{
    client = true;
    output_blocked = false;
    event(QStringLiteral("port-opened"));
}

// What was meant for a client that has gone is lost, as on a real line.
void tracker_sim::client_closed()
{
    client = false;
    output.clear();
    output_blocked = false;
    port.discard_unread_output();
    event(QStringLiteral("port-closed"));
}

void tracker_sim::send_due_output()
{
    output_blocked = false;
    while (client) {
        const qint64 now = monotonic_us();
        const QByteArray bytes = output.due_bytes(now);
        if (bytes.isEmpty()) {
            return;
        }
        const QByteArray line = output.line_completed_by(bytes.size());
        if (!line.isEmpty()) {
            transcript.sent(now, line);
        }
        const int written = port.write(bytes);
        if (written == 0) {
            output_blocked = true;
            return;
        }
        output.consume(written, now);
    }
}

void tracker_sim::tick_stream()
{
    const qint64 now = monotonic_us();
    if (!streaming || !client) {
        return;
    }
    if (replay.active()) {
        for (const QByteArray& line : replay.take_due(now)) {
            send_line(line + faults.line_end_bytes(), now);
        }
        return;
    }
    if (now < next_stream_us) {
        return;
    }
    next_stream_us = now + qint64(config.stream_interval_ms) * 1000;
    const QByteArray line = state_source.next_line();
    if (!line.isEmpty()) {
        send_line(line + faults.line_end_bytes(), now);
    }
}

void tracker_sim::take_byte(char byte, qint64 now_us)
{
    transcript.received(now_us, byte);
    const input_event received = input.feed(byte);
    switch (received.what) {
    case input_event::kind::keepalive:
        event(QStringLiteral("keepalive"));
        break;
    case input_event::kind::echo_probe:
        send_line(echo, now_us);
        break;
    case input_event::kind::access_code:
        take_access_code(now_us);
        break;
    case input_event::kind::command:
        take_command(received.text, now_us);
        break;
    case input_event::kind::overlong:
        event(QStringLiteral("overlong frame dropped"));
        break;
    case input_event::kind::none:
        break;
    }
}

void tracker_sim::take_access_code(qint64 now_us)
{
    if (faults.refuse_handshake) {
        event(QStringLiteral("handshake refused"));
        return;
    }
    if (input.current_mode() == device_input::mode::data) {
        input.set_mode(device_input::mode::command);
        event(QStringLiteral("command-mode"));
    }
    send_line(prompt, now_us);
}

void tracker_sim::take_command(const QByteArray& command, qint64 now_us)
{
    event(QStringLiteral("command ") + QString::fromUtf8(command));
    if (faults.silent) {
        return;
    }
    const command_outcome outcome = commands.execute(command);
    if (!outcome.stored.isEmpty()) {
        event(QStringLiteral("stored ") + outcome.stored);
    }
    if (!outcome.reply.isEmpty()) {
        send_reply(outcome.reply, now_us);
    }
    apply_effect(outcome.effect, now_us);
}

void tracker_sim::apply_effect(command_effect effect, qint64 now_us)
{
    switch (effect) {
    case command_effect::stream_on:
        set_streaming(true, now_us);
        break;
    case command_effect::stream_off:
        set_streaming(false, now_us);
        break;
    case command_effect::save:
        save_values();
        break;
    case command_effect::data_mode:
        set_streaming(false, now_us);
        // A Bluetooth link has no handshake to come back with, so it stays in command mode.
        if (!config.bluetooth) {
            input.set_mode(device_input::mode::data);
            event(QStringLiteral("data-mode"));
        }
        break;
    case command_effect::none:
        break;
    }
}

void tracker_sim::send_reply(const QByteArray& reply, qint64 now_us)
{
    const QByteArray sd_noise =
        state_source.has_records() ? state_source.next_line() : QByteArrayLiteral("$SD,0,");
    const qint64 not_before = now_us + qint64(faults.reply_delay_ms) * 1000;
    for (const QByteArray& line : reply_lines(reply, faults, sd_noise)) {
        output.push(line, not_before, faults.byte_pause_us);
    }
}

void tracker_sim::send_line(const QByteArray& bytes, qint64 now_us)
{
    if (client) {
        output.push(bytes, now_us);
    }
}

void tracker_sim::handle_control()
{
    if (control.fd() < 0) {
        return;
    }
    for (const QString& raw_line : control.take_lines()) {
        const QString line = raw_line.trimmed();
        if (line.isEmpty()) {
            continue;
        }
        QString error;
        if (apply_control(line, error)) {
            event(QStringLiteral("control ") + line);
        } else {
            event(QStringLiteral("control-error ") + line + QStringLiteral(": ") + error);
        }
    }
}

bool tracker_sim::apply_control(const QString& line, QString& error)
{
    const int space = line.indexOf(QLatin1Char(' '));
    const QString name = space < 0 ? line : line.left(space);
    const QString argument = space < 0 ? QString() : line.mid(space + 1);
    if (name == QLatin1String("unplug")) {
        unplug();
        return true;
    }
    if (name == QLatin1String("replug")) {
        unplug();
        return (argument.isEmpty() || become_unit(argument, error)) && plug(error);
    }
    if (name == QLatin1String("send")) {
        send_line(argument.toUtf8() + faults.line_end_bytes(), monotonic_us());
        return true;
    }
    if (name == QLatin1String("stream")) {
        if (argument != QLatin1String("on") && argument != QLatin1String("off")) {
            error = QStringLiteral("stream takes on or off");
            return false;
        }
        set_streaming(argument == QLatin1String("on"), monotonic_us());
        return true;
    }
    return faults.set(name, argument, error);
}

// Another unit behind the same port: its values are the profile's, then those its state file
// holds, and a save goes to that file from now on.
bool tracker_sim::become_unit(const QString& state, QString& error)
{
    command_table unit = factory_table;
    if (QFileInfo::exists(state) && !unit.load_file(state, error)) {
        return false;
    }
    table = unit;
    config.state = state;
    return true;
}

bool tracker_sim::plug(QString& error)
{
    if (!port.plug(error)) {
        return false;
    }
    event(QStringLiteral("plugged ") + port.slave_name());
    return true;
}

// Like pulling the USB cable: the device starts afresh in its initial mode when it comes back.
void tracker_sim::unplug()
{
    if (!port.plugged()) {
        return;
    }
    port.unplug();
    client = false;
    output.clear();
    output_blocked = false;
    streaming = false;
    input.set_mode(initial_mode(config));
    event(QStringLiteral("unplugged"));
}

void tracker_sim::set_streaming(bool on, qint64 now_us)
{
    if (on == streaming) {
        return;
    }
    streaming = on;
    next_stream_us = now_us + qint64(config.stream_interval_ms) * 1000;
    if (on) {
        replay.start(now_us);
    }
    event(on ? QStringLiteral("stream on") : QStringLiteral("stream off"));
}

bool tracker_sim::load_replay(QString& error)
{
    recording played;
    recording_error refusal;
    if (!read_recording_file(config.replay, played, refusal)) {
        error = config.replay + QStringLiteral(": ") + refusal.describe();
        return false;
    }
    if (played.lines.isEmpty()) {
        error = config.replay + QStringLiteral(": no lines to replay");
        return false;
    }
    if (played.cut_last_line) {
        event(QStringLiteral("warning replay: a cut last line is left out"));
    }
    replay = stream_replay(played.lines);
    return true;
}

void tracker_sim::save_values()
{
    QString error;
    if (!config.state.isEmpty() && !table.save_file(config.state, error)) {
        event(QStringLiteral("save-failed ") + error);
        return;
    }
    event(QStringLiteral("saved"));
}

void tracker_sim::event(const QString& text)
{
    transcript.event(monotonic_us(), text);
}
