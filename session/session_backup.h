#pragma once

#include "configuration_backups.h"

#include <QObject>
#include <QString>

#include <optional>

class link_session;
class parameter_value_store;

// Keeps, once per connection, the tracker's settings as the first poll after the handshake read
// them, whatever the user edits meanwhile: a configuration file in the folder of backups. A
// handshake again after a lost port polls again, but the tracker is the same: one backup a
// connection.
class session_backup : public QObject
{
    Q_OBJECT

public:
    session_backup(link_session& session, const QString& folder, QObject* parent = nullptr);

    // The next handshake's poll is kept: the commands of store, for the profile named.
    void arm(const parameter_value_store& store, const QString& profile_name);

signals:
    void kept(QString path);
    void failed(QString error);

private:
    void take_ready();
    void take_answer(const QString& reply);

    link_session& session;
    const QString folder;
    const parameter_value_store* store = nullptr;
    QString profile;
    std::optional<connection_backup> collecting;
};
