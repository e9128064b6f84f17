#pragma once

#include <QList>
#include <QString>

// Plain records of the command profile, read without any widget so that the pages, the tests,
// the fuzzer and the tools share one reading of the file.
//
// Values are kept as the program uses them: texts that the pages show as rich text or put into
// command strings are HTML-escaped where noted, flags are true only for the exact text "true",
// numbers that are missing or not numbers read as 0 (the multiplier as 1.0). Kinds are parsed
// once, here; the texts stay beside them for the records whose names show them.

enum class parameter_kind
{
    integer,
    string,
    option,
    splitter, // simple pages: a separator line; expert pages build nothing for it
    other
};

enum class display_kind
{
    number, // a scaled decimal number: every "display_as" not named below
    binary,
    hex,
    coord,
    select,
    splitter
};

struct profile_option
{
    QString value; // as written; expert pages read it as an integer
    QString text;
};

// One "parameter" of either mode: expert pages use readonly, simple pages read, write and master.
struct profile_parameter
{
    QString type; // as written
    parameter_kind kind = parameter_kind::other;
    QString description;
    bool readonly = false;
    int minvalue = 0;
    int maxvalue = 0;
    QString defaultvalue;
    bool has_maxlen = false; // "maxlen" is present and not empty
    int maxlen = 0;
    QString read;  // ";"-separated entries "+NAME,#n"
    QString write; // the same, or "none"
    bool master = false;
    bool identity = false; // "identity" is "true": its value tells one tracker from another
    QList<profile_option> options;
};

struct profile_command
{
    QString command;     // escaped
    QString description; // escaped
    bool master = false;
    bool polldata = false;
    QList<profile_parameter> parameters;
};

// Expert pages fill commands, simple pages parameters.
struct profile_page
{
    QString id;   // escaped
    QString name; // escaped
    QList<profile_command> commands;
    QList<profile_parameter> parameters;
};

// One layout of the binary device-state record.
struct profile_rawdata
{
    int id = 0;
    QString schema; // escaped
};

// What the track takes a display for: the attribute role="lat", "lon" or "course". A profile that
// marks no coordinate takes its first "coord" display for the latitude, its second for the
// longitude.
enum class display_role
{
    none,
    latitude,
    longitude,
    course
};

struct profile_display_option
{
    QString id;   // escaped
    QString text; // escaped
};

// One line of the device-state page.
struct profile_display
{
    QString field; // escaped
    QString comment;
    QString unit;       // escaped
    QString display_as; // escaped
    display_kind kind = display_kind::number;
    float multiplier = 1.0f;
    float valid_range_min = 0.0f;
    float valid_range_max = 0.0f;
    display_role role = display_role::none;
    QList<profile_display_option> options;
};

// One column of the device-state page.
struct profile_column
{
    QList<profile_display> displays;
};

// The device-state page has three columns; later "row" elements are left out.
constexpr int device_state_columns = 3;
