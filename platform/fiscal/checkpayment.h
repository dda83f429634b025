#ifndef FISCAL_CHECKPAYMENT_H
#define FISCAL_CHECKPAYMENT_H

#include "fiscaldocpropertybase.h"
#include "fiscaltypes.h"

#include <fixnumber.h>

namespace fiscal {

// One payment of a receipt: how much was paid in one money type.
class CheckPayment
{
public:
    explicit CheckPayment(MoneyType moneyType = MoneyCash, const qt5ext::FixNumber &sum = qt5ext::FixNumber(100));

    MoneyType moneyType() const { return m_moneyType; }
    void setMoneyType(MoneyType moneyType) { m_moneyType = moneyType; }
    // Money, multiplier 100.
    qt5ext::FixNumber sum() const { return m_sum; }
    void setSum(const qt5ext::FixNumber &sum) { m_sum = sum; }

    // The payment tag of the money type (1031, 1081, 1215, 1216, 1217); 0
    // for a money type that is none of them.
    PropertyTag tag() const { return moneyTypeTag(m_moneyType); }
    // The payment as its property (kopecks); null when the money type has
    // no tag or the sum is negative or too large for the tag.
    FiscalDocPropertyPtr toProperty() const;

    bool operator==(const CheckPayment &other) const;
    bool operator!=(const CheckPayment &other) const { return !(*this == other); }

private:
    MoneyType m_moneyType;
    qt5ext::FixNumber m_sum;
};

} // namespace fiscal

#endif
