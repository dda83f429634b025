#ifndef ATOLRECEIPTWRITER_H
#define ATOLRECEIPTWRITER_H

#include <fiscaldocpropertybase.h>
#include <fptrtypes.h>
#include <propertytag.h>

#include <QVariantMap>

class AtolDriver;
class AtolPrinter;

namespace fiscal {
class CheckOperation;
class FiscalDocComplexProperty;
}
namespace qt5ext {
class FixNumber;
}

// Registers one receipt on the register: opens it, registers its
// positions with their properties, writes the document's properties,
// pays and closes it. Whatever fails after opening cancels the receipt,
// so none stays open between jobs.
class AtolReceiptWriter
{
public:
    // Result code of a receipt whose properties cannot be read.
    static constexpr int ERROR_BAD_PROPERTIES = -4025;

    AtolReceiptWriter(AtolDriver &driver, AtolPrinter &printer, quint8 fsFfdVersion);

    // `data` is the receipt's "data" map; false with the driver's error
    // recorded.
    bool registreCheck(const QVariantMap &data);
    // The answer to a correction receipt, which these registers do not make.
    static QVariantMap notSupported();

private:
    bool openCheck(TED::Fptr::ChequeType chequeType);
    bool closeCheck(int closeType);
    bool payment(const qt5ext::FixNumber &sum, int moneyType);
    bool registrationFZ54(const fiscal::CheckOperation &op);
    bool writeProperty(fiscal::PropertyTag tag, TED::Fptr::FiscalPropertyType type, const QVariant &value,
                       bool printOnFailure, bool forPosition);
    bool writeProperty(const fiscal::FiscalDocPropertyPtr &property, bool printOnFailure, bool forPosition);
    bool writeComplexProperty(const fiscal::FiscalDocComplexProperty &property, bool forPosition);
    void printProperty(fiscal::PropertyTag tag, const QVariant &value);
    bool fail();
    void cancel();

    AtolDriver &m_driver;
    AtolPrinter &m_printer;
    quint8 m_fsFfdVersion;
};

#endif
