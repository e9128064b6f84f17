#include "session_backup.h"

#include "link_session.h"
#include "parameter_value_store.h"

session_backup::session_backup(link_session& link, const QString& backups, QObject* parent)
    : QObject(parent), session(link), folder(backups)
{
    connect(&session, &link_session::ready, this, &session_backup::take_ready);
    connect(&session, &link_session::answered, this,
            [this](const QString&, const QString& reply) { take_answer(reply); });
    connect(&session, &link_session::ended, this, [this] {
        store = nullptr;
        collecting.reset();
    });
}

void session_backup::arm(const parameter_value_store& pages_store, const QString& profile_name)
{
    store = &pages_store;
    profile = profile_name;
}

void session_backup::take_ready()
{
    if (!store) {
        return;
    }
    collecting.emplace();
    collecting->start(*std::exchange(store, nullptr));
}

// A refusal counts as an answer: the poll is over when every command has had one.
void session_backup::take_answer(const QString& line)
{
    if (!collecting || !collecting->take_reply(tracker_commands::parse_reply(line))) {
        return;
    }
    QString path;
    QString error;
    if (write_backup(folder, session.settings().port, collecting->configuration(profile), &path,
                     &error)) {
        emit kept(path);
    } else {
        emit failed(error);
    }
    collecting.reset();
}
