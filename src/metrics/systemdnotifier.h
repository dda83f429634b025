#ifndef SYSTEMDNOTIFIER_H
#define SYSTEMDNOTIFIER_H

#include <QObject>
#include <QString>
#include <QTimer>

// What systemd learns of the service (Type=notify): ready once the listener
// listens, stopping at the stop, a status line, and the watchdog's keep-alive
// from the thread this object lives on, so a hung event loop there is
// restarted. Does nothing where the service manager gave no NOTIFY_SOCKET.
class SystemdNotifier : public QObject
{
    Q_OBJECT
public:
    explicit SystemdNotifier(QObject *parent = nullptr);

    bool isActive() const { return m_active; }
    int watchdogIntervalMs() const { return m_watchdog.interval(); }

    void ready();
    void stopping();

public slots:
    void setStatus(const QString &line);

private:
    void notify(const QByteArray &state);

    QTimer m_watchdog;
    QString m_status;
    bool m_active;
};

#endif
