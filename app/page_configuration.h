#pragma once

#include "tracker_configuration.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;
class tab_xml_widget;

// The pages as a configuration file, and a file held against the pages: in simple mode through
// the value store, in expert mode through the inputs of each command's first block by position
// (a reply fills only that block, and so does a file).

// Every command the pages know, each position as the pages show it: the tracker's value, the
// user's edit, or the profile's default where neither exists.
tracker_configuration configuration_from_pages(const tab_xml_widget& pages,
                                               const QString& profile_name);

// One position where the file holds another value than the pages show.
struct configuration_row
{
    int tab = 0;
    QString page;
    QString label;
    QString key;
    int position = 0;
    QString shown_text; // as the input shows it: an option's text rather than its code
    QString wanted_text;
    QString wanted;
    QWidget* input = nullptr; // the input that shows the position
    value_verdict refusal;    // why the file's value may not be written
};

struct page_comparison
{
    QList<configuration_row> rows;      // positions the pages write
    QList<configuration_row> read_only; // positions the pages show but never write
    QList<configuration_row> refused;   // values the check refuses: never applied
    QStringList unknown;                // keys and positions the pages do not know
};

page_comparison compare_with_pages(const tab_xml_widget& pages,
                                   const tracker_configuration& configuration);

// The rows become the user's edits, shown in the inputs and marked: simple mode writes them at
// the next save, expert mode when the user sets their blocks.
void apply_rows(tab_xml_widget& pages, const QList<configuration_row>& rows);
