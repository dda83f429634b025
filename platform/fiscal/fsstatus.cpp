#include "fsstatus.h"

#include "fsanswer_p.h"

namespace fiscal {

const QString FsStatus::OBJECT_NAME = QStringLiteral("fiscal.fsstatus");

namespace {

const QString kLifeTime = QStringLiteral("lifeTime");
const QString kTransport = QStringLiteral("transportState");

QString printableDt(const QDateTime &dt)
{
    return dt.isValid() ? dt.toString(QStringLiteral("dd.MM.yyyy hh:mm")) : QString();
}

} // namespace

FsStatus::FsStatus() = default;

bool FsStatus::parse(const QByteArray &answer)
{
    if (answer.size() < STATUS_ANSWER_SIZE)
        return false;
    m_phase = fsanswer::byteAt(answer, 0);
    m_currentDocument = fsanswer::byteAt(answer, 1);
    m_documentDataReceived = fsanswer::byteAt(answer, 2) != 0;
    m_shiftOpened = fsanswer::byteAt(answer, 3) != 0;
    m_warnings = fsanswer::byteAt(answer, 4);
    m_dt = fsanswer::dateTimeAt(answer, 5);
    m_fsNumber = fsanswer::textAt(answer, 10, 16);
    m_lastFd = fsanswer::uint32At(answer, 26);
    m_valid = true;
    return true;
}

bool FsStatus::parseFsVersion(const QByteArray &answer)
{
    if (answer.size() < VERSION_ANSWER_SIZE)
        return false;
    m_fsVersion = fsanswer::textAt(answer, 0, 16);
    m_serialBuild = fsanswer::byteAt(answer, 16) != 0;
    return true;
}

bool FsStatus::fiscalized() const
{
    return m_valid && (m_phase & PhaseFiscalMode) && !(m_phase & PhaseFiscalModeClosed);
}

void FsStatus::setPhase(quint8 phase)
{
    m_phase = phase;
    m_valid = true;
}

void FsStatus::setCurrentDocument(quint8 document)
{
    m_currentDocument = document;
}

void FsStatus::setDocumentDataReceived(bool received)
{
    m_documentDataReceived = received;
}

void FsStatus::setShiftOpened(bool opened)
{
    m_shiftOpened = opened;
}

void FsStatus::setWarnings(quint8 warnings)
{
    m_warnings = warnings;
}

void FsStatus::setDt(const QDateTime &dt)
{
    m_dt = dt;
}

void FsStatus::setFsNumber(const QString &number)
{
    m_fsNumber = number;
}

void FsStatus::setLastFd(quint32 number)
{
    m_lastFd = number;
}

void FsStatus::setFsVersion(const QString &version)
{
    m_fsVersion = version;
}

void FsStatus::setSerialBuild(bool serial)
{
    m_serialBuild = serial;
}

void FsStatus::setLifeTime(const FsLifeTimeData &lifeTime)
{
    m_lifeTime = lifeTime;
}

void FsStatus::setTransportState(const FsOfdTransportState &state)
{
    m_transportState = state;
}

QVariantMap FsStatus::toMap() const
{
    QVariantMap map {
        { QStringLiteral("phase"), uint(m_phase) },
        { QStringLiteral("currentDocument"), uint(m_currentDocument) },
        { QStringLiteral("documentDataReceived"), m_documentDataReceived },
        { QStringLiteral("shiftOpened"), m_shiftOpened },
        { QStringLiteral("warnings"), uint(m_warnings) },
        { QStringLiteral("dt"), fsanswer::dateTimeToVariant(m_dt) },
        { QStringLiteral("fsNumber"), m_fsNumber },
        { QStringLiteral("lastFd"), m_lastFd },
        { QStringLiteral("fsVersion"), m_fsVersion },
        { QStringLiteral("serialBuild"), m_serialBuild },
    };
    if (m_lifeTime.isValid())
        map.insert(kLifeTime, m_lifeTime.toMap());
    if (m_transportState.isValid())
        map.insert(kTransport, m_transportState.toMap());
    return map;
}

void FsStatus::setMap(const QVariantMap &map)
{
    *this = FsStatus();
    if (map.isEmpty())
        return;
    m_phase = quint8(map.value(QStringLiteral("phase")).toUInt());
    m_currentDocument = quint8(map.value(QStringLiteral("currentDocument")).toUInt());
    m_documentDataReceived = map.value(QStringLiteral("documentDataReceived")).toBool();
    m_shiftOpened = map.value(QStringLiteral("shiftOpened")).toBool();
    m_warnings = quint8(map.value(QStringLiteral("warnings")).toUInt());
    m_dt = fsanswer::dateTimeFromVariant(map.value(QStringLiteral("dt")));
    m_fsNumber = map.value(QStringLiteral("fsNumber")).toString();
    m_lastFd = map.value(QStringLiteral("lastFd")).toUInt();
    m_fsVersion = map.value(QStringLiteral("fsVersion")).toString();
    m_serialBuild = map.value(QStringLiteral("serialBuild")).toBool();
    m_lifeTime.setMap(map.value(kLifeTime).toMap());
    m_transportState.setMap(map.value(kTransport).toMap());
    m_valid = true;
}

QVariantMap FsStatus::toBeautyMap() const
{
    QVariantMap map {
        { QStringLiteral("fsNumber"), m_fsNumber },
        { QStringLiteral("fsVersion"), m_fsVersion },
        { QStringLiteral("serialBuild"), m_serialBuild },
        { QStringLiteral("phase"), uint(m_phase) },
        { QStringLiteral("phaseText"), phaseText(m_phase) },
        { QStringLiteral("fiscalized"), fiscalized() },
        { QStringLiteral("openDocument"), documentText(m_currentDocument) },
        { QStringLiteral("documentDataReceived"), m_documentDataReceived },
        { QStringLiteral("shiftOpened"), m_shiftOpened },
        { QStringLiteral("warnings"), warningTexts(m_warnings) },
        { QStringLiteral("lastDocumentNumber"), m_lastFd },
        { QStringLiteral("lastDocumentDateTime"), printableDt(m_dt) },
    };
    if (m_lifeTime.isValid()) {
        map.insert(QStringLiteral("validTill"),
                   m_lifeTime.expiryDate().isValid() ? m_lifeTime.expiryDate().toString(QStringLiteral("dd.MM.yyyy"))
                                                     : QString());
        map.insert(QStringLiteral("registrationsLeft"), uint(m_lifeTime.remainingRegistrations()));
        map.insert(QStringLiteral("registrationsDone"), uint(m_lifeTime.completedRegistrations()));
    }
    if (m_transportState.isValid()) {
        map.insert(QStringLiteral("ofdConnected"),
                   (m_transportState.status() & FsOfdTransportState::TransportConnected) != 0);
        map.insert(QStringLiteral("unsentDocuments"), uint(m_transportState.unsentCount()));
        map.insert(QStringLiteral("firstUnsentDocumentNumber"), m_transportState.firstUnsentNumber());
        map.insert(QStringLiteral("firstUnsentDocumentDateTime"), printableDt(m_transportState.firstUnsentDt()));
    }
    return map;
}

QString FsStatus::phaseText(quint8 phase)
{
    switch (phase) {
    case 0x00:
        return QStringLiteral("Настройка ФН");
    case 0x01:
        return QStringLiteral("Готовность к фискализации");
    case 0x03:
        return QStringLiteral("Фискальный режим");
    case 0x07:
        return QStringLiteral("Постфискальный режим, передача ФД в ОФД");
    case 0x0F:
        return QStringLiteral("Чтение данных из архива ФН");
    default:
        return QStringLiteral("Неизвестная фаза (0x%1)").arg(phase, 2, 16, QLatin1Char('0'));
    }
}

QString FsStatus::documentText(quint8 document)
{
    switch (document) {
    case 0x00:
        return QStringLiteral("Нет открытого документа");
    case 0x01:
        return QStringLiteral("Отчёт о регистрации");
    case 0x02:
        return QStringLiteral("Отчёт об открытии смены");
    case 0x04:
        return QStringLiteral("Кассовый чек");
    case 0x08:
        return QStringLiteral("Отчёт о закрытии смены");
    case 0x10:
        return QStringLiteral("Отчёт о закрытии фискального накопителя");
    case 0x11:
        return QStringLiteral("Бланк строгой отчётности");
    case 0x12:
        return QStringLiteral("Отчёт об изменении параметров регистрации в связи с заменой ФН");
    case 0x13:
        return QStringLiteral("Отчёт об изменении параметров регистрации");
    case 0x14:
        return QStringLiteral("Кассовый чек коррекции");
    case 0x15:
        return QStringLiteral("БСО коррекции");
    case 0x17:
        return QStringLiteral("Отчёт о текущем состоянии расчётов");
    default:
        return QStringLiteral("Неизвестный документ (0x%1)").arg(document, 2, 16, QLatin1Char('0'));
    }
}

QStringList FsStatus::warningTexts(quint8 warnings)
{
    QStringList texts;
    if (warnings & WarningReplaceUrgently)
        texts << QStringLiteral("Срочная замена ФН");
    if (warnings & WarningResourceEnding)
        texts << QStringLiteral("Ресурс ФН заканчивается (менее 30 дней)");
    if (warnings & WarningArchiveFull)
        texts << QStringLiteral("Архив ФН заполнен на 90%");
    if (warnings & WarningOfdTimeout)
        texts << QStringLiteral("Превышено время ожидания ответа ОФД");
    return texts;
}

bool FsStatus::operator==(const FsStatus &other) const
{
    return m_valid == other.m_valid && m_phase == other.m_phase && m_currentDocument == other.m_currentDocument
        && m_documentDataReceived == other.m_documentDataReceived && m_shiftOpened == other.m_shiftOpened
        && m_warnings == other.m_warnings && m_dt == other.m_dt && m_fsNumber == other.m_fsNumber
        && m_lastFd == other.m_lastFd && m_fsVersion == other.m_fsVersion && m_serialBuild == other.m_serialBuild
        && m_lifeTime == other.m_lifeTime && m_transportState == other.m_transportState;
}

} // namespace fiscal
