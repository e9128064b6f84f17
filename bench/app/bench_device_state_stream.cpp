// How far the window falls behind a fast device-state stream: the simulated tracker sends 100
// lines a second for 10 seconds while the device-state page is shown, and every navigation line
// is matched with the moment its latitude appeared on the page. Prints the delays between the
// tracker sending a line and the page showing it.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON -DTC_TESTS=OFF
//   cmake --build build/bench --target device_state_stream_bench
//   QT_QPA_PLATFORM=offscreen build/bench/bench/app/device_state_stream_bench

#include "bench_window_setup.h"
#include "mainwindow.h"
#include "message_box.h"
#include "record_decoder.h"
#include "sim_process.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

const int stream_seconds = 10;
const int line_interval_ms = 10;

struct shown_text
{
    qint64 time_us;
    QString text;
};

// The latitude a navigation line carries, as the page shows it.
QString latitude_text(const QByteArray& line, const QByteArray& schema, float multiplier)
{
    const QList<QByteArray> fields = line.trimmed().split(',');
    if (fields.size() < 3 || fields[1] != "1")
        return QString();
    const QByteArray record = QByteArray::fromBase64(fields[2]);
    char out[1024];
    decode_record(schema.constData(), reinterpret_cast<const unsigned char*>(record.constData()),
                  out, sizeof out, static_cast<std::uint16_t>(record.size()));
    const QString decoded = QString::fromUtf8(out);
    const QString lat = decoded.section(';', 0, 0).section(':', 1);
    return QString::asprintf("%11.8f", lat.toUInt() * double(multiplier) * 2.3283064365386963e-10);
}

template <typename Condition>
bool wait_until(Condition condition, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QTest::qWait(5);
    return condition();
}

// A box would stop the measurement in its own event loop; the stream goes on without it.
void ignore_box(message_box_kind, QWidget*, const QString&, const QString&) {}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * (values.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    set_message_box_handler(ignore_box);
    QTemporaryDir work;
    sim_process tracker;
    if (!prepare_window_with_tracker(
            tracker, {"--stream-interval", QString::number(line_interval_ms)}, work)) {
        return 1;
    }

    MainWindow window;
    window.show();
    auto& pages = *window.findChild<tab_xml_widget*>();
    const t_display_field* lat = nullptr;
    for (const t_display_field& d : pages.display_fields)
        lat = d.field == "lat" ? &d : lat;
    auto* lat_edit = qobject_cast<QLineEdit*>(lat->widget);

    std::vector<shown_text> shown;
    QObject::connect(lat_edit, &QLineEdit::textChanged, [&](const QString& text) {
        shown.push_back({sim_transcript::now_us(), text});
    });
    const QWidget* set_button = pages.page_list.first().commands.first().set_button;
    if (!wait_until([&] { return set_button->isEnabled(); }, 20000)) {
        std::fprintf(stderr, "no handshake\n");
        return 1;
    }
    pages.tab_widget->setCurrentIndex(pages.page_list.size() - 1);
    if (!tracker.wait_for_event("stream on")) {
        std::fprintf(stderr, "the stream did not start\n");
        return 1;
    }
    QTest::qWait(stream_seconds * 1000); // the stream runs for this long
    pages.tab_widget->setCurrentIndex(0);
    tracker.wait_for_event("stream off");

    const QByteArray schema = pages.rawdata_list.first().schema.toUtf8();
    std::vector<double> delays_ms;
    int sent = 0;
    const sim_transcript transcript = tracker.transcript();
    for (const sim_transcript::sent_line& line : transcript.sent()) {
        const QString text = latitude_text(line.bytes, schema, lat->multiplier);
        if (text.isEmpty())
            continue;
        ++sent;
        const auto match = std::find_if(shown.begin(), shown.end(), [&](const shown_text& s) {
            return s.text == text && s.time_us >= line.time_us;
        });
        if (match != shown.end())
            delays_ms.push_back((match->time_us - line.time_us) / 1000.0);
    }
    window.close();
    wait_until([&] { return !window.isVisible(); }, 20000);

    if (delays_ms.empty()) {
        std::fprintf(stderr, "no navigation line was shown\n");
        return 1;
    }
    std::printf("device-state stream: %d ms between lines for %d s, %d navigation lines sent, %zu "
                "shown\n",
                line_interval_ms, stream_seconds, sent, delays_ms.size());
    std::printf("delay from sending to showing: median %.2f ms, p99 %.2f ms, largest %.2f ms\n",
                percentile(delays_ms, 0.5), percentile(delays_ms, 0.99),
                *std::max_element(delays_ms.begin(), delays_ms.end()));
    return 0;
}
