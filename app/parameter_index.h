#pragma once

#include "field_place.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;
class tab_xml_widget;

// Where a parameter can be found among the pages: hundreds of them over many tabs in a real
// tracker's profile. Built once from the pages, which never change after start-up.
struct search_entry
{
    int tab = 0;
    field_place place; // its page by the page's own name, whatever its tab shows
    QStringList keys;  // the commands its value travels in: "+APN"
    QWidget* input = nullptr;
};

// Every parameter with an input, in page order; the device-state page holds none.
QList<search_entry> index_parameters(const tab_xml_widget& pages);

// The entries that hold every word of query in their label, group, page or command keys,
// ignoring case (and the dots over ё, which many do not type), in page order. An empty query
// matches nothing.
QList<search_entry> find_parameters(const QList<search_entry>& entries, const QString& query);
