#include "atollog_p.h"

Q_LOGGING_CATEGORY(lcAtol, "tillgate.atol")
