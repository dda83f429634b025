#ifndef BASEREQUESTPROCESSOR_H
#define BASEREQUESTPROCESSOR_H

#include "basecoreapiwrapper.h"
#include "tillgateconfig.h"

#include <appbuscommand.h>
#include <cashier.h>
#include <regdata.h>

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcApi)

enum class ReceiptOutcome;

// The protocol-neutral half of every API operation. A processor lives for
// one request: the dispatcher creates the one matching the path's format,
// gives it the cashier, INN and registration number, asks one protocol
// operation and deletes it. The protocol operations parse and render; the
// prepare/process operations here talk to the back-end, the check cache,
// the discovery table and the configuration, and report an HTTP status and
// reason phrase.
class BaseRequestProcessor : public QObject
{
    Q_OBJECT
public:
    enum Status {
        StatusOk = 200,
        StatusForbidden = 403,
        StatusNotAcceptable = 406,
        StatusInternalError = 500,
        StatusNotSupported = 501,
        StatusInsufficientStorage = 507,
        StatusOriginUnreachable = 523,
        StatusTimeout = 524,
    };
    static const QByteArray TEXT_OK;
    static const QByteArray TEXT_INTERNAL_ERROR;
    static const QByteArray TEXT_INSUFFICIENT_STORAGE;
    static const QByteArray TEXT_ORIGIN_UNREACHABLE;
    static const QByteArray TEXT_TIMEOUT;
    static const QByteArray TEXT_NOT_SUPPORTED;
    static const QByteArray TEXT_NOT_ACCEPTABLE;
    static const QByteArray TEXT_FORBIDDEN;
    // The rich-text answer's "result" when a picture was not stored and the
    // printer reported nothing worse.
    static constexpr int ERROR_IMAGE_NOT_STORED = 1;

    explicit BaseRequestProcessor(QObject *parent = nullptr);
    BaseRequestProcessor(const core::Cashier &cashier, QObject *parent = nullptr);
    // For a caller that has read the device type already: the request
    // handler reads the settings once per request.
    BaseRequestProcessor(TillgateConfig::DeviceType device, QObject *parent);
    ~BaseRequestProcessor() override;

    core::Cashier cashier() const { return m_cashier; }
    void setCashier(const core::Cashier &cashier) { m_cashier = cashier; }
    QString getInn() const { return m_inn; }
    void setInn(const QString &inn) { m_inn = inn; }
    QString getRegNumber() const { return m_regNumber; }
    void setRegNumber(const QString &regNumber) { m_regNumber = regNumber; }
    // The connected register's registration data; empty when the back-end
    // cannot be asked.
    fiscal::RegData getRegData() const;

    BaseCoreApiWrapper *backEnd() const { return m_api.data(); }
    // Replaces the back-end chosen by the configured device type; the
    // processor takes ownership. Null leaves the processor without one.
    void setBackEnd(BaseCoreApiWrapper *api);

    // Protocol operations: the HTTP status is returned, the body and the
    // reason phrase are written to the last two arguments.
    virtual int checkCashbox(quint16 model, const QString &serial, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getFindedCashboxes(QByteArray &body, QByteArray &statusText) = 0;
    virtual int chooseAtol(const QByteArray &request, QByteArray &body, QByteArray &statusText) = 0;
    virtual int chooseCombine(const QByteArray &request, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getFsStatus(QByteArray &body, QByteArray &statusText) = 0;
    virtual int getInitSearch(bool clean, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getCashboxStatus(QByteArray &body, QByteArray &statusText) = 0;
    virtual int getCashboxVersion(QByteArray &body, QByteArray &statusText) = 0;
    virtual int getFiscalDoc(int number, QByteArray &body, QByteArray &statusText) = 0;
    virtual int printFiscalDoc(int number, QByteArray &body, QByteArray &statusText) = 0;
    virtual int postFiscalCheck(const QByteArray &request, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getCycleOpen(bool print, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getCycleClose(bool print, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getXReport(bool print, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getCalcReport(bool print, QByteArray &body, QByteArray &statusText) = 0;
    virtual int postPrintText(const QByteArray &request, QByteArray &body, QByteArray &statusText) = 0;
    virtual int postFiscalization(const QByteArray &request, QByteArray &body, QByteArray &statusText) = 0;
    virtual int postRichText(const QByteArray &request, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getIntroduction(const QString &sum, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getPayout(const QString &sum, QByteArray &body, QByteArray &statusText) = 0;
    virtual int getFsClosing(QByteArray &body, QByteArray &statusText) = 0;

    virtual QVariantMap prepareCheckCashbox(quint16 model, const QString &serial, int &status, QByteArray &statusText);
    virtual QVariantMap prepareFindedCashboxes(int &status, QByteArray &statusText);
    virtual QVariantMap prepareSearchCashboxes(bool clean, int &status, QByteArray &statusText);
    virtual QVariantMap prepareChooseAtol(const QVariantMap &settings, int &status, QByteArray &statusText);
    virtual QVariantMap prepareChooseCombine(const QVariantMap &settings, int &status, QByteArray &statusText);
    virtual QVariantMap prepareFsStatus(int &status, QByteArray &statusText) const;
    virtual QVariantMap prepareCashboxStatus(int &status, QByteArray &statusText);
    virtual QVariantMap prepareFiscalDoc(int number, bool print, int &status, QByteArray &statusText);
    virtual QVariantMap processFiscalCheck(const QVariantMap &check, int &status, QByteArray &statusText);
    virtual QVariantMap processCycleOpen(bool print, int &status, QByteArray &statusText);
    virtual QVariantMap processCycleClose(bool print, int &status, QByteArray &statusText);
    virtual QVariantMap processXReport(bool print, int &status, QByteArray &statusText);
    virtual QVariantMap processCalcReport(bool print, int &status, QByteArray &statusText);
    virtual QVariantMap processPrintText(const QVariantMap &text, int &status, QByteArray &statusText);
    virtual QVariantMap processFiscalization(const QVariantMap &request, int &status, QByteArray &statusText);
    virtual QVariantMap processPostRichText(const QVariantMap &document, int &status, QByteArray &statusText);
    // Stores the pictures in the images directory, all or none: one text
    // per picture that was not stored, naming it and why.
    virtual QStringList saveImages(const QVariantList &images);
    virtual QVariantMap processIntroduction(const QString &sum, int &status, QByteArray &statusText);
    virtual QVariantMap processPayout(const QString &sum, int &status, QByteArray &statusText);
    virtual QVariantMap processFsClosing(int &status, QByteArray &statusText);

    // A stored image's file name must name a file right inside the images
    // directory: anything that could climb out of it or address another
    // directory is refused.
    static bool isSafeImageName(const QString &fileName);
    // A safe name that ends in .png or .bmp, in any letter case.
    static bool isPictureName(const QString &fileName);
    // Strict Base64 (white space allowed, as in wrapped text); false for
    // anything else, so garbage never reaches the printer or the disk.
    static bool decodeBase64(const QString &text, QByteArray &bytes);
    // A "libPath" sent by a caller is one of the listed directories
    // (compared as clean absolute paths).
    static bool isDriverPathAllowed(const QString &directory, const QStringList &allowed);
    // A deposit's or withdrawal's amount: a positive whole number of kopecks
    // in decimal digits, nothing else.
    static bool readKopecks(const QString &sum, qt5ext::FixNumber &amount);

protected:
    struct StoredImage
    {
        QString fileName;
        QByteArray content;
    };
    // The pictures of a request, decoded and checked: 200, 406 for a name
    // or content that is not a PNG or BMP picture, 507 when the store would
    // outgrow its limit; `reason` says why.
    static int checkImages(const QVariantList &entries, QList<StoredImage> &images, QString &reason);
    static QStringList storeImages(const QList<StoredImage> &images);

signals:
    void sendCommand(bus::AppBusCommand command);
    void initCashboxesSearch();
    void cleanAndinitCashboxesSearch();
    void setBus(QString host, quint16 msgPort, quint16 queryPort);
    void startOstrakCashbox();
    void startAtolCashbox();
    void startCombineCashbox();

protected:
    // The back-end exists and can talk to its device now.
    bool isUsable() const;

private:
    void init(TillgateConfig::DeviceType device);
    // Status and reason phrase of a shift, report, text, receipt or
    // fiscalisation call by its outcome.
    QVariantMap commandAnswer(bool ok, int error, const QVariantMap &result, int &status, QByteArray &statusText) const;
    // A device command: 523 when no device is usable, else the call's
    // outcome through commandAnswer().
    QVariantMap deviceCommand(const std::function<bool(int &error, QVariantMap &result)> &call, int &status,
                              QByteArray &statusText) const;
    // A receipt for a usable back-end, its outcome told.
    QVariantMap fiscalCheck(const QVariantMap &check, ReceiptOutcome &outcome, int &status, QByteArray &statusText);
    // A fiscalisation under the caller's session: answered from
    // the check cache when it was done before, else registered by `call`
    // with its answer stored before it is returned.
    QVariantMap idempotent(const QString &sessionId, const QVariantMap &incoming,
                           const std::function<bool(int &error, QVariantMap &result)> &call, int &status,
                           QByteArray &statusText) const;
    // A deposit or withdrawal of `sum`: 406 for an amount that is not one.
    QVariantMap cashOperation(const QString &sum,
                              const std::function<bool(const qt5ext::FixNumber &amount, int &error, QString &errorText)> &call,
                              int &status, QByteArray &statusText) const;
    // Status and answer of a deposit, withdrawal or storage closing.
    QVariantMap cashAnswer(bool ok, int error, const QString &errorText, int &status, QByteArray &statusText) const;

    core::Cashier m_cashier;
    QString m_inn;
    QString m_regNumber;
    QPointer<BaseCoreApiWrapper> m_api;
    mutable fiscal::RegData m_regData;
    mutable bool m_regDataRead = false;
};

#endif
