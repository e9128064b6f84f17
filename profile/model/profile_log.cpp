#include "profile_log.h"

Q_LOGGING_CATEGORY(profile_log, "tracker.profile")
