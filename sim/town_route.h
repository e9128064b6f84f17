#pragma once

#include <QList>
#include <QtGlobal>

// A delivery round through a small town, driven again and again: streets with their speed
// limits, slowing down for every corner, and stops at which the driver turns the ignition off
// and opens the door while the supply voltage sags. Speeds and stops come from a seed, and the
// vehicle's state is a function of time alone, so that every run and every test sees the same
// drive.
class town_route
{
public:
    struct state
    {
        double east_m = 0.0; // from the town centre
        double north_m = 0.0;
        double speed_kmh = 0.0;
        double course_deg = 0.0; // clockwise from north, 0 to 360
        bool ignition = false;
        bool door_open = false;
        double supply_v = 0.0;  // the vehicle's supply, as the tracker measures it
        double battery_v = 0.0; // the tracker's own battery
    };

    static constexpr quint32 default_seed = 20261207;
    explicit town_route(quint32 seed = default_seed);

    state at(double seconds) const;
    double round_seconds() const { return round_length_s; }

    static double latitude(const state& where);
    static double longitude(const state& where);

private:
    struct phase
    {
        double start_s = 0.0;
        int leg = 0;       // the street driven, or the one that ended at the stop
        bool stop = false; // a stop, not a drive
        // A drive: entry, cruising and exit speed (m/s) and how long it accelerates, cruises
        // and brakes.
        double entry = 0.0, cruise = 0.0, exit = 0.0;
        double accelerating_s = 0.0, cruising_s = 0.0, braking_s = 0.0;
        // A stop: when, from its start, the ignition goes off, the door opens and closes, and
        // the engine starts again.
        double off_s = 0.0, door_from_s = 0.0, door_to_s = 0.0, engine_start_s = 0.0;
        double duration_s = 0.0;
    };

    struct leg
    {
        double from_east, from_north;
        double length_m;
        double bearing_deg;
        double turn_in_deg;  // turned over its first metres
        double turn_out_deg; // turned over its last metres
    };

    void plan_legs();
    void plan_phases();
    phase drive(int index, double entry, double exit, double cruise) const;
    double noise(double seconds, int channel) const;
    void drive_state(const phase& drive, double into_s, state& now) const;
    void stop_state(const phase& stop, double into_s, double seconds, state& now) const;

    QList<leg> legs;
    QList<phase> phases;
    double round_length_s = 0.0;
    quint32 seed;
};
