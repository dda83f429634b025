#ifndef FISCAL_FISCALDOCFVLNPROPERTY_H
#define FISCAL_FISCALDOCFVLNPROPERTY_H

#include "fiscaldocpropertybase.h"

namespace fiscal {

// Fractional variable-length number (FVLN): one byte with the count of
// digits after the decimal point, then the unsigned little-endian mantissa
// (1.5 is 01 0F, 1.000 is 03 E8 03). The digit count is kept, so a value
// read from a document encodes back to the same bytes. value() is a double.
class FiscalDocFvlnProperty : public FiscalDocPropertyBase
{
public:
    // Most digits after the point a value may carry.
    static constexpr int MAX_DECIMALS = 9;

    explicit FiscalDocFvlnProperty(PropertyTag tag);

    PropertyType propertyType() const override { return FvlnProperty; }
    quint64 mantissa() const { return m_mantissa; }
    int decimals() const { return m_decimals; }

    QString printableValue() const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;

private:
    bool setDecimalText(const QString &text);

    quint64 m_mantissa = 0;
    int m_decimals = 0;
};

} // namespace fiscal

#endif
