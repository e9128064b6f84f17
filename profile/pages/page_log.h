#pragma once

#include <QLoggingCategory>

// Traces of the pages: buttons pressed, parameters built, simple-mode replies processed.
Q_DECLARE_LOGGING_CATEGORY(pages_log)
