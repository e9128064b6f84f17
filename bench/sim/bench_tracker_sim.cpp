// What the simulated tracker adds to a measurement of the link: the turnaround of one command
// through the pty (a Bluetooth-style frame written at once, the reply read back), and the cost
// of its device logic. The link benchmark compares its round trips with the protocol's own
// pauses; the turnaround here should stay well below a millisecond so that it does not blur
// that comparison.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target sim_bench
//   build/bench/bench/sim/sim_bench

#include "command_table.h"
#include "device_commands.h"
#include "device_state_source.h"
#include "sim_profile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const QString sample_profile = QStringLiteral(TC_SAMPLE_PROFILE);

sim_profile load_sample()
{
    sim_profile profile;
    QString error;
    load_sim_profile(sample_profile, profile, error);
    return profile;
}

// A running simulator on a Bluetooth link, with its pty open.
class running_sim
{
public:
    bool start()
    {
        const QString port = folder.filePath(QStringLiteral("ttySIM"));
        process.start(QStringLiteral(TC_SIM_EXECUTABLE),
                      {"--profile", sample_profile, "--port", port, "--bluetooth"});
        const QDeadlineTimer deadline(20000);
        while (!QFileInfo(port).isSymLink()) {
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning) {
                return false;
            }
            process.waitForFinished(10);
        }
        fd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY);
        return fd >= 0;
    }

    ~running_sim()
    {
        if (fd >= 0) {
            ::close(fd);
        }
        process.terminate();
        process.waitForFinished(20000);
    }

    // Writes the frame and reads until the reply's line end; false on a time-out.
    bool exchange(const QByteArray& frame)
    {
        if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size()) {
            return false;
        }
        QByteArray reply;
        while (!reply.endsWith("\r\n")) {
            pollfd state{fd, POLLIN, 0};
            char buffer[256];
            if (poll(&state, 1, 5000) <= 0) {
                return false;
            }
            const ssize_t length = ::read(fd, buffer, sizeof buffer);
            if (length <= 0) {
                return false;
            }
            reply.append(buffer, int(length));
        }
        return true;
    }

private:
    QTemporaryDir folder;
    QProcess process;
    int fd = -1;
};

void command_turnaround(benchmark::State& state)
{
    running_sim sim;
    if (!sim.start()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    for (auto _ : state) {
        if (!sim.exchange("AT+APN=?\r")) {
            state.SkipWithError("no reply");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(command_turnaround)->Unit(benchmark::kMicrosecond)->UseRealTime();

void set_command(benchmark::State& state)
{
    command_table table(load_sample().commands);
    device_commands device(table, device_passwords{});
    for (auto _ : state) {
        benchmark::DoNotOptimize(device.execute("AT+SRV1=7395,track.example.org,20100,1,"));
    }
}
BENCHMARK(set_command)->Unit(benchmark::kMicrosecond);

void device_state_line(benchmark::State& state)
{
    const sim_profile profile = load_sample();
    device_state_source source(profile.layouts, profile.displays);
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.next_line());
    }
}
BENCHMARK(device_state_line)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
