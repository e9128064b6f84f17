#pragma once

#include "device_state_values.h"
#include "profile_records.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <optional>
#include <vector>

// The track of the device state without widgets: where the coordinates are in a record, the
// projection to metres, the grid and scale bar for a zoom, and the history of positions.

struct geo_point
{
    double latitude = 0.0; // degrees
    double longitude = 0.0;
};

// The displays the track reads, by their roles in the profile; an empty name: not in it.
struct track_fields
{
    QString latitude;
    QString longitude;
    QString course;
    float latitude_multiplier = 1.0f;
    float longitude_multiplier = 1.0f;
    float course_multiplier = 1.0f;
};
track_fields track_fields_of(const QList<profile_column>& columns);

// What the latest record says of the position: none before any coordinate or while the tracker
// has no fix; the course when the profile has one and the record carries it.
struct track_state
{
    std::optional<geo_point> position;
    std::optional<double> course; // degrees clockwise from north
};
track_state track_state_of(const QList<field_value>& values, const track_fields& fields);

// The position on OpenStreetMap's site, centred and marked.
QString map_address(const geo_point& point, int zoom = 17);

// Metres east (x) and north (y) of a reference point. An equirectangular projection: over the
// few kilometres of a drive its error is far below what a screen shows.
QPointF metres_from(const geo_point& reference, const geo_point& point);

// The grid spacing and scale bar length for a zoom, in metres: a round length (1, 2 or 5 times
// a power of ten). The grid takes the shortest one at least min_pixels apart, the scale bar the
// longest one within max_pixels.
double grid_step(double metres_per_pixel, double min_pixels);
double scale_bar_length(double metres_per_pixel, double max_pixels);

// The positions of the last hour at ten records a second, in a buffer of fixed size: the oldest
// are overwritten, so a link left open for days keeps the same memory. A position equal to the
// newest is not kept again: a van standing at a stop adds nothing.
class track_history
{
public:
    static constexpr int default_capacity = 36000;
    explicit track_history(int capacity = default_capacity);

    void add(const geo_point& point);
    void clear();
    int size() const { return count; }
    int capacity() const { return int(points.size()); }
    const geo_point& at(int i) const; // 0 is the oldest kept
    // The first position ever added since the last clear: the projection's reference.
    const geo_point& reference() const { return origin; }

private:
    std::vector<geo_point> points;
    int first = 0;
    int count = 0;
    geo_point origin;
};
