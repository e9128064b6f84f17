// Whether a link left open for a long time keeps the window's memory flat: the simulated tracker
// streams device-state lines (100 a second) to the device-state page while the read buttons poll
// the tracker, and the log grows by 100 lines a second. The link's own lines are topped up with
// status lines through the same window slot to reach that rate. Prints the resident memory after
// the first minute (or half the run, if shorter) and at the end: they must stay within 5 MB.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target log_soak_bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/app/log_soak_bench [seconds]
//
// The duration comes from the argument, else from TC_SOAK_SECONDS, else 10 minutes.

#include "bench_window_setup.h"
#include "mainwindow.h"
#include "message_box.h"
#include "sim_process.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QLoggingCategory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const int log_lines_per_second = 100;
const int stream_interval_ms = 10;
const int polls_in_flight = 2;
const double allowed_growth_mb = 5.0;

// A box would stop the run in its own event loop; the stream goes on without it.
void ignore_box(message_box_kind, QWidget*, const QString&, const QString&) {}

// Presses read buttons in turn, keeping a few polls in flight, and counts the log's lines.
class load
{
public:
    load(MainWindow& main_window, tab_xml_widget& pages) : window(main_window)
    {
        for (const t_page& page : pages.page_list) {
            for (const t_command& command : page.commands) {
                if (command.read_button)
                    buttons.append(command.read_button);
            }
        }
        log = window.findChild<QListWidget*>("log_widget");
        QObject::connect(log->model(), &QAbstractItemModel::rowsInserted, [this] { count(); });
    }

    void tick(qint64 elapsed_ms)
    {
        while (polls_sent - replies < polls_in_flight) {
            buttons[polls_sent % buttons.size()]->click();
            ++polls_sent;
        }
        const qint64 due = elapsed_ms * log_lines_per_second / 1000;
        while (lines < due) {
            window.set_status_text(QStringLiteral("soak filler %1").arg(fillers));
            ++fillers;
        }
    }

    qint64 lines = 0;
    qint64 fillers = 0;
    qint64 polls_sent = 0;
    qint64 replies = 0;

private:
    void count()
    {
        ++lines;
        const QString text = log->item(0)->text();
        if (text.contains(QLatin1String("] Result: ")) && !text.contains(QLatin1String("SDAD")))
            ++replies;
    }

    MainWindow& window;
    QList<QAbstractButton*> buttons;
    QListWidget* log = nullptr;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int seconds = soak_seconds(argc, argv);
    const int baseline_seconds = std::min(60, seconds / 2);
    set_message_box_handler(ignore_box);
    // Hours of traces would be the largest output of the run.
    QLoggingCategory::setFilterRules(QStringLiteral("tracker.*.debug=false"));
    QTemporaryDir work;
    sim_process tracker;
    if (!prepare_window_with_tracker(
            tracker, {"--stream-interval", QString::number(stream_interval_ms)}, work)) {
        return 1;
    }

    MainWindow window;
    window.show();
    tab_xml_widget* shown = open_device_state(window, tracker);
    if (!shown) {
        return 1;
    }
    auto& pages = *shown;

    load soak(window, pages);
    QElapsedTimer clock;
    clock.start();
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] { soak.tick(clock.elapsed()); });
    pace.start(10);
    double baseline_mb = 0;
    double peak_mb = 0;
    for (int second = 1; second <= seconds; ++second) {
        QTest::qWait(int(second * 1000 - clock.elapsed()));
        const double rss = resident_mb();
        peak_mb = std::max(peak_mb, rss);
        if (second == baseline_seconds)
            baseline_mb = rss;
        if (second % 30 == 0 || second == seconds)
            std::printf("%4d s: %6.1f MB resident, %lld log lines (%lld from the link), %lld "
                        "polls answered\n",
                        second, rss, soak.lines, soak.lines - soak.fillers, soak.replies);
        std::fflush(stdout);
    }
    pace.stop();
    const double end_mb = resident_mb();
    const int kept = window.findChild<QListWidget*>("log_widget")->count();
    window.close();
    if (!QTest::qWaitFor([&] { return !window.isVisible(); }, 20000))
        std::fprintf(stderr, "the window did not close\n");

    const double growth = end_mb - baseline_mb;
    std::printf("log soak: %d s at %d lines/s; %d lines kept; device-state stream every %d ms\n",
                seconds, log_lines_per_second, kept, stream_interval_ms);
    std::printf("resident memory: %.1f MB after %d s, %.1f MB at the end (peak %.1f MB), growth "
                "%.2f MB, allowed %.1f MB: %s\n",
                baseline_mb, baseline_seconds, end_mb, peak_mb, growth, allowed_growth_mb,
                growth <= allowed_growth_mb ? "flat" : "GROWING");
    return growth <= allowed_growth_mb ? 0 : 1;
}
