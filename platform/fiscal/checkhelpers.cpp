#include "checkhelpers_p.h"

#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {
namespace checkhelpers {

QVariantMap part(PropertyTag tag, const QVariant &value)
{
    return {{QStringLiteral("tag"), uint(tag)}, {QStringLiteral("value"), value}};
}

void appendText(QVariantList &parts, PropertyTag tag, const QString &text)
{
    if (!text.isEmpty())
        parts.append(part(tag, text));
}

void appendTexts(QVariantList &parts, PropertyTag tag, const QStringList &texts)
{
    for (const QString &text : texts)
        appendText(parts, tag, text);
}

void appendNonEmpty(QStringList &texts, const FiscalDocPropertyPtr &part)
{
    const QString text = part->value().toString();
    if (!text.isEmpty())
        texts.append(text);
}

bool takeSingle(const FiscalDocPropertyPtr &part, QString &target, bool &seen, const QString &record,
                QString *error)
{
    if (seen)
        return refuse(error, QStringLiteral("%1 holds tag %2 twice").arg(record).arg(uint(part->tag())));
    seen = true;
    target = part->value().toString();
    return true;
}

FiscalDocPropertyPtr fillCompound(const FiscalDocPropertyPtr &templ, PropertyTag tag, const QVariantList &parts)
{
    if (!templ || templ->tag() != tag || templ->propertyType() != FiscalDocPropertyBase::ComplexProperty
            || parts.isEmpty())
        return FiscalDocPropertyPtr();
    if (!templ->setValue(parts)) {
        qCWarning(lcFiscalProperty).noquote() << templ->errorString();
        return FiscalDocPropertyPtr();
    }
    return templ;
}

qt5ext::FixNumber sumMoney(const QList<qt5ext::FixNumber> &amounts)
{
    double sum = 0;
    qint64 kopecks = 0;
    bool exact = true;
    for (const qt5ext::FixNumber &amount : amounts) {
        sum += amount.toDouble();
        exact = exact && amount.multiplier() == 100;
        if (exact)
            kopecks += amount.value();
    }
    return exact ? qt5ext::FixNumber(100, kopecks) : qt5ext::FixNumber::fromDouble(sum, 100);
}

bool refuse(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace checkhelpers
} // namespace fiscal
