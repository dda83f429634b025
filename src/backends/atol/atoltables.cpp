#include "atoltables.h"

#include <QDateTime>

namespace AtolTables {

TED::Fptr::ChequeType chequeType(fiscal::CheckType checkType)
{
    switch (checkType) {
    case fiscal::CheckSale:
        return TED::Fptr::ChequeSell;
    case fiscal::CheckSaleReturn:
        return TED::Fptr::ChequeSellReturn;
    case fiscal::CheckBuy:
        return TED::Fptr::ChequeBuy;
    case fiscal::CheckBuyReturn:
        return TED::Fptr::ChequeBuyReturn;
    case fiscal::CheckSaleCorrection:
        return TED::Fptr::ChequeSellCorrection;
    case fiscal::CheckBuyCorrection:
        return TED::Fptr::ChequeBuyCorrection;
    default:
        return TED::Fptr::ChequeClosed;
    }
}

fiscal::PaymentType paymentType(fiscal::CheckType checkType)
{
    switch (checkType) {
    case fiscal::CheckSale:
    case fiscal::CheckSaleCorrection:
        return fiscal::PaymentIncome;
    case fiscal::CheckSaleReturn:
        return fiscal::PaymentIncomeReturn;
    case fiscal::CheckBuy:
    case fiscal::CheckBuyCorrection:
        return fiscal::PaymentExpense;
    case fiscal::CheckBuyReturn:
        return fiscal::PaymentExpenseReturn;
    default:
        return fiscal::PaymentUnknown;
    }
}

int taxNumberByTag(fiscal::PropertyTag tag, quint8 fdfVersion)
{
    // Format 1.0 registers number the rates their own way; later ones take
    // the VAT rate codes of the fiscal data format.
    static const int legacy[] = {3, 2, 1, 4, 6, 5};
    static const int current[] = {1, 2, 5, 6, 3, 4};
    const int index = int(tag) - 1102;
    if (index < 0 || index > 5)
        return 0;
    return fdfVersion == 1 ? legacy[index] : current[index];
}

TED::Fptr::FiscalPropertyType driverPropertyType(int propertyType)
{
    switch (propertyType) {
    case 1:
    case 10:
        return TED::Fptr::FiscalPropertyTypeString;
    case 2:
    case 11:
        return TED::Fptr::FiscalPropertyTypeByte;
    case 3:
        return TED::Fptr::FiscalPropertyTypeUnixTime;
    case 6:
        return TED::Fptr::FiscalPropertyTypeInt32;
    case 9:
        return TED::Fptr::FiscalPropertyTypeInt16;
    default:
        return TED::Fptr::FiscalPropertyTypeRaw;
    }
}

QString propertyValueText(TED::Fptr::FiscalPropertyType type, const QVariant &value)
{
    switch (type) {
    case TED::Fptr::FiscalPropertyTypeRaw: {
        const QByteArray bytes = value.toByteArray();
        QString text;
        for (const char byte : bytes)
            text += QStringLiteral("%1 ").arg(quint8(byte), 2, 16, QLatin1Char('0'));
        return text.trimmed();
    }
    case TED::Fptr::FiscalPropertyTypeByte:
    case TED::Fptr::FiscalPropertyTypeInt16:
    case TED::Fptr::FiscalPropertyTypeInt32:
        return QString::number(value.toULongLong());
    case TED::Fptr::FiscalPropertyTypeUnixTime:
        return value.toDateTime().toString(QStringLiteral("yyMMddhhmm"));
    case TED::Fptr::FiscalPropertyTypeString:
        return value.toString();
    }
    return QString();
}

int barcodeType(int blockBarcodeType)
{
    static const int types[] = {2, 8, 0, 6, 9, 10, 11, 1, 3, 5};
    if (blockBarcodeType < 1 || blockBarcodeType > 10)
        return -1;
    return types[blockBarcodeType - 1];
}

QStringList wrapPlainText(const QString &text, int width)
{
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = unified.split(QLatin1Char('\n'));
    static const QString delimiters = QStringLiteral(" \t-_*.");
    const QString doubleBlank = QStringLiteral("  ");
    for (QString &line : lines) {
        if (line.size() <= width)
            continue;
        bool breakable = false;
        for (const QChar c : delimiters)
            breakable = breakable || line.contains(c);
        if (!breakable) {
            line.truncate(width);
            continue;
        }
        // What stays too long is split at the line width by the printer.
        while (line.size() > width && line.contains(doubleBlank))
            line.replace(doubleBlank, QStringLiteral(" "));
    }
    return lines;
}

int driverPaymentType(int moneyType)
{
    return moneyType - 1;
}

} // namespace AtolTables
