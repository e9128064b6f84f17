#pragma once

#include <QList>
#include <QString>

class QWidget;
class tab_xml_widget;

// Where a parameter can be found among the pages: hundreds of them over many tabs in a real
// tracker's profile. Built once from the pages, which never change after start-up.
struct search_entry
{
    int tab = 0;
    QString page;
    QString block; // the command block's title on expert pages; empty on simple pages
    QString label;
    QWidget* input = nullptr;
};

// Every parameter with an input, in page order; the device-state page holds none.
QList<search_entry> index_parameters(const tab_xml_widget& pages);

// The entries that hold every word of query in their label or block title, ignoring case (and
// the dots over ё, which many do not type), in page order. An empty query matches nothing.
QList<search_entry> find_parameters(const QList<search_entry>& entries, const QString& query);

// How a match is listed: "label — block (page)", without the block on simple pages.
QString match_text(const search_entry& entry);
