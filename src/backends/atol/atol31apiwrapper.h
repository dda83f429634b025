#ifndef ATOL31APIWRAPPER_H
#define ATOL31APIWRAPPER_H

#include "basecoreapiwrapper.h"

#include <textprinterdocument.h>

#include <QMutex>
#include <QPointer>
#include <QSharedPointer>

class Atol31DrvWorker;

namespace core {
class CashboxStatus;
}

// The back-end of ATOL registers. It does not touch the driver: each
// operation is a job for the one driver worker, handed over with a
// blocking queued call, so the request thread waits until the job is done
// and then reads its outputs. Status questions are answered from the
// status the worker stored last.
class Atol31ApiWrapper : public BaseCoreApiWrapper
{
    Q_OBJECT
public:
    // Code and text of a job that could not reach the register.
    static const int ERROR_NO_LINK;
    static const QString NO_LINK_TEXT;
    static const QString NOT_SUPPORTED_TEXT;
    static const QString CORRECTION_TEXT;

    explicit Atol31ApiWrapper(QObject *parent = nullptr);
    ~Atol31ApiWrapper() override;

    // The service root registers its worker while the ATOL back-end runs.
    static void setWorker(Atol31DrvWorker *worker);
    static QPointer<Atol31DrvWorker> worker();

    // The status store shared by the worker and every wrapper; readers get
    // copies.
    static void setCurrentStatus(const core::CashboxStatus &status);
    static void cleanStatus();
    static QSharedPointer<core::CashboxStatus> getCurrentStatus();
    // How many statuses the worker has stored: it stores one only when the
    // register answered, so a count that moved tells the register is there.
    static quint64 statusStoreCount();
    static int getSymbolsPerLine();
    static void setSymbolsPerLine(const int &symbols);

    bool hasApi() const override;
    bool getFsStatus(fiscal::FsStatus &status) override;
    bool getFullFrCoreState(QVariantMap &state, bool flag) override;
    bool getFiscalDoc(const core::Cashier &cashier, int number, bool print,
                      QVariantMap &document) override;
    bool registreCheck(const QVariantMap &check, const core::Cashier &cashier,
                       QVariantMap &result, int &error) override;
    bool openCycle(const core::Cashier &cashier, bool print, int &error,
                   QVariantMap &result) override;
    bool closeCycle(const core::Cashier &cashier, bool print, int &error,
                    QVariantMap &result) override;
    bool xReport(const core::Cashier &cashier, bool print, bool secondFlag, int &error,
                 QVariantMap &result) override;
    bool calcReport(const core::Cashier &cashier, bool print, int &error,
                    QVariantMap &result) override;
    bool printText(const core::Cashier &cashier, const QVariantMap &text, int &error,
                   QVariantMap &result) override;
    bool activate(const core::Cashier &cashier, bool printOnly, const QString &sessionId,
                  const QVariantMap &data, int &error, QVariantMap &result) override;
    bool getRegData(fiscal::RegData &data) override;
    bool printBbcode(const QString &text, QString &errorText, int &error) override;
    bool printPlainText(QString text, QString &errorText, int &error) override;
    bool introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                      QString &errorText) override;
    bool payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &error,
                QString &errorText) override;
    bool closeFs(const core::Cashier &cashier, int &error, QString &errorText,
                 QVariantMap &result) override;

    // The register's newest document is read and recorded inside the
    // receipt job, before the receipt is opened.
    bool registreRecordedCheck(const QVariantMap &check, const core::Cashier &cashier,
                               const StartRecorder &record, QVariantMap &result, int &error) override;
    bool lastDocument(quint32 &number, QDateTime &dt) override;
    bool fiscalDocSummary(const core::Cashier &cashier, quint32 number, FiscalDocSummary &document) override;

signals:
    void cycleOpen(QString password, QVariantMap &document, quint16 &docType, quint32 &docNumner);
    void cycleClose(QString password, QVariantMap &document, quint16 &docType, quint32 &docNumner);
    void updateStatus();
    void fiscalDocByNymber(QString password, quint32 docNumber, bool print, quint16 &docType,
                           QVariantList &fiscProps);
    void registreCheck(QString password, QVariantMap data, QVariantMap &resultData);
    void registreCorrectionCheck(QString password, QVariantMap data, QVariantMap &resultData);
    void printTextDocument(frprint::TextPrinterDocument doc);
    void recordedCheck(QString password, QVariantMap data, BaseCoreApiWrapper::StartRecorder record,
                       QVariantMap &resultData);
    void readLastDocument(QString password, quint32 &number, QDateTime &dt, bool &found);
    void makeXReport(QString password, QVariantMap &document);
    void cashOperation(QString password, bool income, qint64 kopecks, QVariantMap &document);

private:
    // A job's map judged: success only with "result" 0; an empty map means
    // the register was not reached.
    static bool jobResult(QVariantMap &result, int &error);
    // A receipt job's answer, the same with and without a recorder.
    bool receiptAnswer(const QString &sessionId, QVariantMap &result, int &error);
    bool cashJob(const core::Cashier &cashier, bool income, const qt5ext::FixNumber &sum, int &error,
                 QString &errorText);
    static QVariantMap notSupported(int &error);

    static QSharedPointer<core::CashboxStatus> _currentStatus;
    static int _symbolsPerLine;
    static quint64 _statusStores;
    static QMutex _statusMutex;
};

#endif
