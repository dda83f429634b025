#ifndef METRICSLOG_P_H
#define METRICSLOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMetrics)

#endif
