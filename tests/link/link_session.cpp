#include "link_session.h"

#include <QTest>

link_session::~link_session()
{
    if (worker) {
        stop_worker();
    }
}

bool link_session::start_sim(const QStringList& options)
{
    return sim.start(options, QStringLiteral(TC_LINK_TEST_DATA "/link_profile.xml"));
}

void link_session::start_worker(bool bluetooth, int speed, const QStringList& queued)
{
    worker = std::make_unique<SerialPortThread>();
    probe = std::make_unique<worker_probe>(*worker);
    worker->set_port_params(sim.port_path(), speed, bluetooth);
    for (const QString& command : queued) {
        worker->slot_execute_cmd(command);
    }
    worker->start();
}

bool link_session::stop_worker()
{
    worker->request_exit();
    const bool ended = QTest::qWaitFor([this] { return probe->disconnections > 0; }, timeout_ms);
    return worker->wait(timeout_ms) && ended;
}
