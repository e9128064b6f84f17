#include "command_table.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

QString command_key(const QString& name)
{
    return name.startsWith(QLatin1Char('+')) ? name : QLatin1Char('+') + name;
}

command_table::command_table(const QList<sim_command>& commands, const QList<value_limit>& clamps)
    : table(commands), limits(clamps)
{
}

const sim_command* command_table::find(const QString& key) const
{
    for (const sim_command& command : table) {
        if (command.key == key) {
            return &command;
        }
    }
    return nullptr;
}

sim_command* command_table::find_mutable(const QString& key)
{
    return const_cast<sim_command*>(find(key));
}

void command_table::store(const QString& key, const QStringList& values)
{
    sim_command* command = find_mutable(key);
    if (command == nullptr) {
        return;
    }
    const int count = qMin(values.size(), command->values.size());
    for (int k = 0; k < count; ++k) {
        if (!values[k].isEmpty()) {
            command->values[k] = limited(key, k + 1, values[k]);
        }
    }
}

QString command_table::limited(const QString& key, int position, const QString& value) const
{
    bool numeric = false;
    const double number = value.toDouble(&numeric);
    for (const value_limit& limit : limits) {
        if (numeric && limit.key == key && limit.position == position && number > limit.max) {
            return QString::number(limit.max);
        }
    }
    return value;
}

QByteArray command_table::to_state() const
{
    QJsonObject state;
    for (const sim_command& command : table) {
        state.insert(command.key, QJsonArray::fromStringList(command.values));
    }
    return QJsonDocument(state).toJson();
}

bool command_table::load_state(const QByteArray& data, QString& error)
{
    QJsonParseError parse_error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parse_error);
    if (!document.isObject()) {
        error = QStringLiteral("not a state file: %1").arg(parse_error.errorString());
        return false;
    }
    const QJsonObject state = document.object();
    for (sim_command& command : table) {
        const QJsonArray values = state.value(command.key).toArray();
        const int count = qMin(values.size(), command.values.size());
        for (int k = 0; k < count; ++k) {
            command.values[k] = values[k].toString();
        }
    }
    return true;
}

bool command_table::save_file(const QString& path, QString& error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(to_state()) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool command_table::load_file(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return load_state(file.readAll(), error);
}
