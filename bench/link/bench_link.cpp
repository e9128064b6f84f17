// Round trips of the link against the simulated tracker, each next to the floor that the
// protocol's own pauses give for the same bytes: 10 ms before each frame, 1.5 ms after each
// frame byte, the reply's transfer at the line speed, and the loop's 100 ms wait between two
// commands. What the worker adds on top shows in the ratio, which should stay at or below 1.10.
//
// A command is timed on the worker thread, from its "Executing..." to its cmd_executed, so the
// wait until the loop picks up a newly queued command is not counted.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/link-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/link-bench --target link_bench
//   build/link-bench/bench/link/link_bench

#include "serial_port_thread.h"
#include "sim_process.h"
#include "wire_format.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int speed = 115200;
constexpr int bits_per_byte = 10; // start, 8 data, stop
constexpr double pause_before_frame_ms = 10.0;
constexpr double pause_per_byte_ms = 1.5;
constexpr double loop_wait_ms = 100.0;
constexpr int reply_line_end_bytes = 2; // the simulator's default CR LF
constexpr int timeout_ms = 30000;

const QStringList poll_commands{
    QStringLiteral("AT+GPRS=?"), QStringLiteral("AT+NAME=?"), QStringLiteral("AT+PIN=?"),
    QStringLiteral("AT+TRACKINGINTERVALSANDDISTANCESFORALLTHEMODESOFTHEDEVICE=?")};

// The least time a command can take on the wire: what the protocol itself prescribes.
double command_floor_ms(const QString& command, const QString& reply)
{
    const int frame_bytes = wire::command_frame(command.toUtf8(), false).size();
    const int reply_bytes = reply.toUtf8().size() + reply_line_end_bytes;
    return pause_before_frame_ms + frame_bytes * pause_per_byte_ms +
           reply_bytes * bits_per_byte * 1000.0 / speed;
}

double elapsed_ms(clock_type::time_point from, clock_type::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct timed_command
{
    QString command;
    QString reply;
    clock_type::time_point started;
    clock_type::time_point finished;
};

// A worker whose signals are taken on its own thread, as they are emitted, with their times.
class timed_worker
{
public:
    explicit timed_worker(const QString& port)
    {
        worker.set_port_params(port, speed, false);
        QObject::connect(
            &worker, &SerialPortThread::set_status_text, &worker,
            [this](const QString& status) {
                if (status.startsWith(QStringLiteral("Executing..."))) {
                    const std::lock_guard<std::mutex> lock(mutex);
                    started = clock_type::now();
                }
            },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &SerialPortThread::cmd_executed, &worker,
            [this](const QString& command, const QString& reply) {
                const std::lock_guard<std::mutex> lock(mutex);
                done.push_back({command, reply, started, clock_type::now()});
                changed.notify_all();
            },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &SerialPortThread::handshake_ok, &worker,
            [this] {
                const std::lock_guard<std::mutex> lock(mutex);
                ready = true;
                changed.notify_all();
            },
            Qt::DirectConnection);
        worker.start();
    }

    ~timed_worker()
    {
        worker.request_exit();
        worker.wait();
    }

    bool wait_ready()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                [this] { return ready; });
    }

    // Queues the commands and returns their results once all are done; empty on a time-out.
    std::vector<timed_command> run(const QStringList& commands)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            done.clear();
        }
        for (const QString& command : commands) {
            worker.slot_execute_cmd(command);
        }
        std::unique_lock<std::mutex> lock(mutex);
        const bool finished = changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
            return done.size() == size_t(commands.size());
        });
        return finished ? done : std::vector<timed_command>{};
    }

private:
    SerialPortThread worker;
    std::mutex mutex;
    std::condition_variable changed;
    bool ready = false;
    clock_type::time_point started;
    std::vector<timed_command> done;
};

// The simulated tracker of this build on a wired link, and a worker that has shaken hands with it.
struct linked_tracker
{
    sim_process tracker;
    std::unique_ptr<timed_worker> worker;

    bool start(benchmark::State& state)
    {
        if (!tracker.start({}, QStringLiteral(TC_LINK_PROFILE))) {
            state.SkipWithError("the simulated tracker did not start");
            return false;
        }
        worker = std::make_unique<timed_worker>(tracker.port_path());
        if (!worker->wait_ready()) {
            state.SkipWithError("no handshake");
            return false;
        }
        return true;
    }
};

// Reports the measured time per iteration next to the floor and their ratio.
void report(benchmark::State& state, double measured_ms, double floor_ms)
{
    const double iterations = double(state.iterations());
    state.counters["measured_ms"] = measured_ms / iterations;
    state.counters["floor_ms"] = floor_ms / iterations;
    state.counters["ratio"] = measured_ms / floor_ms;
}

void BM_single_command(benchmark::State& state)
{
    linked_tracker link;
    if (!link.start(state)) {
        return;
    }
    double measured_ms = 0;
    double floor_ms = 0;
    for (auto _ : state) {
        const std::vector<timed_command> results = link.worker->run({poll_commands.first()});
        if (results.empty()) {
            state.SkipWithError("no reply");
            return;
        }
        const timed_command& result = results.front();
        const double ms = elapsed_ms(result.started, result.finished);
        state.SetIterationTime(ms / 1000.0);
        measured_ms += ms;
        floor_ms += command_floor_ms(result.command, result.reply);
    }
    report(state, measured_ms, floor_ms);
}

// Twenty read commands queued at once, as the main window polls a page.
void BM_poll_of_20_commands(benchmark::State& state)
{
    linked_tracker link;
    if (!link.start(state)) {
        return;
    }
    QStringList poll;
    for (int i = 0; i < 20; ++i) {
        poll << poll_commands.at(i % poll_commands.size());
    }
    double measured_ms = 0;
    double floor_ms = 0;
    for (auto _ : state) {
        const std::vector<timed_command> results = link.worker->run(poll);
        if (results.empty()) {
            state.SkipWithError("no reply");
            return;
        }
        const double ms = elapsed_ms(results.front().started, results.back().finished);
        state.SetIterationTime(ms / 1000.0);
        measured_ms += ms;
        floor_ms += (results.size() - 1) * loop_wait_ms;
        for (const timed_command& result : results) {
            floor_ms += command_floor_ms(result.command, result.reply);
        }
    }
    report(state, measured_ms, floor_ms);
}

BENCHMARK(BM_single_command)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_poll_of_20_commands)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // The worker's debug traces would drown the figures.
    qputenv("QT_LOGGING_RULES", "tracker.link.debug=false");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
