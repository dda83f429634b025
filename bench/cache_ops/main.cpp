// Times the check cache's operations on a real database file in a temporary
// directory, the way the service uses them: per receipt, a cache object on
// the stack, the incoming document stored, the answer stored, the answer
// read back.
//
//   cache_ops [SESSIONS]   (default 5000)
//
// The second round repeats the work with synchronous = OFF on the same
// connection, which shows how much of the time the disk flushes take.
#include "tillgatecashe.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

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

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;
    if (sessions <= 0) {
        std::fprintf(stderr, "usage: cache_ops [SESSIONS]\n");
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
    {
        TillgateCashe cache;
        QSqlQuery(cache.db()).exec(QStringLiteral("PRAGMA synchronous = OFF"));
    }
    runRound(QStringLiteral("synchronous = OFF, no flushes (for comparison only)"), sessions, sessions);
    return 0;
}
