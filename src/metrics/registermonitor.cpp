#include "registermonitor.h"

#include "atol31apiwrapper.h"
#include "combineapiwrapper.h"
#include "coreapiwrapper.h"
#include "metricslog_p.h"
#include "servicemetrics.h"
#include "tillgateconfig.h"

#include <QDateTime>

#include <memory>

RegisterMonitor::RegisterMonitor(QObject *parent)
    : QObject(parent)
    , m_timer(this)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RegisterMonitor::read);
}

void RegisterMonitor::start()
{
    m_timer.start(FIRST_READING_MS);
}

void RegisterMonitor::read()
{
    ServiceMetrics &metrics = ServiceMetrics::instance();
    if (metrics.requestsInProgress() > 0) {
        m_timer.start(BUSY_RETRY_MS);
        return;
    }
    const RegisterReading reading = readRegister();
    if (!reading.up && m_last.up)
        qCWarning(lcMetrics).noquote() << reading.backend << "register did not answer the background reading";
    m_last = reading;
    metrics.setRegister(reading);
    emit statusLine(reading.statusLine(metrics.lastError()));
    m_timer.start(INTERVAL_MS);
}

RegisterReading RegisterMonitor::readRegister()
{
    // The figures of the last good reading stay, marked by their time.
    RegisterReading reading = m_last;
    reading.up = false;
    std::unique_ptr<BaseCoreApiWrapper> api;
    int failure = 0;
    quint64 storesBefore = 0;
    switch (TillgateConfig().currentDevice()) {
    case TillgateConfig::DeviceOstrak:
        reading.backend = QStringLiteral("ostrak");
        api = std::make_unique<CoreApiWrapper>(nullptr);
        failure = BaseCoreApiWrapper::ERROR_TIMEOUT;
        break;
    case TillgateConfig::DeviceAtol:
        reading.backend = QStringLiteral("atol");
        api = std::make_unique<Atol31ApiWrapper>(nullptr);
        failure = Atol31ApiWrapper::ERROR_NO_LINK;
        storesBefore = Atol31ApiWrapper::statusStoreCount();
        break;
    case TillgateConfig::DeviceCombine:
        reading.backend = QStringLiteral("combine");
        api = std::make_unique<CombineApiWrapper>(nullptr);
        break;
    default:
        reading.backend = QStringLiteral("none");
        break;
    }
    if (reading.backend != m_last.backend) {
        // Another back-end: nothing of the former register applies.
        RegisterReading fresh;
        fresh.backend = reading.backend;
        reading = fresh;
    }
    if (!api || !api->hasApi())
        return reading;

    QVariantMap state;
    bool answered = api->getFullFrCoreState(state, true);
    // The ATOL back-end answers from the status stored last; only a new
    // store shows that the register itself answered now.
    if (reading.backend == QLatin1String("atol"))
        answered = answered && Atol31ApiWrapper::statusStoreCount() != storesBefore;
    if (!answered) {
        if (failure != 0)
            ServiceMetrics::instance().setLastError(failure);
        return reading;
    }
    reading.up = true;
    reading.takeState(state, QDateTime::currentDateTime());
    return reading;
}
