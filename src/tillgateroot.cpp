#include "tillgateroot.h"

#include "atol31apiwrapper.h"
#include "atol31drvworker.h"
#include "cashboxfinder.h"
#include "coreapiwrapper.h"
#include "httpworker.h"
#include "servicemonitoring.h"
#include "tillgatebuscontroller.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"

#include <abstractworkerthread.h>
#include <appversionmanager.h>
#include <dircreator.h>
#include <fiscaldocpropertytemplateloader.h>
#include <iniguard.h>
#include <initconfig.h>

#include <singleapplication.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <QThread>

#include <cstdlib>

Q_LOGGING_CATEGORY(lcRoot, "tillgate.root")

const QString TillgateRoot::APP_NAME = QStringLiteral("tillgate");
const QString TillgateRoot::APP_VERSION = QStringLiteral(TILLGATE_VERSION);
const QString TillgateRoot::ORGANISATION_NAME = QStringLiteral("Zelvo");
const QString TillgateRoot::ORGANISATION_DOMAIN = QStringLiteral("zelvo.local");
const QString TillgateRoot::WORK_DIR_NAME = QStringLiteral("zelvotillgate");
const char *const TillgateRoot::ROOT_ENV = "TILLGATE_ROOT";

TillgateRoot::TillgateRoot(int &argc, char **argv)
    : qt5ext::BaseDaemonRoot(argc, argv, TillgateConfig::SETTINGS_FILE)
{
}

TillgateRoot::~TillgateRoot()
{
    releaseAtolWorker();
    waitForRetiredAtolThreads();
    m_httpThread.reset();
}

TillgateRoot *TillgateRoot::instance()
{
    return qobject_cast<TillgateRoot *>(_instance);
}

QString TillgateRoot::buildDateTime(const char *date, const char *time)
{
    const QString text = QStringLiteral("%1 %2").arg(QLatin1String(date), QLatin1String(time)).simplified();
    return QLocale(QStringLiteral("en")).toDateTime(text, QStringLiteral("MMM d yyyy hh:mm:ss"))
            .toString(Qt::ISODate);
}

int TillgateRoot::start(int &argc, char **argv)
{
    qt5ext::AppVersionManager::addVersion(APP_NAME,
                                          qt5ext::AppVersion(APP_VERSION, buildDateTime(__DATE__, __TIME__)));
    qt5ext::AppVersionManager::addLocalisation(APP_NAME);
    qt5ext::InitConfig::setAppWorkDir(WORK_DIR_NAME);
    qt5ext::FileConfigHelper::setFileSystemRoot(QString::fromLocal8Bit(qgetenv(ROOT_ENV)));

    TillgateRoot root(argc, argv);
    const int code = root.init() ? root.exec() : root.m_initFailure;
    root.stop();
    return code;
}

void TillgateRoot::doSetupLocale(const QLocale &locale)
{
    qt5ext::BaseDaemonRoot::doSetupLocale(locale);
}

bool TillgateRoot::createApplication()
{
    QCoreApplication::setApplicationName(APP_NAME);
    QCoreApplication::setOrganizationName(ORGANISATION_NAME);
    QCoreApplication::setOrganizationDomain(ORGANISATION_DOMAIN);
    QCoreApplication::setApplicationVersion(APP_VERSION);

    // One instance per installation root: the root goes into the instance
    // key, so a relocated test installation runs beside the real one.
    // Secondary instances are allowed so that the library never exits the
    // process or messages the running instance by itself; we ask and leave.
    auto app = std::make_unique<SingleApplication>(
            argc(), argv(), true,
            SingleApplication::Mode::System | SingleApplication::Mode::ExcludeAppPath
                    | SingleApplication::Mode::ExcludeAppVersion,
            1000, qt5ext::FileConfigHelper::fileSystemRoot());
    const bool secondary = app->isSecondary();
    setApplication(std::move(app));
    if (secondary) {
        qCCritical(lcRoot).noquote() << QCoreApplication::translate("TillgateRoot", "The service is already running!");
        return false;
    }
    writePidFile();
    fiscal::FiscalDocPropertyTemplateLoader::init();
    return true;
}

void TillgateRoot::writePidFile()
{
    const QStringList args = arguments();
    const int at = args.indexOf(QStringLiteral("-pid"));
    if (at < 0 || at + 1 >= args.size())
        return;
    QFile file(args.at(at + 1));
    file.setPermissions(qt5ext::DirCreator::FILE_DEFAULT_ALL);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.setPermissions(qt5ext::DirCreator::FILE_DEFAULT_ALL);
    file.write(QStringLiteral("%1\n").arg(QCoreApplication::applicationPid()).toLatin1());
    file.close();
}

bool TillgateRoot::init()
{
    if (!qt5ext::BaseDaemonRoot::init())
        return false;

    // Defaults in place of a file the service cannot read would search the
    // network and pick a device nobody chose: it ends instead, so that the
    // file is mended.
    const QString settingsFile = qt5ext::FileConfigHelper::rootedPath(TillgateConfig::SETTINGS_FILE);
    QString why;
    if (!qt5ext::IniGuard::fileIsSafe(settingsFile, why)) {
        qCCritical(lcRoot).noquote() << "Settings file" << settingsFile << why << "- the service ends";
        m_initFailure = EXIT_FAILURE;
        return false;
    }

    m_monitoring = std::make_unique<ServiceMonitoring>(APP_VERSION);

    // The cache must be usable before any back-end can store an answer.
    TillgateCasheDbInitializer::initializeDatabase();

    const TillgateConfig config;
    if (config.allowedOrigins().contains(QStringLiteral("*"))) {
        qCWarning(lcRoot).noquote()
            << "\"origins\" in group TILLGATE allows every origin: any web page the cashier opens may drive the"
               " register with the cashier's login. Name the till's front end there instead (e.g."
               " origins=https://pos.example.com)";
    }
    switch (config.currentDevice()) {
    case TillgateConfig::DeviceOstrak:
        createBusController();
        m_bus->setBus(config.appBusHost(), config.busMsgPort(), config.busQueryPort());
        break;
    case TillgateConfig::DeviceAtol:
        startAtolCashbox();
        break;
    default:
        break;
    }

    m_finder = std::make_unique<CashboxFinder>();
    if (!m_finder->setQueryAddress(config.discoveryAddress())) {
        qCWarning(lcRoot).noquote() << "The discovery address" << config.discoveryAddress()
                                    << "is not an IPv4 address; the cashbox search uses"
                                    << m_finder->queryAddress().toString();
    }
    m_finder->init();

    settingsReady();
    return true;
}

void TillgateRoot::settingsReady()
{
    if (m_httpThread)
        return;
    auto *worker = new HttpWorker;
    // Without its HTTP server the service is of no use: it ends with a
    // failure status, so that the service manager restarts it.
    connect(worker, &qt5ext::AbstractWorker::started, this, [this](bool ok) {
        if (ok) {
            if (m_monitoring)
                m_monitoring->listening();
            return;
        }
        qCCritical(lcRoot) << "The HTTP server did not start; the service ends";
        quit(EXIT_FAILURE);
    }, Qt::QueuedConnection);
    m_httpThread.reset(new qt5ext::AbstractWorkerThread(worker));
    m_httpThread->start(QThread::InheritPriority);
}

void TillgateRoot::createBusController()
{
    // Request threads may hold copies; the last one may go on any thread, so
    // the controller is always deleted on ours.
    m_bus.reset(new TillgateBusController, &QObject::deleteLater);
    connect(m_bus.data(), &TillgateBusController::settingsReady, this, &TillgateRoot::settingsReady);
    // Request threads reach the controller through the back-end's guarded
    // weak reference, never through m_bus, which only this thread touches.
    CoreApiWrapper::setBusController(m_bus);
}

void TillgateRoot::releaseBusController()
{
    if (!m_bus)
        return;
    CoreApiWrapper::setBusController({});
    m_bus->stop();
    m_bus.reset();
}

void TillgateRoot::startOstrakCashbox()
{
    releaseAtolWorker();
    const TillgateConfig config;
    if (!m_bus && config.currentDevice() == TillgateConfig::DeviceOstrak)
        createBusController();
    if (m_bus)
        m_bus->setBus(config.appBusHost(), config.busMsgPort(), config.busQueryPort());
}

QPointer<Atol31DrvWorker> TillgateRoot::atolWorker() const
{
    return Atol31ApiWrapper::worker();
}

void TillgateRoot::startAtolCashbox()
{
    releaseBusController();
    if (m_atolThread) {
        // The worker reads its settings again as it starts.
        m_atolThread->worker()->restart();
        return;
    }
    auto *worker = new Atol31DrvWorker;
    m_atolThread = std::make_unique<qt5ext::AbstractWorkerThread>(worker);
    Atol31ApiWrapper::setWorker(worker);
    startAtolThreadWhenFree();
}

void TillgateRoot::startAtolThreadWhenFree()
{
    // One driver at a time talks to the register: a new worker waits until
    // the one released before has finished its job. Requests may queue on
    // it meanwhile.
    for (const QPointer<qt5ext::AbstractWorkerThread> &old : qAsConst(m_retiringAtolThreads)) {
        if (old && !old->isFinished())
            return;
    }
    if (m_atolThread && !m_atolThread->isRunning() && !m_atolThread->isFinished())
        m_atolThread->start(QThread::InheritPriority);
}

void TillgateRoot::releaseAtolWorker()
{
    if (!m_atolThread)
        return;
    // No new request connects to the worker from here on; those waiting
    // for a job are answered before the thread ends. The job running may
    // take as long as the register does, so the thread is not waited for
    // here: it finishes on its own and is deleted on this thread after.
    Atol31ApiWrapper::setWorker(nullptr);
    qt5ext::AbstractWorkerThread *thread = m_atolThread.release();
    if (!thread->isRunning()) {
        delete thread;
        return;
    }
    const QPointer<qt5ext::AbstractWorkerThread> retiring(thread);
    connect(thread, &QThread::finished, this, [this, retiring] {
        if (!retiring)
            return;
        m_retiringAtolThreads.removeAll(retiring);
        retiring->wait();
        delete retiring.data();
        startAtolThreadWhenFree();
    }, Qt::QueuedConnection);
    m_retiringAtolThreads.append(thread);
    thread->quit();
}

void TillgateRoot::waitForRetiredAtolThreads()
{
    // On the way out a job still running is let finish: a receipt is not
    // cut off half printed.
    const auto threads = m_retiringAtolThreads;
    m_retiringAtolThreads.clear();
    for (const QPointer<qt5ext::AbstractWorkerThread> &thread : threads) {
        if (thread) {
            thread->wait();
            delete thread.data();
        }
    }
}

void TillgateRoot::startCombineCashbox()
{
    releaseBusController();
    releaseAtolWorker();
}

void TillgateRoot::stop()
{
    m_monitoring.reset();
    // Requests reach the finder and the bus controller: the HTTP server,
    // with its connection threads, goes first.
    if (m_httpThread) {
        // The main thread keeps serving its events (queued calls from
        // connection threads, bus traffic of requests still running) until
        // the HTTP thread has wound down.
        QEventLoop loop;
        connect(m_httpThread.data(), &QThread::finished, &loop, &QEventLoop::quit);
        m_httpThread->quit();
        if (!m_httpThread->isFinished())
            loop.exec();
        m_httpThread->wait();
        m_httpThread.reset();
    }
    m_finder.reset();
    releaseBusController();
    waitForRetiredAtolThreads();
    // The event loop is over: run the deletions scheduled on the way out.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qt5ext::BaseDaemonRoot::stop();
}
