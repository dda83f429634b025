#ifndef FISCAL_FSLIFETIMEDATA_H
#define FISCAL_FSLIFETIMEDATA_H

#include <QByteArray>
#include <QDate>
#include <QVariantMap>

namespace fiscal {

// Lifetime of the fiscal storage: the answer to storage command 0x32.
class FsLifeTimeData
{
public:
    static constexpr int ANSWER_SIZE = 5;

    FsLifeTimeData();

    // Reads the data part of the answer; false, leaving this record
    // unchanged, when it is shorter than ANSWER_SIZE.
    bool parse(const QByteArray &answer);

    bool isValid() const { return m_valid; }

    QDate expiryDate() const { return m_expiryDate; }
    void setExpiryDate(const QDate &date);
    quint8 remainingRegistrations() const { return m_remainingRegistrations; }
    void setRemainingRegistrations(quint8 count);
    quint8 completedRegistrations() const { return m_completedRegistrations; }
    void setCompletedRegistrations(quint8 count);

    QVariantMap toMap() const;
    void setMap(const QVariantMap &map);

    bool operator==(const FsLifeTimeData &other) const;
    bool operator!=(const FsLifeTimeData &other) const { return !(*this == other); }

private:
    QDate m_expiryDate;
    quint8 m_remainingRegistrations = 0;
    quint8 m_completedRegistrations = 0;
    bool m_valid = false;
};

} // namespace fiscal

#endif
