#include "track_geometry.h"

#include <QtMath>

#include <cmath>

namespace {

constexpr double earth_radius = 6371008.8; // metres, the mean radius

const field_value* find_value(const QList<field_value>& values, const QString& name)
{
    if (name.isEmpty()) {
        return nullptr;
    }
    for (const field_value& value : values) {
        if (value.name == name) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<double> coordinate_of(const QList<field_value>& values, const QString& name,
                                    float multiplier)
{
    const field_value* value = find_value(values, name);
    if (!value || !value->text.isEmpty() || value->number == no_fix_coordinate) {
        return std::nullopt;
    }
    return coordinate_degrees(value->number, multiplier);
}

// 1, 2 or 5 times a power of ten, at least metres; or at most metres when below is true.
double round_length(double metres, bool below)
{
    if (!(metres > 0.0) || !std::isfinite(metres)) {
        return 1.0;
    }
    const double power = std::pow(10.0, std::floor(std::log10(metres)));
    const double steps[] = {1.0, 2.0, 5.0, 10.0};
    if (below) {
        double best = power;
        for (double step : steps) {
            if (step * power <= metres * (1.0 + 1e-12)) {
                best = step * power;
            }
        }
        return best;
    }
    for (double step : steps) {
        if (step * power >= metres * (1.0 - 1e-12)) {
            return step * power;
        }
    }
    return 10.0 * power;
}

} // namespace

track_fields track_fields_of(const QList<profile_column>& columns)
{
    track_fields fields;
    for (const profile_column& column : columns) {
        for (const profile_display& display : column.displays) {
            switch (display.role) {
            case display_role::latitude:
                fields.latitude = display.field;
                fields.latitude_multiplier = display.multiplier;
                break;
            case display_role::longitude:
                fields.longitude = display.field;
                fields.longitude_multiplier = display.multiplier;
                break;
            case display_role::course:
                fields.course = display.field;
                fields.course_multiplier = display.multiplier;
                break;
            case display_role::none:
                break;
            }
        }
    }
    return fields;
}

track_state track_state_of(const QList<field_value>& values, const track_fields& fields)
{
    track_state state;
    const auto latitude = coordinate_of(values, fields.latitude, fields.latitude_multiplier);
    const auto longitude = coordinate_of(values, fields.longitude, fields.longitude_multiplier);
    if (!latitude || !longitude) {
        return state;
    }
    state.position = geo_point{*latitude, *longitude};
    const field_value* course = find_value(values, fields.course);
    if (course && course->text.isEmpty()) {
        state.course = std::fmod(double(course->number) * double(fields.course_multiplier), 360.0);
    }
    return state;
}

QString map_address(const geo_point& point, int zoom)
{
    const QString lat = QString::number(point.latitude, 'f', 5);
    const QString lon = QString::number(point.longitude, 'f', 5);
    return QStringLiteral("https://www.openstreetmap.org/?mlat=%1&mlon=%2#map=%3/%1/%2")
        .arg(lat, lon, QString::number(zoom));
}

QPointF metres_from(const geo_point& reference, const geo_point& point)
{
    const double east = qDegreesToRadians(point.longitude - reference.longitude) *
                        std::cos(qDegreesToRadians(reference.latitude));
    const double north = qDegreesToRadians(point.latitude - reference.latitude);
    return {earth_radius * east, earth_radius * north};
}

double grid_step(double metres_per_pixel, double min_pixels)
{
    return round_length(metres_per_pixel * min_pixels, false);
}

double scale_bar_length(double metres_per_pixel, double max_pixels)
{
    return round_length(metres_per_pixel * max_pixels, true);
}

track_history::track_history(int capacity) : points(std::size_t(qMax(1, capacity))) {}

void track_history::add(const geo_point& point)
{
    if (count == 0) {
        origin = point;
    } else if (at(count - 1).latitude == point.latitude &&
               at(count - 1).longitude == point.longitude) {
        return;
    }
    const int slot = (first + count) % capacity();
    points[std::size_t(slot)] = point;
    if (count < capacity()) {
        ++count;
    } else {
        first = (first + 1) % capacity();
    }
}

void track_history::clear()
{
    first = 0;
    count = 0;
}

const geo_point& track_history::at(int i) const
{
    return points[std::size_t((first + i) % capacity())];
}
