#ifndef FISCAL_FISCALDOCUNIXTIMEPROPERTY_H
#define FISCAL_FISCALDOCUNIXTIMEPROPERTY_H

#include "fiscaldocpropertybase.h"

#include <QDateTime>

namespace fiscal {

// Date and time as 32-bit little-endian seconds. The register writes its
// own wall clock as if it were UTC, so no time zone is ever applied: value()
// is a QDateTime in UTC whose date and time are that wall clock, and a value
// set from any QDateTime keeps its date and time as they read. Text values
// may be ISO 8601 ("2018-03-05T14:07:00"), "dd.MM.yyyy hh:mm[:ss]" or
// seconds as decimal digits.
class FiscalDocUnixTimeProperty : public FiscalDocPropertyBase
{
public:
    explicit FiscalDocUnixTimeProperty(PropertyTag tag);

    PropertyType propertyType() const override { return UnixTimeProperty; }
    QDateTime dateTime() const;

    QString printableValue() const override;
    QByteArray toByteArray(bool littleEndian = true, bool compact = true) const override;
    FiscalDocPropertyPtr clone() const override;

protected:
    bool doSetValue(const QVariant &value, int depth) override;
    bool doParseValue(const QByteArray &bytes, int depth) override;
    QVariant doValue() const override;
    void doClearValue() override;
    // ISO text without a time zone, as other date-times in maps.
    QVariant mapValue() const override;

private:
    bool setDateTime(const QDateTime &dt);

    quint32 m_seconds = 0;
};

} // namespace fiscal

#endif
