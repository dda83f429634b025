#include "fiscaldocfvlnproperty.h"

#include "fiscaldocpropertyinfo_p.h"

#include <cmath>

namespace fiscal {

namespace {

constexpr int FVLN_TYPE_MAX = 8;

quint64 powerOfTen(int exponent)
{
    quint64 p = 1;
    while (exponent-- > 0)
        p *= 10;
    return p;
}

} // namespace

FiscalDocFvlnProperty::FiscalDocFvlnProperty(PropertyTag tag)
    : FiscalDocPropertyBase(tag, FVLN_TYPE_MAX)
{
}

QString FiscalDocFvlnProperty::printableValue() const
{
    if (!hasValue())
        return QString();
    QString digits = QString::number(m_mantissa).rightJustified(m_decimals + 1, QLatin1Char('0'));
    if (m_decimals > 0)
        digits.insert(digits.size() - m_decimals, QLatin1Char('.'));
    return digits;
}

QByteArray FiscalDocFvlnProperty::toByteArray(bool littleEndian, bool compact) const
{
    int size = maxLength() - 1;
    if (compact) {
        size = 0;
        for (quint64 v = m_mantissa; v; v >>= 8)
            ++size;
    }
    QByteArray bytes(1 + size, '\0');
    bytes[0] = char(m_decimals);
    for (int i = 0; i < size; ++i)
        bytes[1 + (littleEndian ? i : size - 1 - i)] = char((m_mantissa >> (8 * i)) & 0xFF);
    return bytes;
}

FiscalDocPropertyPtr FiscalDocFvlnProperty::clone() const
{
    return FiscalDocPropertyPtr(new FiscalDocFvlnProperty(*this));
}

bool FiscalDocFvlnProperty::doSetValue(const QVariant &value, int)
{
    switch (value.userType()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return setDecimalText(value.toString().trimmed());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = value.toDouble();
        if (!std::isfinite(v) || v < 0)
            return fail(QStringLiteral("%1 is not a non-negative number").arg(v));
        // Six places keep every quantity a register prints; the trailing
        // zeros of the text are dropped so 1.5 stays 01 0F.
        QString text = QString::number(v, 'f', 6);
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        return setDecimalText(text);
    }
    default: {
        const quint64 max = (quint64(1) << (8 * (maxLength() - 1))) - 1;
        quint64 number = 0;
        QString error;
        if (!propinfo::toUnsigned(value, max, false, &number, &error))
            return fail(error);
        m_mantissa = number;
        m_decimals = 0;
        return true;
    }
    }
}

bool FiscalDocFvlnProperty::setDecimalText(const QString &text)
{
    QString whole = text;
    QString fraction;
    int point = text.indexOf(QLatin1Char('.'));
    if (point < 0)
        point = text.indexOf(QLatin1Char(','));
    if (point >= 0) {
        whole = text.left(point);
        fraction = text.mid(point + 1);
    }
    bool ok = !whole.isEmpty() && (point < 0 || !fraction.isEmpty());
    for (const QChar c : whole + fraction)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!ok)
        return fail(QStringLiteral("\"%1\" is not a non-negative decimal number").arg(text.left(40)));
    if (fraction.size() > MAX_DECIMALS)
        return fail(QStringLiteral("more than %1 digits after the point").arg(MAX_DECIMALS));
    QString digits = whole + fraction;
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    const quint64 max = (quint64(1) << (8 * (maxLength() - 1))) - 1;
    const quint64 mantissa = digits.size() <= 19 ? digits.toULongLong(&ok) : 0;
    if (digits.size() > 19 || !ok || mantissa > max)
        return fail(QStringLiteral("\"%1\" does not fit in %2 bytes").arg(text.left(40)).arg(maxLength()));
    m_mantissa = mantissa;
    m_decimals = fraction.size();
    return true;
}

bool FiscalDocFvlnProperty::doParseValue(const QByteArray &bytes, int)
{
    if (bytes.isEmpty())
        return fail(QStringLiteral("an FVLN value needs at least its point byte"));
    const int decimals = uchar(bytes.at(0));
    if (decimals > MAX_DECIMALS)
        return fail(QStringLiteral("%1 digits after the point (at most %2)").arg(decimals).arg(MAX_DECIMALS));
    quint64 mantissa = 0;
    for (int i = 1; i < bytes.size(); ++i)
        mantissa |= quint64(uchar(bytes.at(i))) << (8 * (i - 1));
    m_mantissa = mantissa;
    m_decimals = decimals;
    return true;
}

QVariant FiscalDocFvlnProperty::doValue() const
{
    return double(m_mantissa) / double(powerOfTen(m_decimals));
}

void FiscalDocFvlnProperty::doClearValue()
{
    m_mantissa = 0;
    m_decimals = 0;
}

} // namespace fiscal
