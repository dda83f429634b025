#include "servicemetrics.h"

#include "processcollector.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <QMutexLocker>

#include <iterator>

namespace {

const char *const OUTCOMES[] = {"registered", "replayed", "refused", "timed_out", "settled", "unsettled"};
const char *const GROUPS[] = {"receipt", "report", "status", "print", "choice", "other"};

// From a millisecond on the loopback to the minute a register may take to
// print a long receipt.
const prometheus::Histogram::BucketBoundaries LATENCY_BUCKETS = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                                  0.5,   1,    2.5,   5,    10,  30, 60};

std::string labelValue(const QString &value)
{
    return value.toStdString();
}

} // namespace

const QByteArray ServiceMetrics::CONTENT_TYPE = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");

ServiceMetrics &ServiceMetrics::instance()
{
    static ServiceMetrics metrics;
    return metrics;
}

ServiceMetrics::ServiceMetrics()
    : m_registry(std::make_shared<prometheus::Registry>())
    , m_process(std::make_unique<ProcessCollector>())
{
    using prometheus::BuildCounter;
    using prometheus::BuildGauge;
    using prometheus::BuildHistogram;

    m_requests = &BuildCounter()
                          .Name("tillgate_http_requests_total")
                          .Help("HTTP requests answered, by route and status code.")
                          .Register(*m_registry);
    auto &latency = BuildHistogram()
                            .Name("tillgate_http_request_duration_seconds")
                            .Help("Time from a complete request to its answer, by route group.")
                            .Register(*m_registry);
    for (int i = 0; i < 6; ++i)
        m_latency[i] = &latency.Add({{"group", GROUPS[i]}}, LATENCY_BUCKETS);

    auto &receipts = BuildCounter()
                             .Name("tillgate_receipts_total")
                             .Help("Receipts by outcome: registered, replayed from the cache, refused, "
                                   "timed out, settled after a time-out, unsettled (busy or not yet known).")
                             .Register(*m_registry);
    for (int i = 0; i < int(std::size(OUTCOMES)); ++i)
        m_receipts[i] = &receipts.Add({{"outcome", OUTCOMES[i]}});

    m_buildInfo = &BuildGauge().Name("tillgate_build_info").Help("The running version; always 1.").Register(*m_registry);
    m_deviceInfo = &BuildGauge()
                            .Name("tillgate_device_info")
                            .Help("The device back-end and the register behind it; always 1.")
                            .Register(*m_registry);
    m_deviceUp = &gauge("tillgate_device_up", "1 when the register answered the latest background reading.");
    m_lastErrorGauge = &gauge("tillgate_device_last_error_code",
                              "Code of the latest failed receipt or register reading; 0 when none.");
    m_lastErrorTime = &gauge("tillgate_device_last_error_timestamp_seconds",
                             "When the latest failure happened; 0 when none.");

    const struct {
        const char *name;
        const char *help;
    } figures[FigureCount] = {
        {"tillgate_register_shift_open", "1 while the register's shift is open."},
        {"tillgate_register_shift_age_seconds", "How long the open shift has been open; 0 when closed."},
        {"tillgate_register_unsent_documents", "Fiscal documents not yet sent to the fiscal data operator."},
        {"tillgate_register_oldest_unsent_document_age_seconds",
         "Age of the oldest document not yet sent to the fiscal data operator; 0 when none."},
        {"tillgate_register_fiscal_storage_expiry_seconds", "Time left until the fiscal storage expires."},
        {"tillgate_register_paper_present", "1 while the receipt printer has paper."},
        {"tillgate_register_cash_rubles", "Cash in the drawer as the register counts it."},
        {"tillgate_register_read_timestamp_seconds",
         "When the register figures were read; they are read together, at most once a minute."},
    };
    for (int i = 0; i < FigureCount; ++i)
        m_figures[i].family = &BuildGauge().Name(figures[i].name).Help(figures[i].help).Register(*m_registry);
}

ServiceMetrics::~ServiceMetrics() = default;

prometheus::Gauge &ServiceMetrics::gauge(const char *name, const char *help)
{
    return prometheus::BuildGauge().Name(name).Help(help).Register(*m_registry).Add({});
}

void ServiceMetrics::setBuildInfo(const QString &version)
{
    m_buildInfo->Add({{"version", labelValue(version)}}).Set(1);
}

void ServiceMetrics::countRequest(const char *route, RouteGroup group, int code, double seconds)
{
    m_latency[int(group)]->Observe(seconds);
    prometheus::Counter *counter = nullptr;
    {
        QMutexLocker lock(&m_requestsMutex);
        counter = m_requestSeries.value(qMakePair(route, code));
        if (!counter) {
            counter = &m_requests->Add({{"route", route}, {"code", std::to_string(code)}});
            m_requestSeries.insert(qMakePair(route, code), counter);
        }
    }
    counter->Increment();
}

void ServiceMetrics::countReceipt(ReceiptOutcome outcome, int status, const QVariantMap &answer)
{
    m_receipts[int(outcome)]->Increment();
    // The failures the service reports itself (524, 523, 500) are named by
    // their status, the device's own refusals by its code.
    if (outcome == ReceiptOutcome::TimedOut) {
        setLastError(status);
    } else if (outcome == ReceiptOutcome::Refused) {
        const int deviceCode = answer.value(QStringLiteral("result")).toInt();
        setLastError(deviceCode != 0 ? deviceCode : status);
    }
}

void ServiceMetrics::setLastError(int code)
{
    m_lastError.store(code, std::memory_order_relaxed);
    m_lastErrorGauge->Set(code);
    m_lastErrorTime->SetToCurrentTime();
}

void ServiceMetrics::setFigure(FigureIndex index, bool known, double value)
{
    Figure &figure = m_figures[index];
    if (!known) {
        if (figure.series)
            figure.family->Remove(figure.series);
        figure.series = nullptr;
        return;
    }
    if (!figure.series)
        figure.series = &figure.family->Add({});
    figure.series->Set(value);
}

void ServiceMetrics::setRegister(const RegisterReading &reading)
{
    QMutexLocker lock(&m_deviceMutex);
    m_deviceUp->Set(reading.up ? 1 : 0);
    const prometheus::Labels labels = {{"backend", labelValue(reading.backend)},
                                       {"model", labelValue(reading.model)},
                                       {"serial", labelValue(reading.serial)},
                                       {"fs_number", labelValue(reading.fsNumber)}};
    // One series: a register changed (or a back-end switched) replaces it.
    if (!m_deviceInfo->Has(labels)) {
        if (m_deviceInfoSeries)
            m_deviceInfo->Remove(m_deviceInfoSeries);
        m_deviceInfoSeries = &m_deviceInfo->Add(labels);
        m_deviceInfoSeries->Set(1);
    }
    const bool known = reading.figures;
    setFigure(ShiftOpen, known, reading.shiftOpen ? 1 : 0);
    setFigure(ShiftAge, known, double(reading.shiftAgeSeconds));
    setFigure(Unsent, known, reading.unsentDocuments);
    setFigure(OldestUnsent, known, double(reading.oldestUnsentAgeSeconds));
    setFigure(StorageExpiry, known && reading.expiryKnown, double(reading.storageExpirySeconds));
    setFigure(Paper, known && reading.paperKnown, reading.paperPresent ? 1 : 0);
    setFigure(Cash, known, reading.cash);
    setFigure(ReadTime, known, known ? double(reading.readAt.toMSecsSinceEpoch()) / 1000.0 : 0);
}

QByteArray ServiceMetrics::text() const
{
    std::vector<prometheus::MetricFamily> families = m_registry->Collect();
    for (prometheus::MetricFamily &family : m_process->Collect())
        families.push_back(std::move(family));
    const std::string serialized = prometheus::TextSerializer().Serialize(families);
    return QByteArray(serialized.data(), int(serialized.size()));
}
