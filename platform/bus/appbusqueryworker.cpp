#include "appbusqueryworker.h"

#include "appbuslog_p.h"
#include "appbuspendinganswers.h"
#include "appbusqueryhandler.h"
#include "sharedobjectsstorage.h"

namespace bus {

AppBusQueryWorker::AppBusQueryWorker(const QString &busName, const QStringList &objectNames, QObject *parent)
    : qt5ext::AbstractWorker(parent)
    , m_busName(busName)
    , m_objectNames(objectNames)
    , m_reconnect(this)
{
    m_reconnect.setSingleShot(true);
    connect(&m_reconnect, &QTimer::timeout, this, &AppBusQueryWorker::restart);
}

AppBusQueryWorker::~AppBusQueryWorker() = default;

void AppBusQueryWorker::setAddress(const QString &host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void AppBusQueryWorker::setTimings(const AppBusTimings &timings)
{
    m_timings = timings;
}

AppBusQueryHandler *AppBusQueryWorker::queryHandler() const
{
    return m_handler.data();
}

bool AppBusQueryWorker::doStart()
{
    m_reconnect.stop();
    delete m_handler.data();
    if (m_host.isEmpty() || m_port == 0) {
        qCWarning(lcBus) << "no bus query address for" << m_busName;
        return false;
    }
    auto *handler = new AppBusQueryHandler(m_busName, m_objectNames, m_timings, this);
    m_handler = handler;
    if (!handler->open(m_host, m_port)) {
        // The first failure is worth a warning; the retries that follow
        // while the peer stays away are not.
        if (!m_failureLogged)
            qCWarning(lcBus) << "bus query port" << m_host << m_port << "is not reachable, retrying every"
                             << m_timings.reconnectMs << "ms";
        m_failureLogged = true;
        delete handler;
        scheduleReconnect();
        return true;
    }
    m_failureLogged = false;
    qCInfo(lcBus) << "bus query port" << m_host << m_port << "open";
    connect(handler, &AppBusQueryHandler::answerReceived, this, &AppBusQueryWorker::answerReceived);
    connect(handler, &AppBusQueryHandler::closed, this, [this, handler](const QString &reason) {
        qCWarning(lcBus) << "bus query connection lost:" << reason;
        handler->deleteLater();
        m_wasOpen = false;
        emit connectionChanged(false);
        scheduleReconnect();
    });
    m_wasOpen = true;
    emit connectionChanged(true);
    return true;
}

bool AppBusQueryWorker::doStop()
{
    m_reconnect.stop();
    if (m_handler) {
        m_handler->disconnect(this);
        delete m_handler.data();
    }
    if (m_wasOpen)
        emit connectionChanged(false);
    m_wasOpen = false;
    return true;
}

void AppBusQueryWorker::scheduleReconnect()
{
    m_reconnect.start(m_timings.reconnectMs);
}

void AppBusQueryWorker::sendCommand(const bus::AppBusCommand &command)
{
    if (m_handler && m_handler->sendCommand(command))
        return;
    qCWarning(lcBus) << "bus query connection is not open, command" << command.name() << "to"
                     << command.reciever() << "not sent";
    // Whoever waits for it learns now rather than at its time-out.
    AppBusPendingAnswers::cancel(command.uid());
}

void AppBusQueryWorker::publish(const bus::AppBusObject &object)
{
    if (m_handler && m_handler->publish(object))
        return;
    qCWarning(lcBus) << "bus query connection is not open, object" << object.name() << "not published";
}

void AppBusQueryWorker::loadObject(const QString &name)
{
    AppBusObject object;
    if (!m_handler || !m_handler->loadObject(name, object)) {
        qCWarning(lcBus) << "shared object" << name << "could not be loaded";
        return;
    }
    SharedObjectsStorage().store(object);
    emit objectLoaded(object);
}

} // namespace bus
