#include "atolreceiptwriter.h"

#include "atol31apiwrapper.h"
#include "atoldriver.h"
#include "atollog_p.h"
#include "atolprinter.h"
#include "atoltables.h"

#include <cashboxstatus.h>
#include <check.h>
#include <fiscaldoccomplexproperty.h>
#include <fiscaldocpropertytemplateloader.h>
#include <fixnumber.h>

namespace {

constexpr int FIRST_USER_TAG = 1001;
constexpr int FIRST_LOCAL_TAG = 3000;
constexpr int FIRST_PRINTED_TAG = 3005;

quint8 cashboxFdfVersion()
{
    const QSharedPointer<core::CashboxStatus> status = Atol31ApiWrapper::getCurrentStatus();
    return status ? status->cashboxRegData().fdfVersion() : 0;
}

} // namespace

AtolReceiptWriter::AtolReceiptWriter(AtolDriver &driver, AtolPrinter &printer, quint8 fsFfdVersion)
    : m_driver(driver)
    , m_printer(printer)
    , m_fsFfdVersion(fsFfdVersion)
{
}

QVariantMap AtolReceiptWriter::notSupported()
{
    return QVariantMap{{QStringLiteral("result"), int(TED::Fptr::EC_NOT_SUPPORTED)},
                       {QStringLiteral("message"),
                        QVariantMap{{QStringLiteral("resultDescription"), Atol31ApiWrapper::CORRECTION_TEXT}}}};
}

bool AtolReceiptWriter::fail()
{
    qCWarning(lcAtol) << "TEST";
    m_driver.checkError();
    return false;
}

void AtolReceiptWriter::cancel()
{
    if (m_driver.fptr()->CancelCheck() != 0)
        qCWarning(lcAtol) << "The open receipt was not cancelled";
}

bool AtolReceiptWriter::registreCheck(const QVariantMap &data)
{
    const int moneyType = quint8(data.contains(QStringLiteral("moneyType"))
                                         ? data.value(QStringLiteral("moneyType")).toInt()
                                         : int(fiscal::MoneyCash));
    qt5ext::FixNumber sum(100, data.value(QStringLiteral("sum"), 0).toLongLong());
    const auto checkType = fiscal::CheckType(quint8(data.value(QStringLiteral("type")).toInt()));
    const TED::Fptr::ChequeType chequeType = AtolTables::chequeType(checkType);

    fiscal::Check check;
    QString errorText;
    if (!check.parseProperties(data.value(QStringLiteral("fiscprops")).toList(), errorText)) {
        qCWarning(lcAtol).noquote() << "Receipt refused:" << errorText;
        m_driver.setError(ERROR_BAD_PROPERTIES, QStringLiteral("Ошибка программирования реквизита"));
        return false;
    }
    check.setPrintable(true);
    check.setIsOpened(true);
    check.setCheckType(checkType);
    check.setType(AtolTables::paymentType(checkType));
    QList<fiscal::CheckPayment> payments = check.payments();
    check.cleanPayments();

    int closeType = moneyType;
    if (checkType >= fiscal::CheckSaleReturn && checkType <= fiscal::CheckBuyAnnulate && sum.value() > 0) {
        fiscal::CheckPayment payment;
        payment.setMoneyType(fiscal::MoneyType(moneyType));
        payment.setSum(sum);
        payments.append(payment);
        sum.setValue(0);
        closeType = 1;
    }

    if (!openCheck(chequeType)) {
        if (m_driver.fptr()->CancelCheck() != 0 || !openCheck(chequeType))
            return false;
    }
    const QList<fiscal::CheckOperation> operations = check.operations();
    for (const fiscal::CheckOperation &op : operations) {
        if (!registrationFZ54(op)) {
            cancel();
            return false;
        }
    }
    // The document's own properties with the values the request gave.
    const QList<fiscal::FiscalDocPropertyPtr> properties = check.properties();
    for (const fiscal::FiscalDocPropertyPtr &property : properties) {
        if (!property || property->tag() == fiscal::PropertyTag(1059) || int(property->tag()) < FIRST_USER_TAG)
            continue;
        writeProperty(property, true, false);
    }
    if (sum.value() > 0) {
        fiscal::CheckPayment payment;
        payment.setMoneyType(fiscal::MoneyType(moneyType));
        payment.setSum(sum);
        payments.append(payment);
    }
    for (const fiscal::CheckPayment &p : qAsConst(payments)) {
        if (!payment(p.sum(), int(p.moneyType()))) {
            cancel();
            return false;
        }
    }
    if (!closeCheck(closeType)) {
        cancel();
        return false;
    }
    return true;
}

bool AtolReceiptWriter::openCheck(TED::Fptr::ChequeType chequeType)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_Mode(TED::Fptr::ModeRegistration) < 0 || fptr->SetMode() < 0 || fptr->put_CheckType(chequeType) < 0
        || fptr->put_PrintCheck(1) < 0 || fptr->OpenCheck() < 0)
        return fail();
    return true;
}

bool AtolReceiptWriter::closeCheck(int closeType)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_TypeClose(closeType) < 0 || fptr->CloseCheck() < 0)
        return fail();
    return true;
}

bool AtolReceiptWriter::payment(const qt5ext::FixNumber &sum, int moneyType)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_Summ(sum.toDouble()) < 0 || fptr->put_TypeClose(AtolTables::driverPaymentType(moneyType)) < 0
        || fptr->Payment() < 0)
        return fail();
    double remainder = 0;
    double change = 0;
    fptr->get_Remainder(&remainder);
    fptr->get_Change(&change);
    qCDebug(lcAtol).noquote() << QStringLiteral("Remainder: %1, Change: %2").arg(remainder).arg(change);
    return true;
}

bool AtolReceiptWriter::registrationFZ54(const fiscal::CheckOperation &op)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    // The position goes to section (department) 1 of the register.
    if (fptr->put_Quantity(op.quantity().toDouble()) < 0 || fptr->put_Price(op.price().toDouble()) < 0
        || fptr->put_PositionSum(op.total().toDouble()) < 0
        || fptr->put_TaxNumber(AtolTables::taxNumberByTag(op.taxTag(), cashboxFdfVersion())) < 0
        || fptr->put_Department(1) < 0 || fptr->put_PositionType(op.itemType()) < 0
        || fptr->put_TextWrap(TED::Fptr::TextWrapWord) < 0
        || fptr->put_Name(AtolDriver::wide(op.itemName()).c_str()) < 0
        || fptr->put_PositionPaymentType(op.method()) < 0 || fptr->put_PrintCheck(1) < 0)
        return fail();
    const fiscal::FiscalDocPropertyTemplateLoader loader;
    if (m_fsFfdVersion > 1) {
        writeProperty(op.toProperty(loader[1197]), false, true);
        if (op.agentFlag()) {
            writeProperty(op.toProperty(loader[1222]), false, true);
            writeProperty(op.agent().getProperty(loader[1223]), true, true);
            writeProperty(op.provider().getProperty(loader[1224]), true, true);
            if (!op.providerInn().isEmpty())
                writeProperty(fiscal::PropertyTag(1226), TED::Fptr::FiscalPropertyTypeString, op.providerInn(), true,
                              true);
        }
    }
    writeProperty(op.toProperty(loader[3005]), true, true);
    if (fptr->Registration() < 0)
        return fail();
    return true;
}

bool AtolReceiptWriter::writeProperty(const fiscal::FiscalDocPropertyPtr &property, bool printOnFailure,
                                      bool forPosition)
{
    if (!property)
        return false;
    bool written = false;
    if (property->propertyType() == fiscal::FiscalDocPropertyBase::ComplexProperty) {
        written = writeComplexProperty(static_cast<const fiscal::FiscalDocComplexProperty &>(*property), forPosition);
    } else {
        const TED::Fptr::FiscalPropertyType type = AtolTables::driverPropertyType(property->propertyType());
        const QVariant value = type == TED::Fptr::FiscalPropertyTypeRaw
                ? QVariant(property->toByteArray(true, true))
                : property->value();
        written = writeProperty(property->tag(), type, value, false, forPosition);
    }
    // Tags printed by nature were printed by the write already.
    if (!written && printOnFailure && int(property->tag()) < FIRST_PRINTED_TAG)
        printProperty(property->tag(), property->value());
    return written;
}

bool AtolReceiptWriter::writeComplexProperty(const fiscal::FiscalDocComplexProperty &property, bool forPosition)
{
    return writeProperty(property.tag(), TED::Fptr::FiscalPropertyTypeRaw, QVariant(property.toByteArray(true, false)),
                         false, forPosition);
}

bool AtolReceiptWriter::writeProperty(fiscal::PropertyTag tag, TED::Fptr::FiscalPropertyType type,
                                      const QVariant &value, bool printOnFailure, bool forPosition)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (int(tag) < FIRST_LOCAL_TAG) {
        if (fptr->put_FiscalPropertyNumber(int(tag)) < 0 || fptr->put_FiscalPropertyPrint(1) < 0
            || fptr->put_FiscalPropertyType(type) < 0) {
            fail();
        } else {
            const QString text = AtolTables::propertyValueText(type, value);
            if (fptr->put_FiscalPropertyValue(AtolDriver::wide(text).c_str()) >= 0
                && (forPosition ? fptr->AddFiscalProperty() : fptr->WriteFiscalProperty()) >= 0)
                return true;
            fail();
        }
    }
    if (int(tag) >= FIRST_PRINTED_TAG || printOnFailure)
        printProperty(tag, value);
    return false;
}

void AtolReceiptWriter::printProperty(fiscal::PropertyTag tag, const QVariant &value)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    int width = 0;
    if (fptr->get_CharLineLength(&width) < 0 || width <= 0)
        width = 40;
    const fiscal::FiscalDocPropertyPtr property = fiscal::FiscalDocPropertyTemplateLoader()[tag];
    if (!property || !property->setValue(value))
        return;
    const QStringList lines = property->printable(width).split(QLatin1Char('\n'));
    for (const QString &line : lines)
        m_printer.printLine(line);
}
