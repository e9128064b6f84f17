#pragma once

#include <QLoggingCategory>

// The link's developer traces; switched off with QT_LOGGING_RULES="tracker.link.debug=false".
Q_DECLARE_LOGGING_CATEGORY(link_log)
// Every byte and line on the wire, passwords and the access code masked; off unless asked for
// with QT_LOGGING_RULES="tracker.link.bytes.debug=true".
Q_DECLARE_LOGGING_CATEGORY(link_bytes_log)
