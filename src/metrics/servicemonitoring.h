#ifndef SERVICEMONITORING_H
#define SERVICEMONITORING_H

#include <QObject>
#include <QThread>

class MetricsTextfile;
class RegisterMonitor;
class SystemdNotifier;

// Everything the service tells its operators besides its log, made by the
// root on the main thread: the systemd notifications (whose watchdog thus
// watches the main event loop), the metrics text file, and the background
// register reading on a thread of its own.
class ServiceMonitoring : public QObject
{
    Q_OBJECT
public:
    explicit ServiceMonitoring(const QString &version, QObject *parent = nullptr);
    ~ServiceMonitoring() override;

    // The HTTP listener listens: the service is ready.
    void listening();
    // The service stops; the register reading ends (after a reading under
    // way, which the device or the fiscal core's time-out ends).
    void stopping();

private:
    SystemdNotifier *m_notifier;
    MetricsTextfile *m_textfile;
    QThread m_readerThread;
};

#endif
