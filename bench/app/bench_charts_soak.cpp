// What the charts cost at ten device-state lines a second, and whether their history keeps memory
// flat. The simulated tracker streams ten lines a second (its layouts in turn) to the window,
// whose charts already hold an hour of every plottable field, so that their buffers wrap from the
// start. The process's CPU time is measured first with the track and charts docks closed, then
// with both open, every field ticked and the last 60 minutes shown: the difference is what they
// cost. Resident memory is printed as the run goes; it must stay within 5 MB of its value after
// the first minute (or half the run, if shorter).
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target charts_soak_bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/app/charts_soak_bench [seconds]
//
// The length of the open phase comes from the argument, else from TC_SOAK_SECONDS, else 10
// minutes; the closed phase lasts a minute, or half that when shorter.

#include "bench_window_setup.h"
#include "chart_view.h"
#include "mainwindow.h"
#include "message_box.h"
#include "sim_process.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QLoggingCategory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const int stream_interval_ms = 100;
const int lines_per_second = 1000 / stream_interval_ms;
const double allowed_growth_mb = 5.0;

// User and system time of this process (the simulated tracker is another), in seconds.
double cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void ignore_box(message_box_kind, QWidget*, const QString&, const QString&) {}

// The hour before now, ten lines a second, layouts in turn, each field a slow wave.
void fill_last_hour(chart_view& charts)
{
    const plot_catalogue& plots = charts.history().catalogue();
    QList<int> layouts = plots.by_layout.keys();
    std::sort(layouts.begin(), layouts.end());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int lines = 3600 * lines_per_second;
    for (int i = 0; i < lines; ++i) {
        const int layout = layouts.at(i % layouts.size());
        QList<field_value> values;
        for (int field : plots.by_layout.value(layout)) {
            const double wave = std::sin(i / 600.0 + field);
            values.append({plots.fields.at(field).name, quint32(500 + 400 * wave), QString()});
        }
        charts.take_line(layout, values, now - qint64(lines - i) * stream_interval_ms);
    }
}

void open_from_menu(MainWindow& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == text)
            action->trigger();
    }
}

void show_every_field_for_an_hour(chart_view& charts)
{
    QListWidget* fields = charts.findChild<QListWidget*>();
    for (int i = 0; i < fields->count(); ++i)
        fields->item(i)->setCheckState(Qt::Checked);
    QComboBox* minutes = charts.findChild<QComboBox*>();
    minutes->setCurrentIndex(minutes->count() - 1);
}

// The share of one core this process used over the next seconds; prints memory each minute.
double cpu_share(int seconds, const char* phase, double* rss_after_first_minute = nullptr)
{
    const double cpu_before = cpu_seconds();
    QElapsedTimer clock;
    clock.start();
    for (int second = 1; second <= seconds; ++second) {
        QTest::qWait(int(second * 1000 - clock.elapsed()));
        if (rss_after_first_minute && second == std::min(60, seconds / 2))
            *rss_after_first_minute = resident_mb();
        if (second % 60 == 0 || second == seconds) {
            std::printf("%s, %4d s: %6.1f MB resident\n", phase, second, resident_mb());
            std::fflush(stdout);
        }
    }
    return 100.0 * (cpu_seconds() - cpu_before) / (clock.elapsed() / 1000.0);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int open_seconds = soak_seconds(argc, argv);
    const int closed_seconds = std::min(60, std::max(1, open_seconds / 2));
    set_message_box_handler(ignore_box);
    QLoggingCategory::setFilterRules(QStringLiteral("tracker.*.debug=false"));
    QTemporaryDir work;
    sim_process tracker;
    if (!prepare_window_with_tracker(
            tracker, {"--stream-interval", QString::number(stream_interval_ms)}, work)) {
        return 1;
    }

    MainWindow window;
    window.resize(1400, 900);
    window.show();
    if (!open_device_state(window, tracker)) {
        return 1;
    }
    auto& charts = *window.findChild<chart_view*>();
    fill_last_hour(charts);

    const double closed = cpu_share(closed_seconds, "docks closed");
    open_from_menu(window, QStringLiteral("Трек..."));
    open_from_menu(window, QStringLiteral("Графики..."));
    show_every_field_for_an_hour(charts);
    double baseline_mb = resident_mb();
    const double open = cpu_share(open_seconds, "track and charts open", &baseline_mb);
    const double end_mb = resident_mb();
    window.close();
    if (!QTest::qWaitFor([&] { return !window.isVisible(); }, 20000))
        std::fprintf(stderr, "the window did not close\n");

    const plot_catalogue& plots = charts.history().catalogue();
    const std::size_t bytes = charts.history().memory_bytes();
    std::printf("history: %d fields x %d samples x %zu bytes = %zu bytes (%.2f MB), fixed\n",
                int(plots.fields.size()), field_history::default_capacity, sizeof(history_sample),
                bytes, bytes / 1e6);
    std::printf("CPU at %d lines/s: %.2f%% of one core with the docks closed (%d s), %.2f%% with "
                "the track and %d charts of 60 minutes open (%d s): they cost %.2f%%\n",
                lines_per_second, closed, closed_seconds, open, int(plots.fields.size()),
                open_seconds, open - closed);
    const double growth = end_mb - baseline_mb;
    std::printf("resident memory: %.1f MB after the first minute, %.1f MB at the end, growth "
                "%.2f MB, allowed %.1f MB: %s\n",
                baseline_mb, end_mb, growth, allowed_growth_mb,
                growth <= allowed_growth_mb ? "flat" : "GROWING");
    return growth <= allowed_growth_mb ? 0 : 1;
}
