#ifndef CORE_CASHBOXSTATUS_H
#define CORE_CASHBOXSTATUS_H

#include "fsstatus.h"
#include "regdata.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace core {

// State of a cashbox as read from the register: modes, counters, shift,
// cash in the drawer, its clock, the fiscal storage status and the
// registration data.
class CashboxStatus
{
public:
    CashboxStatus() = default;

    int mode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }
    int submode() const { return m_submode; }
    void setSubmode(int submode) { m_submode = submode; }
    // Number of the operator logged in at the register.
    int cashier() const { return m_cashier; }
    void setCashier(int cashier) { m_cashier = cashier; }
    // Logical number of the cashbox.
    int cashboxNumber() const { return m_cashboxNumber; }
    void setCashboxNumber(int number) { m_cashboxNumber = number; }
    int cycleNumber() const { return m_cycleNumber; }
    void setCycleNumber(int number) { m_cycleNumber = number; }
    QDateTime cycleOpened() const { return m_cycleOpened; }
    void setCycleOpened(const QDateTime &dt) { m_cycleOpened = dt; }
    QDateTime cycleClosed() const { return m_cycleClosed; }
    void setCycleclosed(const QDateTime &dt) { m_cycleClosed = dt; }
    int lastCheckNumber() const { return m_lastCheckNumber; }
    void setLastCheckNumber(int number) { m_lastCheckNumber = number; }
    // Cash in the drawer in roubles, kept to the kopeck.
    double cash() const { return double(m_cashKopecks) / 100.0; }
    void setCash(double roubles);
    // The register's clock.
    QDateTime dt() const { return m_dt; }
    void setDt(const QDateTime &dt) { m_dt = dt; }
    // Model name shown next to the model number; empty when unknown.
    QString modelName() const { return m_modelName; }
    void setModelName(const QString &name) { m_modelName = name; }

    // Whether the receipt printer has paper; unknown until the register
    // said, and then missing from the state map.
    bool paperKnown() const { return m_paperKnown; }
    bool paperPresent() const { return m_paperPresent; }
    void setPaperPresent(bool present)
    {
        m_paperPresent = present;
        m_paperKnown = true;
    }

    fiscal::FsStatus fs() const { return m_fs; }
    void setFs(const fiscal::FsStatus &fs) { m_fs = fs; }

    // Registration data of the cashbox; the status query fills it in place.
    fiscal::RegData &regData() { return m_regData; }
    const fiscal::RegData &regData() const { return m_regData; }
    fiscal::RegData cashboxRegData() const { return m_regData; }
    void setRegData(const fiscal::RegData &data) { m_regData = data; }

    // The state map. It always holds the status fields, "fsStatus" (the
    // fiscal storage status in its FsStatus::toMap() form), the cashbox
    // identity "model", "modelstr", "ver", "subver", "serial", "regNumber",
    // "inn", "ffdVersion", "fsFfdVersion", "shiftOpened", and "paperPresent"
    // once the register told it. Without
    // `brief` it also holds "regData" (RegData::toMap()) and "fsStatusText"
    // (FsStatus::toBeautyMap()).
    QVariantMap toMap(bool brief) const;
    // Reads a map made by toMap(false).
    void setMap(const QVariantMap &map);

    bool operator==(const CashboxStatus &other) const;
    bool operator!=(const CashboxStatus &other) const { return !(*this == other); }

private:
    fiscal::FsStatus m_fs;
    fiscal::RegData m_regData;
    QDateTime m_cycleOpened;
    QDateTime m_cycleClosed;
    QDateTime m_dt;
    QString m_modelName;
    qint64 m_cashKopecks = 0;
    int m_mode = 0;
    int m_submode = 0;
    int m_cashier = 0;
    int m_cashboxNumber = 0;
    int m_cycleNumber = 0;
    int m_lastCheckNumber = 0;
    bool m_paperKnown = false;
    bool m_paperPresent = false;
};

} // namespace core

Q_DECLARE_METATYPE(core::CashboxStatus)

#endif
