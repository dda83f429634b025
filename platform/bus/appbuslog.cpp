#include "appbuslog_p.h"

namespace bus {
Q_LOGGING_CATEGORY(lcBus, "bus")
}
