#ifndef FRPRINT_FRPRINTLOG_P_H
#define FRPRINT_FRPRINTLOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFrprint)

#endif
