#ifndef REGISTERMONITOR_H
#define REGISTERMONITOR_H

#include "registerreading.h"

#include <QObject>
#include <QTimer>

// Reads the register's figures in the background, on a thread of its own,
// at most once a minute: a reading may block for as long as the device or
// the fiscal core takes. It never starts while a request is being served,
// so a receipt does not queue behind it; it tries again a few seconds
// later instead.
class RegisterMonitor : public QObject
{
    Q_OBJECT
public:
    static constexpr int INTERVAL_MS = 60000;
    static constexpr int BUSY_RETRY_MS = 5000;
    // The first reading, soon after start: the ATOL worker reads the status
    // as it starts anyway.
    static constexpr int FIRST_READING_MS = 2000;

    explicit RegisterMonitor(QObject *parent = nullptr);

public slots:
    // Starts the timer on the monitor's own thread.
    void start();
    void read();

signals:
    void statusLine(const QString &line);

private:
    RegisterReading readRegister();

    QTimer m_timer;
    RegisterReading m_last;
};

#endif
