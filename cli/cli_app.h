#pragma once

#include <QStringList>

// The whole tool behind main: arguments (without the program name) in, exit status out. Needs a
// QCoreApplication.
int run_tool(const QStringList& arguments);
