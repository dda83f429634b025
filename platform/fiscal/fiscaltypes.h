#ifndef FISCAL_FISCALTYPES_H
#define FISCAL_FISCALTYPES_H

#include "propertytag.h"

#include <QtGlobal>

// Value sets of the receipt model and the tags they map to.
namespace fiscal {

// Kind of a receipt as the front end asks for it; correction receipts
// follow the ordinary ones.
enum CheckType : quint8 {
    CheckSale = 1,
    CheckSaleReturn = 2,
    CheckSaleAnnulate = 3,
    CheckBuy = 4,
    CheckBuyReturn = 5,
    CheckBuyAnnulate = 6,
    CheckSaleCorrection = 7,
    CheckSaleReturnCorrection = 8,
    CheckBuyCorrection = 9,
    CheckBuyReturnCorrection = 10
};

// Operation type of a receipt (tag 1054); PaymentUnknown for kinds the
// fiscal storage has no code for.
enum PaymentType : quint8 {
    PaymentIncome = 1,
    PaymentIncomeReturn = 2,
    PaymentExpense = 3,
    PaymentExpenseReturn = 4,
    PaymentUnknown = 128
};

// How a receipt is paid, in the order registers number their payment kinds.
enum MoneyType : quint8 {
    MoneyCash = 1,          // 1031
    MoneyElectronic = 2,    // 1081
    MoneyPrepayment = 3,    // 1215
    MoneyCredit = 4,        // 1216
    MoneyOther = 5          // 1217
};

// The payment tag of a money type; 0 for a number that is none.
PropertyTag moneyTypeTag(int moneyType);
// The money type of a payment tag; 0 for any other tag.
int moneyTypeByTag(quint32 tag);

// The tax tag (1102 to 1107) of a VAT rate code of tag 1199 (1 to 6); 0
// for any other code.
PropertyTag taxTagByVatRate(int vatRate);
// The VAT rate code of a tax tag; 0 for any other tag.
int vatRateByTaxTag(quint32 tag);

} // namespace fiscal

#endif
