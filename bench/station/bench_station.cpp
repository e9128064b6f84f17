// The production station on simulated trackers of the sample profile: each unit is read, gets
// five changed values and its own server login, is saved, read back and recorded in SQLite.
// Eight trackers served at once should take at most 1.3 times as long as one.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target station_bench
//   build/bench/bench/station/station_bench

#include "provisioning_station.h"
#include "sim_process.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int station_timeout_ms = 300000;

QString identity_of(int unit)
{
    return QStringLiteral("86100000000%1").arg(unit, 4, 10, QLatin1Char('0'));
}

// Two configurations taken in turn, so that every pass has values to write.
QByteArray configuration_text(int pass)
{
    const QString n = QString::number(pass % 2);
    return QStringLiteral(R"({"format": "tracker-configuration", "version": 1, "commands": {
        "+TRACK": ["3%1"], "+DIST": ["50%1"], "+ANGLE": ["1%1"], "+SPEED": ["9%1"],
        "+ADC": ["1200%1"]}})")
        .arg(n)
        .toUtf8();
}

class station_bench
{
public:
    bool start(int count, benchmark::State& state)
    {
        QFile file(QStringLiteral(TC_STATION_BENCH_PROFILE));
        QDomDocument profile;
        if (!file.open(QIODevice::ReadOnly) || !profile.setContent(&file)) {
            state.SkipWithError("cannot read the sample profile");
            return false;
        }
        plan.simple_pages = mode_pages(profile, true);
        plan.rules = value_rules::of_simple_pages(plan.simple_pages);
        plan.frame = {QStringLiteral("7395"), QStringLiteral("7395"), false};
        plan.identity = find_identity(plan.simple_pages);
        QByteArray csv = "identity,+SRV1#1\n";
        for (int i = 0; i < count; ++i) {
            csv += identity_of(i).toUtf8() + ",unit" + QByteArray::number(i) + ".example.net\n";
            trackers.push_back(std::make_unique<sim_process>());
            QFile state_file(trackers.back()->state_path());
            const QJsonObject unit{{QStringLiteral("+IMEI"), QJsonArray{identity_of(i)}}};
            if (!state_file.open(QIODevice::WriteOnly) ||
                state_file.write(QJsonDocument(unit).toJson()) < 0) {
                state.SkipWithError("cannot write a unit's state");
                return false;
            }
            state_file.close();
            if (!trackers.back()->start({}, QStringLiteral(TC_STATION_BENCH_PROFILE))) {
                state.SkipWithError("the simulated tracker did not start");
                return false;
            }
        }
        QString error;
        database_address address;
        parse_database_address(QStringLiteral("sqlite:") + folder.filePath("provision.db"), address,
                               error);
        records = std::make_unique<provisioning_records>(address);
        if (!read_unit_values(csv, plan, error) || !records->open(error)) {
            state.SkipWithError(qPrintable(error));
            return false;
        }
        plan.force = true;
        return true;
    }

    // Serves the first trackers_used units once; the wall time in ms, or -1 when one failed.
    double provision(int trackers_used)
    {
        parse_configuration(configuration_text(pass++), plan.file, nullptr);
        station_settings settings;
        settings.name = QStringLiteral("bench");
        settings.count = trackers_used;
        for (int i = 0; i < trackers_used; ++i) {
            settings.ports << trackers.at(size_t(i))->port_path();
        }
        provisioning_station station(plan, *records, settings);
        bool all_verified = true;
        QObject::connect(&station, &provisioning_station::finished_one, &station,
                         [&](const QString&, const provisioning_result& result) {
                             all_verified = all_verified && result.row.result == "verified";
                         });
        QEventLoop loop;
        QObject::connect(&station, &provisioning_station::stopped, &loop, &QEventLoop::quit);
        QTimer::singleShot(station_timeout_ms, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        station.start();
        loop.exec();
        const double ms = double(timer.elapsed());
        return all_verified && !station.running() ? ms : -1.0;
    }

private:
    QTemporaryDir folder;
    std::vector<std::unique_ptr<sim_process>> trackers;
    provisioning_plan plan;
    std::unique_ptr<provisioning_records> records;
    int pass = 0;
};

void provision_on(benchmark::State& state, int tracker_count)
{
    station_bench bench;
    if (!bench.start(tracker_count, state)) {
        return;
    }
    double measured = 0;
    double single = 0;
    for (auto _ : state) {
        // One tracker alone first, for the comparison, then all of them at once.
        if (tracker_count > 1) {
            single += bench.provision(1);
        }
        const double ms = bench.provision(tracker_count);
        if (ms < 0) {
            state.SkipWithError("a unit was not verified");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        measured += ms;
    }
    const double iterations = double(state.iterations());
    state.counters["measured_ms"] = measured / iterations;
    state.counters["ms_per_tracker"] = measured / iterations / tracker_count;
    if (single > 0) {
        state.counters["to_one_tracker"] = measured / single;
    }
}

void BM_provision_one_tracker(benchmark::State& state)
{
    provision_on(state, 1);
}

void BM_provision_eight_trackers(benchmark::State& state)
{
    provision_on(state, 8);
}

BENCHMARK(BM_provision_one_tracker)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_provision_eight_trackers)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
