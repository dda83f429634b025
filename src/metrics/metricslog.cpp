#include "metricslog_p.h"

Q_LOGGING_CATEGORY(lcMetrics, "tillgate.metrics")
