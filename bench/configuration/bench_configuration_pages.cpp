// Loading a configuration file into the window: read it, hold it against pages of 2,000 and of
// 8,000 simple parameters and build the comparison dialog with its rows, offscreen, as
// "Загрузить конфигурацию из файла..." does before the user sees anything.
//
// Targets: under 100 ms for 2,000 parameters; 8,000 in no more than 4.6 times that.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target configuration_pages_bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/configuration/configuration_pages_bench

#include "configuration_dialog.h"
#include "page_configuration.h"
#include "tab_xml_widget.h"

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
QMap<int, double> ms_per_load; // by parameter count

QString write_text(const QString& name, const QString& text)
{
    const QString path = files_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    QTextStream(&file) << text;
    return path;
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

// Every command answered, then saved with one command in ten changed and a key of another
// profile, as a file from a tracker set up otherwise.
QString write_file(tab_xml_widget& pages, int parameters)
{
    for (int command = 0; command * positions_per_command < parameters; ++command) {
        pages.process_simple_response(
            QStringLiteral("+RESP:C%1,%2,Трекер %1,1,internet.example").arg(command).arg(command));
    }
    tracker_configuration configuration = configuration_from_pages(pages, "profile.xml");
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

void load_into_pages(benchmark::State& state)
{
    const int parameters = int(state.range(0));
    const QString profile =
        write_text(QStringLiteral("profile_%1.xml").arg(parameters), simple_profile(parameters));
    tab_xml_widget pages(nullptr, profile, true);
    const QString path = write_file(pages, parameters);
    const int expected = (parameters / positions_per_command + 9) / 10;
    double total_ms = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        tracker_configuration configuration;
        QString error;
        if (!read_configuration_file(path, configuration, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        const page_comparison comparison = compare_with_pages(pages, configuration);
        const configuration_dialog dialog(nullptr, QStringLiteral("conf.json"), comparison);
        total_ms +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (dialog.ticked_rows().size() != expected) {
            state.SkipWithError("unexpected number of rows");
            return;
        }
    }
    ms_per_load[parameters] = total_ms / double(state.iterations());
    state.counters["parameters"] = parameters;
}

} // namespace

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
    if (ms_per_load.contains(2000) && ms_per_load.contains(8000)) {
        std::printf("load into pages: 2,000 parameters %.2f ms, 8,000 parameters %.2f ms, "
                    "ratio %.2f (targets: under 100 ms, ratio at most 4.6)\n",
                    ms_per_load.value(2000), ms_per_load.value(8000),
                    ms_per_load.value(8000) / ms_per_load.value(2000));
    }
    return 0;
}
