#pragma once

#include "profile_records.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QDomDocument;

// Reading the command profile into its plain records.

// A profile beyond either limit is refused as a file that cannot be parsed, before the DOM
// parser sees it.
constexpr int max_profile_depth = 1000;            // levels of nested elements
constexpr int max_profile_size = 16 * 1024 * 1024; // bytes

// File readers. On failure error holds the text the user must see and the lists are untouched.
bool read_mode_pages(const QString& path, bool simple_mode, QList<profile_page>& pages,
                     QString& error);
bool read_device_state(const QString& path, QList<profile_rawdata>& rawdata,
                       QList<profile_column>& columns, QString& error);

// The same reading in steps, for callers that hold the bytes or the parsed document.
bool parse_profile(const QByteArray& data, QDomDocument& document, QString& error);
QList<profile_page> mode_pages(const QDomDocument& document, bool simple_mode);
QList<profile_rawdata> rawdata_layouts(const QDomDocument& document);
// Empty when the document has no "rawdata": the rows then describe no page.
QList<profile_column> state_columns_of(const QDomDocument& document);

// The position whose value tells one tracker from another, such as its IMEI: the first
// parameter marked identity="true", by its first read entry on a simple page, by its block and
// place on an expert page. Older profiles mark none: key is then empty.
struct identity_position
{
    QString key; // "+IMEI"
    int position = 0;
};
identity_position find_identity(const QList<profile_page>& pages);
