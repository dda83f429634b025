#ifndef HTTPLOGGING_H
#define HTTPLOGGING_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcHttp)

#endif
