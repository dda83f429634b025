#include "printservicesettings.h"

namespace frprint {

const QString PrintServiceSettings::SERVICE_BUSNAME = QStringLiteral("printservice");

} // namespace frprint
