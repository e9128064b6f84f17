#pragma once

#include <QLoggingCategory>

// Traces of reading the profile and of its value store.
Q_DECLARE_LOGGING_CATEGORY(profile_log)
