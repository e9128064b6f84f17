#include "page_log.h"

Q_LOGGING_CATEGORY(pages_log, "tracker.pages")
