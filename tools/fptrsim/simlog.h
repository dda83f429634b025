#ifndef FPTRSIM_SIMLOG_H
#define FPTRSIM_SIMLOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFptrSim)

#endif
