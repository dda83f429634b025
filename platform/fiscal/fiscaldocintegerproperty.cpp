#include "fiscaldocintegerproperty.h"

#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {

namespace {

int widthOf(FiscalDocPropertyBase::PropertyType type)
{
    switch (type) {
    case FiscalDocPropertyBase::UInt16Property:
        return 2;
    case FiscalDocPropertyBase::UInt32Property:
        return 4;
    default:
        return 1;
    }
}

} // namespace

FiscalDocIntegerProperty::FiscalDocIntegerProperty(PropertyTag tag, PropertyType type)
    : FiscalDocPropertyBase(tag, widthOf(type))
    , m_type(type)
    , m_width(widthOf(type))
{
}

QString FiscalDocIntegerProperty::printableValue() const
{
    if (!hasValue())
        return QString();
    return propinfo::integerText(propinfo::ValueFormat(format()), m_value);
}

QByteArray FiscalDocIntegerProperty::toByteArray(bool littleEndian, bool) const
{
    QByteArray bytes(m_width, '\0');
    for (int i = 0; i < m_width; ++i) {
        const char b = char((m_value >> (8 * i)) & 0xFF);
        bytes[littleEndian ? i : m_width - 1 - i] = b;
    }
    return bytes;
}

bool FiscalDocIntegerProperty::doSetValue(const QVariant &value, int)
{
    const quint64 max = (quint64(1) << (8 * m_width)) - 1;
    quint64 number = 0;
    QString error;
    if (!propinfo::toUnsigned(value, max, m_width == 1, &number, &error))
        return fail(error);
    m_value = quint32(number);
    return true;
}

bool FiscalDocIntegerProperty::doParseValue(const QByteArray &bytes, int)
{
    // A byte may be empty (read as 0); wider numbers come whole.
    const bool fits = m_width == 1 ? bytes.size() <= 1 : bytes.size() == m_width;
    if (!fits)
        return fail(QStringLiteral("a %1-byte number encoded in %2 bytes").arg(m_width).arg(bytes.size()));
    quint32 value = 0;
    for (int i = 0; i < bytes.size(); ++i)
        value |= quint32(uchar(bytes.at(i))) << (8 * i);
    m_value = value;
    return true;
}

QVariant FiscalDocIntegerProperty::doValue() const
{
    return uint(m_value);
}

void FiscalDocIntegerProperty::doClearValue()
{
    m_value = 0;
}

} // namespace fiscal
