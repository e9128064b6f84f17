#pragma once

#include "profile_reader.h"
#include "tracker_configuration.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The values of one unit from the station's CSV: its identity and the positions it gets apart
// from the configuration file.
struct unit_row
{
    QString identity;
    QList<configured_command> values; // one value per position named by a column
};

// What every tracker of a production run gets, read and checked before any port is opened: the
// configuration file, the values per unit, the position that tells units apart.
struct provisioning_plan
{
    QString profile_name;
    QList<profile_page> simple_pages;
    value_rules rules;
    command_frame frame; // the passwords the set commands go out with
    tracker_configuration file;
    bool per_unit = false; // a CSV was given: a unit without a row gets nothing
    QHash<QString, unit_row> units;
    identity_position identity;
    bool force = false; // write even a unit recorded as verified with the same configuration

    // The file with the unit's row in place of the file's values, without the file's read-only
    // values; nothing for a unit without a row when a CSV was given.
    std::optional<tracker_configuration> configuration_for(const QString& identity) const;
};

// "+IMEI#1"; false when text names no position in that form.
bool parse_position(const QString& text, QString& key, int& position);

// The CSV: a column "identity" and one per position, named "+KEY#N". Fields may be quoted as in
// RFC 4180. False with error (naming the line) for a text that is no such table, a column the
// profile's simple mode does not write, or an identity given twice.
bool read_unit_values(const QByteArray& text, provisioning_plan& plan, QString& error);

// The CSV file into the plan, refused when larger than a configuration file may be.
bool read_unit_file(const QString& path, provisioning_plan& plan, QString& error);

// The identity position from what the installer gave ("+IMEI#1"); empty text takes the position
// the profile marks. Each front end words what went wrong.
enum class identity_choice
{
    taken,
    not_marked, // nothing given and the profile marks no position
    malformed,  // not in the form +KEY#N
    not_read    // the profile's simple mode reads no such position
};
identity_choice choose_identity(const QString& text, provisioning_plan& plan);

// Every value the plan would send, the file's and each unit's, through the check of values; each
// refusal is one line, "unit 8612...: +APN,#1 ... refused: contains a comma".
QStringList refused_in_plan(const provisioning_plan& plan);
