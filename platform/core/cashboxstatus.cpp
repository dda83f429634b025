#include "cashboxstatus.h"

#include <QtMath>

#include <cmath>

namespace core {

namespace {

const QString kMode = QStringLiteral("mode");
const QString kSubmode = QStringLiteral("submode");
const QString kCashier = QStringLiteral("cashier");
const QString kCashboxNumber = QStringLiteral("cashboxNumber");
const QString kCycleNumber = QStringLiteral("cycleNumber");
const QString kCycleOpened = QStringLiteral("cycleOpened");
const QString kCycleClosed = QStringLiteral("cycleClosed");
const QString kLastCheckNumber = QStringLiteral("lastCheckNumber");
const QString kCash = QStringLiteral("cash");
const QString kDt = QStringLiteral("dt");
const QString kFsStatus = QStringLiteral("fsStatus");
const QString kFsStatusText = QStringLiteral("fsStatusText");
const QString kRegData = QStringLiteral("regData");
const QString kModel = QStringLiteral("model");
const QString kModelStr = QStringLiteral("modelstr");
const QString kVer = QStringLiteral("ver");
const QString kSubver = QStringLiteral("subver");
const QString kSerial = QStringLiteral("serial");
const QString kRegNumber = QStringLiteral("regNumber");
const QString kInn = QStringLiteral("inn");
const QString kRegFlags = QStringLiteral("regFlags");
const QString kFfdVersion = QStringLiteral("ffdVersion");
const QString kFsFfdVersion = QStringLiteral("fsFfdVersion");
const QString kShiftOpened = QStringLiteral("shiftOpened");
const QString kPaperPresent = QStringLiteral("paperPresent");

// The register keeps wall-clock time: date-times travel as ISO text
// without a zone, an unset one as empty text.
QVariant dtToVariant(const QDateTime &dt)
{
    return dt.isValid() ? QVariant(dt.toString(Qt::ISODate)) : QVariant(QString());
}

QDateTime dtFromVariant(const QVariant &value)
{
    if (value.userType() == QMetaType::QDateTime)
        return value.toDateTime();
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

} // namespace

void CashboxStatus::setCash(double roubles)
{
    // Beyond any real drawer, and where kopecks would overflow: unknown.
    constexpr double MAX_ROUBLES = 1e15;
    m_cashKopecks = (qIsFinite(roubles) && qAbs(roubles) <= MAX_ROUBLES) ? std::llround(roubles * 100.0) : 0;
}

QVariantMap CashboxStatus::toMap(bool brief) const
{
    // The register version reads "major.minor..."; "ver" is the part before
    // the first point, "subver" the rest.
    const QString version = m_regData.version();
    const int point = version.indexOf(QLatin1Char('.'));
    const QString ver = point < 0 ? version : version.left(point);
    const QString subver = point < 0 ? QString() : version.mid(point + 1);

    QVariantMap map {
        { kMode, m_mode },
        { kSubmode, m_submode },
        { kCashier, m_cashier },
        { kCashboxNumber, m_cashboxNumber },
        { kCycleNumber, m_cycleNumber },
        { kCycleOpened, dtToVariant(m_cycleOpened) },
        { kCycleClosed, dtToVariant(m_cycleClosed) },
        { kLastCheckNumber, m_lastCheckNumber },
        { kCash, cash() },
        { kDt, dtToVariant(m_dt) },
        { kFsStatus, m_fs.toMap() },
        { kShiftOpened, m_fs.shiftOpened() },
        { kModel, m_regData.model() },
        { kModelStr, m_modelName },
        { kVer, ver },
        { kSubver, subver },
        { kSerial, m_regData.cashBoxSerial() },
        { kRegNumber, m_regData.regNumeber() },
        { kInn, m_regData.userInn() },
        { kRegFlags, uint(m_regData.cashboxRegistrationFlags()) },
        { kFfdVersion, fiscal::RegData::ffdVersionText(m_regData.fdfVersion()) },
        { kFsFfdVersion, fiscal::RegData::ffdVersionText(m_regData.fsFdfVersion()) },
    };
    if (m_paperKnown)
        map.insert(kPaperPresent, m_paperPresent);
    if (!brief) {
        map.insert(kRegData, m_regData.toMap());
        map.insert(kFsStatusText, m_fs.toBeautyMap());
    }
    return map;
}

void CashboxStatus::setMap(const QVariantMap &map)
{
    *this = CashboxStatus();
    m_mode = map.value(kMode).toInt();
    m_submode = map.value(kSubmode).toInt();
    m_cashier = map.value(kCashier).toInt();
    m_cashboxNumber = map.value(kCashboxNumber).toInt();
    m_cycleNumber = map.value(kCycleNumber).toInt();
    m_cycleOpened = dtFromVariant(map.value(kCycleOpened));
    m_cycleClosed = dtFromVariant(map.value(kCycleClosed));
    m_lastCheckNumber = map.value(kLastCheckNumber).toInt();
    setCash(map.value(kCash).toDouble());
    m_dt = dtFromVariant(map.value(kDt));
    m_modelName = map.value(kModelStr).toString();
    if (map.contains(kFsStatus))
        m_fs.setMap(map.value(kFsStatus).toMap());
    m_regData.setMap(map.value(kRegData).toMap());
    if (map.contains(kPaperPresent))
        setPaperPresent(map.value(kPaperPresent).toBool());
}

bool CashboxStatus::operator==(const CashboxStatus &other) const
{
    return m_mode == other.m_mode && m_submode == other.m_submode && m_cashier == other.m_cashier
        && m_cashboxNumber == other.m_cashboxNumber && m_cycleNumber == other.m_cycleNumber
        && m_cycleOpened == other.m_cycleOpened && m_cycleClosed == other.m_cycleClosed
        && m_lastCheckNumber == other.m_lastCheckNumber && m_cashKopecks == other.m_cashKopecks
        && m_dt == other.m_dt && m_modelName == other.m_modelName && m_fs == other.m_fs
        && m_regData == other.m_regData && m_paperKnown == other.m_paperKnown
        && m_paperPresent == other.m_paperPresent;
}

} // namespace core
