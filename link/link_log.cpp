#include "link_log.h"

Q_LOGGING_CATEGORY(link_log, "tracker.link")
Q_LOGGING_CATEGORY(link_bytes_log, "tracker.link.bytes", QtWarningMsg)
