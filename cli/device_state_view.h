#pragma once

#include "device_state_values.h"
#include "profile_records.h"

#include <QHash>
#include <QList>
#include <QString>

#include <vector>

// The device-state page without widgets: takes the tracker's device-state lines, decodes each
// with the profile's record layout of its id, and gives every value line of the page the text
// the page would show.
class device_state_view
{
public:
    device_state_view(const QList<profile_rawdata>& layouts, const QList<profile_column>& columns);

    // False when the line names no layout of the profile (the page would not change either).
    bool take_line(const QString& line);

    struct shown_value
    {
        QString field;
        QString label; // the line's comment
        QString unit;
        QString text;
        bool has_value = false; // a record has carried the field
    };
    // Every value line, in page order; separators are left out.
    QList<shown_value> shown() const;
    QStringList fields() const;

private:
    QString text_of(const profile_display& display) const;

    QList<profile_rawdata> rawdata;
    QList<profile_display> displays;
    QList<field_value> values;
    QHash<QString, int> value_index;
    std::vector<char> decode_buffer;
};
