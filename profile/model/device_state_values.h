#pragma once

#include "profile_records.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <vector>

// The decoded device-state values and how a value line shows them; no widgets, so that the
// decoding and formatting are tested and measured alone.

// One decoded record field, kept by name across records.
struct field_value
{
    QString name;
    quint32 number = 0; // numeric fields
    QString text;       // "Z" string fields
};

// How one value line of the device-state page shows its field.
struct field_format
{
    display_kind kind = display_kind::number;
    float multiplier = 1.0f;
    float valid_range_min = 0.0f; // both 0: no range
    float valid_range_max = 0.0f;
};

// A coordinate is a binary fraction of its multiplier; all bits set means no fix.
constexpr quint32 no_fix_coordinate = 0xFFFFFFFFu;
double coordinate_degrees(quint32 number, float multiplier);

// The decoder's text for a record: entries  name "," token ":" values ";"  in schema order.
// The whole text is returned, however long the record makes it. buffer is the decoder's output
// room; it grows when a text does not fit, and a caller that keeps it pays for that once.
QByteArray decode_record_text(const QByteArray& schema, const QByteArray& record,
                              std::vector<char>& buffer);
QByteArray decode_record_text(const QByteArray& schema, const QByteArray& record);

// Stores every entry of a decoded text into values (updated in place by name, appended when
// new); index maps names to positions in values and is kept in step with it.
void store_decoded_fields(const QString& decoded, QList<field_value>& values,
                          QHash<QString, int>& index);

// The text a value line shows: "Нет данных" without a value, the string of a string field,
// otherwise the number formatted as the line asks, or "недействительны" when out of range.
// Decimal points are "." whatever the locale.
QString format_field(const field_value* value, const field_format& format);
