#include "link_log.h"

Q_LOGGING_CATEGORY(link_log, "tracker.link")
