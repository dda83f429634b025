#include "regdata.h"

#include <QStringList>

namespace fiscal {

const QString RegData::BUS_OBJECT_NAME = QStringLiteral("fiscal.regdata");

namespace {

const QString kModel = QStringLiteral("model");
const QString kSerial = QStringLiteral("cashBoxSerial");
const QString kRegNumber = QStringLiteral("regNumber");
const QString kUserInn = QStringLiteral("userInn");
const QString kUserName = QStringLiteral("userName");
const QString kVersion = QStringLiteral("version");
const QString kFdfVersion = QStringLiteral("fdfVersion");
const QString kFsFdfVersion = QStringLiteral("fsFdfVersion");
const QString kRegDate = QStringLiteral("regDate");
const QString kRegDocNumber = QStringLiteral("regDocNumber");
const QString kTaxes = QStringLiteral("taxes");
const QString kCashboxFlags = QStringLiteral("cashboxFlags");
const QString kAgentFlags = QStringLiteral("agentFlags");
const QString kBoxId = QStringLiteral("boxId");
const QString kCashier = QStringLiteral("cashier");
const QString kCashierInn = QStringLiteral("cashierInn");
const QString kPaymentAddress = QStringLiteral("paymentAddress");
const QString kPaymentPlace = QStringLiteral("paymentPlace");
const QString kOfdInn = QStringLiteral("ofdInn");
const QString kOfdName = QStringLiteral("ofdName");
const QString kFsNumber = QStringLiteral("fsNumber");
const QString kFnsSite = QStringLiteral("fnsSite");
const QString kUserEMail = QStringLiteral("userEMail");

QStringList taxSystemNames(quint8 taxes)
{
    static const char *const names[] = {
        "ОСН", "УСН доход", "УСН доход - расход", "ЕНВД", "ЕСХН", "Патент",
    };
    QStringList list;
    for (int bit = 0; bit < 6; ++bit) {
        if (taxes & (1u << bit))
            list << QString::fromUtf8(names[bit]);
    }
    return list;
}

} // namespace

RegData::RegData() = default;

void RegData::setModel(quint32 model) { m_model = model; }
void RegData::setCashBoxSerial(const QString &serial) { m_cashBoxSerial = serial; }
void RegData::setRegNumeber(const QString &number) { m_regNumber = number; }
void RegData::setUserInn(const QString &inn) { m_userInn = inn; }
void RegData::setUserName(const QString &name) { m_userName = name; }
void RegData::setVersion(const QString &version) { m_version = version; }
void RegData::setFdfVersion(quint8 version) { m_fdfVersion = version; }
void RegData::setFSfdfVersion(quint8 version) { m_fsFdfVersion = version; }
void RegData::setRegDate(const QDate &date) { m_regDate = date; }
void RegData::setRegDocNumber(quint32 number) { m_regDocNumber = number; }
void RegData::setTaxes(quint8 taxes) { m_taxes = taxes; }
void RegData::setCashboxFlags(quint16 flags) { m_cashboxFlags = flags & ALL_REGISTRATION_FLAGS; }
void RegData::setAgentFlags(quint8 flags) { m_agentFlags = flags; }
void RegData::setBoxId(const QString &id) { m_boxId = id; }
void RegData::setCashier(const QString &name) { m_cashier = name; }
void RegData::setCashierInn(const QString &inn) { m_cashierInn = inn; }
void RegData::setPaymentAddress(const QString &address) { m_paymentAddress = address; }
void RegData::setPaymentPlace(const QString &place) { m_paymentPlace = place; }
void RegData::setOfdInn(const QString &inn) { m_ofdInn = inn; }
void RegData::setOfdName(const QString &name) { m_ofdName = name; }
void RegData::setFsNumber(const QString &number) { m_fsNumber = number; }
void RegData::setFnsSite(const QString &site) { m_fnsSite = site; }
void RegData::setUserEMail(const QString &mail) { m_userEMail = mail; }

void RegData::setFlag(RegistrationFlag flag, bool on)
{
    if (on)
        m_cashboxFlags |= flag;
    else
        m_cashboxFlags &= quint16(~flag);
}

QVariantMap RegData::toMap() const
{
    return {
        { kModel, m_model },
        { kSerial, m_cashBoxSerial },
        { kRegNumber, m_regNumber },
        { kUserInn, m_userInn },
        { kUserName, m_userName },
        { kVersion, m_version },
        { kFdfVersion, uint(m_fdfVersion) },
        { kFsFdfVersion, uint(m_fsFdfVersion) },
        { kRegDate, m_regDate.isValid() ? m_regDate.toString(Qt::ISODate) : QString() },
        { kRegDocNumber, m_regDocNumber },
        { kTaxes, uint(m_taxes) },
        { kCashboxFlags, uint(m_cashboxFlags) },
        { kAgentFlags, uint(m_agentFlags) },
        { kBoxId, m_boxId },
        { kCashier, m_cashier },
        { kCashierInn, m_cashierInn },
        { kPaymentAddress, m_paymentAddress },
        { kPaymentPlace, m_paymentPlace },
        { kOfdInn, m_ofdInn },
        { kOfdName, m_ofdName },
        { kFsNumber, m_fsNumber },
        { kFnsSite, m_fnsSite },
        { kUserEMail, m_userEMail },
    };
}

void RegData::setMap(const QVariantMap &map)
{
    *this = RegData();
    m_model = map.value(kModel).toUInt();
    m_cashBoxSerial = map.value(kSerial).toString();
    m_regNumber = map.value(kRegNumber).toString();
    m_userInn = map.value(kUserInn).toString();
    m_userName = map.value(kUserName).toString();
    m_version = map.value(kVersion).toString();
    m_fdfVersion = quint8(map.value(kFdfVersion).toUInt());
    m_fsFdfVersion = quint8(map.value(kFsFdfVersion).toUInt());
    m_regDate = QDate::fromString(map.value(kRegDate).toString(), Qt::ISODate);
    m_regDocNumber = map.value(kRegDocNumber).toUInt();
    m_taxes = quint8(map.value(kTaxes).toUInt());
    setCashboxFlags(quint16(map.value(kCashboxFlags).toUInt()));
    m_agentFlags = quint8(map.value(kAgentFlags).toUInt());
    m_boxId = map.value(kBoxId).toString();
    m_cashier = map.value(kCashier).toString();
    m_cashierInn = map.value(kCashierInn).toString();
    m_paymentAddress = map.value(kPaymentAddress).toString();
    m_paymentPlace = map.value(kPaymentPlace).toString();
    m_ofdInn = map.value(kOfdInn).toString();
    m_ofdName = map.value(kOfdName).toString();
    m_fsNumber = map.value(kFsNumber).toString();
    m_fnsSite = map.value(kFnsSite).toString();
    m_userEMail = map.value(kUserEMail).toString();
}

QVariantMap RegData::toBeutyMap() const
{
    QVariantMap map {
        { QStringLiteral("model"), m_model },
        { QStringLiteral("serial"), m_cashBoxSerial },
        { QStringLiteral("regNumber"), m_regNumber },
        { QStringLiteral("inn"), m_userInn },
        { QStringLiteral("userName"), m_userName },
        { QStringLiteral("regFlags"), uint(m_cashboxFlags) },
        { QStringLiteral("atmNumber"), m_boxId },
        { QStringLiteral("regDate"), m_regDate.isValid() ? m_regDate.toString(QStringLiteral("dd.MM.yyyy")) : QString() },
        { QStringLiteral("regDocNumber"), m_regDocNumber },
        { QStringLiteral("taxSystems"), taxSystemNames(m_taxes).join(QStringLiteral(", ")) },
        { QStringLiteral("agentFlags"), uint(m_agentFlags) },
        { QStringLiteral("paymentAddress"), m_paymentAddress },
        { QStringLiteral("paymentPlace"), m_paymentPlace },
        { QStringLiteral("ofdInn"), m_ofdInn },
        { QStringLiteral("ofdName"), m_ofdName },
        { QStringLiteral("fnsSite"), m_fnsSite },
        { QStringLiteral("userEmail"), m_userEMail },
        { QStringLiteral("fsNumber"), m_fsNumber },
        { QStringLiteral("ffdVersion"), ffdVersionText(m_fdfVersion) },
        { QStringLiteral("fsFfdVersion"), ffdVersionText(m_fsFdfVersion) },
        { QStringLiteral("version"), m_version },
    };
    // The registration cashier is reported only when the report named one.
    if (!m_cashier.isEmpty())
        map.insert(QStringLiteral("cashier"), m_cashier);
    if (!m_cashierInn.isEmpty())
        map.insert(QStringLiteral("cashierInn"), m_cashierInn);
    return map;
}

QString RegData::ffdVersionText(quint8 code)
{
    switch (code) {
    case 1:
        return QStringLiteral("1.0");
    case 2:
        return QStringLiteral("1.05");
    case 3:
        return QStringLiteral("1.1");
    case 4:
        return QStringLiteral("1.2");
    default:
        return QString();
    }
}

bool RegData::operator==(const RegData &other) const
{
    return toMap() == other.toMap();
}

} // namespace fiscal
