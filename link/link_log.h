#pragma once

#include <QLoggingCategory>

// The link's developer traces; switched off with QT_LOGGING_RULES="tracker.link.debug=false".
Q_DECLARE_LOGGING_CATEGORY(link_log)
