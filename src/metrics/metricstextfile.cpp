#include "metricstextfile.h"

#include "metricslog_p.h"
#include "servicemetrics.h"
#include "tillgateconfig.h"

#include <QFile>
#include <QSaveFile>

MetricsTextfile::MetricsTextfile(QObject *parent)
    : QObject(parent)
    , m_timer(this)
{
    m_timer.setInterval(INTERVAL_MS);
    connect(&m_timer, &QTimer::timeout, this, &MetricsTextfile::write);
}

void MetricsTextfile::start()
{
    write();
    m_timer.start();
}

bool MetricsTextfile::write()
{
    const QString path = TillgateConfig().metricsTextfile();
    if (path.isEmpty())
        return true;
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(ServiceMetrics::instance().text()) >= 0
                    && file.commit();
    // The collector runs as a user of its own. A new file comes with the
    // temporary file's owner-only mode; later writes keep the mode it has.
    if (ok)
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadGroup | QFile::ReadOther);
    // Once per failing path, not every minute.
    if (!ok && path != m_failedPath)
        qCWarning(lcMetrics).noquote() << "Metrics text file" << path << "not written:" << file.errorString();
    m_failedPath = ok ? QString() : path;
    return ok;
}
