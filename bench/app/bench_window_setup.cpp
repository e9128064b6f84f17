#include "bench_window_setup.h"

#include "settings_file.h"
#include "sim_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
