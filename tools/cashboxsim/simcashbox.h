#ifndef SIMCASHBOX_H
#define SIMCASHBOX_H

#include "simoptions.h"

#include <appbuscommand.h>
#include <appbusobject.h>
#include <cashboxstatus.h>
#include <cashier.h>
#include <fsstatus.h>
#include <regdata.h>

#include <QHash>
#include <QObject>

#include <functional>

class SimBusServer;

// One cashbox in memory: shift, document counters, fiscal storage,
// registration, cash drawer, cashiers and the printer's tape. It answers
// the fiscal core's and the print service's commands arriving through the
// bus server, with the faults the options ask for.
class SimCashbox : public QObject
{
    Q_OBJECT
public:
    static const QString TILLGATE_BUSNAME;

    SimCashbox(const SimOptions &options, SimBusServer *server, QObject *parent = nullptr);

    // False with a message when the cashier file cannot be used.
    bool init(QString &error);

    bool objectFor(const QString &name, bus::AppBusObject &object) const;

    // The register's own model and serial number.
    void setIdentity(quint16 model, const QString &serial);
    const fiscal::RegData &regData() const { return m_reg; }

signals:
    // After a fiscalisation: the register's new registration.
    void registrationChanged(const fiscal::RegData &reg);

private:
    using Reply = std::function<void(const QVariantMap &)>;
    using Result = QVariantMap;

    void onCommand(const bus::AppBusCommand &command, const Reply &reply);
    QVariantMap answer(const bus::AppBusCommand &command);
    QVariantMap coreAnswer(const QString &name, const QVariantMap &params);

    // Fiscal operations: fill result, or return an error code and text.
    int registreCheck(const QVariantMap &params, Result &result, QString &errorText);
    int openCycle(const QVariantMap &params, Result &result, QString &errorText);
    int closeCycle(const QVariantMap &params, Result &result, QString &errorText);
    int report(const QString &title, const QVariantMap &params, Result &result);
    int activate(const QVariantMap &params, Result &result, QString &errorText);
    int cashOperation(bool in, const QVariantMap &params, QString &errorText);
    int closeFs(Result &result, QString &errorText);
    int fiscalDoc(const QVariantMap &params, Result &result, QString &errorText);

    QVariantMap login(const QVariantMap &params);
    QVariantMap print(const QVariantMap &document);

    // A new fiscal document: its number, sign and time, kept for later
    // look-up by number.
    QVariantMap newDocument(const QString &type, const QVariantMap &extra);
    void refreshStatus();
    void publishState();
    void tape(const QStringList &lines);
    // The core's "frcoreCmdAnswer" of a receipt or fiscalisation, pushed
    // once the caller has its reply.
    void queueAnswerPush(const QString &sessionId, const QVariantMap &result);
    void pushAnswer(const bus::AppBusCommand &command);

    SimOptions m_options;
    SimBusServer *m_server;
    QList<core::Cashier> m_cashiers;
    QHash<QString, QVariant> m_onlineCashiers;
    core::CashboxStatus m_status;
    fiscal::FsStatus m_fs;
    fiscal::RegData m_reg;
    QHash<int, QVariantMap> m_documents;
    bool m_registered = false;
    bool m_fsClosed = false;
    bool m_shiftOpen = false;
    quint32 m_lastFd = 0;
    int m_checksInShift = 0;
    qint64 m_cashKopecks = 0;
    int m_nextClientId = 1;
    QList<bus::AppBusCommand> m_pendingPushes;
};

#endif
