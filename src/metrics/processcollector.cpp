#include "processcollector.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    // /proc files report no size: read until the end.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

prometheus::MetricFamily family(const char *name, const char *help, prometheus::MetricType type, double value)
{
    prometheus::ClientMetric metric;
    if (type == prometheus::MetricType::Counter)
        metric.counter.value = value;
    else
        metric.gauge.value = value;
    return prometheus::MetricFamily{name, help, type, {metric}};
}

// Seconds since the epoch at which the system booted.
double bootTime()
{
    for (const QByteArray &line : readProcFile("/proc/stat").split('\n')) {
        if (line.startsWith("btime "))
            return line.mid(6).trimmed().toDouble();
    }
    return 0;
}

} // namespace

std::vector<prometheus::MetricFamily> ProcessCollector::Collect() const
{
    std::vector<prometheus::MetricFamily> families;
    const QByteArray stat = readProcFile("/proc/self/stat");
    // The command name may hold blanks and parentheses: fields are counted
    // from the last closing parenthesis, which is field 2's end.
    const int end = stat.lastIndexOf(')');
    const QList<QByteArray> fields = end < 0 ? QList<QByteArray>() : stat.mid(end + 2).split(' ');
    // fields[0] is field 3 of proc(5).
    if (fields.size() > 21) {
        const double ticks = double(sysconf(_SC_CLK_TCK));
        const double pageSize = double(sysconf(_SC_PAGESIZE));
        families.push_back(family("process_cpu_seconds_total", "Total user and system CPU time spent in seconds.",
                                  prometheus::MetricType::Counter,
                                  (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks));
        families.push_back(family("process_start_time_seconds",
                                  "Start time of the process since unix epoch in seconds.",
                                  prometheus::MetricType::Gauge, bootTime() + fields.at(19).toDouble() / ticks));
        families.push_back(family("process_virtual_memory_bytes", "Virtual memory size in bytes.",
                                  prometheus::MetricType::Gauge, fields.at(20).toDouble()));
        families.push_back(family("process_resident_memory_bytes", "Resident memory size in bytes.",
                                  prometheus::MetricType::Gauge, fields.at(21).toDouble() * pageSize));
        families.push_back(family("process_threads", "Number of OS threads in the process.",
                                  prometheus::MetricType::Gauge, fields.at(17).toDouble()));
    }
    const int fds = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System
                                                                         | QDir::NoDotAndDotDot).size());
    families.push_back(family("process_open_fds", "Number of open file descriptors.",
                              prometheus::MetricType::Gauge, fds));
    struct rlimit limit = {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        families.push_back(family("process_max_fds", "Maximum number of open file descriptors.",
                                  prometheus::MetricType::Gauge, double(limit.rlim_cur)));
    }
    return families;
}
