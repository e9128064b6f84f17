#pragma once

#include "record_schema.h"
#include "sim_profile.h"
#include "town_route.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The simulated tracker's live state: plausible values for every field of the profile's record
// layouts, chosen from how the configurator shows each field and from the field's name, and
// moving on at every tick. A van drives a round through a town (town_route): position, speed,
// course, supply and battery voltage, the inputs (bit 0 the ignition, bit 1 a door) and a
// parked or driving state follow it; other numbers wander, selections and bit patterns change.
class device_state_source
{
public:
    // Layouts whose schema cannot be read are left out; warnings names them. Every tick is
    // seconds_per_tick of driving.
    device_state_source(const QList<record_layout>& sources, const QList<field_display>& shown,
                        double seconds_per_tick = 1.0);

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
    town_route route;
    double tick_seconds;
    QStringList problems;
    int next_tick = 0;
};
