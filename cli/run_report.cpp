#include "run_report.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

namespace {

QString utc_time(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

run_report::run_report(const QString& report_path) : path(report_path) {}

bool run_report::append(const report_entry& entry, QString& error)
{
    if (path.isEmpty()) {
        return true;
    }
    const QMutexLocker lock(&mutex);
    QFile file(path);
    const QByteArray line = json_line(entry);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        file.write(line) != line.size()) {
        error = QStringLiteral("cannot append to the report %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray run_report::json_line(const report_entry& entry)
{
    QJsonObject object{{QStringLiteral("port"), entry.port},
                       {QStringLiteral("command"), entry.command},
                       {QStringLiteral("start"), utc_time(entry.start)},
                       {QStringLiteral("end"), utc_time(entry.end)},
                       {QStringLiteral("result"), entry.result},
                       {QStringLiteral("positions"), QJsonArray::fromStringList(entry.positions)}};
    if (!entry.sha256.isEmpty()) {
        object.insert(QStringLiteral("sha256"), QString::fromLatin1(entry.sha256));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
