#ifndef CORE_CORELOG_P_H
#define CORE_CORELOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCoreRecords)

#endif
