#pragma once

#include "profile_records.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVector>

// What a chart may plot of the device state: the page's number displays whose field a record
// layout carries as one number. Coordinates belong to the track; bit fields, codes, strings and
// lists of numbers have no meaningful line.
struct plot_field
{
    QString name;  // the field in the records, as the decoder names it
    QString label; // the display's comment, plain text
    QString unit;  // plain text, may be empty
    double multiplier = 1.0;
    bool has_range = false; // the profile gives a valid range
    double range_min = 0.0;
    double range_max = 0.0;
};

// "Скорость, км/ч", or the label alone without a unit.
QString plot_title(const plot_field& field);

struct plot_catalogue
{
    QList<plot_field> fields;           // in the page's order, each field once
    QHash<int, QVector<int>> by_layout; // layout id -> the positions in fields it carries
};

plot_catalogue plot_catalogue_of(const QList<profile_rawdata>& rawdata,
                                 const QList<profile_column>& columns);
