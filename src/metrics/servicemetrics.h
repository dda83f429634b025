#ifndef SERVICEMETRICS_H
#define SERVICEMETRICS_H

#include "registerreading.h"
#include "receiptoutcome.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <memory>

namespace prometheus {
class Counter;
class Gauge;
class Histogram;
class Registry;
template<typename T>
class Family;
} // namespace prometheus

class ProcessCollector;

// The service's metrics in one registry, shared by every thread: request
// threads count, the register reading sets the device figures, a scrape
// and the text file writer read them all. Counting costs a few atomic
// additions and, for a route and code seen before, one hash look-up.
class ServiceMetrics
{
public:
    enum class RouteGroup { Receipt, Report, Status, Print, Choice, Other };

    // The exposition format's media type.
    static const QByteArray CONTENT_TYPE;

    static ServiceMetrics &instance();

    void setBuildInfo(const QString &version);

    // `route` is a label of a fixed set, never the raw path, so that no
    // caller can make up new series; it must outlive the process.
    void countRequest(const char *route, RouteGroup group, int code, double seconds);
    // Requests being served now: the register reading waits for none.
    void requestStarted() { m_inProgress.fetch_add(1, std::memory_order_relaxed); }
    void requestFinished() { m_inProgress.fetch_sub(1, std::memory_order_relaxed); }
    int requestsInProgress() const { return m_inProgress.load(std::memory_order_relaxed); }

    // A receipt as the request operations decided it, with the HTTP status
    // and the answer, whose non-zero "result" is the device's refusal.
    void countReceipt(ReceiptOutcome outcome, int status, const QVariantMap &answer);

    // The code of the latest failure of a receipt or a register reading.
    void setLastError(int code);
    int lastError() const { return m_lastError.load(std::memory_order_relaxed); }

    void setRegister(const RegisterReading &reading);

    // Everything, in the text exposition format.
    QByteArray text() const;

private:
    ServiceMetrics();
    ~ServiceMetrics();
    Q_DISABLE_COPY(ServiceMetrics)

    struct Figure
    {
        prometheus::Family<prometheus::Gauge> *family = nullptr;
        prometheus::Gauge *series = nullptr;
    };
    enum FigureIndex { ShiftOpen, ShiftAge, Unsent, OldestUnsent, StorageExpiry, Paper, Cash, ReadTime, FigureCount };

    prometheus::Gauge &gauge(const char *name, const char *help);
    // A register figure has no series until the register told it: a zero
    // in its place would read as an expired storage or a shift just opened.
    void setFigure(FigureIndex index, bool known, double value);

    std::shared_ptr<prometheus::Registry> m_registry;
    std::unique_ptr<ProcessCollector> m_process;
    prometheus::Family<prometheus::Counter> *m_requests = nullptr;
    prometheus::Histogram *m_latency[6] = {};
    prometheus::Counter *m_receipts[int(ReceiptOutcome::Unsettled) + 1] = {};
    prometheus::Family<prometheus::Gauge> *m_buildInfo = nullptr;
    prometheus::Family<prometheus::Gauge> *m_deviceInfo = nullptr;
    prometheus::Gauge *m_deviceInfoSeries = nullptr;
    prometheus::Gauge *m_deviceUp = nullptr;
    prometheus::Gauge *m_lastErrorGauge = nullptr;
    prometheus::Gauge *m_lastErrorTime = nullptr;
    Figure m_figures[FigureCount];

    QMutex m_requestsMutex;
    QHash<QPair<const char *, int>, prometheus::Counter *> m_requestSeries;
    QMutex m_deviceMutex;
    std::atomic<int> m_inProgress{0};
    std::atomic<int> m_lastError{0};
};

#endif
