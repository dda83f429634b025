#ifndef FISCAL_FISCALDOCFIXEDSTRINGPROPERTY_H
#define FISCAL_FISCALDOCFIXEDSTRINGPROPERTY_H

#include "fiscaldocstringproperty.h"

namespace fiscal {

// Text of a fixed width (tax numbers, registration and storage numbers):
// encoded padded with spaces on the right to exactly maxLength() bytes;
// read with the padding (spaces or NULs) trimmed away.
class FiscalDocFixedStringProperty : public FiscalDocStringProperty
{
public:
    explicit FiscalDocFixedStringProperty(PropertyTag tag);

    PropertyType propertyType() const override { return FixedStringProperty; }
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doParseValue(const QByteArray &bytes, int depth) override;
    bool setText(const QString &text) override;
};

} // namespace fiscal

#endif
