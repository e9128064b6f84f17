#pragma once

#include <QByteArray>

// The seven ASCII digits that bring a tracker from data mode into command mode. Assembled at run
// time, so the code never stands as one literal in the program image.
QByteArray tracker_access_code();
