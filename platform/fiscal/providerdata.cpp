#include "providerdata.h"

#include "checkhelpers_p.h"
#include "fiscaldoccomplexproperty.h"

namespace fiscal {

using namespace checkhelpers;

bool ProviderData::parse(const FiscalDocComplexProperty &property, QString *error)
{
    const QString record = QStringLiteral("supplier data (tag %1)").arg(uint(TagSupplierData));
    if (property.tag() != TagSupplierData)
        return refuse(error, QStringLiteral("tag %1 is not %2").arg(uint(property.tag())).arg(record));
    ProviderData data;
    bool name = false;
    for (const FiscalDocPropertyPtr &part : property.properties()) {
        switch (part->tag()) {
        case TagSupplierName:
            if (!takeSingle(part, data.m_name, name, record, error))
                return false;
            break;
        case TagSupplierPhone:
            appendNonEmpty(data.m_phones, part);
            break;
        default:
            return refuse(error, QStringLiteral("tag %1 has no place in %2").arg(uint(part->tag())).arg(record));
        }
    }
    *this = data;
    return true;
}

QVariantList ProviderData::toFiscProps() const
{
    QVariantList parts;
    appendTexts(parts, TagSupplierPhone, m_phones);
    appendText(parts, TagSupplierName, m_name);
    return parts;
}

FiscalDocPropertyPtr ProviderData::getProperty(const FiscalDocPropertyPtr &templ) const
{
    return fillCompound(templ, TagSupplierData, toFiscProps());
}

bool ProviderData::operator==(const ProviderData &other) const
{
    return m_name == other.m_name && m_phones == other.m_phones;
}

} // namespace fiscal
