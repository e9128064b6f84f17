#include "status_log.h"

#include <QDateTime>
#include <QListWidget>
#include <QSaveFile>

namespace status_log {

namespace {

const QString shown_stamp = QStringLiteral("[HH:mm:ss] ");
const QString saved_stamp = QStringLiteral("[yyyy-MM-dd HH:mm:ss] ");
const int shown_stamp_length = 11;

// The moment of a line is kept apart from its text, whose stamp has no date.
const int time_role = Qt::UserRole;

} // namespace

void add_line(QListWidget& list, const QDateTime& when, const QString& text)
{
    auto* item = new QListWidgetItem(when.toString(shown_stamp) + text);
    item->setData(time_role, when);
    list.insertItem(0, item);
    while (list.count() > capacity)
        delete list.takeItem(list.count() - 1);
}

bool save(const QListWidget& list, const QString& path, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        error = file.errorString();
        return false;
    }
    for (int row = list.count() - 1; row >= 0; --row) {
        const QListWidgetItem* item = list.item(row);
        const QString when = item->data(time_role).toDateTime().toString(saved_stamp);
        file.write((when + item->text().mid(shown_stamp_length) + '\n').toUtf8());
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace status_log
