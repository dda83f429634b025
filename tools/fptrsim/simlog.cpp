#include "simlog.h"

Q_LOGGING_CATEGORY(lcFptrSim, "tillgate.fptrsim")
