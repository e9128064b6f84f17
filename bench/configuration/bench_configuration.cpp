// Loading a configuration file and comparing it with a value store of 2,000 and of 8,000 simple
// parameters, as the comparison dialog and the command-line tool do before they show anything.
//
// Targets: under 100 ms for 2,000 parameters; 8,000 in no more than 4.6 times that.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target configuration_bench
//   build/bench/bench/configuration/configuration_bench

#include "parameter_value_store.h"
#include "tracker_configuration.h"

#include <QCoreApplication>
#include <QMap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

constexpr int positions_per_command = 4;

QTemporaryDir* files_dir = nullptr;
QMap<int, double> ms_per_load; // by parameter count

// Every command answered, with Cyrillic, empty and numeric values as real trackers give them.
void fill_store(parameter_value_store& store, int parameters)
{
    for (int i = 0; i < parameters; ++i) {
        store.add_spec_entry(QStringLiteral("+C%1,#%2")
                                 .arg(i / positions_per_command)
                                 .arg(i % positions_per_command + 1),
                             i % 50 == 0);
    }
    for (int command = 0; command * positions_per_command < parameters; ++command) {
        store.store_response_values(QStringLiteral("+RESP:C%1,%2,Трекер %1,,internet.example")
                                        .arg(command)
                                        .arg(command * 7));
    }
}

// The store's own values with one command in ten changed, and a key from another profile.
QString write_file(const parameter_value_store& store, int parameters)
{
    tracker_configuration configuration = configuration_from_store(store, "profile.xml");
    for (int i = 0; i < configuration.commands.size(); i += 10) {
        configuration.commands[i].values[1] = QStringLiteral("Изменено %1").arg(i);
    }
    configuration.commands.append({QStringLiteral("+OTHER"), {QStringLiteral("1")}});
    const QString path = files_dir->filePath(QStringLiteral("conf_%1.json").arg(parameters));
    QString error;
    if (!write_configuration_file(path, configuration, &error)) {
        qFatal("%s", qPrintable(error));
    }
    return path;
}

void load_and_compare(benchmark::State& state)
{
    const int parameters = int(state.range(0));
    parameter_value_store store;
    fill_store(store, parameters);
    const QString path = write_file(store, parameters);
    double total_ms = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        tracker_configuration configuration;
        QString error;
        if (!read_configuration_file(path, configuration, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        const configuration_comparison comparison = compare_configuration(store, configuration);
        benchmark::DoNotOptimize(comparison);
        total_ms +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (comparison.differences.size() != (parameters / positions_per_command + 9) / 10) {
            state.SkipWithError("unexpected number of differences");
            return;
        }
    }
    ms_per_load[parameters] = total_ms / double(state.iterations());
    state.counters["parameters"] = parameters;
}

} // namespace

BENCHMARK(load_and_compare)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    files_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (ms_per_load.contains(2000) && ms_per_load.contains(8000)) {
        std::printf("load and compare: 2,000 parameters %.2f ms, 8,000 parameters %.2f ms, "
                    "ratio %.2f (targets: under 100 ms, ratio at most 4.6)\n",
                    ms_per_load.value(2000), ms_per_load.value(8000),
                    ms_per_load.value(8000) / ms_per_load.value(2000));
    }
    return 0;
}
