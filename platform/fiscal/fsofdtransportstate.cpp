#include "fsofdtransportstate.h"

#include "fsanswer_p.h"

namespace fiscal {

FsOfdTransportState::FsOfdTransportState() = default;

bool FsOfdTransportState::parse(const QByteArray &answer)
{
    if (answer.size() < ANSWER_SIZE)
        return false;
    m_status = fsanswer::byteAt(answer, 0);
    m_messageReading = fsanswer::byteAt(answer, 1) != 0;
    m_unsentCount = fsanswer::uint16At(answer, 2);
    m_firstUnsentNumber = fsanswer::uint32At(answer, 4);
    m_firstUnsentDt = fsanswer::dateTimeAt(answer, 8);
    m_valid = true;
    return true;
}

void FsOfdTransportState::setStatus(quint8 status)
{
    m_status = status;
    m_valid = true;
}

void FsOfdTransportState::setMessageReading(bool reading)
{
    m_messageReading = reading;
    m_valid = true;
}

void FsOfdTransportState::setUnsentCount(quint16 count)
{
    m_unsentCount = count;
    m_valid = true;
}

void FsOfdTransportState::setFirstUnsentNumber(quint32 number)
{
    m_firstUnsentNumber = number;
    m_valid = true;
}

void FsOfdTransportState::setFirstUnsentDt(const QDateTime &dt)
{
    m_firstUnsentDt = dt;
    m_valid = true;
}

QVariantMap FsOfdTransportState::toMap() const
{
    return {
        { QStringLiteral("status"), uint(m_status) },
        { QStringLiteral("messageReading"), m_messageReading },
        { QStringLiteral("unsentCount"), uint(m_unsentCount) },
        { QStringLiteral("firstUnsentNumber"), m_firstUnsentNumber },
        { QStringLiteral("firstUnsentDt"), fsanswer::dateTimeToVariant(m_firstUnsentDt) },
    };
}

void FsOfdTransportState::setMap(const QVariantMap &map)
{
    *this = FsOfdTransportState();
    if (map.isEmpty())
        return;
    m_status = quint8(map.value(QStringLiteral("status")).toUInt());
    m_messageReading = map.value(QStringLiteral("messageReading")).toBool();
    m_unsentCount = quint16(map.value(QStringLiteral("unsentCount")).toUInt());
    m_firstUnsentNumber = map.value(QStringLiteral("firstUnsentNumber")).toUInt();
    m_firstUnsentDt = fsanswer::dateTimeFromVariant(map.value(QStringLiteral("firstUnsentDt")));
    m_valid = true;
}

bool FsOfdTransportState::operator==(const FsOfdTransportState &other) const
{
    return m_valid == other.m_valid && m_status == other.m_status
        && m_messageReading == other.m_messageReading && m_unsentCount == other.m_unsentCount
        && m_firstUnsentNumber == other.m_firstUnsentNumber && m_firstUnsentDt == other.m_firstUnsentDt;
}

} // namespace fiscal
