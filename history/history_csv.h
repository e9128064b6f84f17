#pragma once

#include "state_history.h"

#include <QByteArray>
#include <QList>

class QTimeZone;

// The samples of the given fields from from_ms to to_ms as CSV, ready to be written to a file:
// UTF-8 with a byte order mark (spreadsheets then read the Russian header right), a header
// "Время" and each field's title, then one row per time in order. Fields that share a time (one
// line carries them) share a row; a field without a sample at that time has an empty cell.
// Times are local to zone, "2026-12-07 17:05:09.123"; numbers have six significant digits and a
// "." whatever the locale, as the device-state page shows them.
QByteArray history_csv(const state_history& history, const QList<int>& fields, qint64 from_ms,
                       qint64 to_ms, const QTimeZone& zone);
