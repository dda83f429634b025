#ifndef BUS_APPBUSLOG_P_H
#define BUS_APPBUSLOG_P_H

#include <QLoggingCategory>

namespace bus {
Q_DECLARE_LOGGING_CATEGORY(lcBus)
}

#endif
