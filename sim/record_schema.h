#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The layout of one device-state record as a profile schema gives it ("LLSC|lat,lon,speed,sats":
// type tokens L u32, S u16, C u8, Z fixed-width string, each with an optional count, then the
// field names), and the packing of values into a record of that layout. The simulator reads
// schemas and lays out records with its own table of value types, so that a fault in the
// configurator's decoder cannot be mirrored here.
class record_schema
{
public:
    struct field
    {
        char type = 'L';
        int count = 1; // values of L, S, C; bytes of Z
        QString name;
    };

    // The values of one field: count numbers for L, S and C, the text of a Z field.
    struct value
    {
        QList<quint32> numbers;
        QByteArray text;
    };

    // False, with error, for a types part that the configurator would not read to its end (a
    // character that is not a type letter, a count without a letter, a token over 15
    // characters). Counts are kept modulo 65536, as the record format keeps them.
    static bool parse(const QString& text, record_schema& schema, QString& error);

    const QList<field>& fields() const { return items; }
    // The largest number a value of the type holds, 0 for a type that holds text.
    static quint32 max_number(char type);

    // Packs one value per field, little-endian; missing numbers are 0, a Z text is cut to its
    // width and padded with zero bytes.
    QByteArray encode(const QList<value>& values) const;

private:
    QList<field> items;
};
