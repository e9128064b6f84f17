#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>

// What one command did to one tracker, for --report.
struct report_entry
{
    QString port;
    QString command;
    QDateTime start;
    QDateTime end;
    QString result;        // "ok", "differences", "unverified", "refused", "link error"
    QStringList positions; // the differing or unverified positions, "+KEY,#N"
    QByteArray sha256;     // configuration_sha256 of what was read back (read and write)
};

// Appends one JSON line per entry to a file that several trackers' threads share. Each line is
// written whole in one call, so concurrent runs of the tool do not cut into each other's lines.
class run_report
{
public:
    explicit run_report(const QString& path);
    // A report without a path takes nothing.
    bool append(const report_entry& entry, QString& error);

    static QByteArray json_line(const report_entry& entry);

private:
    const QString path;
    QMutex mutex;
};
