#ifndef ATOLLOG_P_H
#define ATOLLOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAtol)

#endif
