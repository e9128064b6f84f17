#include "configuration_backups.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString time_format = QStringLiteral("yyyy-MM-dd_HH-mm-ss");

// A name from the date and time and the port, with a count after the port for a further backup
// within the same second.
const QRegularExpression
    backup_name(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_.+\\.json$"));

// "_002" sorts after ".json", and three digits keep the counts in order by name.
constexpr int most_backups_per_second = 999;

const QFileDevice::Permissions owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// In characters that every file system takes.
QString file_name_part(QString text)
{
    return text.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
}

// A Windows port name can be "\\.\COM10"; a Unix one a path. Only its last part is kept.
QString port_part(const QString& port_name)
{
    const QString name =
        file_name_part(port_name.section(QRegularExpression(QStringLiteral("[\\\\/]")), -1));
    return name.isEmpty() ? QStringLiteral("port") : name;
}

// The backups hold what the tracker reported, passwords and logins among it: on POSIX the folder
// and every backup are its owner's alone. On Windows a file takes the access list of its folder,
// and a working folder in the user's profile is already private to the user.
bool make_private([[maybe_unused]] const QString& path,
                  [[maybe_unused]] QFileDevice::Permissions permissions)
{
#ifdef Q_OS_UNIX
    return QFile::setPermissions(path, permissions);
#else
    return true;
#endif
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

QString configuration_file_name(const QString& identity, const QDateTime& local_time)
{
    const QString tracker = identity.trimmed().isEmpty()
                                ? QString()
                                : file_name_part(identity.trimmed()) + QLatin1Char('_');
    return QStringLiteral("tracker_") + tracker + local_time.toString(time_format) +
           QStringLiteral(".json");
}

bool write_backup(const QString& folder, const QString& port_name,
                  const tracker_configuration& configuration, QString* path, QString* error,
                  const QDateTime& local_time)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")) ||
        !make_private(folder, owner_only | QFileDevice::ExeOwner)) {
        *error = QStringLiteral("Cannot make the private folder %1").arg(folder);
        return false;
    }
    const QString name = backup_file_name(local_time, port_name);
    *path = dir.filePath(name);
    for (int count = 2; QFileInfo::exists(*path); ++count) {
        if (count > most_backups_per_second) {
            *error = QStringLiteral("Too many backups within one second in %1").arg(folder);
            return false;
        }
        *path = dir.filePath(name.chopped(5) +
                             QStringLiteral("_%1.json").arg(count, 3, 10, QLatin1Char('0')));
    }
    if (!write_configuration_file(*path, configuration, error)) {
        return false;
    }
    if (!make_private(*path, owner_only)) {
        *error = QStringLiteral("Cannot make %1 private").arg(*path);
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
