#ifndef FRPRINT_PRINTSERVICESETTINGS_H
#define FRPRINT_PRINTSERVICESETTINGS_H

#include <QString>

namespace frprint {

class PrintServiceSettings
{
public:
    // Name of the print service on the application bus: the receiver of the
    // "print" command whose parameters are a TextPrinterDocument map.
    static const QString SERVICE_BUSNAME;
};

} // namespace frprint

#endif
