#ifndef FISCAL_FISCALDOCCOMPLEXPROPERTY_H
#define FISCAL_FISCALDOCCOMPLEXPROPERTY_H

#include "fiscaldocpropertybase.h"

#include <QList>
#include <QVariantList>

namespace fiscal {

// Compound property (STLV): its value is a sequence of TLV records, which
// may repeat a tag (several items 1059 in a document) and may themselves be
// compound. value() is the list of the parts' map forms; setValue takes
// such a list ({"tag", "value"} or {"tag", "fiscprops"} maps).
class FiscalDocComplexProperty : public FiscalDocPropertyBase
{
public:
    // Compound properties inside each other, this one counted: the format
    // nests two deep at most, so anything past this is malformed input.
    static constexpr int MAX_NESTING = 8;

    explicit FiscalDocComplexProperty(PropertyTag tag);

    PropertyType propertyType() const override { return ComplexProperty; }

    QList<FiscalDocPropertyPtr> properties() const { return m_properties; }
    // The first part with `tag`, or null.
    FiscalDocPropertyPtr property(PropertyTag tag) const;
    QList<FiscalDocPropertyPtr> propertiesByTag(PropertyTag tag) const;
    // Appends a part (shared, not copied); refused when the encoded value
    // would outgrow maxLength() or the nesting would pass MAX_NESTING.
    bool addProperty(const FiscalDocPropertyPtr &property);
    // 1 plus the nesting of the deepest compound part.
    int nestingDepth() const;

    QString printableValue() const override;
    QString printable(int width) const override;
    QVariantMap toMap(bool withPrintable = false) const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;

private:
    // True when `property` is one of the parts, at any depth.
    bool holds(const FiscalDocPropertyBase *property) const;

    QList<FiscalDocPropertyPtr> m_properties;
};

} // namespace fiscal

#endif
