#ifndef FISCAL_FISCALDOCBYTESPROPERTY_H
#define FISCAL_FISCALDOCBYTESPROPERTY_H

#include "fiscaldocpropertybase.h"

namespace fiscal {

// Raw bytes (fiscal sign, product code). value() is a QByteArray; the map
// form and setValueFromString use lower-case hexadecimal text (blanks
// allowed between the digit pairs). Records whose tag is unknown inside a
// compound property are kept as bytes too, so nothing read is lost.
class FiscalDocBytesProperty : public FiscalDocPropertyBase
{
public:
    // Longest value of a tag that has no entry of its own.
    static constexpr int UNKNOWN_TAG_MAX_LENGTH = 0xFFFF;

    explicit FiscalDocBytesProperty(PropertyTag tag);

    PropertyType propertyType() const override { return BytesProperty; }
    QByteArray bytes() const { return m_bytes; }

    QString printableValue() const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;
    QVariant mapValue() const override;

private:
    bool setBytes(const QByteArray &bytes);

    QByteArray m_bytes;
};

} // namespace fiscal

#endif
