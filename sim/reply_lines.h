#pragma once

#include "fault_settings.h"

#include <QByteArray>
#include <QList>

// The lines that carry one reply, each ending with the configured line end: first the noise
// lines and the over-long line that the faults ask for, then the reply itself. sd_line is the
// device-state line used as "$SD" noise.
QList<QByteArray> reply_lines(const QByteArray& reply, const fault_settings& faults,
                              const QByteArray& sd_line);

// A line of exactly length bytes that holds neither a reply nor a device-state marker.
QByteArray long_line(int length);
