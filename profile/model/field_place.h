#pragma once

#include "profile_records.h"
#include "simple_entries.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// What people know a field by, wherever the program names one: the search, the question about
// unwritten changes.
struct field_place
{
    QString page;
    QString group; // the heading above it on a simple page, else its command's expert block
    QString label;
};

// "label — group (page)"; without the group where there is none or it is the label itself.
QString place_text(const field_place& place);

// The title of each command's first expert block, the one its replies fill.
QHash<QString, QString> block_titles(const QList<profile_page>& expert_pages);

// A simple parameter under no heading is grouped by the block of the command it shows (or else
// writes), where the profile has one.
QString block_title(const parameter_entries& entries, const QHash<QString, QString>& titles);

// A change the tracker has not had, with the values as the field shows them.
struct unwritten_change
{
    int tab = 0;
    field_place place;
    std::optional<QString> held; // the tracker's value; none before it reported one
    QString wanted;
};

// "Порт — Основной сервер (Серверы): «20100» → «20200»"
QString change_text(const unwritten_change& change);
