#include "fiscaldoccomplexproperty.h"

#include "fiscaldocbytesproperty.h"
#include "fiscaldocpropertyinfo_p.h"
#include "fiscaldocpropertytemplateloader.h"

namespace fiscal {

namespace {

constexpr int COMPLEX_TYPE_MAX = 0xFFFF;

void appendUInt16(QByteArray &bytes, quint16 value, bool littleEndian)
{
    const char lo = char(value & 0xFF);
    const char hi = char(value >> 8);
    if (littleEndian)
        bytes.append(lo).append(hi);
    else
        bytes.append(hi).append(lo);
}

int encodedSize(const FiscalDocPropertyPtr &part)
{
    return FiscalDocPropertyBase::TLV_HEADER_SIZE + part->toByteArray(true, true).size();
}

} // namespace

FiscalDocComplexProperty::FiscalDocComplexProperty(PropertyTag tag)
    : FiscalDocPropertyBase(tag, COMPLEX_TYPE_MAX)
{
}

FiscalDocPropertyPtr FiscalDocComplexProperty::property(PropertyTag tag) const
{
    for (const FiscalDocPropertyPtr &part : m_properties) {
        if (part->tag() == tag)
            return part;
    }
    return FiscalDocPropertyPtr();
}

QList<FiscalDocPropertyPtr> FiscalDocComplexProperty::propertiesByTag(PropertyTag tag) const
{
    QList<FiscalDocPropertyPtr> parts;
    for (const FiscalDocPropertyPtr &part : m_properties) {
        if (part->tag() == tag)
            parts.append(part);
    }
    return parts;
}

bool FiscalDocComplexProperty::holds(const FiscalDocPropertyBase *property) const
{
    for (const FiscalDocPropertyPtr &part : m_properties) {
        if (part.data() == property)
            return true;
        const auto *complex = dynamic_cast<const FiscalDocComplexProperty *>(part.data());
        if (complex && complex->holds(property))
            return true;
    }
    return false;
}

bool FiscalDocComplexProperty::addProperty(const FiscalDocPropertyPtr &property)
{
    clearError();
    if (!property)
        return fail(QStringLiteral("no property to add"));
    const auto *complex = dynamic_cast<const FiscalDocComplexProperty *>(property.data());
    if (complex) {
        // A compound inside itself would never end when encoded.
        if (complex == this || complex->holds(this))
            return fail(QStringLiteral("a compound property cannot contain itself"));
        if (1 + complex->nestingDepth() > MAX_NESTING)
            return fail(QStringLiteral("compound properties nested deeper than %1").arg(MAX_NESTING));
    }
    const int size = toByteArray(true, true).size() + encodedSize(property);
    if (size > maxLength())
        return fail(QStringLiteral("adding tag %1 makes the value %2 bytes, more than the %3 the tag allows")
                    .arg(uint(property->tag())).arg(size).arg(maxLength()));
    m_properties.append(property);
    markHasValue();
    return true;
}

int FiscalDocComplexProperty::nestingDepth() const
{
    int deepest = 0;
    for (const FiscalDocPropertyPtr &part : m_properties) {
        const auto *complex = dynamic_cast<const FiscalDocComplexProperty *>(part.data());
        if (complex)
            deepest = qMax(deepest, complex->nestingDepth());
    }
    return 1 + deepest;
}

QString FiscalDocComplexProperty::printableValue() const
{
    QStringList lines;
    for (const FiscalDocPropertyPtr &part : m_properties)
        lines.append(part->printable(0));
    return lines.join(QLatin1Char('\n'));
}

QString FiscalDocComplexProperty::printable(int width) const
{
    QStringList lines;
    const QString cap = caption();
    if (!cap.isEmpty())
        lines = propinfo::wrap(cap, width);
    for (const FiscalDocPropertyPtr &part : m_properties)
        lines.append(part->printable(width));
    return lines.join(QLatin1Char('\n'));
}

QVariantMap FiscalDocComplexProperty::toMap(bool withPrintable) const
{
    QVariantList parts;
    for (const FiscalDocPropertyPtr &part : m_properties)
        parts.append(part->toMap(withPrintable));
    QVariantMap map;
    map.insert(QStringLiteral("tag"), uint(tag()));
    map.insert(QStringLiteral("fiscprops"), parts);
    if (withPrintable) {
        map.insert(QStringLiteral("caption"), caption());
        map.insert(QStringLiteral("printable"), printableValue());
    }
    return map;
}

QByteArray FiscalDocComplexProperty::toByteArray(bool littleEndian, bool compact) const
{
    QByteArray bytes;
    for (const FiscalDocPropertyPtr &part : m_properties) {
        const QByteArray value = part->toByteArray(littleEndian, compact);
        appendUInt16(bytes, part->tag(), littleEndian);
        appendUInt16(bytes, quint16(value.size()), littleEndian);
        bytes.append(value);
    }
    return bytes;
}

FiscalDocPropertyPtr FiscalDocComplexProperty::clone() const
{
    QSharedPointer<FiscalDocComplexProperty> copy(new FiscalDocComplexProperty(*this));
    for (FiscalDocPropertyPtr &part : copy->m_properties)
        part = part->clone();
    return copy;
}

bool FiscalDocComplexProperty::doSetValue(const QVariant &value, int depth)
{
    if (value.userType() != QMetaType::QVariantList)
        return fail(QStringLiteral("a compound property takes a list of properties, not a value of type %1")
                    .arg(QString::fromLatin1(value.typeName())));
    if (depth + 1 > MAX_NESTING)
        return fail(QStringLiteral("compound properties nested deeper than %1").arg(MAX_NESTING));
    const FiscalDocPropertyTemplateLoader loader;
    QList<FiscalDocPropertyPtr> parts;
    int size = 0;
    const QVariantList list = value.toList();
    for (int i = 0; i < list.size(); ++i) {
        const QVariant &entry = list.at(i);
        if (entry.userType() != QMetaType::QVariantMap)
            return fail(QStringLiteral("entry %1 is not a property map").arg(i + 1));
        const QVariantMap map = entry.toMap();
        bool ok = false;
        const uint partTag = map.value(QStringLiteral("tag")).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("entry %1 has no numeric \"tag\"").arg(i + 1));
        const FiscalDocPropertyPtr part = loader[partTag];
        if (!part)
            return fail(QStringLiteral("entry %1 has the unknown tag %2").arg(i + 1).arg(partTag));
        if (!part->setMapAt(map, depth + 1))
            return fail(part->errorString());
        size += encodedSize(part);
        if (size > maxLength())
            return fail(QStringLiteral("the parts take more than the %1 bytes the tag allows").arg(maxLength()));
        parts.append(part);
    }
    m_properties = parts;
    return true;
}

bool FiscalDocComplexProperty::doParseValue(const QByteArray &bytes, int depth)
{
    if (depth + 1 > MAX_NESTING)
        return fail(QStringLiteral("compound properties nested deeper than %1").arg(MAX_NESTING));
    const FiscalDocPropertyTemplateLoader loader;
    QList<FiscalDocPropertyPtr> parts;
    int offset = 0;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < TLV_HEADER_SIZE)
            return fail(QStringLiteral("the part at byte %1 ends inside its header").arg(offset));
        const auto at = [&bytes](int i) { return uint(uchar(bytes.at(i))); };
        const quint16 partTag = quint16(at(offset) | (at(offset + 1) << 8));
        const int length = int(at(offset + 2) | (at(offset + 3) << 8));
        offset += TLV_HEADER_SIZE;
        if (length > bytes.size() - offset)
            return fail(QStringLiteral("part %1 announces %2 bytes but %3 remain")
                        .arg(partTag).arg(length).arg(bytes.size() - offset));
        // A part of a tag we do not know is kept as it came.
        FiscalDocPropertyPtr part = loader[partTag];
        if (!part)
            part.reset(new FiscalDocBytesProperty(PropertyTag(partTag)));
        if (!part->parseValueAt(bytes.mid(offset, length), depth + 1))
            return fail(part->errorString());
        parts.append(part);
        offset += length;
    }
    m_properties = parts;
    return true;
}

QVariant FiscalDocComplexProperty::doValue() const
{
    QVariantList parts;
    for (const FiscalDocPropertyPtr &part : m_properties)
        parts.append(part->toMap(false));
    return parts;
}

void FiscalDocComplexProperty::doClearValue()
{
    m_properties.clear();
}

} // namespace fiscal
