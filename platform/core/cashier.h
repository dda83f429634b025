#ifndef CORE_CASHIER_H
#define CORE_CASHIER_H

#include <QDebug>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace core {

// A cashier as the fiscal core knows it: name, numeric password, tax number
// and the identifier of the client session the cashier logged in from.
class Cashier
{
public:
    // Name of the shared bus object that carries the cashier list.
    static const QString CASHIERS_OBJECT_NAME;
    // Key of the list inside that object.
    static const QString CASHIERS_KEY;

    Cashier() = default;

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    unsigned password() const { return m_password; }
    void setPassword(unsigned password) { m_password = password; }
    QString inn() const { return m_inn; }
    void setInn(const QString &inn) { m_inn = inn; }
    QVariant clientId() const { return m_clientId; }
    void setClientId(const QVariant &clientId) { m_clientId = clientId; }

    // "name", "password", "inn" and, when set, "clientId".
    QVariantMap toMap() const;
    // Replaces the cashier by the one the map describes. The password may be
    // a number or decimal text; false (the password then 0) when it is
    // missing or not a non-negative whole number.
    bool setMap(const QVariantMap &map);

    // The cashiers of the shared cashier object ({ "cashiers": [ maps ] }),
    // in list order; entries that are not maps or lack a valid password are
    // left out with a warning.
    static QList<Cashier> parseCashiers(const QVariantMap &object);
    static QVariantMap cashiersObject(const QList<Cashier> &cashiers);

    bool operator==(const Cashier &other) const;
    bool operator!=(const Cashier &other) const { return !(*this == other); }

private:
    QString m_name;
    QString m_inn;
    QVariant m_clientId;
    unsigned m_password = 0;
};

// Name, tax number and client id; the password never reaches a log.
QDebug operator<<(QDebug debug, const Cashier &cashier);

} // namespace core

Q_DECLARE_METATYPE(core::Cashier)

#endif
