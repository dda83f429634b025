#include "basecheck.h"

#include "checkhelpers_p.h"
#include "checkoperation.h"
#include "fiscaldocpropertyinfo_p.h"
#include "fiscaldocpropertytemplateloader.h"

#include <algorithm>

namespace fiscal {

namespace {

// Largest sum a money tag (VLN of 6 bytes) holds, in kopecks.
constexpr quint64 MONEY_MAX = (quint64(1) << 48) - 1;
constexpr int MONEY_TYPES = MoneyOther;

bool refuseReceipt(QString &errorText, const QString &text)
{
    errorText = text;
    qCWarning(lcFiscalProperty).noquote() << "receipt refused:" << text;
    return false;
}

bool tooMany(QString &errorText, int count)
{
    return refuseReceipt(errorText, QStringLiteral("the receipt holds %1 properties, more than the %2 allowed")
                  .arg(count).arg(BaseCheck::MAX_PROPERTIES));
}

} // namespace

BaseCheck::BaseCheck() = default;

BaseCheck::~BaseCheck() = default;

void BaseCheck::setPayments(const QList<CheckPayment> &payments)
{
    m_payments = payments;
    std::stable_sort(m_payments.begin(), m_payments.end(), [](const CheckPayment &a, const CheckPayment &b) {
        return a.moneyType() < b.moneyType();
    });
}

void BaseCheck::appendPayment(const CheckPayment &payment)
{
    auto it = std::upper_bound(m_payments.begin(), m_payments.end(), payment,
                               [](const CheckPayment &a, const CheckPayment &b) {
                                   return a.moneyType() < b.moneyType();
                               });
    m_payments.insert(it, payment);
}

qt5ext::FixNumber BaseCheck::paymentsSum() const
{
    QList<qt5ext::FixNumber> sums;
    for (const CheckPayment &payment : m_payments)
        sums.append(payment.sum());
    return checkhelpers::sumMoney(sums);
}

FiscalDocPropertyPtr BaseCheck::property(PropertyTag tag) const
{
    for (const FiscalDocPropertyPtr &property : m_properties) {
        if (property && property->tag() == tag)
            return property;
    }
    return FiscalDocPropertyPtr();
}

bool BaseCheck::parseProperties(const QVariantList &fiscprops, QString &errorText)
{
    if (fiscprops.size() > MAX_PROPERTIES)
        return tooMany(errorText, fiscprops.size());
    const FiscalDocPropertyTemplateLoader loader;
    QList<FiscalDocPropertyPtr> records;
    int items = 0;
    for (int i = 0; i < fiscprops.size(); ++i) {
        const QVariant &entry = fiscprops.at(i);
        if (entry.userType() != QMetaType::QVariantMap)
            return refuseReceipt(errorText, QStringLiteral("entry %1 is not a property map").arg(i + 1));
        const QVariantMap map = entry.toMap();
        bool ok = false;
        const uint tag = map.value(QStringLiteral("tag")).toUInt(&ok);
        if (!ok)
            return refuseReceipt(errorText, QStringLiteral("entry %1 has no numeric \"tag\"").arg(i + 1));
        QString error;
        FiscalDocPropertyPtr record;
        if (tag == TagItem) {
            ++items;
            record = CheckOperation::itemFromMap(map, &error);
            if (!record)
                return refuseReceipt(errorText, QStringLiteral("item %1: %2").arg(items).arg(error));
        } else if (!loader.contains(tag)) {
            // Nothing could type or write it; the register never sees it.
            qCDebug(lcFiscalProperty) << "receipt entry" << i + 1 << "of unknown tag" << tag << "passed over";
            continue;
        } else {
            record = loader.fromMap(map, &error);
            if (!record)
                return refuseReceipt(errorText, QStringLiteral("entry %1: %2").arg(i + 1).arg(error));
        }
        records.append(record);
    }
    return parseRecords(records, errorText);
}

bool BaseCheck::parseRecords(const QList<FiscalDocPropertyPtr> &records, QString &errorText)
{
    if (records.size() > MAX_PROPERTIES)
        return tooMany(errorText, records.size());
    quint64 sums[MONEY_TYPES] = {};
    PaymentType type = m_type;
    QList<FiscalDocPropertyPtr> properties;
    QList<QSharedPointer<FiscalDocComplexProperty>> items;
    for (int i = 0; i < records.size(); ++i) {
        const FiscalDocPropertyPtr &record = records.at(i);
        if (!record)
            return refuseReceipt(errorText, QStringLiteral("entry %1 is empty").arg(i + 1));
        const PropertyTag tag = record->tag();
        const int moneyType = moneyTypeByTag(tag);
        if (tag == TagItem) {
            const auto item = record.dynamicCast<FiscalDocComplexProperty>();
            if (!item)
                return refuseReceipt(errorText, QStringLiteral("entry %1: an item (tag %2) must be compound")
                              .arg(i + 1).arg(uint(TagItem)));
            items.append(item);
        } else if (moneyType) {
            const quint64 sum = record->value().toULongLong();
            quint64 &total = sums[moneyType - 1];
            if (sum > MONEY_MAX - total)
                return refuseReceipt(errorText, QStringLiteral("the payments under tag %1 add up to more than %2 kopecks")
                              .arg(uint(tag)).arg(MONEY_MAX));
            total += sum;
        } else if (tag == TagOperationType) {
            if (!record->hasValue())
                continue;
            const uint code = record->value().toUInt();
            if (code < PaymentIncome || code > PaymentExpenseReturn)
                return refuseReceipt(errorText, QStringLiteral("entry %1: unknown operation type %2 (tag %3)")
                              .arg(i + 1).arg(code).arg(uint(tag)));
            type = PaymentType(code);
        } else {
            properties.append(record->clone());
        }
    }
    if (!parseItems(items, errorText)) {
        qCWarning(lcFiscalProperty).noquote() << "receipt refused:" << errorText;
        return false;
    }
    m_type = type;
    m_properties = properties;
    m_payments.clear();
    for (int i = 0; i < MONEY_TYPES; ++i) {
        if (sums[i])
            m_payments.append(CheckPayment(MoneyType(i + 1), qt5ext::FixNumber(100, qint64(sums[i]))));
    }
    return true;
}

bool BaseCheck::parseTlv(const QByteArray &bytes, QString &errorText)
{
    QList<FiscalDocPropertyPtr> records;
    QString error;
    if (!FiscalDocPropertyTemplateLoader().readRecords(bytes, records, &error))
        return refuseReceipt(errorText, QStringLiteral("the records do not read: %1").arg(error));
    return parseRecords(records, errorText);
}

QList<FiscalDocPropertyPtr> BaseCheck::toProperties() const
{
    QList<FiscalDocPropertyPtr> properties;
    if (m_type >= PaymentIncome && m_type <= PaymentExpenseReturn) {
        const FiscalDocPropertyPtr type = FiscalDocPropertyTemplateLoader()[TagOperationType];
        type->setValue(uint(m_type));
        properties.append(type);
    }
    properties += itemProperties();
    for (const FiscalDocPropertyPtr &property : m_properties) {
        if (property)
            properties.append(property->clone());
    }
    for (const CheckPayment &payment : m_payments) {
        const FiscalDocPropertyPtr property = payment.toProperty();
        if (property)
            properties.append(property);
        else
            qCWarning(lcFiscalProperty) << "payment of money type" << int(payment.moneyType()) << "sum"
                                        << payment.sum().toString() << "cannot be written";
    }
    return properties;
}

QVariantList BaseCheck::toFiscProps() const
{
    QVariantList list;
    for (const FiscalDocPropertyPtr &property : toProperties())
        list.append(property->toMap(false));
    return list;
}

QByteArray BaseCheck::toTlv() const
{
    QByteArray bytes;
    for (const FiscalDocPropertyPtr &property : toProperties())
        bytes.append(property->toTlv());
    return bytes;
}

bool BaseCheck::parseItems(const QList<QSharedPointer<FiscalDocComplexProperty>> &items, QString &errorText)
{
    if (items.isEmpty())
        return true;
    errorText = QStringLiteral("this document carries no items (tag %1)").arg(uint(TagItem));
    return false;
}

QList<FiscalDocPropertyPtr> BaseCheck::itemProperties() const
{
    return {};
}

} // namespace fiscal
