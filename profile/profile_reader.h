#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QDomDocument;

// Plain records of the command profile, read without any widget so that the pages, the tests,
// the fuzzer and the simulated tracker share one reading of the file.
//
// Values are kept as the program uses them: texts that the pages show as rich text or put into
// command strings are HTML-escaped where noted, flags are true only for the exact text "true",
// numbers that are missing or not numbers read as 0 (the multiplier as 1.0).

struct option_spec
{
    QString value; // as written; expert pages read it as an integer
    QString text;
};

// One "parameter" of either mode: expert pages use readonly, simple pages read, write and master.
struct parameter_spec
{
    QString type;
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
    QList<option_spec> options;
};

struct command_spec
{
    QString command;     // escaped
    QString description; // escaped
    bool master = false;
    bool polldata = false;
    QList<parameter_spec> parameters;
};

// Expert pages fill commands, simple pages parameters.
struct page_spec
{
    QString id;   // escaped
    QString name; // escaped
    QList<command_spec> commands;
    QList<parameter_spec> parameters;
};

struct rawdata_spec
{
    int id = 0;
    QString schema; // escaped
};

struct display_option_spec
{
    QString id;   // escaped
    QString text; // escaped
};

struct display_spec
{
    QString field; // escaped
    QString comment;
    QString unit;       // escaped
    QString display_as; // escaped
    float multiplier = 1.0f;
    float valid_range_min = 0.0f;
    float valid_range_max = 0.0f;
    QList<display_option_spec> options;
};

// One column of the device-state page.
struct row_spec
{
    QList<display_spec> displays;
};

// The device-state page has three columns; later "row" elements are left out.
constexpr int device_state_columns = 3;

// File readers. On failure error holds the text the user must see and the lists are untouched.
bool read_mode_pages(const QString& path, bool simple_mode, QList<page_spec>& pages,
                     QString& error);
bool read_device_state(const QString& path, QList<rawdata_spec>& rawdata, QList<row_spec>& rows,
                       QString& error);

// The same reading in steps, for callers that hold the bytes or the parsed document.
bool parse_profile(const QByteArray& data, QDomDocument& document, QString& error);
QList<page_spec> mode_pages(const QDomDocument& document, bool simple_mode);
QList<rawdata_spec> rawdata_specs(const QDomDocument& document);
// Empty when the document has no "rawdata": the rows then describe no page.
QList<row_spec> row_specs(const QDomDocument& document);
