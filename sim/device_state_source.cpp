#include "device_state_source.h"

#include <cmath>

namespace {

const QString coord_display = QStringLiteral("coord");
const QString select_display = QStringLiteral("select");
const QString binary_display = QStringLiteral("binary");
const QString hex_display = QStringLiteral("hex");
constexpr double uptime_at_start_s = 5 * 3600;

struct span
{
    double low;
    double high;
};

bool named(const QString& name, const char* part)
{
    return name.contains(QLatin1String(part), Qt::CaseInsensitive);
}

// A smooth wander through the middle of [0, 1], different per field and per value.
double wander(const QString& name, int index, double seconds)
{
    const double phase = double(qHash(name) % 628) / 100.0 + index;
    return 0.5 + 0.35 * std::sin(0.4 * seconds + phase);
}

// Where a field's value plausibly lies when the profile gives no valid range.
span usual_span(const QString& name)
{
    if (named(name, "sat")) {
        return {4.0, 14.0};
    }
    if (named(name, "temp")) {
        return {18.0, 32.0};
    }
    if (named(name, "gsm") || named(name, "level") || named(name, "signal")) {
        return {5.0, 31.0};
    }
    if (named(name, "alt")) {
        return {120.0, 180.0};
    }
    return {0.0, 100.0};
}

// What the van measures for a field of that name; false for a field the drive does not show.
bool driven_value(const QString& name, const town_route::state& vehicle, double& value)
{
    if (named(name, "speed")) {
        value = vehicle.speed_kmh;
    } else if (named(name, "course") || named(name, "heading")) {
        value = vehicle.course_deg;
    } else if (named(name, "batt")) {
        value = vehicle.battery_v;
    } else if (named(name, "volt") || named(name, "power")) {
        value = vehicle.supply_v;
    } else {
        return false;
    }
    return true;
}

// A 15-digit number whose last digit is the Luhn check digit, as a real IMEI has.
QByteArray imei()
{
    const QByteArray body("35693803564380");
    int sum = 0;
    for (int k = 0; k < body.size(); ++k) {
        int digit = body[body.size() - 1 - k] - '0';
        if (k % 2 == 0) {
            digit *= 2;
            digit = digit > 9 ? digit - 9 : digit;
        }
        sum += digit;
    }
    return body + char('0' + (10 - sum % 10) % 10);
}

QByteArray text_for(const QString& name)
{
    if (named(name, "imei")) {
        return imei();
    }
    if (named(name, "firm") || named(name, "version")) {
        return QByteArrayLiteral("2.4.17");
    }
    return QByteArrayLiteral("SIM");
}

quint32 bounded(double raw, char type)
{
    const double top = record_schema::max_number(type);
    return quint32(qBound(0.0, raw, top));
}

double multiplier_of(const field_display* display)
{
    return display != nullptr && display->multiplier > 0.0 ? display->multiplier : 1.0;
}

bool has_valid_range(const field_display* display)
{
    return display != nullptr && (display->valid_min != 0.0 || display->valid_max != 0.0) &&
           display->valid_min <= display->valid_max;
}

// The raw number whose scaled value (raw times multiplier) is nearest to value inside range.
quint32 raw_within(double value, double multiplier, const span& range, char type)
{
    double raw = std::round(value / multiplier);
    if (raw * multiplier > range.high) {
        raw = std::floor(range.high / multiplier);
    }
    if (raw * multiplier < range.low) {
        raw = std::ceil(range.low / multiplier);
    }
    return bounded(raw, type);
}

// Degrees turned into the fraction of a turn the configurator multiplies back: the van's
// position, which a multiplier too small for it only turns into a number that moves.
quint32 coordinate(const QString& name, const field_display& display,
                   const town_route::state& vehicle)
{
    const double degrees =
        named(name, "lon") ? town_route::longitude(vehicle) : town_route::latitude(vehicle);
    const double fraction = std::fmod(degrees / multiplier_of(&display), 1.0);
    return quint32(qMin(fraction * 4294967296.0, 4294967294.0));
}

// The inputs a tracker in a van has wired: the ignition, and a door.
quint32 inputs(const town_route::state& vehicle)
{
    return (vehicle.ignition ? 1u : 0u) | (vehicle.door_open ? 2u : 0u);
}

quint32 selection(const QString& name, const field_display& display, int second,
                  const town_route::state& vehicle)
{
    QList<quint32> ids;
    for (const QString& text : display.option_ids) {
        bool ok = false;
        const uint id = text.toUInt(&ok);
        if (ok) {
            ids.append(id);
        }
    }
    // A state lists parked first and driving next, as the sample profile does.
    if ((named(name, "status") || named(name, "state")) && ids.size() >= 2) {
        return ids[vehicle.speed_kmh > 0.0 ? 1 : 0];
    }
    return ids.isEmpty() ? 0 : ids[(second / 3) % ids.size()];
}

quint32 bit_pattern(char type, int index, int second)
{
    const int bits = type == 'L' ? 32 : (type == 'S' ? 16 : 8);
    return (0x5u << ((second + index) % (bits - 2))) & record_schema::max_number(type);
}

// A raw number whose scaled value (raw times multiplier) lies inside the valid range when the
// profile gives one, and inside the usual span of such a field as far as the range allows.
quint32 scaled(const QString& name, const field_display* display, char type, int index,
               double seconds)
{
    span range = usual_span(name);
    if (has_valid_range(display)) {
        // The usual span where the valid range allows it: a range of 0 to 9000 m says little
        // about where a car's altitude lies.
        const span valid{qMax(0.0, display->valid_min), display->valid_max};
        const span usual{qMax(range.low, valid.low), qMin(range.high, valid.high)};
        range = usual.low <= usual.high ? usual : valid;
    }
    const double target = range.low + (range.high - range.low) * wander(name, index, seconds);
    return raw_within(target, multiplier_of(display), range, type);
}

// A measured value as a raw number, inside the valid range when the profile gives one.
quint32 measured(double value, const field_display* display, char type)
{
    const double multiplier = multiplier_of(display);
    const span range = has_valid_range(display)
                           ? span{qMax(0.0, display->valid_min), display->valid_max}
                           : span{0.0, record_schema::max_number(type) * multiplier};
    return raw_within(value, multiplier, range, type);
}

} // namespace

device_state_source::device_state_source(const QList<record_layout>& sources,
                                         const QList<field_display>& shown, double seconds_per_tick)
    : displays(shown), tick_seconds(seconds_per_tick)
{
    for (const record_layout& source : sources) {
        record_schema schema;
        QString error;
        if (record_schema::parse(source.schema, schema, error)) {
            layouts.append({source.id, schema});
        } else {
            problems.append(error);
        }
    }
}

const field_display* device_state_source::display_of(const QString& field) const
{
    for (const field_display& display : displays) {
        if (display.field == field) {
            return &display;
        }
    }
    return nullptr;
}

record_schema::value device_state_source::field_value(const record_schema::field& field,
                                                      int tick) const
{
    record_schema::value value;
    if (field.type == 'Z') {
        value.text = text_for(field.name);
        return value;
    }
    const field_display* display = display_of(field.name);
    const QString shown_as = display != nullptr ? display->display_as : QString();
    // Everything moves with the time, not the line, so that a short interval shows the same
    // values more finely. The values of an array are taken at successive ticks.
    const double seconds = tick * tick_seconds;
    for (int k = 0; k < field.count; ++k) {
        const double at_s = (tick + k) * tick_seconds;
        const town_route::state vehicle = route.at(at_s);
        double reading = 0.0;
        if (shown_as == coord_display) {
            value.numbers.append(coordinate(field.name, *display, vehicle));
        } else if (shown_as == select_display) {
            value.numbers.append(selection(field.name, *display, int(at_s), vehicle));
        } else if (shown_as == binary_display && named(field.name, "input")) {
            value.numbers.append(inputs(vehicle) & record_schema::max_number(field.type));
        } else if (shown_as == binary_display || shown_as == hex_display) {
            value.numbers.append(bit_pattern(field.type, k, int(seconds)));
        } else if (named(field.name, "uptime")) {
            // Counted in seconds, as trackers count it, from a start a few hours ago.
            value.numbers.append(bounded(uptime_at_start_s + at_s, field.type));
        } else if (driven_value(field.name, vehicle, reading)) {
            value.numbers.append(measured(reading, display, field.type));
        } else {
            value.numbers.append(scaled(field.name, display, field.type, k, seconds));
        }
    }
    return value;
}

QByteArray device_state_source::record(int index, int tick) const
{
    const record_schema& schema = layouts[index].schema;
    QList<record_schema::value> values;
    for (const record_schema::field& field : schema.fields()) {
        values.append(field_value(field, tick));
    }
    return schema.encode(values);
}

QByteArray device_state_source::next_line()
{
    if (layouts.isEmpty()) {
        return QByteArray();
    }
    const int index = next_tick % layouts.size();
    const QByteArray line =
        "$SD," + QByteArray::number(layouts[index].id) + ',' + record(index, next_tick).toBase64();
    ++next_tick;
    return line;
}
