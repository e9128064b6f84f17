#include "sim_options.h"
#include "sim_profile.h"
#include "tracker_sim.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    sim_config config;
    QString text;
    switch (parse_sim_options(QCoreApplication::arguments(), config, text)) {
    case options_result::help:
        std::fputs(qPrintable(text), stdout);
        return 0;
    case options_result::error:
        std::fprintf(stderr, "tracker-sim: %s\n", qPrintable(text));
        return 2;
    case options_result::run:
        break;
    }
    sim_profile profile;
    if (!load_sim_profile(config.profile, profile, text)) {
        std::fprintf(stderr, "tracker-sim: %s\n", qPrintable(text));
        return 1;
    }
    tracker_sim simulator(config, profile);
    if (!simulator.start(text)) {
        std::fprintf(stderr, "tracker-sim: %s\n", qPrintable(text));
        return 1;
    }
    return simulator.run();
}
