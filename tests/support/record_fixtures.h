#pragma once

#include <QFile>
#include <QList>
#include <QMap>
#include <QString>

// The hand-made device-state records of tests/data/device_records.txt: one map per block, from
// the first word of each line ("schema", "values", "bytes", "text") to the rest of the line.
// Header only, so that the decoder's test reads them without the simulator's support library.
inline QList<QMap<QString, QString>> read_record_fixtures(const QString& path)
{
    QFile file(path);
    QList<QMap<QString, QString>> blocks;
    bool block_open = false;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return blocks;
    }
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) {
            block_open = block_open && !line.trimmed().isEmpty();
            continue;
        }
        if (!block_open) {
            blocks.append(QMap<QString, QString>());
            block_open = true;
        }
        blocks.last().insert(line.section(QLatin1Char(' '), 0, 0),
                             line.section(QLatin1Char(' '), 1));
    }
    return blocks;
}
