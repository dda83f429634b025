#include "checkoperation.h"

#include "checkhelpers_p.h"
#include "fiscaldocfvlnproperty.h"
#include "fiscaldocpropertyinfo_p.h"
#include "fiscaldocpropertytemplateloader.h"

#include <cmath>

namespace fiscal {

using namespace checkhelpers;

namespace {

// Largest sum a money tag (VLN of 6 bytes) holds, in kopecks.
constexpr quint64 MONEY_MAX = (quint64(1) << 48) - 1;
// Bounds on the raw values multiplied for a cost, so the product of both
// and the scale stays inside 128 bits.
constexpr qint64 PRICE_RAW_MAX = qint64(1) << 56;
constexpr qint64 QUANTITY_RAW_MAX = qint64(1) << 62;

__extension__ typedef unsigned __int128 Wide;

qint64 powerOfTen(int exponent)
{
    qint64 p = 1;
    while (exponent-- > 0)
        p *= 10;
    return p;
}

bool isPowerOfTen(qint64 value)
{
    while (value >= 10 && value % 10 == 0)
        value /= 10;
    return value == 1;
}

// Money in kopecks, whatever scale it is kept at.
bool kopecksOf(const qt5ext::FixNumber &money, quint64 *kopecks)
{
    if (money.multiplier() == 100) {
        if (money.value() < 0)
            return false;
        *kopecks = quint64(money.value());
        return true;
    }
    const double scaled = std::round(money.toDouble() * 100.0);
    if (!(scaled >= 0 && scaled < 1e18))
        return false;
    *kopecks = quint64(scaled);
    return true;
}

QString quantityText(const qt5ext::FixNumber &quantity)
{
    if (isPowerOfTen(quantity.multiplier()))
        return quantity.toString();
    return qt5ext::FixNumber::fromDouble(quantity.toDouble(), 1000).toString();
}

bool isTaxTag(quint32 tag)
{
    return vatRateByTaxTag(tag) != 0;
}

} // namespace

CheckOperation::CheckOperation()
    : m_price(100)
    , m_quantity(1, 1)
    , m_total(100)
{
}

bool CheckOperation::calcTotal(const qt5ext::FixNumber &price, const qt5ext::FixNumber &quantity,
                               qt5ext::FixNumber *total)
{
    if (price.value() < 0 || quantity.value() < 0 || price.value() > PRICE_RAW_MAX
            || quantity.value() > QUANTITY_RAW_MAX)
        return false;
    const Wide numerator = Wide(quint64(price.value())) * Wide(quint64(quantity.value())) * 100u;
    const Wide denominator = Wide(quint64(price.multiplier())) * Wide(quint64(quantity.multiplier()));
    const Wide kopecks = (2 * numerator + denominator) / (2 * denominator);
    if (kopecks > MONEY_MAX)
        return false;
    *total = qt5ext::FixNumber(100, qint64(kopecks));
    return true;
}

bool CheckOperation::parse(const FiscalDocComplexProperty &item, QString *error)
{
    if (item.tag() != TagItem)
        return refuse(error, QStringLiteral("tag %1 is not an item (tag %2)").arg(uint(item.tag())).arg(uint(TagItem)));
    CheckOperation op;
    bool name = false, price = false, quantity = false, total = false, rate = false, method = false;
    bool type = false, unit = false, agentFlag = false, agent = false, provider = false, inn = false;
    PropertyTag rateTag = PropertyTag(0);
    PropertyTag directTag = PropertyTag(0);
    QString partError;
    for (const FiscalDocPropertyPtr &part : item.properties()) {
        // A part without a value (null in the map form) says nothing.
        if (!part->hasValue())
            continue;
        const PropertyTag tag = part->tag();
        const QVariant value = part->value();
        const auto once = [&](bool &seen) {
            if (seen)
                return refuse(error, QStringLiteral("tag %1 given twice").arg(uint(tag)));
            seen = true;
            return true;
        };
        switch (tag) {
        case TagItemName:
            if (!once(name))
                return false;
            op.m_itemName = value.toString();
            break;
        case TagPrice:
            if (!once(price))
                return false;
            op.m_price = qt5ext::FixNumber(100, qint64(value.toULongLong()));
            break;
        case TagQuantity: {
            if (!once(quantity))
                return false;
            const auto *fvln = dynamic_cast<const FiscalDocFvlnProperty *>(part.data());
            op.m_quantity = fvln ? qt5ext::FixNumber(powerOfTen(fvln->decimals()), qint64(fvln->mantissa()))
                                 : qt5ext::FixNumber::fromDouble(value.toDouble(), 1000);
            break;
        }
        case TagItemTotal:
            if (!once(total))
                return false;
            op.m_total = qt5ext::FixNumber(100, qint64(value.toULongLong()));
            break;
        case TagVatRate:
            if (!once(rate))
                return false;
            rateTag = taxTagByVatRate(int(value.toUInt()));
            if (!rateTag)
                return refuse(error, QStringLiteral("unknown VAT rate %1 (tag %2)").arg(value.toUInt()).arg(uint(tag)));
            break;
        case TagPaymentMethod:
            if (!once(method))
                return false;
            if (value.toUInt() < 1 || value.toUInt() > 7)
                return refuse(error, QStringLiteral("unknown payment method %1 (tag %2)").arg(value.toUInt()).arg(uint(tag)));
            op.m_method = quint8(value.toUInt());
            break;
        case TagItemType:
            if (!once(type))
                return false;
            if (value.toUInt() == 0)
                return refuse(error, QStringLiteral("item type 0 (tag %1)").arg(uint(tag)));
            op.m_itemType = quint8(value.toUInt());
            break;
        case TagUnit:
            if (!once(unit))
                return false;
            op.m_unit = value.toString();
            break;
        case TagItemAgentFlags:
            if (!once(agentFlag))
                return false;
            op.m_agentFlag = quint8(value.toUInt());
            break;
        case TagAgentData:
        case TagSupplierData: {
            if (!once(tag == TagAgentData ? agent : provider))
                return false;
            const auto *compound = dynamic_cast<const FiscalDocComplexProperty *>(part.data());
            const bool ok = compound
                    && (tag == TagAgentData ? op.m_agent.parse(*compound, &partError)
                                            : op.m_provider.parse(*compound, &partError));
            if (!ok)
                return refuse(error, compound ? partError : QStringLiteral("tag %1 is not compound").arg(uint(tag)));
            break;
        }
        case TagSupplierInn:
            if (!once(inn))
                return false;
            op.m_providerInn = value.toString();
            break;
        case TagItem:
            return refuse(error, QStringLiteral("an item inside an item"));
        default:
            // A tax amount given under its own tag names the item's tax.
            if (isTaxTag(tag)) {
                if (directTag && directTag != tag)
                    return refuse(error, QStringLiteral("taxed under both tag %1 and tag %2")
                                  .arg(uint(directTag)).arg(uint(tag)));
                directTag = tag;
            }
            op.m_other.append(part->clone());
            break;
        }
    }
    if (op.m_itemName.trimmed().isEmpty())
        return refuse(error, QStringLiteral("no name (tag %1)").arg(uint(TagItemName)));
    if (!price)
        return refuse(error, QStringLiteral("no price (tag %1)").arg(uint(TagPrice)));
    if (op.m_quantity.value() == 0)
        return refuse(error, QStringLiteral("a quantity of zero (tag %1)").arg(uint(TagQuantity)));
    if (rateTag && directTag && rateTag != directTag)
        return refuse(error, QStringLiteral("the VAT rate (tag %1) means tag %2, but the item is taxed under tag %3")
                      .arg(uint(TagVatRate)).arg(uint(rateTag)).arg(uint(directTag)));
    op.m_taxTag = rateTag ? rateTag : directTag;
    if (!total && !calcTotal(op.m_price, op.m_quantity, &op.m_total))
        return refuse(error, QStringLiteral("the cost of %1 at %2 does not fit tag %3")
                      .arg(quantityText(op.m_quantity), op.m_price.toString()).arg(uint(TagItemTotal)));
    *this = op;
    return true;
}

QSharedPointer<FiscalDocComplexProperty> CheckOperation::itemFromMap(const QVariantMap &item, QString *error)
{
    using Result = QSharedPointer<FiscalDocComplexProperty>;
    bool ok = false;
    const uint tag = item.value(QStringLiteral("tag")).toUInt(&ok);
    if (!ok || tag != TagItem) {
        refuse(error, QStringLiteral("not an item (tag %1)").arg(uint(TagItem)));
        return Result();
    }
    const QVariant list = item.value(QStringLiteral("fiscprops"));
    if (list.userType() != QMetaType::QVariantList) {
        refuse(error, QStringLiteral("an item needs a \"fiscprops\" list of its parts"));
        return Result();
    }
    const FiscalDocPropertyTemplateLoader loader;
    const Result record = loader[TagItem].dynamicCast<FiscalDocComplexProperty>();
    const QVariantList parts = list.toList();
    for (int i = 0; i < parts.size(); ++i) {
        const QString where = QStringLiteral("part %1").arg(i + 1);
        if (parts.at(i).userType() != QMetaType::QVariantMap) {
            refuse(error, QStringLiteral("%1 is not a property map").arg(where));
            return Result();
        }
        QVariantMap entry = parts.at(i).toMap();
        const uint partTag = entry.value(QStringLiteral("tag")).toUInt(&ok);
        if (!ok) {
            refuse(error, QStringLiteral("%1 has no numeric \"tag\"").arg(where));
            return Result();
        }
        if (partTag == TagItem) {
            refuse(error, QStringLiteral("%1 is an item inside an item").arg(where));
            return Result();
        }
        if (partTag == TagVatRate) {
            // The rate may be given as the tax tag it selects.
            quint64 number = 0;
            QString unused;
            if (propinfo::toUnsigned(entry.value(QStringLiteral("value")), 0xFFFF, false, &number, &unused)
                    && isTaxTag(quint32(number)))
                entry.insert(QStringLiteral("value"), vatRateByTaxTag(quint32(number)));
        }
        QString partError;
        const FiscalDocPropertyPtr property = loader.fromMap(entry, &partError);
        if (!property) {
            refuse(error, QStringLiteral("%1: %2").arg(where, partError));
            return Result();
        }
        if (!record->addProperty(property)) {
            refuse(error, record->errorString());
            return Result();
        }
    }
    return record;
}

bool CheckOperation::parseMap(const QVariantMap &item, QString *error)
{
    const QSharedPointer<FiscalDocComplexProperty> record = itemFromMap(item, error);
    return record && parse(*record, error);
}

bool CheckOperation::buildParts(QList<FiscalDocPropertyPtr> &parts, QString *error) const
{
    const FiscalDocPropertyTemplateLoader loader;
    const auto add = [&](PropertyTag tag, const QVariant &value) {
        const FiscalDocPropertyPtr part = loader[tag];
        if (!part->setValue(value))
            return refuse(error, part->errorString());
        parts.append(part);
        return true;
    };
    const auto addMoney = [&](PropertyTag tag, const qt5ext::FixNumber &money) {
        quint64 kopecks = 0;
        if (!kopecksOf(money, &kopecks))
            return refuse(error, QStringLiteral("tag %1: the sum %2 is negative or too large")
                          .arg(uint(tag)).arg(money.toString()));
        return add(tag, qulonglong(kopecks));
    };
    const auto addCompound = [&](PropertyTag tag, const FiscalDocPropertyPtr &part) {
        if (!part)
            return refuse(error, QStringLiteral("tag %1: the parts do not fit the record").arg(uint(tag)));
        parts.append(part);
        return true;
    };
    parts.clear();
    if (!add(TagItemName, m_itemName) || !addMoney(TagPrice, m_price)
            || !add(TagQuantity, quantityText(m_quantity)) || !addMoney(TagItemTotal, m_total))
        return false;
    if (m_taxTag) {
        if (!vatRate())
            return refuse(error, QStringLiteral("tag %1 is no tax tag").arg(uint(m_taxTag)));
        if (!add(TagVatRate, vatRate()))
            return false;
    }
    if (!add(TagPaymentMethod, uint(m_method)) || !add(TagItemType, uint(m_itemType)))
        return false;
    if (!m_unit.isEmpty() && !add(TagUnit, m_unit))
        return false;
    if (m_agentFlag && !add(TagItemAgentFlags, uint(m_agentFlag)))
        return false;
    if (!m_agent.isEmpty() && !addCompound(TagAgentData, m_agent.getProperty(loader[TagAgentData])))
        return false;
    if (!m_provider.isEmpty() && !addCompound(TagSupplierData, m_provider.getProperty(loader[TagSupplierData])))
        return false;
    if (!m_providerInn.isEmpty() && !add(TagSupplierInn, m_providerInn))
        return false;
    for (const FiscalDocPropertyPtr &part : m_other) {
        if (part)
            parts.append(part->clone());
    }
    return true;
}

QList<FiscalDocPropertyPtr> CheckOperation::toProperties() const
{
    QList<FiscalDocPropertyPtr> parts;
    QString error;
    if (!buildParts(parts, &error)) {
        qCWarning(lcFiscalProperty).noquote() << "item" << m_itemName.left(40) << "cannot be written:" << error;
        return {};
    }
    return parts;
}

QSharedPointer<FiscalDocComplexProperty> CheckOperation::toComplexProperty(QString *error) const
{
    QList<FiscalDocPropertyPtr> parts;
    if (!buildParts(parts, error))
        return QSharedPointer<FiscalDocComplexProperty>();
    const QSharedPointer<FiscalDocComplexProperty> record =
            FiscalDocPropertyTemplateLoader()[TagItem].dynamicCast<FiscalDocComplexProperty>();
    for (const FiscalDocPropertyPtr &part : parts) {
        if (!record->addProperty(part)) {
            refuse(error, record->errorString());
            return QSharedPointer<FiscalDocComplexProperty>();
        }
    }
    return record;
}

QVariantMap CheckOperation::toMap() const
{
    const QSharedPointer<FiscalDocComplexProperty> record = toComplexProperty();
    return record ? record->toMap(false) : QVariantMap();
}

FiscalDocPropertyPtr CheckOperation::toProperty(const FiscalDocPropertyPtr &templ, int content) const
{
    if (!templ || content < 0)
        return FiscalDocPropertyPtr();
    QList<FiscalDocPropertyPtr> parts;
    if (!buildParts(parts, nullptr))
        return FiscalDocPropertyPtr();
    int seen = 0;
    for (const FiscalDocPropertyPtr &part : parts) {
        if (part->tag() != templ->tag() || seen++ != content)
            continue;
        // The encoded value carries everything, the digits of a quantity
        // after the point included.
        if (!templ->parseValue(part->toByteArray(true, true)))
            return FiscalDocPropertyPtr();
        return templ;
    }
    return FiscalDocPropertyPtr();
}

bool CheckOperation::operator==(const CheckOperation &other) const
{
    if (m_other.size() != other.m_other.size())
        return false;
    for (int i = 0; i < m_other.size(); ++i) {
        const FiscalDocPropertyPtr &a = m_other.at(i);
        const FiscalDocPropertyPtr &b = other.m_other.at(i);
        if (!a || !b ? a != b : a->toTlv() != b->toTlv())
            return false;
    }
    return m_itemName == other.m_itemName && m_price == other.m_price && m_quantity == other.m_quantity
            && m_total == other.m_total && m_taxTag == other.m_taxTag && m_method == other.m_method
            && m_itemType == other.m_itemType && m_unit == other.m_unit && m_agentFlag == other.m_agentFlag
            && m_agent == other.m_agent && m_provider == other.m_provider && m_providerInn == other.m_providerInn;
}

} // namespace fiscal
