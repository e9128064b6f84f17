#pragma once

#include "cli_options.h"

#include <functional>

class QDomDocument;
using profile_loader = std::function<bool(const QString& path, QDomDocument&, QString& error)>;

// tracker-cli provision and history: the production station and its records. Both return the
// exit status; what is wrong on this side is told before any port is opened.
int run_provision(const cli_options& options, const profile_loader& load_profile);
int run_history(const cli_options& options);
