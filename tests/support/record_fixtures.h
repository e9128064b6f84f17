#pragma once

#include <QFile>
#include <QList>
#include <QMap>
#include <QString>

// The hand-made device-state records of tests/data/device_records.txt: one map per record, from
// its "schema" line on, from the first word of each line ("schema", "values", "bytes", "text") to
// the rest of the line. Header only, so that the decoder's test reads them without the
// simulator's support library. False when the file cannot be read, so that a missing fixture
// fails the test instead of giving it no rows.
inline bool read_record_fixtures(const QString& path, QList<QMap<QString, QString>>& records)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char(' '), 0, 0);
        if (key == QLatin1String("schema")) {
            records.append(QMap<QString, QString>());
        }
        if (!records.isEmpty() && !key.isEmpty() && !key.startsWith(QLatin1Char('#'))) {
            records.last().insert(key, line.section(QLatin1Char(' '), 1));
        }
    }
    return true;
}
