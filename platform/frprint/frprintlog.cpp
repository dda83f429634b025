#include "frprintlog_p.h"

Q_LOGGING_CATEGORY(lcFrprint, "tillgate.frprint")
