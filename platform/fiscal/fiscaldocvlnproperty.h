#ifndef FISCAL_FISCALDOCVLNPROPERTY_H
#define FISCAL_FISCALDOCVLNPROPERTY_H

#include "fiscaldocpropertybase.h"

namespace fiscal {

// Variable-length unsigned number (VLN): money in kopecks, little-endian with
// the high zero bytes dropped, so zero is an empty value. value() is a
// qulonglong; the printable text shows roubles.
class FiscalDocVlnProperty : public FiscalDocPropertyBase
{
public:
    explicit FiscalDocVlnProperty(PropertyTag tag);

    PropertyType propertyType() const override { return VlnProperty; }
    quint64 number() const { return m_value; }

    QString printableValue() const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;

private:
    bool setNumber(quint64 value);

    quint64 m_value = 0;
};

} // namespace fiscal

#endif
