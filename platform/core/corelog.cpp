#include "corelog_p.h"

Q_LOGGING_CATEGORY(lcCoreRecords, "tillgate.core")
