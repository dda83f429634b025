#include "servicemonitoring.h"

#include "metricstextfile.h"
#include "registermonitor.h"
#include "servicemetrics.h"
#include "systemdnotifier.h"

ServiceMonitoring::ServiceMonitoring(const QString &version, QObject *parent)
    : QObject(parent)
    , m_notifier(new SystemdNotifier(this))
    , m_textfile(new MetricsTextfile(this))
{
    ServiceMetrics::instance().setBuildInfo(version);
    auto *monitor = new RegisterMonitor;
    monitor->moveToThread(&m_readerThread);
    connect(&m_readerThread, &QThread::started, monitor, &RegisterMonitor::start);
    connect(&m_readerThread, &QThread::finished, monitor, &QObject::deleteLater);
    connect(monitor, &RegisterMonitor::statusLine, m_notifier, &SystemdNotifier::setStatus);
    m_readerThread.setObjectName(QStringLiteral("register reading"));
    m_readerThread.start();
    m_textfile->start();
}

ServiceMonitoring::~ServiceMonitoring()
{
    stopping();
}

void ServiceMonitoring::listening()
{
    m_notifier->ready();
}

void ServiceMonitoring::stopping()
{
    if (!m_readerThread.isRunning())
        return;
    m_notifier->stopping();
    m_readerThread.quit();
    m_readerThread.wait();
}
