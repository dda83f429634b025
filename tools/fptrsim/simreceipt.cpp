#include "simreceipt.h"

#include "driverproperties.h"
#include "simregister.h"
#include "tlv.h"

#include <fptrtypes.h>

#include <QRegularExpression>

using namespace TED::Fptr;

namespace {

QString money(qint64 kopecks)
{
    return QStringLiteral("%1.%2").arg(kopecks / 100).arg(qAbs(kopecks) % 100, 2, 10, QLatin1Char('0'));
}

QString chequeName(int chequeType)
{
    switch (chequeType) {
    case ChequeSell: return QStringLiteral("ПРИХОД");
    case ChequeSellReturn: return QStringLiteral("ВОЗВРАТ ПРИХОДА");
    case ChequeBuy: return QStringLiteral("РАСХОД");
    default: return QStringLiteral("ВОЗВРАТ РАСХОДА");
    }
}

} // namespace

SimReceipt::SimReceipt(SimRegister &reg)
    : m_reg(reg)
{
}

int SimReceipt::vatCode(int taxNumber) const
{
    // Registers of format 1.0 number taxes their own way; later ones take
    // the VAT rate codes of the fiscal data format as they are.
    static const int format10[] = {0, 5, 2, 1, 6, 4, 3};
    if (taxNumber < 1 || taxNumber > 6)
        return 0;
    return m_reg.state().ffdVersion == 100 ? format10[taxNumber] : taxNumber;
}

int SimReceipt::openCheck()
{
    RegisterState &state = m_reg.state();
    const DriverProperties &props = m_reg.props();
    if (int code = m_reg.requireMode(ModeRegistration))
        return code;
    if (state.receipt.chequeType != 0)
        return EC_CHECK_OPENED;
    switch (props.checkType) {
    case ChequeSell:
    case ChequeSellReturn:
    case ChequeBuy:
    case ChequeBuyReturn:
        break;
    case ChequeClosed:
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("CheckType"));
    default:
        return EC_NOT_SUPPORTED;
    }
    if (props.printCheck != 0)
        if (int code = m_reg.requirePaper())
            return code;
    if (int code = m_reg.ensureShift())
        return code;
    state.receipt = OpenReceipt();
    state.receipt.chequeType = props.checkType;
    state.receipt.print = props.printCheck != 0;
    return EC_OK;
}

int SimReceipt::registration()
{
    RegisterState &state = m_reg.state();
    DriverProperties &props = m_reg.props();
    OpenReceipt &receipt = state.receipt;
    if (receipt.chequeType == 0)
        return EC_CHECK_CLOSED;
    if (receipt.paidTotal() > 0)
        return EC_WRONG_SEQUENCE;
    if (props.name.trimmed().isEmpty())
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("Name"));
    if (!(props.quantity > 0))
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("Quantity"));
    if (props.price < 0)
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("Price"));
    const int vat = vatCode(props.taxNumber);
    if (vat == 0)
        return EC_BAD_TAX_NUMBER;
    if (props.positionType < 0 || props.positionType > 13)
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("PositionType"));
    if (props.positionPaymentType < 0 || props.positionPaymentType > 7)
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("PositionPaymentType"));
    if (receipt.print)
        if (int code = m_reg.requirePaper())
            return code;

    ReceiptItem item;
    item.name = props.name.trimmed();
    item.price = qRound64(props.price * 100.0);
    item.quantity = props.quantity;
    item.sum = props.positionSum >= 0 ? qRound64(props.positionSum * 100.0)
                                      : qRound64(props.price * props.quantity * 100.0);
    item.vatCode = vat;
    item.itemType = props.positionType;
    item.paymentMethod = props.positionPaymentType;
    item.properties = props.positionProperties;
    receipt.items.append(item);
    props.positionSum = -1;
    props.positionProperties.clear();
    return EC_OK;
}

int SimReceipt::payment()
{
    OpenReceipt &receipt = m_reg.state().receipt;
    DriverProperties &props = m_reg.props();
    if (receipt.chequeType == 0)
        return EC_CHECK_CLOSED;
    if (props.typeClose < 0 || props.typeClose > 4)
        return EC_BAD_PAYMENT_TYPE;
    const qint64 sum = qRound64(props.summ * 100.0);
    if (sum <= 0)
        return m_reg.fail(EC_INVALID_PARAM, QStringLiteral("Summ"));
    receipt.paid[props.typeClose] += sum;
    const qint64 rest = receipt.total() - receipt.paidTotal();
    props.remainder = double(qMax<qint64>(0, rest)) / 100.0;
    props.change = double(qMax<qint64>(0, -rest)) / 100.0;
    return EC_OK;
}

int SimReceipt::closeCheck()
{
    RegisterState &state = m_reg.state();
    DriverProperties &props = m_reg.props();
    const OpenReceipt receipt = state.receipt;
    if (receipt.chequeType == 0)
        return EC_CHECK_CLOSED;
    const qint64 change = receipt.paidTotal() - receipt.total();
    if (change < 0)
        return EC_NOT_FULLY_PAID;
    if (receipt.print)
        if (int code = m_reg.requirePaper())
            return code;

    const StoredDocument &doc = m_reg.storage().addReceipt(m_reg.cashierName(), change, m_reg.now());
    const qint64 cash = receipt.paid[0] - change;
    const bool cashIn = receipt.chequeType == ChequeSell || receipt.chequeType == ChequeBuyReturn;
    state.cash += cashIn ? cash : -cash;
    ++state.receiptNumber;
    state.receipt = OpenReceipt();
    props.checkNumber = state.receiptNumber;
    props.docNumber = int(doc.number);
    props.remainder = 0;
    props.change = double(change) / 100.0;

    if (!receipt.print)
        return EC_OK;
    const TapeFormatter tape = m_reg.formatter();
    m_reg.print(tape.text(QStringLiteral("КАССОВЫЙ ЧЕК. %1").arg(chequeName(receipt.chequeType)), 1));
    for (const ReceiptItem &item : receipt.items) {
        m_reg.print(tape.text(item.name));
        m_reg.print(QStringList{tape.pair(QStringLiteral("  %1 x %2").arg(item.quantity).arg(money(item.price)),
                                          QStringLiteral("=%1").arg(money(item.sum)))});
    }
    m_reg.print(QStringList{tape.pair(QStringLiteral("ИТОГ"), QStringLiteral("=%1").arg(money(receipt.total())))});
    for (int type = 0; type < 5; ++type)
        if (receipt.paid[type] > 0)
            m_reg.print(QStringList{tape.pair(m_reg.paymentCaption(type),
                                              QStringLiteral("=%1").arg(money(receipt.paid[type])))});
    if (change > 0)
        m_reg.print(QStringList{tape.pair(QStringLiteral("СДАЧА"), QStringLiteral("=%1").arg(money(change)))});
    for (const FiscalRecord &property : receipt.properties)
        if (property.print)
            m_reg.print(QStringList{tape.pair(QString::number(property.tag),
                                              Tlv::display(property.tag, property.value))});
    m_reg.print(tape.document(doc));
    return EC_OK;
}

int SimReceipt::cancelCheck()
{
    RegisterState &state = m_reg.state();
    if (state.receipt.chequeType == 0)
        return EC_CHECK_CLOSED;
    const bool print = state.receipt.print;
    state.receipt = OpenReceipt();
    if (print)
        m_reg.print(m_reg.formatter().text(QStringLiteral("ЧЕК АННУЛИРОВАН"), 1) << m_reg.formatter().rule());
    return EC_OK;
}

bool SimReceipt::encodeProperty(int tag, int type, const QString &value, bool print,
                                FiscalRecord &record, QString &badParam)
{
    if (tag < 1 || tag > 0xFFFF) {
        badParam = QStringLiteral("FiscalPropertyNumber");
        return false;
    }
    badParam = QStringLiteral("FiscalPropertyValue");
    bool ok = false;
    const QString text = value.trimmed();
    QByteArray bytes;
    switch (type) {
    case FiscalPropertyTypeRaw: {
        static const QRegularExpression hexText(QStringLiteral("^[0-9A-Fa-f\\s]*$"));
        const QString compact = QString(text).remove(QRegularExpression(QStringLiteral("\\s")));
        if (!hexText.match(text).hasMatch() || compact.size() % 2 != 0)
            return false;
        bytes = QByteArray::fromHex(compact.toLatin1());
        break;
    }
    case FiscalPropertyTypeByte:
    case FiscalPropertyTypeInt16:
    case FiscalPropertyTypeInt32: {
        const int width = type == FiscalPropertyTypeByte ? 1 : type == FiscalPropertyTypeInt16 ? 2 : 4;
        const qulonglong number = text.toULongLong(&ok);
        if (!ok || number >= (1ULL << (8 * width)))
            return false;
        bytes = Tlv::uintValue(number, width);
        break;
    }
    case FiscalPropertyTypeUnixTime: {
        static const QRegularExpression stamp(QStringLiteral("^\\d{10}$"));
        if (!stamp.match(text).hasMatch())
            return false;
        const QDate date(2000 + text.mid(0, 2).toInt(), text.mid(2, 2).toInt(), text.mid(4, 2).toInt());
        const QTime time(text.mid(6, 2).toInt(), text.mid(8, 2).toInt());
        if (!date.isValid() || !time.isValid())
            return false;
        bytes = Tlv::uintValue(Tlv::unixSeconds(QDateTime(date, time)), 4);
        break;
    }
    case FiscalPropertyTypeString:
        bytes = Tlv::stringValue(quint16(tag), value);
        break;
    default:
        badParam = QStringLiteral("FiscalPropertyType");
        return false;
    }
    record.tag = quint16(tag);
    record.value = bytes;
    record.print = print;
    badParam.clear();
    return true;
}

int SimReceipt::propertyFromDriver(FiscalRecord &record)
{
    const DriverProperties &props = m_reg.props();
    if (m_reg.state().receipt.chequeType == 0)
        return EC_CHECK_CLOSED;
    QString badParam;
    if (!encodeProperty(props.fiscalPropertyNumber, props.fiscalPropertyType, props.fiscalPropertyValue,
                        props.fiscalPropertyPrint != 0, record, badParam))
        return m_reg.fail(EC_INVALID_PARAM, badParam);
    return EC_OK;
}

int SimReceipt::writeFiscalProperty()
{
    FiscalRecord record;
    if (int code = propertyFromDriver(record))
        return code;
    m_reg.state().receipt.properties.append(record);
    return EC_OK;
}

int SimReceipt::addFiscalProperty()
{
    FiscalRecord record;
    if (int code = propertyFromDriver(record))
        return code;
    m_reg.props().positionProperties.append(record);
    return EC_OK;
}
