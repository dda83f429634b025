#ifndef CONFIGLOG_P_H
#define CONFIGLOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTillgateConfig)

#endif
