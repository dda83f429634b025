#include "fslifetimedata.h"

#include "fsanswer_p.h"

namespace fiscal {

FsLifeTimeData::FsLifeTimeData() = default;

bool FsLifeTimeData::parse(const QByteArray &answer)
{
    if (answer.size() < ANSWER_SIZE)
        return false;
    m_expiryDate = fsanswer::dateAt(answer, 0);
    m_remainingRegistrations = fsanswer::byteAt(answer, 3);
    m_completedRegistrations = fsanswer::byteAt(answer, 4);
    m_valid = true;
    return true;
}

void FsLifeTimeData::setExpiryDate(const QDate &date)
{
    m_expiryDate = date;
    m_valid = true;
}

void FsLifeTimeData::setRemainingRegistrations(quint8 count)
{
    m_remainingRegistrations = count;
    m_valid = true;
}

void FsLifeTimeData::setCompletedRegistrations(quint8 count)
{
    m_completedRegistrations = count;
    m_valid = true;
}

QVariantMap FsLifeTimeData::toMap() const
{
    return {
        { QStringLiteral("expiryDate"), m_expiryDate.isValid() ? m_expiryDate.toString(Qt::ISODate) : QString() },
        { QStringLiteral("remainingRegistrations"), uint(m_remainingRegistrations) },
        { QStringLiteral("completedRegistrations"), uint(m_completedRegistrations) },
    };
}

void FsLifeTimeData::setMap(const QVariantMap &map)
{
    *this = FsLifeTimeData();
    if (map.isEmpty())
        return;
    m_expiryDate = QDate::fromString(map.value(QStringLiteral("expiryDate")).toString(), Qt::ISODate);
    m_remainingRegistrations = quint8(map.value(QStringLiteral("remainingRegistrations")).toUInt());
    m_completedRegistrations = quint8(map.value(QStringLiteral("completedRegistrations")).toUInt());
    m_valid = true;
}

bool FsLifeTimeData::operator==(const FsLifeTimeData &other) const
{
    return m_valid == other.m_valid && m_expiryDate == other.m_expiryDate
        && m_remainingRegistrations == other.m_remainingRegistrations
        && m_completedRegistrations == other.m_completedRegistrations;
}

} // namespace fiscal
