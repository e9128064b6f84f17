// The tool's write (read every command, write 5 changed commands, save, read them back) on
// simulated trackers, next to the floor that the link's own pauses give for the frames actually
// sent: the handshake's waits, then per command 10 ms before the frame, 1.5 ms per frame byte and
// the simulator's reply time, and the worker loop's 100 ms wait before each command and before
// it sees the exit request (as bench/link counts it). The ratio should stay at or below 1.10, and
// four trackers written at once should take at most 1.3 times as long as one.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target cli_bench
//   build/bench/bench/cli/cli_bench

#include "sim_process.h"
#include "tracker_configuration.h"
#include "wire_format.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr double pause_before_frame_ms = 10.0;
constexpr double pause_per_byte_ms = 1.5;
constexpr double loop_wait_ms = 100.0;
constexpr double echo_wait_ms = 100.0;    // a tracker in data mode does not echo the probe
constexpr double access_reply_ms = 100.0; // the pause before the access code's answer is read
constexpr double after_probe_ms = 10.0;
constexpr double after_closing_ms = 10.0;
constexpr int tool_timeout_ms = 300000;

// Five commands of the sample profile, each with a new first value.
const QList<QPair<QString, QString>> changes{
    {"+TRACK", "35"}, {"+DIST", "600"}, {"+ANGLE", "20"}, {"+SPEED", "100"}, {"+ADC", "13000"}};

double ms_between(qint64 from_us, qint64 to_us)
{
    return double(to_us - from_us) / 1000.0;
}

// The least time the link needs for what the tracker received since since_us.
double floor_ms(const sim_transcript& transcript, qint64 since_us)
{
    double floor = pause_per_byte_ms + after_probe_ms + echo_wait_ms +
                   wire::access_code_frame().size() * pause_per_byte_ms + access_reply_ms;
    QByteArray frame;
    int replied = 0;
    for (const sim_transcript::received_byte& byte : transcript.received()) {
        if (byte.time_us < since_us) {
            continue;
        }
        if (byte.byte != wire::cr) {
            frame += byte.byte;
            continue;
        }
        if (frame.startsWith("AT")) {
            const double send_ms = wire::command_frame(frame, false).size() * pause_per_byte_ms;
            const auto reply = std::find_if(transcript.sent().begin(), transcript.sent().end(),
                                            [&](const sim_transcript::sent_line& line) {
                                                return line.time_us >= byte.time_us &&
                                                       wire::is_reply_line(line.bytes);
                                            });
            if (frame == wire::closing_frame().trimmed()) {
                floor += send_ms + after_closing_ms;
            } else if (reply != transcript.sent().end()) {
                floor += pause_before_frame_ms + send_ms + ms_between(byte.time_us, reply->time_us);
                ++replied;
            }
        }
        frame.clear();
    }
    return floor + (replied + 1) * loop_wait_ms;
}

// Simulated trackers of the sample profile and the two files a write switches them between.
class tracker_bench
{
public:
    bool start(int count, benchmark::State& state)
    {
        for (int i = 0; i < count; ++i) {
            trackers.push_back(std::make_unique<sim_process>());
            if (!trackers.back()->start({}, QStringLiteral(TC_CLI_BENCH_PROFILE))) {
                state.SkipWithError("the simulated tracker did not start");
                return false;
            }
        }
        if (run_tool({"read", "-o", folder.filePath("original.json")}, 1) != 0) {
            state.SkipWithError("the first read failed");
            return false;
        }
        return make_changed_file(state);
    }

    // Writes the changed file, or the original one back, to every tracker; the wall time in ms.
    double write_next(int trackers_used)
    {
        const QString file = folder.filePath(changed_next ? "changed.json" : "original.json");
        changed_next = !changed_next;
        started_us = sim_transcript::now_us();
        QElapsedTimer timer;
        timer.start();
        return run_tool({"write", file}, trackers_used) == 0 ? double(timer.elapsed()) : -1.0;
    }

    // The longest floor among the trackers of the last write.
    double last_floor_ms(int trackers_used) const
    {
        double longest = 0;
        for (int i = 0; i < trackers_used; ++i) {
            longest = std::max(longest, floor_ms(trackers.at(size_t(i))->transcript(), started_us));
        }
        return longest;
    }

private:
    int run_tool(const QStringList& arguments, int trackers_used)
    {
        QStringList all{"--profile", QStringLiteral(TC_CLI_BENCH_PROFILE)};
        for (int i = 0; i < trackers_used; ++i) {
            all << "-p" << trackers.at(size_t(i))->port_path();
        }
        QProcess tool;
        tool.start(QStringLiteral(TC_CLI_EXECUTABLE), all + arguments);
        if (!tool.waitForFinished(tool_timeout_ms) || tool.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return tool.exitCode();
    }

    bool make_changed_file(benchmark::State& state)
    {
        QFile original(folder.filePath("original.json"));
        tracker_configuration configuration;
        if (!original.open(QIODevice::ReadOnly) ||
            !parse_configuration(original.readAll(), configuration, nullptr)) {
            state.SkipWithError("the first read gave no configuration");
            return false;
        }
        for (configured_command& command : configuration.commands) {
            for (const auto& change : changes) {
                if (command.key == change.first && !command.values.isEmpty()) {
                    command.values[0] = change.second;
                }
            }
        }
        QString error;
        if (!write_configuration_file(folder.filePath("changed.json"), configuration, &error)) {
            state.SkipWithError(qPrintable(error));
            return false;
        }
        return true;
    }

    QTemporaryDir folder;
    std::vector<std::unique_ptr<sim_process>> trackers;
    bool changed_next = true;
    qint64 started_us = 0;
};

void report(benchmark::State& state, double measured_ms, double floor, double single_ms)
{
    const double iterations = double(state.iterations());
    state.counters["measured_ms"] = measured_ms / iterations;
    state.counters["floor_ms"] = floor / iterations;
    state.counters["ratio"] = measured_ms / floor;
    if (single_ms > 0) {
        state.counters["to_one_tracker"] = measured_ms / single_ms;
    }
}

void write_on(benchmark::State& state, int tracker_count)
{
    tracker_bench bench;
    if (!bench.start(tracker_count, state)) {
        return;
    }
    double measured = 0;
    double floor = 0;
    double single = 0;
    for (auto _ : state) {
        // One tracker alone first, for the comparison, then all of them at once.
        if (tracker_count > 1) {
            const double one = bench.write_next(1);
            bench.write_next(1); // back to where the others are
            single += one;
        }
        const double ms = bench.write_next(tracker_count);
        if (ms < 0) {
            state.SkipWithError("the write failed");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        measured += ms;
        floor += bench.last_floor_ms(tracker_count);
    }
    report(state, measured, floor, single);
}

void BM_write_one_tracker(benchmark::State& state)
{
    write_on(state, 1);
}

void BM_write_four_trackers(benchmark::State& state)
{
    write_on(state, 4);
}

BENCHMARK(BM_write_one_tracker)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_write_four_trackers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
