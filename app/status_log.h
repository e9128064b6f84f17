#pragma once

#include <QString>

class QDateTime;
class QListWidget;

// The window's log of status lines: "[HH:mm:ss] text", the newest on top. It keeps the newest
// lines only, so that a link left open for days keeps its memory flat, and it can be written to
// a text file for a support request.
namespace status_log {

constexpr int capacity = 10000;

void add_line(QListWidget& list, const QDateTime& when, const QString& text);
// Oldest first, each line with its date as well as its time; UTF-8, written whole or not at all.
// On failure error says why.
bool save(const QListWidget& list, const QString& path, QString& error);

} // namespace status_log
