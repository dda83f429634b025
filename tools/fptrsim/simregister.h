#ifndef FPTRSIM_SIMREGISTER_H
#define FPTRSIM_SIMREGISTER_H

#include "fiscalstorage.h"
#include "tapeformatter.h"

#include <QDateTime>
#include <QStringList>

struct DriverProperties;
struct RegisterState;

// The register's commands other than receipts, run on the loaded state
// for one driver call. Each returns a result code of the driver (0 on
// success); what was printed and the bad parameter are kept for the
// caller.
class SimRegister
{
public:
    SimRegister(RegisterState &state, DriverProperties &props, bool paperOut, const QDateTime &now);

    int getStatus();
    int getDeviceMetrics();
    int getRegister();
    int setMode();
    int resetMode();
    int setTableField();
    int getTableField();
    int openSession();
    int report();
    int cashIncome();
    int cashOutcome();
    int runFnCommand();
    int printString();
    int printBarcode();
    int printPicture();
    int finishTicket();

    QStringList tape() const { return m_tape; }
    QString badParam() const { return m_badParam; }

    // Shared with the receipt commands.
    RegisterState &state() { return m_state; }
    DriverProperties &props() { return m_props; }
    QDateTime now() const { return m_now; }
    FiscalStorage storage() { return FiscalStorage(m_state); }
    TapeFormatter formatter() const;
    int requireMode(int mode) const;
    int requirePaper() const;
    // Opens the shift when it is closed; refuses a shift past 24 hours.
    int ensureShift();
    QString cashierName() const;
    // A caption of settings table 12 for a payment type.
    QString paymentCaption(int type) const;
    void print(const QStringList &lines);
    int fail(int code, const QString &badParam);

private:
    int cashOperation(bool income);
    void readStatus();
    QString tableKey() const;

    RegisterState &m_state;
    DriverProperties &m_props;
    bool m_paperOut;
    QDateTime m_now;
    QStringList m_tape;
    QString m_badParam;
};

#endif
