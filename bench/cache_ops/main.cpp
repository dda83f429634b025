// Times the check cache's operations on a real database file in a temporary
// directory, the way the service uses them: per receipt, a cache object on
// the stack, the incoming document stored, the answer stored, the answer
// read back.
//
//   cache_ops [SESSIONS] [THREADS]   (defaults 5000 and 8)
//
// The second round does the same work from THREADS threads at once, as the
// HTTP connection threads do under load, and gives the spread of the times
// per operation: the tail shows how fairly the writers take turns.
// The last round repeats the work with synchronous = OFF on the same
// connection, which shows how much of the time the disk flushes take.
#include "tillgatecashe.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Timing
{
    const char *name;
    qint64 nanoseconds = 0;
    int failures = 0;
};

QVariantMap receipt(int i)
{
    QVariantList props;
    for (int tag = 1000; tag < 1012; ++tag)
        props << QVariantMap{{"tag", tag}, {"value", QStringLiteral("value %1 of item %2").arg(tag).arg(i)}};
    return {{"cashier", QVariantMap{{"name", "Cashier"}, {"password", 30}}},
            {"document", QVariantMap{{"sessionId", i}, {"data", QVariantMap{{"fiscprops", props}}}}}};
}

template<typename Operation>
void timed(Timing &timing, Operation operation)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = operation();
    timing.nanoseconds += timer.nsecsElapsed();
    if (!ok)
        ++timing.failures;
}

void runRound(const QString &label, int sessions, int firstId)
{
    Timing timings[] = {{"store-incoming"}, {"store-outgoing"}, {"get-outgoing"}};
    const QVariantMap answer{{"result", 0}, {"fiscalDocNumber", 12345}, {"fiscalSign", "1234567890"}};
    for (int i = firstId; i < firstId + sessions; ++i) {
        const QString id = QStringLiteral("bench-session-%1").arg(i);
        const QVariantMap incoming = receipt(i);
        TillgateCashe cache;
        timed(timings[0], [&] { return cache.storeIncomingCheckData(id, incoming); });
        timed(timings[1], [&] { return cache.storeOutgoingCheckData(id, answer); });
        QVariantMap data;
        timed(timings[2], [&] { return cache.getOutgoingCheckData(id, data) && data == answer; });
    }
    QTextStream out(stdout);
    out << label << " (" << sessions << " sessions)\n";
    for (const Timing &timing : timings) {
        const double seconds = timing.nanoseconds / 1e9;
        out << "  " << qSetFieldWidth(15) << Qt::left << timing.name << qSetFieldWidth(0)
            << QString::number(sessions / seconds, 'f', 0) << " ops/s  ("
            << QString::number(timing.nanoseconds / 1000.0 / sessions, 'f', 1) << " us/op";
        if (timing.failures)
            out << ", " << timing.failures << " FAILED";
        out << ")\n";
    }
    out.flush();
}

QString percentile(std::vector<qint64> &nanoseconds, double fraction)
{
    if (nanoseconds.empty())
        return QStringLiteral("-");
    const size_t index = std::min(nanoseconds.size() - 1, size_t(fraction * nanoseconds.size()));
    std::nth_element(nanoseconds.begin(), nanoseconds.begin() + index, nanoseconds.end());
    return QString::number(nanoseconds[index] / 1e6, 'f', 1);
}

// Every thread handles its share of the sessions one after the other; the
// times of all threads are pooled per operation.
void runConcurrentRound(int sessions, int threadCount, int firstId)
{
    const char *names[] = {"store-incoming", "store-outgoing", "get-outgoing"};
    const QVariantMap answer{{"result", 0}, {"fiscalDocNumber", 12345}, {"fiscalSign", "1234567890"}};
    std::vector<std::vector<qint64>> times[3];
    for (auto &perOperation : times)
        perOperation.resize(threadCount);
    std::atomic<int> failures[3] = {{0}, {0}, {0}};
    std::vector<std::unique_ptr<QThread>> threads;
    QElapsedTimer wall;
    wall.start();
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back(QThread::create([&, t] {
            for (int i = firstId + t; i < firstId + sessions; i += threadCount) {
                const QString id = QStringLiteral("bench-session-%1").arg(i);
                const QVariantMap incoming = receipt(i);
                TillgateCashe cache;
                QVariantMap data;
                const std::function<bool()> operations[] = {
                    [&] { return cache.storeIncomingCheckData(id, incoming); },
                    [&] { return cache.storeOutgoingCheckData(id, answer); },
                    [&] { return cache.getOutgoingCheckData(id, data) && data == answer; }};
                for (int op = 0; op < 3; ++op) {
                    QElapsedTimer timer;
                    timer.start();
                    if (!operations[op]())
                        ++failures[op];
                    times[op][t].push_back(timer.nsecsElapsed());
                }
            }
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        thread->wait();
    const double seconds = wall.nsecsElapsed() / 1e9;

    QTextStream out(stdout);
    out << "synchronous = FULL, " << threadCount << " threads at once (" << sessions << " sessions, "
        << QString::number(sessions / seconds, 'f', 0) << " receipts/s)\n";
    for (int op = 0; op < 3; ++op) {
        std::vector<qint64> pooled;
        for (const auto &perThread : times[op])
            pooled.insert(pooled.end(), perThread.begin(), perThread.end());
        const qint64 slowest = pooled.empty() ? 0 : *std::max_element(pooled.begin(), pooled.end());
        out << "  " << qSetFieldWidth(15) << Qt::left << names[op] << qSetFieldWidth(0)
            << "p50 " << percentile(pooled, 0.50) << " ms, p99 " << percentile(pooled, 0.99)
            << " ms, max " << QString::number(slowest / 1e6, 'f', 1) << " ms";
        if (failures[op])
            out << ", " << failures[op] << " FAILED";
        out << "\n";
    }
    out.flush();
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;
    const int threadCount = argc > 2 ? QByteArray(argv[2]).toInt() : 8;
    if (sessions <= 0 || threadCount <= 0) {
        std::fprintf(stderr, "usage: cache_ops [SESSIONS] [THREADS]\n");
        return 2;
    }
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    qt5ext::FileConfigHelper::setFileSystemRoot(root.path());
    qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));
    if (!TillgateCasheDbInitializer::initializeDatabase())
        return 1;
    std::printf("database: %s\n", qPrintable(TillgateConfig().tillgateCacheFile()));

    runRound(QStringLiteral("synchronous = FULL, as the service runs"), sessions, 0);
    runConcurrentRound(sessions, threadCount, sessions);
    {
        TillgateCashe cache;
        QSqlQuery(cache.db()).exec(QStringLiteral("PRAGMA synchronous = OFF"));
    }
    runRound(QStringLiteral("synchronous = OFF, no flushes (for comparison only)"), sessions, 2 * sessions);
    return 0;
}
