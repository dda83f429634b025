#ifndef COMBINELOG_P_H
#define COMBINELOG_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCombine)

#endif
