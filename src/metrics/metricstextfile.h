#ifndef METRICSTEXTFILE_H
#define METRICSTEXTFILE_H

#include <QObject>
#include <QTimer>

// Writes the metrics text every minute to the file named by the setting
// "metricsTextfile", for fleets that scrape only node exporter's text file
// collector. The file is replaced whole, so the collector never reads half.
class MetricsTextfile : public QObject
{
    Q_OBJECT
public:
    static constexpr int INTERVAL_MS = 60000;

    explicit MetricsTextfile(QObject *parent = nullptr);

    void start();
    // Writes now; false when the setting names a file that cannot be written.
    bool write();

private:
    QTimer m_timer;
    QString m_failedPath;
};

#endif
