#include "systemdnotifier.h"

#include "metricslog_p.h"

#include <systemd/sd-daemon.h>

#include <unistd.h>

SystemdNotifier::SystemdNotifier(QObject *parent)
    : QObject(parent)
    , m_watchdog(this)
    , m_active(qEnvironmentVariableIsSet("NOTIFY_SOCKET"))
{
    uint64_t usec = 0;
    // The environment stays as it is: the keep-alives need it later.
    if (!m_active || sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    // Twice per period, as systemd recommends, so one late tick is no miss.
    m_watchdog.setInterval(int(qMax<uint64_t>(1, usec / 2000)));
    connect(&m_watchdog, &QTimer::timeout, this, [this] { notify(QByteArrayLiteral("WATCHDOG=1")); });
    m_watchdog.start();
}

void SystemdNotifier::ready()
{
    notify(QByteArrayLiteral("READY=1\nMAINPID=") + QByteArray::number(qint64(getpid())));
}

void SystemdNotifier::stopping()
{
    m_watchdog.stop();
    notify(QByteArrayLiteral("STOPPING=1"));
}

void SystemdNotifier::setStatus(const QString &line)
{
    if (line == m_status)
        return;
    m_status = line;
    // One line: a line feed would start another assignment.
    QString flat = line;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    notify("STATUS=" + flat.toUtf8());
}

void SystemdNotifier::notify(const QByteArray &state)
{
    if (!m_active)
        return;
    if (sd_notify(0, state.constData()) < 0)
        qCWarning(lcMetrics).noquote() << "systemd notification failed:" << state.left(state.indexOf('='));
}
