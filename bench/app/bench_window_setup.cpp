#include "bench_window_setup.h"

#include "mainwindow.h"
#include "settings_file.h"
#include "sim_process.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"

#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

bool prepare_window_with_tracker(sim_process& tracker, const QStringList& options,
                                 const QTemporaryDir& work)
{
    if (!tracker.start(options, TC_SAMPLE_PROFILE)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(tracker.error()));
        return false;
    }
    QDir::setCurrent(work.path());
    QFile::copy(TC_SAMPLE_PROFILE, "profile.xml");
    t_settings settings;
    settings.port_name = tracker.port_path();
    settings.auto_connect = true;
    settings.simple_mode = false;
    QString error;
    if (!write_settings(settings_file_path(), settings, &error)) {
        std::fprintf(stderr, "settings: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

int soak_seconds(int argc, char* argv[])
{
    if (argc > 1)
        return QString(argv[1]).toInt();
    const QByteArray env = qgetenv("TC_SOAK_SECONDS");
    return env.isEmpty() ? 600 : env.toInt();
}

double resident_mb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

tab_xml_widget* open_device_state(MainWindow& window, sim_process& tracker)
{
    auto* pages = window.findChild<tab_xml_widget*>();
    const QWidget* set_button = pages->page_list.first().commands.first().set_button;
    if (!QTest::qWaitFor([&] { return set_button->isEnabled(); }, 20000)) {
        std::fprintf(stderr, "no handshake\n");
        return nullptr;
    }
    pages->tab_widget->setCurrentIndex(pages->page_list.size() - 1);
    if (!tracker.wait_for_event("stream on")) {
        std::fprintf(stderr, "the stream did not start\n");
        return nullptr;
    }
    return pages;
}
