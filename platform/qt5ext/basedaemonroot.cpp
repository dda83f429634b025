#include "basedaemonroot.h"

#include "appversionmanager.h"
#include "dircreator.h"
#include "initconfig.h"
#include "messagelogger.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcDaemon, "qt5ext.daemon")

namespace qt5ext {

BaseDaemonRoot *BaseDaemonRoot::_instance = nullptr;

namespace {

// Self-pipe: the handler only writes the signal number, the event loop
// reads it and quits outside signal context.
int signalPipe[2] = {-1, -1};
const int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

void quitSignalHandler(int signo)
{
    const char byte = char(signo);
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}

} // namespace

BaseDaemonRoot::BaseDaemonRoot(int &argc, char **argv, const QString &settingsFile)
    : m_argc(argc)
    , m_argv(argv)
    , m_settingsFile(settingsFile)
{
    _instance = this;
    MessageLogger::install();
}

BaseDaemonRoot::~BaseDaemonRoot()
{
    removeQuitSignals();
    m_app.reset();
    MessageLogger::closeLogFile();
    if (_instance == this)
        _instance = nullptr;
}

QStringList BaseDaemonRoot::arguments() const
{
    QStringList list;
    for (int i = 0; i < m_argc; ++i)
        list << QString::fromLocal8Bit(m_argv[i]);
    return list;
}

void BaseDaemonRoot::doSetupLocale(const QLocale &locale)
{
    QLocale::setDefault(locale);
    const InitConfig config(m_settingsFile, false);
    AppVersionManager::installTranslations(config.translationsPath(), locale);
}

bool BaseDaemonRoot::createApplication()
{
    setApplication(std::make_unique<QCoreApplication>(m_argc, m_argv));
    return true;
}

void BaseDaemonRoot::setApplication(std::unique_ptr<QCoreApplication> app)
{
    m_app = std::move(app);
}

bool BaseDaemonRoot::init()
{
    if (!createApplication() || !m_app)
        return false;

    const InitConfig config(m_settingsFile, false);
    DirCreator::checkAndCreate(config.workDir(), DirCreator::DEFAULT_ALL);
    if (config.logToFile()) {
        const QString dir = config.loggerPath();
        DirCreator::checkAndCreate(dir, DirCreator::DEFAULT_ALL);
        const QString file = dir + QLatin1Char('/') + QCoreApplication::applicationName() + QStringLiteral(".log");
        if (!MessageLogger::openLogFile(file))
            qCWarning(lcDaemon).noquote() << "Cannot open log file" << file;
    }
    if (DirCreator::checkAndCreate(config.versionsPath(), DirCreator::DEFAULT_ALL))
        AppVersionManager::writeVersionFiles(config.versionsPath());
    doSetupLocale(config.locale());
    installQuitSignals();
    return true;
}

int BaseDaemonRoot::exec()
{
    return m_app ? m_app->exec() : -1;
}

void BaseDaemonRoot::stop()
{
    removeQuitSignals();
}

void BaseDaemonRoot::quit(int exitCode)
{
    if (m_app)
        QMetaObject::invokeMethod(m_app.get(), [exitCode] { QCoreApplication::exit(exitCode); },
                                  Qt::QueuedConnection);
}

void BaseDaemonRoot::installQuitSignals()
{
    if (m_signalNotifier)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        qCWarning(lcDaemon) << "Cannot create the signal pipe; quit signals keep their default action";
        return;
    }
    m_signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_signalNotifier.get(), &QSocketNotifier::activated, this, &BaseDaemonRoot::readQuitSignal);

    struct sigaction action = {};
    action.sa_handler = quitSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : quitSignals)
        sigaction(signo, &action, nullptr);
}

void BaseDaemonRoot::removeQuitSignals()
{
    if (!m_signalNotifier)
        return;
    for (int signo : quitSignals)
        std::signal(signo, SIG_DFL);
    m_signalNotifier.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void BaseDaemonRoot::readQuitSignal()
{
    char byte = 0;
    if (::read(signalPipe[0], &byte, 1) == 1)
        qCWarning(lcDaemon).noquote() << "Signal" << int(byte) << "received, stopping";
    QCoreApplication::exit(0);
}

} // namespace qt5ext
