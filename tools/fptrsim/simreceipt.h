#ifndef FPTRSIM_SIMRECEIPT_H
#define FPTRSIM_SIMRECEIPT_H

#include "registerstate.h"

class SimRegister;

// The receipt commands of the register: open, positions, properties,
// payments, close and cancel. Result codes as SimRegister's.
class SimReceipt
{
public:
    explicit SimReceipt(SimRegister &reg);

    int openCheck();
    int registration();
    int payment();
    int closeCheck();
    int cancelCheck();
    // The property the driver's properties describe, into the document.
    int writeFiscalProperty();
    // The same, for the position registered next.
    int addFiscalProperty();

    // Encodes a property as the fiscal storage keeps it; false when the
    // value does not fit the type (`badParam` names the property at fault).
    static bool encodeProperty(int tag, int type, const QString &value, bool print,
                               FiscalRecord &record, QString &badParam);

private:
    int propertyFromDriver(FiscalRecord &record);
    int vatCode(int taxNumber) const;

    SimRegister &m_reg;
};

#endif
