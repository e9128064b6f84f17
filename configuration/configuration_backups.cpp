#include "configuration_backups.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString time_format = QStringLiteral("yyyy-MM-dd_HH-mm-ss");

// A name from the date and time, an optional count for a second backup within the same second,
// and the port.
const QRegularExpression
    backup_name(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_.+\\.json$"));

// A Windows port name can be "\\.\COM10"; a Unix one a path. Only its last part is kept, in
// characters that every file system takes.
QString port_part(const QString& port_name)
{
    QString name = port_name.section(QRegularExpression(QStringLiteral("[\\\\/]")), -1);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return name.isEmpty() ? QStringLiteral("port") : name;
}

} // namespace

void connection_backup::start(const parameter_value_store& pages_store)
{
    answers = parameter_value_store();
    missing.clear();
    for (const command_values& record : pages_store.records()) {
        answers.add_entry({record.key, 0}, false);
        missing.insert(record.key);
    }
}

bool connection_backup::take_reply(const tracker_commands::reply& reply)
{
    if (!missing.remove(reply.key)) {
        return false;
    }
    answers.store_reply(reply);
    return missing.isEmpty();
}

tracker_configuration connection_backup::configuration(const QString& profile_name) const
{
    return configuration_from_store(answers, profile_name);
}

QString backup_file_name(const QDateTime& local_time, const QString& port_name)
{
    return local_time.toString(time_format) + QLatin1Char('_') + port_part(port_name) +
           QStringLiteral(".json");
}

bool write_backup(const QString& folder, const QString& port_name,
                  const tracker_configuration& configuration, QString* path, QString* error)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("Cannot make the folder %1").arg(folder);
        return false;
    }
    const QString name = backup_file_name(QDateTime::currentDateTime(), port_name);
    *path = dir.filePath(name);
    for (int count = 2; QFileInfo::exists(*path); ++count) {
        *path = dir.filePath(name.chopped(5) + QStringLiteral("-%1.json").arg(count));
    }
    if (!write_configuration_file(*path, configuration, error)) {
        return false;
    }
    prune_backups(folder, kept_backups);
    return true;
}

void prune_backups(const QString& folder, int keep)
{
    QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name).filter(backup_name);
    for (int i = 0; i < names.size() - keep; ++i) {
        dir.remove(names.at(i));
    }
}
