#include "httplogging.h"

Q_LOGGING_CATEGORY(lcHttp, "tillgate.http")
