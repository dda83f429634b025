#ifndef FISCAL_FSOFDTRANSPORTSTATE_H
#define FISCAL_FSOFDTRANSPORTSTATE_H

#include <QByteArray>
#include <QDateTime>
#include <QVariantMap>

namespace fiscal {

// State of the exchange with the fiscal data operator: the answer to storage
// command 0x20.
class FsOfdTransportState
{
public:
    static constexpr int ANSWER_SIZE = 13;

    enum StatusBit : quint8 {
        TransportConnected = 0x01,
        MessageWaiting = 0x02,
        WaitingForReceipt = 0x04,
        CommandFromOfd = 0x08,
        OfdSettingsChanged = 0x10,
        WaitingForCommandAnswer = 0x20
    };

    FsOfdTransportState();

    // Reads the data part of the answer; false, leaving this record
    // unchanged, when it is shorter than ANSWER_SIZE.
    bool parse(const QByteArray &answer);

    bool isValid() const { return m_valid; }

    quint8 status() const { return m_status; }
    void setStatus(quint8 status);
    bool messageReading() const { return m_messageReading; }
    void setMessageReading(bool reading);
    quint16 unsentCount() const { return m_unsentCount; }
    void setUnsentCount(quint16 count);
    quint32 firstUnsentNumber() const { return m_firstUnsentNumber; }
    void setFirstUnsentNumber(quint32 number);
    // Invalid when no document waits for the operator.
    QDateTime firstUnsentDt() const { return m_firstUnsentDt; }
    void setFirstUnsentDt(const QDateTime &dt);

    QVariantMap toMap() const;
    void setMap(const QVariantMap &map);

    bool operator==(const FsOfdTransportState &other) const;
    bool operator!=(const FsOfdTransportState &other) const { return !(*this == other); }

private:
    QDateTime m_firstUnsentDt;
    quint32 m_firstUnsentNumber = 0;
    quint16 m_unsentCount = 0;
    quint8 m_status = 0;
    bool m_messageReading = false;
    bool m_valid = false;
};

} // namespace fiscal

#endif
