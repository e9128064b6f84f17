#pragma once

#include "parameter_value_store.h"

#include <QFile>
#include <QStringList>
#include <QTest>

// Shared by the profile tests: scenario tables read from fixtures, and a value store as text.

inline QString profile_data(const QString& name)
{
    return QStringLiteral(TC_TEST_DATA "/profile/") + name;
}

// Rows of a table in tests/data/profile, one a line: a tag, then the columns, separated by " | ";
// "(none)" stands for an empty column and "#" starts a comment line. A row is one QStringList
// column named "row".
inline void add_table_rows(const char* name)
{
    QFile file(profile_data(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), name);
    QTest::addColumn<QStringList>("row");
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        QStringList columns = line.split(QStringLiteral(" | "));
        for (QString& column : columns) {
            if (column == QLatin1String("(none)")) {
                column.clear();
            }
        }
        QTest::newRow(qPrintable(columns.takeFirst())) << columns;
    }
}

// "key:slots" per record, a slot as "index=value" with "*" when changed and "~" when only the
// tracker named it, "!" after a master record.
inline QString contents(const parameter_value_store& store)
{
    QStringList records;
    for (const command_values& record : store.records()) {
        QStringList slots_text;
        for (const value_slot& slot : record.value_slots) {
            slots_text << QStringLiteral("%1%2%3=%4")
                              .arg(slot.tracker_only ? "~" : "")
                              .arg(slot.index)
                              .arg(slot.changed ? "*" : "")
                              .arg(slot.value);
        }
        records << record.key + ':' + slots_text.join(' ') + (record.master ? "!" : "");
    }
    return records.join(QStringLiteral("; "));
}
