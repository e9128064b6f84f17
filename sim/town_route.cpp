#include "town_route.h"

#include <algorithm>
#include <cmath>

namespace {

struct corner
{
    double east_m;
    double north_m;
    int limit_kmh; // on the street from this corner to the next
    bool stop;     // the van stops here when it arrives
};

// The round, from the depot and back: a main street north, a bend through the old town, the
// boulevard east, down the ring road and back through the south side.
constexpr corner round_corners[] = {
    {0, 0, 50, true},        // the depot, where every round ends
    {25, 320, 50, true},     // the first delivery, on the main street
    {40, 650, 40, false},    // into the old town
    {-150, 820, 40, false},  // the church square
    {-170, 1150, 60, false}, // onto the boulevard
    {350, 1170, 60, true},   // the market
    {900, 1100, 50, false},  // the ring road
    {910, 600, 40, false},   // the school zone
    {640, 380, 40, true},    // the clinic
    {630, 0, 50, false},     // the south side
    {300, -150, 50, false},  // back towards the depot
};
constexpr int corner_count = int(sizeof round_corners / sizeof round_corners[0]);

constexpr double centre_lat = 55.7558;
constexpr double centre_lon = 37.6173;
constexpr double metres_per_degree = 111320.0;
constexpr double pi = 3.14159265358979323846;

constexpr double accelerate = 1.4; // m/s², a loaded van
constexpr double brake = 1.8;
constexpr double turn_metres = 10.0; // the course turns over this much road either side
constexpr double moving_kmh = 3.0;   // below this a receiver's course is noise

double metres_per_second(double kmh)
{
    return kmh / 3.6;
}

// The turn from one bearing to another, -180 to 180, positive to the right.
double turn_between(double from_deg, double to_deg)
{
    double turn = std::fmod(to_deg - from_deg + 540.0, 360.0) - 180.0;
    return turn == -180.0 ? 180.0 : turn;
}

// How fast a van takes a corner: hardly slower for a bend, at walking pace for a hairpin.
double corner_kmh(double turn_deg)
{
    const double turn = std::abs(turn_deg);
    return turn < 15.0 ? 45.0 : turn < 50.0 ? 30.0 : turn < 100.0 ? 20.0 : 12.0;
}

quint32 mixed(quint32 key)
{
    key ^= key >> 16;
    key *= 0x7feb352dU;
    key ^= key >> 15;
    key *= 0x846ca68bU;
    key ^= key >> 16;
    return key;
}

} // namespace

town_route::town_route(quint32 round_seed) : seed(round_seed)
{
    plan_legs();
    plan_phases();
}

void town_route::plan_legs()
{
    for (int k = 0; k < corner_count; ++k) {
        const corner& from = round_corners[k];
        const corner& to = round_corners[(k + 1) % corner_count];
        const double east = to.east_m - from.east_m;
        const double north = to.north_m - from.north_m;
        const double bearing = std::fmod(std::atan2(east, north) * 180.0 / pi + 360.0, 360.0);
        legs.append({from.east_m, from.north_m, std::hypot(east, north), bearing, 0.0, 0.0});
    }
    // A corner is turned half before it and half after; at a stop the van pulls up straight and
    // turns all of it when it drives off.
    for (int k = 0; k < corner_count; ++k) {
        leg& before = legs[k];
        leg& after = legs[(k + 1) % corner_count];
        const double turn = turn_between(before.bearing_deg, after.bearing_deg);
        const bool stop = round_corners[(k + 1) % corner_count].stop;
        before.turn_out_deg = stop ? 0.0 : turn / 2.0;
        after.turn_in_deg = stop ? turn : turn / 2.0;
    }
}

void town_route::plan_phases()
{
    double clock = 0.0;
    double entry = 0.0; // the round starts and ends standing at the depot
    for (int k = 0; k < corner_count; ++k) {
        const int next = (k + 1) % corner_count;
        const double limit = round_corners[k].limit_kmh;
        const double turn = turn_between(legs[k].bearing_deg, legs[next].bearing_deg);
        const double exit =
            round_corners[next].stop
                ? 0.0
                : std::min({corner_kmh(turn), limit, double(round_corners[next].limit_kmh)});
        // Drivers keep a little under the limit, each street by another margin.
        const double cruise = limit - 2.0 - 7.0 * double(mixed(seed + 2 * k)) / 4294967296.0;
        phase driven =
            drive(k, metres_per_second(entry), metres_per_second(exit), metres_per_second(cruise));
        driven.start_s = clock;
        clock += driven.duration_s;
        phases.append(driven);
        entry = exit;
        if (!round_corners[next].stop) {
            continue;
        }
        phase stop;
        stop.stop = true;
        stop.leg = k;
        stop.start_s = clock;
        const double share = double(mixed(seed + 2 * k + 1)) / 4294967296.0;
        stop.duration_s = std::floor(24.0 + 30.0 * share);
        stop.off_s = 2.0;
        stop.door_from_s = 4.0;
        stop.door_to_s = stop.door_from_s + std::floor(5.0 + 8.0 * share);
        stop.engine_start_s = stop.duration_s - 5.0;
        clock += stop.duration_s;
        phases.append(stop);
    }
    round_length_s = clock;
}

// A speed profile along one street: up from the entry speed, cruising, down to the exit speed;
// a street too short to reach the cruising speed is driven as fast as it allows.
town_route::phase town_route::drive(int index, double entry, double exit, double cruise) const
{
    const double length = legs[index].length_m;
    const auto run_up = [](double from, double to, double rate) {
        return (to * to - from * from) / (2.0 * rate);
    };
    if (run_up(entry, cruise, accelerate) + run_up(exit, cruise, brake) > length) {
        cruise = std::sqrt(
            (2.0 * accelerate * brake * length + brake * entry * entry + accelerate * exit * exit) /
            (accelerate + brake));
    }
    phase driven;
    driven.leg = index;
    driven.entry = entry;
    driven.cruise = cruise;
    driven.exit = exit;
    driven.accelerating_s = (cruise - entry) / accelerate;
    driven.braking_s = (cruise - exit) / brake;
    const double cruising_m =
        length - run_up(entry, cruise, accelerate) - run_up(exit, cruise, brake);
    driven.cruising_s = std::max(0.0, cruising_m) / cruise;
    driven.duration_s = driven.accelerating_s + driven.cruising_s + driven.braking_s;
    return driven;
}

// A receiver's and a voltmeter's jitter: -0.5 to 0.5, the same for a whole second.
double town_route::noise(double seconds, int channel) const
{
    const quint32 second = quint32(qint64(std::floor(seconds)));
    return double(mixed(seed ^ (second * 0x9e3779b9U) ^ (quint32(channel) * 0x85ebca6bU))) /
               4294967296.0 -
           0.5;
}

town_route::state town_route::at(double seconds) const
{
    const double round_s = std::fmod(std::max(0.0, seconds), round_length_s);
    const auto after = std::upper_bound(phases.begin(), phases.end(), round_s,
                                        [](double t, const phase& p) { return t < p.start_s; });
    const phase& current = *(after - 1);
    state now;
    if (current.stop) {
        stop_state(current, round_s - current.start_s, seconds, now);
    } else {
        drive_state(current, round_s - current.start_s, now);
        now.supply_v = 14.1 + 0.12 * std::sin(seconds / 9.0) + 0.08 * noise(seconds, 1);
        now.battery_v = 4.16 + 0.02 * noise(seconds, 2);
    }
    if (now.speed_kmh >= moving_kmh) {
        now.speed_kmh += 1.6 * noise(seconds, 3);
        now.course_deg += 2.0 * noise(seconds, 4);
    } else if (now.speed_kmh < 1.0) {
        now.speed_kmh = 0.0; // a receiver holds a crawl as standing still
    }
    now.course_deg = std::fmod(now.course_deg + 360.0, 360.0);
    return now;
}

void town_route::drive_state(const phase& drive, double into_s, state& now) const
{
    const leg& street = legs[drive.leg];
    double travelled = 0.0;
    double speed = 0.0;
    const double cruising_from = drive.accelerating_s;
    const double braking_from = cruising_from + drive.cruising_s;
    if (into_s < cruising_from) {
        speed = drive.entry + accelerate * into_s;
        travelled = (drive.entry + speed) / 2.0 * into_s;
    } else if (into_s < braking_from) {
        speed = drive.cruise;
        travelled = (drive.entry + drive.cruise) / 2.0 * cruising_from +
                    drive.cruise * (into_s - cruising_from);
    } else {
        const double braked_s = std::min(into_s, drive.duration_s) - braking_from;
        speed = std::max(drive.exit, drive.cruise - brake * braked_s);
        travelled = street.length_m - (speed + drive.exit) / 2.0 * (drive.braking_s - braked_s);
    }
    travelled = std::clamp(travelled, 0.0, street.length_m);
    const double along = travelled / street.length_m;
    const leg& next = legs[(drive.leg + 1) % legs.size()];
    now.east_m = street.from_east + along * (next.from_east - street.from_east);
    now.north_m = street.from_north + along * (next.from_north - street.from_north);
    now.speed_kmh = speed * 3.6;
    now.course_deg = street.bearing_deg;
    if (travelled < turn_metres) {
        now.course_deg -= street.turn_in_deg * (1.0 - travelled / turn_metres);
    } else if (travelled > street.length_m - turn_metres) {
        now.course_deg +=
            street.turn_out_deg * (travelled - (street.length_m - turn_metres)) / turn_metres;
    }
    now.ignition = true;
}

// The ignition goes off, the supply falls to the battery's resting voltage and creeps down; the
// engine's start pulls it down for a moment before the alternator lifts it again.
void town_route::stop_state(const phase& stop, double into_s, double seconds, state& now) const
{
    const leg& next = legs[(stop.leg + 1) % legs.size()];
    now.east_m = next.from_east;
    now.north_m = next.from_north;
    now.course_deg = legs[stop.leg].bearing_deg;
    now.ignition = into_s < stop.off_s || into_s >= stop.engine_start_s;
    now.door_open = into_s >= stop.door_from_s && into_s < stop.door_to_s;
    const double off_for = into_s - stop.off_s;
    if (!now.ignition) {
        now.supply_v =
            12.45 + 0.45 * std::exp(-off_for / 6.0) - 0.0015 * off_for + 0.01 * noise(seconds, 1);
        now.battery_v = 4.14 - 0.0008 * off_for;
    } else if (into_s >= stop.engine_start_s && into_s < stop.engine_start_s + 1.0) {
        now.supply_v = 10.6 + 0.2 * noise(seconds, 1); // the starter turning
        now.battery_v = 4.12;
    } else {
        now.supply_v = 13.9 + 0.08 * noise(seconds, 1);
        now.battery_v = 4.16 + 0.02 * noise(seconds, 2);
    }
}

double town_route::latitude(const state& where)
{
    return centre_lat + where.north_m / metres_per_degree;
}

double town_route::longitude(const state& where)
{
    return centre_lon + where.east_m / (metres_per_degree * std::cos(centre_lat * pi / 180.0));
}
