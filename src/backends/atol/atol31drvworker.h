#ifndef ATOL31DRVWORKER_H
#define ATOL31DRVWORKER_H

#include "atoldriver.h"
#include "atolfrconfig.h"
#include "basecoreapiwrapper.h"

#include <abstractworker.h>
#include <textprinterdocument.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QVariantMap>

class QTimer;

namespace core {
class CashboxStatus;
}
namespace fiscal {
class FsStatus;
}

// The one place that talks to an ATOL register. Lives on a thread of its
// own; every job arrives as a queued call from a request thread and runs
// in the same frame: load the driver, write the connection settings,
// check the device, program the payment captions, do the work, unload.
// Jobs are thus strictly one after another and the driver never sees two
// threads.
class Atol31DrvWorker : public qt5ext::AbstractWorker
{
    Q_OBJECT
public:
    static const QString LIBRARY_NAME;
    // Operator password used when a job is given none: the system
    // administrator's.
    static const QString DEFAULT_PASSWORD;
    static constexpr int RESTART_INTERVAL_MS = 60000;
    // Set (true) in a receipt's failure answer when the register may have
    // closed the receipt all the same.
    static const QString KEY_MAY_BE_CLOSED;

    explicit Atol31DrvWorker(QObject *parent = nullptr);
    ~Atol31DrvWorker() override;

    QVariantMap lastError() const { return m_driver.lastError(); }
    // How long a failed start waits before the next try; tests shorten it.
    void setRestartInterval(int ms) { m_restartIntervalMs = ms; }

public slots:
    void getCashboxStatus();
    void openCycle(QString password, QVariantMap &document, quint16 &docType, quint32 &docNumner);
    void closeCycle(QString password, QVariantMap &document, quint16 &docType, quint32 &docNumner);
    void fiscalDocByNymber(QString password, quint32 docNumber, bool print, quint16 &docType,
                           QVariantList &fiscProps);
    void registreCheck(QString password, QVariantMap data, QVariantMap &resultData);
    // A receipt whose start, the register's newest document, is handed to
    // `record` before the receipt is opened; nothing is opened when
    // `record` returns false.
    void registreRecordedCheck(QString password, QVariantMap data, BaseCoreApiWrapper::StartRecorder record,
                               QVariantMap &resultData);
    // The number and time of the register's newest fiscal document.
    void lastDocument(QString password, quint32 &number, QDateTime &dt, bool &found);
    // Correction receipts are not made on these registers; the answer says so.
    void registreCorrectionCheck(QString password, QVariantMap data, QVariantMap &resultData);
    void printTextPrinterDocument(frprint::TextPrinterDocument doc);
    // X report; `document` gets {"result": 0} or the failure.
    void xReport(QString password, QVariantMap &document);
    // Cash deposited (income) or withdrawn, in kopecks.
    void cashOperation(QString password, bool income, qint64 kopecks, QVariantMap &document);

protected:
    bool doStart() override;
    bool doStop() override;

private:
    // What one job cost, by phase, for the timing log.
    struct JobClock
    {
        QElapsedTimer timer;
        qint64 library = 0;
        qint64 settings = 0;
        qint64 paymentTable = 0;
        qint64 lap()
        {
            const qint64 elapsed = timer.nsecsElapsed();
            timer.restart();
            return elapsed;
        }
    };

    bool prepareLibDrv();
    bool releaseLibDrv();
    bool applySettings();
    bool applyTransport();
    void prepareMoneyTypes();
    // Prepares the driver and puts the operator password; false (driver
    // released) when the device cannot be reached.
    bool beginJob(QString password);
    void endJob(const char *job);
    bool doOpenCycle();
    bool doCloseCycle();
    bool getLastDocData(quint32 &number, QDateTime &dt, quint32 &fiscalSign);
    // After a shift change or a receipt: the job's answer read back from
    // the storage, or the failure.
    QVariantMap lastDocumentAnswer();
    void readChangingStatus(core::CashboxStatus &status);
    void readIdentity(core::CashboxStatus &status, const fiscal::FsStatus &fs);
    void receiptJob(const QString &password, const QVariantMap &data, const BaseCoreApiWrapper::StartRecorder *record,
                    QVariantMap &resultData);
    void shiftJob(const QString &password, bool open, QVariantMap &document, quint16 &docType,
                  quint32 &docNumber);

    AtolDriver m_driver;
    AtolFrConfig m_config;
    QPointer<QTimer> m_restartTimer;
    int m_restartIntervalMs = RESTART_INTERVAL_MS;
    quint8 m_fsFfdVersion = 1;
    QString m_userPassword;
    JobClock m_clock;
};

#endif
