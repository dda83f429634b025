#include "tillgatebuslog_p.h"

Q_LOGGING_CATEGORY(lcTillgateBus, "tillgate.bus")
