#ifndef ATOLTABLES_H
#define ATOLTABLES_H

#include <fiscaltypes.h>
#include <fptrtypes.h>
#include <propertytag.h>

#include <QString>
#include <QStringList>
#include <QVariant>

// The fixed translations between our fiscal model and the ATOL driver's
// numbers: cheque and payment types, tax numbers, property types and
// their value texts, barcode types, and the layout of plain text.
namespace AtolTables {

// The driver's cheque type for a receipt type; 0 (closed) for the types
// the driver cannot open.
TED::Fptr::ChequeType chequeType(fiscal::CheckType checkType);
// The operation type (1054) a receipt type stands for.
fiscal::PaymentType paymentType(fiscal::CheckType checkType);
// The tax number of a position's tax tag; registers of format 1.0 count
// their taxes differently from later ones. 0 for a tag that is no tax.
int taxNumberByTag(fiscal::PropertyTag tag, quint8 fdfVersion);
// The driver's property type for a property type of our fiscal model.
TED::Fptr::FiscalPropertyType driverPropertyType(int propertyType);
// The value text the driver takes for a property of the given type.
QString propertyValueText(TED::Fptr::FiscalPropertyType type, const QVariant &value);
// The driver's barcode type of a printed barcode block's type; -1 when
// the driver has none.
int barcodeType(int blockBarcodeType);
// Plain text as lines of at most `width` characters where that can be
// had: doubled blanks squeezed out of long lines with word breaks, long
// lines without any cut to the width.
QStringList wrapPlainText(const QString &text, int width);
// Driver payment type of a money type (cash is 0).
int driverPaymentType(int moneyType);

} // namespace AtolTables

#endif
