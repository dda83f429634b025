#include "fiscaldocvlnproperty.h"

#include "fiscaldocpropertyinfo_p.h"

namespace fiscal {

namespace {

// Widest VLN that still fits the 64-bit value.
constexpr int VLN_TYPE_MAX = 8;

} // namespace

FiscalDocVlnProperty::FiscalDocVlnProperty(PropertyTag tag)
    : FiscalDocPropertyBase(tag, VLN_TYPE_MAX)
{
}

QString FiscalDocVlnProperty::printableValue() const
{
    if (!hasValue())
        return QString();
    return propinfo::integerText(propinfo::ValueFormat(format()), m_value);
}

QByteArray FiscalDocVlnProperty::toByteArray(bool littleEndian, bool compact) const
{
    int size = maxLength();
    if (compact) {
        size = 0;
        for (quint64 v = m_value; v; v >>= 8)
            ++size;
    }
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[littleEndian ? i : size - 1 - i] = char((m_value >> (8 * i)) & 0xFF);
    return bytes;
}

FiscalDocPropertyPtr FiscalDocVlnProperty::clone() const
{
    return FiscalDocPropertyPtr(new FiscalDocVlnProperty(*this));
}

bool FiscalDocVlnProperty::doSetValue(const QVariant &value, int)
{
    const quint64 max = maxLength() >= 8 ? ~quint64(0) : (quint64(1) << (8 * maxLength())) - 1;
    quint64 number = 0;
    QString error;
    if (!propinfo::toUnsigned(value, max, false, &number, &error))
        return fail(error);
    m_value = number;
    return true;
}

bool FiscalDocVlnProperty::doParseValue(const QByteArray &bytes, int)
{
    // The base already refused values longer than maxLength() (at most 8).
    quint64 value = 0;
    for (int i = 0; i < bytes.size(); ++i)
        value |= quint64(uchar(bytes.at(i))) << (8 * i);
    m_value = value;
    return true;
}

QVariant FiscalDocVlnProperty::doValue() const
{
    return qulonglong(m_value);
}

void FiscalDocVlnProperty::doClearValue()
{
    m_value = 0;
}

} // namespace fiscal
