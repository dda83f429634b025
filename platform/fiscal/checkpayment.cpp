#include "checkpayment.h"

#include "fiscaldocpropertytemplateloader.h"

#include <cmath>

namespace fiscal {

CheckPayment::CheckPayment(MoneyType moneyType, const qt5ext::FixNumber &sum)
    : m_moneyType(moneyType)
    , m_sum(sum)
{
}

FiscalDocPropertyPtr CheckPayment::toProperty() const
{
    const FiscalDocPropertyPtr property = FiscalDocPropertyTemplateLoader()[tag()];
    if (!property)
        return FiscalDocPropertyPtr();
    // Sums kept at another scale are brought to kopecks; anything past the
    // 6 bytes of a payment tag is refused by the property.
    qint64 kopecks = m_sum.value();
    if (m_sum.multiplier() != 100) {
        const double scaled = std::round(m_sum.toDouble() * 100.0);
        if (!(std::fabs(scaled) < 1e18))
            return FiscalDocPropertyPtr();
        kopecks = qint64(scaled);
    }
    if (kopecks < 0 || !property->setValue(qulonglong(kopecks)))
        return FiscalDocPropertyPtr();
    return property;
}

bool CheckPayment::operator==(const CheckPayment &other) const
{
    return m_moneyType == other.m_moneyType && m_sum == other.m_sum;
}

} // namespace fiscal
