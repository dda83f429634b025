#ifndef FISCAL_PROVIDERDATA_H
#define FISCAL_PROVIDERDATA_H

#include "fiscaldocpropertybase.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace fiscal {

class FiscalDocComplexProperty;

// Supplier data of a receipt item (compound tag 1224): the supplier's name
// and phones. The supplier's tax number (1226) stands beside it in the item.
class ProviderData
{
public:
    QString name() const { return m_name; }                 // 1225
    void setName(const QString &name) { m_name = name; }
    QStringList phones() const { return m_phones; }         // 1171
    void setPhones(const QStringList &phones) { m_phones = phones; }

    bool isEmpty() const { return m_name.isEmpty() && m_phones.isEmpty(); }
    void clear() { *this = ProviderData(); }

    // Reads a 1224 record; false with `error` set (and nothing changed) when
    // it is of another tag or holds a part supplier data has no place for.
    bool parse(const FiscalDocComplexProperty &property, QString *error = nullptr);
    // The parts in map form, in tag order; empty texts are left out.
    QVariantList toFiscProps() const;
    // Fills `templ` (a 1224 template) with the parts and returns it; null
    // when there is no supplier data or `templ` is not a 1224 compound.
    FiscalDocPropertyPtr getProperty(const FiscalDocPropertyPtr &templ) const;

    bool operator==(const ProviderData &other) const;
    bool operator!=(const ProviderData &other) const { return !(*this == other); }

private:
    QString m_name;
    QStringList m_phones;
};

} // namespace fiscal

#endif
