#ifndef TILLGATEBUSLOG_P_H
#define TILLGATEBUSLOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTillgateBus)

#endif
