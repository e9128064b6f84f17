#pragma once

#include "tracker_link.h"

#include <QList>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <functional>

// Runs one job per tracker, each on a thread of its own with its own link, all at the same time,
// and returns the worst exit status. The calling thread runs the event loop meanwhile, so that
// an interruption (Ctrl+C) reaches every link at once.
class job_runner : public QObject
{
    Q_OBJECT

public:
    using job = std::function<int(const QString& port, tracker_link& link)>;

    int run(const QList<link_settings>& links, const job& work);

public slots:
    // Every link's waits end; each job then closes its link as it sees fit.
    void interrupt();

private:
    void enlist(tracker_link* link);
    void discharge(tracker_link* link);

    QMutex links_lock;
    QList<tracker_link*> active;
    std::atomic<bool> interrupted{false};
};
