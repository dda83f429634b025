#include "fiscaldocbytesproperty.h"

#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {

FiscalDocBytesProperty::FiscalDocBytesProperty(PropertyTag tag)
    : FiscalDocPropertyBase(tag, UNKNOWN_TAG_MAX_LENGTH)
{
}

QString FiscalDocBytesProperty::printableValue() const
{
    if (!hasValue())
        return QString();
    // The printed fiscal sign is bytes 2..5 read big-endian, ten digits.
    if (format() == propinfo::FiscalSignFormat && m_bytes.size() == 6) {
        quint32 sign = 0;
        for (int i = 2; i < 6; ++i)
            sign = (sign << 8) | uchar(m_bytes.at(i));
        return QStringLiteral("%1").arg(sign, 10, 10, QLatin1Char('0'));
    }
    return QString::fromLatin1(m_bytes.toHex(' ').toUpper());
}

QByteArray FiscalDocBytesProperty::toByteArray(bool, bool) const
{
    return m_bytes;
}

FiscalDocPropertyPtr FiscalDocBytesProperty::clone() const
{
    return FiscalDocPropertyPtr(new FiscalDocBytesProperty(*this));
}

bool FiscalDocBytesProperty::doSetValue(const QVariant &value, int)
{
    if (value.userType() == QMetaType::QByteArray)
        return setBytes(value.toByteArray());
    if (value.userType() != QMetaType::QString)
        return fail(QStringLiteral("a value of type %1 where bytes are expected")
                    .arg(QString::fromLatin1(value.typeName())));
    QString hex = value.toString();
    hex.remove(QLatin1Char(' '));
    bool ok = hex.size() % 2 == 0;
    for (const QChar c : hex)
        ok = ok && ((c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                     || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')));
    if (!ok)
        return fail(QStringLiteral("\"%1\" is not hexadecimal byte text").arg(value.toString().left(40)));
    return setBytes(QByteArray::fromHex(hex.toLatin1()));
}

bool FiscalDocBytesProperty::setBytes(const QByteArray &bytes)
{
    if (bytes.size() > maxLength())
        return fail(QStringLiteral("%1 bytes are more than the %2 the tag allows")
                    .arg(bytes.size()).arg(maxLength()));
    m_bytes = bytes;
    return true;
}

bool FiscalDocBytesProperty::doParseValue(const QByteArray &bytes, int)
{
    m_bytes = bytes;
    return true;
}

QVariant FiscalDocBytesProperty::doValue() const
{
    return m_bytes;
}

QVariant FiscalDocBytesProperty::mapValue() const
{
    return QString::fromLatin1(m_bytes.toHex());
}

void FiscalDocBytesProperty::doClearValue()
{
    m_bytes.clear();
}

} // namespace fiscal
