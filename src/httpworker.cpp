#include "httpworker.h"

#include <fileconfighelper.h>

#include <QSettings>

const QString HttpWorker::LISTENER_SETTINGS_FILE = QStringLiteral("/opt/zelvotillgate/etc/tillgatelistener.conf");
const QString HttpWorker::LISTENER_SECTION = QStringLiteral("LISTENER");

HttpWorker::HttpWorker(QObject *parent)
    : qt5ext::AbstractWorker(parent)
{
}

HttpWorker::~HttpWorker() = default;

bool HttpWorker::doStart()
{
    doStop();
    delete m_settings;
    m_settings = new QSettings(qt5ext::FileConfigHelper::rootedPath(LISTENER_SETTINGS_FILE),
                               QSettings::IniFormat, this);
    m_settings->beginGroup(LISTENER_SECTION);
    return true;
}

bool HttpWorker::doStop()
{
    m_listener.reset();
    return true;
}
