#pragma once

#include <QFile>
#include <QStringList>
#include <QTest>

// Rows of a table in tests/data/profile, one a line: a tag, then the columns, separated by " | ";
// "(none)" stands for an empty column and "#" starts a comment line. A row is one QStringList
// column named "row".
inline void add_table_rows(const char* name)
{
    QFile file(QStringLiteral(TC_TEST_DATA "/profile/") + QLatin1String(name));
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
