#include "fixnumber.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qt5ext {

FixNumber::FixNumber(qint64 multiplier, qint64 raw)
    : m_multiplier(multiplier > 0 ? multiplier : 1)
    , m_value(raw)
{
}

double FixNumber::toDouble() const
{
    return double(m_value) / double(m_multiplier);
}

void FixNumber::setDouble(double value)
{
    const double scaled = value * double(m_multiplier);
    // 1.005 is stored as 1.00499999...; a value that is a half up to binary
    // noise is a half as the cashier typed it, so it rounds away from zero.
    const double magnitude = std::fabs(scaled);
    const double lower = std::floor(magnitude);
    const double noise = 8 * std::numeric_limits<double>::epsilon() * std::max(1.0, magnitude);
    if (std::fabs(magnitude - lower - 0.5) <= noise) {
        const qint64 up = qint64(lower) + 1;
        m_value = scaled < 0 ? -up : up;
        return;
    }
    m_value = qint64(std::llround(scaled));
}

FixNumber FixNumber::fromDouble(double value, qint64 multiplier)
{
    FixNumber n(multiplier);
    n.setDouble(value);
    return n;
}

QString FixNumber::toString() const
{
    int digits = 0;
    for (qint64 m = m_multiplier; m >= 10; m /= 10)
        ++digits;
    const qint64 whole = m_value / m_multiplier;
    const qint64 frac = qAbs(m_value % m_multiplier);
    QString text = (m_value < 0 && whole == 0) ? QStringLiteral("-0") : QString::number(whole);
    if (digits > 0)
        text += QLatin1Char('.') + QString::number(frac).rightJustified(digits, QLatin1Char('0'));
    return text;
}

bool FixNumber::operator==(const FixNumber &other) const
{
    // Compare across multipliers without overflowing for ordinary amounts.
    if (m_multiplier == other.m_multiplier)
        return m_value == other.m_value;
    return m_value * other.m_multiplier == other.m_value * m_multiplier;
}

} // namespace qt5ext
