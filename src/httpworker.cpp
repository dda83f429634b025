#include "httpworker.h"

#include "tillgaterequesthandler.h"

#include <fileconfighelper.h>
#include <httplistener.h>
#include <httplogging.h>
#include <iniguard.h>

#include <QSettings>

const QString HttpWorker::LISTENER_SETTINGS_FILE = QStringLiteral("/opt/zelvotillgate/etc/tillgatelistener.conf");
const QString HttpWorker::LISTENER_SECTION = QStringLiteral("LISTENER");

namespace {

// The one handler that serves every request of the listener.
HttpRequestHandler *createRequestHandler(QObject *parent)
{
    return new TillgateRequestHandler(parent);
}

} // namespace

HttpWorker::HttpWorker(QObject *parent)
    : qt5ext::AbstractWorker(parent)
{
}

HttpWorker::~HttpWorker() = default;

bool HttpWorker::doStart()
{
    doStop();
    // A listener of an earlier start is deleted later on this thread; its
    // settings go after it, in the order the deletions were scheduled.
    if (m_settings)
        m_settings->deleteLater();
    m_settings = nullptr;
    const QString path = qt5ext::FileConfigHelper::rootedPath(LISTENER_SETTINGS_FILE);
    QString why;
    if (!qt5ext::IniGuard::fileIsSafe(path, why)) {
        qCCritical(lcHttp).noquote() << "Listener settings file" << path << why;
        return false;
    }
    m_settings = new QSettings(path, QSettings::IniFormat, this);
    m_settings->beginGroup(LISTENER_SECTION);
    HttpRequestHandler *handler = createRequestHandler(this);
    auto *listener = new HttpListener(m_settings, handler, this);
    // The handler lives as long as the listener: the listener's pool, whose
    // threads call it, is gone before the listener's children are deleted.
    handler->setParent(listener);
    m_listener.reset(listener, &QObject::deleteLater);
    return listener->isListening();
}

bool HttpWorker::doStop()
{
    m_listener.reset();
    return true;
}
