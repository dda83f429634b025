#ifndef TILLGATECASHE_P_H
#define TILLGATECASHE_P_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCache)

#endif
