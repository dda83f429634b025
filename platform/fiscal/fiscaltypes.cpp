#include "fiscaltypes.h"

namespace fiscal {

namespace {

const PropertyTag MONEY_TAGS[] = {TagCash, TagElectronic, TagPrepayment, TagCredit, TagOtherPayment};

// Indexed by VAT rate code minus one.
const PropertyTag TAX_TAGS[] = {TagVat20, TagVat10, TagVat120, TagVat110, TagVat0, TagNoVat};

template<int N>
int indexOf(const PropertyTag (&tags)[N], quint32 tag)
{
    for (int i = 0; i < N; ++i) {
        if (tags[i] == tag)
            return i;
    }
    return -1;
}

} // namespace

PropertyTag moneyTypeTag(int moneyType)
{
    return moneyType >= MoneyCash && moneyType <= MoneyOther ? MONEY_TAGS[moneyType - 1] : PropertyTag(0);
}

int moneyTypeByTag(quint32 tag)
{
    return indexOf(MONEY_TAGS, tag) + 1;
}

PropertyTag taxTagByVatRate(int vatRate)
{
    return vatRate >= 1 && vatRate <= 6 ? TAX_TAGS[vatRate - 1] : PropertyTag(0);
}

int vatRateByTaxTag(quint32 tag)
{
    return indexOf(TAX_TAGS, tag) + 1;
}

} // namespace fiscal
