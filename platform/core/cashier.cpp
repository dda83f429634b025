#include "cashier.h"

#include "corelog_p.h"

#include <limits>

namespace core {

const QString Cashier::CASHIERS_OBJECT_NAME = QStringLiteral("core.cashiers");
const QString Cashier::CASHIERS_KEY = QStringLiteral("cashiers");

namespace {

const QString kName = QStringLiteral("name");
const QString kPassword = QStringLiteral("password");
const QString kInn = QStringLiteral("inn");
const QString kClientId = QStringLiteral("clientId");

// Passwords are whole numbers; JSON may bring them as numbers or text.
bool readPassword(const QVariant &value, unsigned &password)
{
    bool ok = false;
    qulonglong number = 0;
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        ok = d >= 0 && d <= double(std::numeric_limits<unsigned>::max()) && d == double(qulonglong(d));
        number = ok ? qulonglong(d) : 0;
        break;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
        ok = value.toLongLong() >= 0;
        number = ok ? qulonglong(value.toLongLong()) : 0;
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        number = value.toULongLong(&ok);
        break;
    default:
        number = value.toString().trimmed().toULongLong(&ok, 10);
        break;
    }
    if (!ok || number > std::numeric_limits<unsigned>::max())
        return false;
    password = unsigned(number);
    return true;
}

} // namespace

QVariantMap Cashier::toMap() const
{
    QVariantMap map {
        { kName, m_name },
        { kPassword, m_password },
        { kInn, m_inn },
    };
    if (m_clientId.isValid())
        map.insert(kClientId, m_clientId);
    return map;
}

bool Cashier::setMap(const QVariantMap &map)
{
    *this = Cashier();
    m_name = map.value(kName).toString();
    m_inn = map.value(kInn).toString().trimmed();
    m_clientId = map.value(kClientId);
    return readPassword(map.value(kPassword), m_password);
}

QList<Cashier> Cashier::parseCashiers(const QVariantMap &object)
{
    QList<Cashier> cashiers;
    const QVariantList list = object.value(CASHIERS_KEY).toList();
    for (int i = 0; i < list.size(); ++i) {
        const QVariant &entry = list.at(i);
        if (entry.userType() != QMetaType::QVariantMap) {
            qCWarning(lcCoreRecords) << "Cashier entry" << i << "is not a map; skipped";
            continue;
        }
        Cashier cashier;
        if (!cashier.setMap(entry.toMap())) {
            qCWarning(lcCoreRecords) << "Cashier entry" << i << "has no valid password; skipped";
            continue;
        }
        cashiers.append(cashier);
    }
    return cashiers;
}

QVariantMap Cashier::cashiersObject(const QList<Cashier> &cashiers)
{
    QVariantList list;
    for (const Cashier &cashier : cashiers)
        list.append(cashier.toMap());
    return { { CASHIERS_KEY, list } };
}

bool Cashier::operator==(const Cashier &other) const
{
    return m_name == other.m_name && m_password == other.m_password && m_inn == other.m_inn
        && m_clientId == other.m_clientId;
}

QDebug operator<<(QDebug debug, const Cashier &cashier)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << "Cashier(" << cashier.name() << ", inn " << cashier.inn() << ", client "
                    << cashier.clientId().toString() << ')';
    return debug;
}

} // namespace core
