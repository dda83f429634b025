#ifndef TILLGATEROOT_H
#define TILLGATEROOT_H

#include <basedaemonroot.h>

#include <QPointer>
#include <QSharedPointer>

#include <memory>

class Atol31DrvWorker;
class CashboxFinder;
class ServiceMonitoring;
class TillgateBusController;

namespace qt5ext {
class AbstractWorkerThread;
}

// The process: start-up order, the single-instance guard, the PID file, the
// back-end switch and the orderly stop.
class TillgateRoot : public qt5ext::BaseDaemonRoot
{
    Q_OBJECT
public:
    static const QString APP_NAME;
    static const QString APP_VERSION;
    static const QString ORGANISATION_NAME;
    static const QString ORGANISATION_DOMAIN;
    static const QString WORK_DIR_NAME;
    // Set to a directory, every fixed absolute path of the service is taken
    // under it (settings files, work directory).
    static const char *const ROOT_ENV;

    TillgateRoot(int &argc, char **argv);
    ~TillgateRoot() override;

    static int start(int &argc, char **argv);
    static TillgateRoot *instance();
    // "Mmm dd yyyy" and "hh:mm:ss" as the compiler writes them, in ISO 8601.
    static QString buildDateTime(const char *date, const char *time);

    QSharedPointer<qt5ext::AbstractWorkerThread> httpThread() const { return m_httpThread; }
    // Made before the HTTP server starts and deleted after it has stopped,
    // so that request threads may use it.
    CashboxFinder *finder() const { return m_finder.get(); }
    // Empty unless the fiscal core back-end is in use.
    QSharedPointer<TillgateBusController> bus() const { return m_bus; }
    // The ATOL driver worker while the ATOL back-end is in use; it lives on
    // its own thread, so callers only connect to it.
    QPointer<Atol31DrvWorker> atolWorker() const;

public slots:
    void doSetupLocale(const QLocale &locale) override;
    bool createApplication() override;
    bool init() override;
    void stop() override;

    void startOstrakCashbox();
    void startAtolCashbox();
    void startCombineCashbox();
    void settingsReady();

private:
    void writePidFile();
    void createBusController();
    void releaseBusController();
    void releaseAtolWorker();
    void startAtolThreadWhenFree();
    void waitForRetiredAtolThreads();

    QSharedPointer<qt5ext::AbstractWorkerThread> m_httpThread;
    QSharedPointer<TillgateBusController> m_bus;
    // Runs the ATOL worker and deletes it on its own thread when it ends.
    std::unique_ptr<qt5ext::AbstractWorkerThread> m_atolThread;
    // Released workers still finishing a job on their threads.
    QList<QPointer<qt5ext::AbstractWorkerThread>> m_retiringAtolThreads;
    std::unique_ptr<CashboxFinder> m_finder;
    std::unique_ptr<ServiceMonitoring> m_monitoring;
    // What the process ends with when init() fails: -1 unless the failure
    // has a status of its own.
    int m_initFailure = -1;
};

#endif
