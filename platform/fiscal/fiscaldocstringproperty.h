#ifndef FISCAL_FISCALDOCSTRINGPROPERTY_H
#define FISCAL_FISCALDOCSTRINGPROPERTY_H

#include "fiscaldocpropertybase.h"

namespace fiscal {

// Text encoded in CP866, at most maxLength() bytes (one per character).
// A text with a character CP866 lacks, or too long, is refused.
class FiscalDocStringProperty : public FiscalDocPropertyBase
{
public:
    explicit FiscalDocStringProperty(PropertyTag tag);

    PropertyType propertyType() const override { return StringProperty; }
    QString text() const { return m_text; }

    QString printableValue() const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;

    virtual bool setText(const QString &text);
    QString m_text;
};

} // namespace fiscal

#endif
