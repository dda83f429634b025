#ifndef QT5EXT_FIXNUMBER_H
#define QT5EXT_FIXNUMBER_H

#include <QString>
#include <QtGlobal>

namespace qt5ext {

// A fixed-point number: an integer raw value and the multiplier it is scaled
// by. Money uses a multiplier of 100, so the raw value is kopecks.
class FixNumber
{
public:
    explicit FixNumber(qint64 multiplier = 100, qint64 raw = 0);

    qint64 multiplier() const { return m_multiplier; }
    qint64 value() const { return m_value; }
    void setValue(qint64 raw) { m_value = raw; }

    double toDouble() const;
    // Rounds to the nearest raw unit, halves away from zero.
    void setDouble(double value);
    static FixNumber fromDouble(double value, qint64 multiplier = 100);

    // Decimal text with as many fraction digits as the multiplier has zeros.
    QString toString() const;

    bool operator==(const FixNumber &other) const;
    bool operator!=(const FixNumber &other) const { return !(*this == other); }

private:
    qint64 m_multiplier;
    qint64 m_value;
};

} // namespace qt5ext

#endif
