#include "job_runner.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

int job_runner::run(const QList<link_settings>& links, const job& work)
{
    std::vector<int> status(size_t(links.size()), 0);
    std::vector<std::unique_ptr<QThread>> threads;
    QEventLoop loop;
    int running = links.size();
    for (int i = 0; i < links.size(); ++i) {
        const link_settings settings = links.at(i);
        threads.emplace_back(QThread::create([this, settings, &work, &status, i] {
            tracker_link link(settings);
            enlist(&link);
            status[size_t(i)] = work(settings.port, link);
            discharge(&link);
        }));
        // Traces of the thread, such as the worker's "Append cmd", name their port.
        threads.back()->setObjectName(settings.port);
        connect(threads.back().get(), &QThread::finished, &loop, [&running, &loop] {
            if (--running == 0) {
                loop.quit();
            }
        });
        threads.back()->start();
    }
    if (running > 0) {
        loop.exec();
    }
    for (const auto& thread : threads) {
        thread->wait();
    }
    return status.empty() ? 0 : *std::max_element(status.begin(), status.end());
}

void job_runner::interrupt()
{
    const QMutexLocker lock(&links_lock);
    interrupted = true;
    for (tracker_link* link : qAsConst(active)) {
        link->interrupt();
    }
}

// A link that starts after the interruption is interrupted at once.
void job_runner::enlist(tracker_link* link)
{
    const QMutexLocker lock(&links_lock);
    active << link;
    if (interrupted) {
        link->interrupt();
    }
}

void job_runner::discharge(tracker_link* link)
{
    const QMutexLocker lock(&links_lock);
    active.removeOne(link);
}
