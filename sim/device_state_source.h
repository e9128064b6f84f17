#pragma once

#include "record_schema.h"
#include "sim_profile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The simulated tracker's live state: plausible values for every field of the profile's record
// layouts, chosen from how the configurator shows each field, and moving on at every tick (the
// position drifts, speed and voltages wander, selections and bit patterns change).
class device_state_source
{
public:
    // Layouts whose schema cannot be read are left out; warnings names them.
    device_state_source(const QList<record_layout>& sources, const QList<field_display>& shown);

    bool has_records() const { return !layouts.isEmpty(); }
    QStringList warnings() const { return problems; }

    // The next device-state line "$SD,<id>,<base64 record>", layouts taken in turn; every call
    // is one tick further on.
    QByteArray next_line();

    // The pieces, for tests: a layout's schema, its record at a tick, and the value chosen for
    // one field at a tick.
    const record_schema& layout_schema(int index) const { return layouts[index].schema; }
    QByteArray record(int index, int tick) const;
    record_schema::value field_value(const record_schema::field& field, int tick) const;

private:
    struct layout
    {
        int id;
        record_schema schema;
    };

    const field_display* display_of(const QString& field) const;

    QList<layout> layouts;
    QList<field_display> displays;
    QStringList problems;
    int next_tick = 0;
};
