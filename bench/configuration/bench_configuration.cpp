// Loading a configuration file of 2,000 and of 8,000 simple parameters, as the command-line tool
// and "Загрузить конфигурацию из файла..." do before they show anything: against a value store
// alone (read and compare), and against the window's pages offscreen (read, compare, and build
// the comparison dialog with its rows).
//
// Targets for the window: under 100 ms for 2,000 parameters; 8,000 in no more than 4.6 times
// that. The store alone shows what the command-line tool pays.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target configuration_bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/configuration/configuration_bench

#include "configuration_dialog.h"
#include "page_configuration.h"
#include "parameter_value_store.h"
#include "profile_reader.h"
#include "simple_entries.h"
#include "tab_xml_widget.h"
#include "tracker_configuration.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

constexpr int positions_per_command = 4;

QTemporaryDir* files_dir = nullptr;
QMap<QString, QMap<int, double>> ms_per_load; // by benchmark, then parameter count

QString reply(int command)
{
    return QStringLiteral("+RESP:C%1,%2,Трекер %1,1,internet.example").arg(command).arg(command);
}

// Line edits and option lists, 40 parameters to a page, four positions to a command.
QString simple_profile(int parameters)
{
    QString xml = QStringLiteral("<profile><simple_mode>");
    for (int i = 0; i < parameters; ++i) {
        if (i % 40 == 0) {
            xml += (i ? QStringLiteral("</page>") : QString()) +
                   QStringLiteral("<page id=\"p%1\" name=\"Страница %1\">").arg(i / 40);
        }
        const QString common =
            QStringLiteral("description=\"Параметр %1\" read=\"+C%2,#%3\" write=\"+C%2,#%3\"")
                .arg(i)
                .arg(i / positions_per_command)
                .arg(i % positions_per_command + 1);
        if (i % positions_per_command == 2) {
            xml += QStringLiteral("<parameter type=\"option\" %1><option value=\"0\" text=\"Нет\"/>"
                                  "<option value=\"1\" text=\"Да\"/></parameter>")
                       .arg(common);
        } else {
            xml += QStringLiteral("<parameter type=\"string\" %1 maxlen=\"32\"/>").arg(common);
        }
    }
    return xml + QStringLiteral("</page></simple_mode></profile>");
}

QString write_profile(int parameters)
{
    const QString path = files_dir->filePath(QStringLiteral("profile_%1.xml").arg(parameters));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    QTextStream(&file) << simple_profile(parameters);
    return path;
}

// The configuration with one command in ten changed and a key of another profile, as a file from
// a tracker set up otherwise.
QString write_changed_file(tracker_configuration configuration, int parameters)
{
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

// Times load_and_count over the iterations; it returns the differences found, or -1 on failure.
template <typename Load>
void time_loads(benchmark::State& state, const char* name, Load load_and_count)
{
    const int parameters = int(state.range(0));
    const int expected = (parameters / positions_per_command + 9) / 10;
    double total_ms = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        const int found = load_and_count();
        total_ms +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (found != expected) {
            state.SkipWithError("unexpected number of differences");
            return;
        }
    }
    ms_per_load[name][parameters] = total_ms / double(state.iterations());
    state.counters["parameters"] = parameters;
}

tracker_configuration read_or_die(const QString& path)
{
    tracker_configuration configuration;
    QString error;
    if (!read_configuration_file(path, configuration, &error)) {
        qFatal("%s", qPrintable(error));
    }
    return configuration;
}

void load_and_compare(benchmark::State& state)
{
    const int parameters = int(state.range(0));
    parameter_value_store store;
    QList<profile_page> pages;
    QString error;
    read_mode_pages(write_profile(parameters), true, pages, error);
    register_simple_pages(pages, store);
    const value_rules rules = value_rules::of_simple_pages(pages);
    for (int command = 0; command * positions_per_command < parameters; ++command) {
        store.store_response_values(reply(command));
    }
    const QString path =
        write_changed_file(configuration_from_store(store, "profile.xml"), parameters);
    time_loads(state, "store", [&] {
        return int(compare_configuration(store, read_or_die(path), rules, {}).differences.size());
    });
}

void load_into_pages(benchmark::State& state)
{
    const int parameters = int(state.range(0));
    tab_xml_widget pages(nullptr, write_profile(parameters), true);
    for (int command = 0; command * positions_per_command < parameters; ++command) {
        pages.process_simple_response(reply(command));
    }
    const QString path =
        write_changed_file(configuration_from_pages(pages, "profile.xml"), parameters);
    time_loads(state, "pages", [&] {
        const page_comparison comparison = compare_with_pages(pages, read_or_die(path));
        const configuration_dialog dialog(nullptr, QStringLiteral("conf.json"), comparison);
        return int(dialog.ticked_rows().size());
    });
}

} // namespace

BENCHMARK(load_and_compare)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK(load_into_pages)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // A trace line per reply would be timed along with the setup, and hide the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("tracker.*.debug=false"));
    QTemporaryDir dir;
    files_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto run = ms_per_load.cbegin(); run != ms_per_load.cend(); ++run) {
        const QMap<int, double>& ms = run.value();
        if (ms.contains(2000) && ms.contains(8000)) {
            std::printf("%s: 2,000 parameters %.2f ms, 8,000 parameters %.2f ms, ratio %.2f\n",
                        qPrintable(run.key()), ms.value(2000), ms.value(8000),
                        ms.value(8000) / ms.value(2000));
        }
    }
    std::printf("targets for the window (pages): under 100 ms for 2,000, ratio at most 4.6\n");
    return 0;
}
