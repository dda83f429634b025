#include "configlog_p.h"

Q_LOGGING_CATEGORY(lcTillgateConfig, "tillgate.config")
