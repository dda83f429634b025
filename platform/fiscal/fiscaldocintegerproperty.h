#ifndef FISCAL_FISCALDOCINTEGERPROPERTY_H
#define FISCAL_FISCALDOCINTEGERPROPERTY_H

#include "fiscaldocpropertybase.h"

namespace fiscal {

// Common part of the fixed-width unsigned properties: byte, bit flags,
// uint16 and uint32. value() is a uint.
class FiscalDocIntegerProperty : public FiscalDocPropertyBase
{
public:
    PropertyType propertyType() const override { return m_type; }
    // Width of the encoded value in bytes.
    int width() const { return m_width; }
    quint32 number() const { return m_value; }

    QString printableValue() const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;

protected:
    // `type` is one of ByteProperty, BitFlagsProperty, UInt16Property, UInt32Property.
    FiscalDocIntegerProperty(PropertyTag tag, PropertyType type);

    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;

private:
    PropertyType m_type;
    int m_width;
    quint32 m_value = 0;
};

} // namespace fiscal

#endif
