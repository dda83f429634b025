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

bool refuse(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace checkhelpers
} // namespace fiscal
