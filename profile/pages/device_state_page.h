#pragma once

#include "profile_records.h"

#include <QList>
#include <QString>

class tab_xml_widget;
struct t_display_field;

// The device-state page: three columns of labelled, read-only value lines, filled from the
// decoded device-state records.

// Appends the page as the owner's last tab, with its record layouts, columns and value lines.
void build_device_state_page(tab_xml_widget& owner, const QList<profile_rawdata>& rawdata,
                             const QList<profile_column>& columns);

// A selection shows the item carrying text, else the "default" item, else none; a line its text.
void show_text(const t_display_field& display, const QString& text);

// Values that no longer come from a connected tracker are greyed out, with the reason in their
// tooltips, until the next device-state line.
void mark_device_state_stale(tab_xml_widget& owner, bool stale);
