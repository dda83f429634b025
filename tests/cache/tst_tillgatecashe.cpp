#include "cachetestsupport.h"
#include "tillgatecashedbinitializer.h"

#include <QJsonDocument>
#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

namespace {

QVariantMap receipt(const QString &tag)
{
    return QVariantMap{
        {"cashier", QVariantMap{{"name", "Иванова"}, {"password", 30}}},
        {"document", QVariantMap{{"sessionId", tag},
                                 {"print", true},
                                 {"data", QVariantMap{{"fiscprops", QVariantList{
                                      QVariantMap{{"tag", 1054}, {"value", 1}},
                                      QVariantMap{{"tag", 1059}, {"fiscprops", QVariantList{
                                          QVariantMap{{"tag", 1030}, {"value", "Хлеб \"Бородинский\""}},
                                          QVariantMap{{"tag", 1079}, {"value", 45.5}}}}}}}}}}}};
}

QVariantMap storedIncoming(const QString &sessionId)
{
    TillgateCashe cache;
    QSqlQuery query(cache.db());
    if (!query.prepare(QStringLiteral("select incoming from checksCache where sessionId = ?")))
        return {};
    query.addBindValue(sessionId.isNull() ? QStringLiteral("") : sessionId);
    if (!query.exec() || !query.next())
        return {};
    return QJsonDocument::fromJson(query.value(0).toString().toUtf8()).toVariant().toMap();
}

// Runs body(index) on count threads released at the same moment, each after
// its prepare(index). The threads, and so their cache connections, end only
// when every body is done: no connection opens or closes while they write.
void runConcurrently(int count, const std::function<void(int)> &body,
                     const std::function<void(int)> &prepare = nullptr)
{
    QSemaphore ready;
    QSemaphore go;
    QSemaphore done;
    QSemaphore leave;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create([&, i] {
            if (prepare)
                prepare(i);
            ready.release();
            go.acquire();
            body(i);
            done.release();
            leave.acquire();
        }));
        threads.back()->start();
    }
    ready.acquire(count);
    go.release(count);
    done.acquire(count);
    leave.release(count);
    for (auto &thread : threads)
        thread->wait();
}

// Switches SQLite's own wait off for the calling thread's connection: a
// writer that met another one at SQLite's write lock then fails at once
// with "database is locked" instead of sleeping until the lock is free.
bool failOnLockedDatabase()
{
    TillgateCashe cache;
    QSqlQuery query(cache.db());
    return query.exec(QStringLiteral("PRAGMA busy_timeout = 0")) && query.next() && query.value(0).toInt() == 0;
}

// What other connections see: only committed rows.
QStringList committedColumn(const QString &statement)
{
    TillgateCashe reader(qt5ext::BaseSqliteDbConnector::ReadOnly);
    QStringList rows;
    {
        QSqlQuery query(reader.db());
        if (query.exec(statement)) {
            while (query.next())
                rows << query.value(0).toString();
        }
    }
    reader.release();
    return rows;
}

}

class tst_TillgateCashe : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void roundTrip_data();
    void roundTrip();
    void sessionIdsDifferingAfterNul();
    void duplicateSessionKeepsFirstDocument();
    void nullAndEmptyIdAreOneSession();
    void answerForUnknownSession();
    void unansweredAndUnknownSessions();
    void emptyAnswer();
    void answerThatIsNotAnObject();
    void garbageCollection_data();
    void garbageCollection();
    void failedInsertDropsNothing();
    void garbageCollectionFailureKeepsTheInsert();
    void eightThreadsLoseNothing();
    void writersTakeTurns_data();
    void writersTakeTurns();
    void sameSessionFromTwoThreads();
    void connectionNames();

private:
    CacheRoot m_root;
};

void tst_TillgateCashe::initTestCase()
{
    QVERIFY(m_root.isValid());
}

void tst_TillgateCashe::init()
{
    m_root.wipe();
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
}

void tst_TillgateCashe::roundTrip_data()
{
    QTest::addColumn<QString>("sessionId");
    QTest::addColumn<QVariantMap>("incoming");
    QTest::addColumn<QVariantMap>("outgoing");

    const QVariantMap answer{{"result", 0}, {"fiscalDocNumber", 4711}};
    QTest::newRow("plain") << "7d8e0c2a-1111" << receipt("a") << answer;
    QTest::newRow("quotes") << "it's \"quoted\"'); drop table checksCache; --" << receipt("b") << answer;
    QTest::newRow("nul inside") << QString::fromUtf16(u"before\0after", 12) << receipt("c") << answer;
    QTest::newRow("non-ascii") << "сессия-№1-😀-日本" << receipt("d") << answer;
    QTest::newRow("very long") << QString(100000, QLatin1Char('s')) << receipt("e") << answer;
    QTest::newRow("null id") << QString() << receipt("f") << answer;
    QTest::newRow("empty id") << QStringLiteral("") << receipt("f") << answer;
    QTest::newRow("large strings") << "large"
                                   << QVariantMap{{"text", QString(1 << 20, QChar(0x0416))}}
                                   << QVariantMap{{"blob", QString(1 << 20, QLatin1Char('\''))}};
    QTest::newRow("nesting")
            << "nested"
            << QVariantMap{{"l", QVariantList{QVariantList{QVariantList{1, 2}, QVariantMap{{"k", QVariantList{}}}}}},
                           {"m", QVariantMap{{"m", QVariantMap{{"m", QVariantMap{{"", "empty key"}}}}}}},
                           {"n", QVariant::fromValue(nullptr)}, {"b", false}, {"d", -0.125}}
            << QVariantMap{{"control", QString::fromUtf16(u"\0\x01\t\n\"\\", 6)}};
}

void tst_TillgateCashe::roundTrip()
{
    QFETCH(QString, sessionId);
    QFETCH(QVariantMap, incoming);
    QFETCH(QVariantMap, outgoing);

    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(sessionId, incoming));
    QVariantMap data{{"left", "over"}};
    QVERIFY(!cache.getOutgoingCheckData(sessionId, data));
    QVERIFY(cache.storeOutgoingCheckData(sessionId, outgoing));
    QVERIFY(cache.getOutgoingCheckData(sessionId, data));
    QCOMPARE(data, outgoing);
    QCOMPARE(storedIncoming(sessionId), incoming);
    QCOMPARE(sqlColumn("select count(*) from checksCache"), QStringList{"1"});
}

void tst_TillgateCashe::sessionIdsDifferingAfterNul()
{
    const QString first = QString::fromUtf16(u"id\0one", 6);
    const QString second = QString::fromUtf16(u"id\0two", 6);
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(first, {{"n", 1}}));
    QVERIFY(cache.storeIncomingCheckData(second, {{"n", 2}}));
    QVERIFY(cache.storeOutgoingCheckData(second, {{"answer", 2}}));
    QVariantMap data;
    QVERIFY(!cache.getOutgoingCheckData(first, data));
    QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("id"), data));
    QVERIFY(cache.getOutgoingCheckData(second, data));
    QCOMPARE(data, (QVariantMap{{"answer", 2}}));
}

void tst_TillgateCashe::duplicateSessionKeepsFirstDocument()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("dup"), receipt("first")));
    QVERIFY(cache.storeOutgoingCheckData(QStringLiteral("dup"), {{"answer", 1}}));
    {
        LogCapture log;
        QVERIFY(!cache.storeIncomingCheckData(QStringLiteral("dup"), receipt("second")));
        QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("UNIQUE constraint failed")));
    }
    QCOMPARE(storedIncoming(QStringLiteral("dup")), receipt("first"));
    QVariantMap data;
    QVERIFY(cache.getOutgoingCheckData(QStringLiteral("dup"), data));
    QCOMPARE(data, (QVariantMap{{"answer", 1}}));
    // The failed insert left no transaction open.
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("next"), receipt("next")));
}

void tst_TillgateCashe::nullAndEmptyIdAreOneSession()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QString(), receipt("null")));
    QVERIFY(!cache.storeIncomingCheckData(QStringLiteral(""), receipt("empty")));
    QCOMPARE(sqlColumn("select count(*) from checksCache where sessionId is null"), QStringList{"0"});
}

void tst_TillgateCashe::answerForUnknownSession()
{
    TillgateCashe cache;
    QVERIFY(cache.storeOutgoingCheckData(QStringLiteral("nobody"), {{"answer", 1}}));
    QCOMPARE(sqlColumn("select count(*) from checksCache"), QStringList{"0"});
}

void tst_TillgateCashe::unansweredAndUnknownSessions()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("waiting"), receipt("w")));
    QVariantMap data;
    {
        LogCapture log;
        QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("unknown"), data));
        QCOMPARE(log.count(), 0);
    }
    {
        LogCapture log;
        QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("waiting"), data));
        QCOMPARE(log.messages(QtCriticalMsg).size(), 1);
    }
    QVERIFY(data.isEmpty());
}

void tst_TillgateCashe::emptyAnswer()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("empty"), receipt("e")));
    QVERIFY(cache.storeOutgoingCheckData(QStringLiteral("empty"), QVariantMap()));
    QCOMPARE(sqlColumn("select outgoing from checksCache"), QStringList{"{}"});
    QVariantMap data{{"stale", 1}};
    LogCapture log;
    QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("empty"), data));
    QVERIFY(data.isEmpty());
    QCOMPARE(log.count(), 0);
}

void tst_TillgateCashe::answerThatIsNotAnObject()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("odd"), receipt("o")));
    sqlColumn("update checksCache set outgoing = '{\"cut'");
    QVariantMap data;
    LogCapture log;
    QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("odd"), data));
    QCOMPARE(log.messages(QtCriticalMsg).size(), 1);
    sqlColumn("update checksCache set outgoing = '[1, 2]'");
    QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("odd"), data));
    QVERIFY(data.isEmpty());
}

void tst_TillgateCashe::garbageCollection_data()
{
    QTest::addColumn<int>("inserts");
    QTest::addColumn<int>("lowestId");
    QTest::addColumn<int>("rows");

    QTest::newRow("100: nothing deleted") << 100 << 1 << 100;
    QTest::newRow("101: nothing deleted") << 101 << 1 << 101;
    QTest::newRow("102: first row goes") << 102 << 2 << 101;
    QTest::newRow("150: below 50 go") << 150 << 50 << 101;
}

void tst_TillgateCashe::garbageCollection()
{
    QFETCH(int, inserts);
    QFETCH(int, lowestId);
    QFETCH(int, rows);

    TillgateCashe cache;
    // Batching the inserts in one transaction would change nothing for the
    // check below; the real operation is used so its own clean-up runs.
    for (int i = 1; i <= inserts; ++i)
        QVERIFY(cache.storeIncomingCheckData(QStringLiteral("s%1").arg(i), {{"i", i}}));
    QCOMPARE(sqlColumn("select min(id) || ',' || max(id) || ',' || count(*) from checksCache"),
             QStringList{QStringLiteral("%1,%2,%3").arg(lowestId).arg(inserts).arg(rows)});
    QCOMPARE(sqlColumn("select sessionId from checksCache where id = (select min(id) from checksCache)"),
             QStringList{QStringLiteral("s%1").arg(lowestId)});
    QVERIFY(cache.collectGarbage());
    QCOMPARE(sqlColumn("select count(*) from checksCache"), QStringList{QString::number(rows)});
}

void tst_TillgateCashe::failedInsertDropsNothing()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("a"), receipt("a")));
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("b"), receipt("b")));
    QVERIFY(cache.storeOutgoingCheckData(QStringLiteral("a"), {{"answer", "a"}}));
    // A row far ahead: any clean-up from now on drops "a" and "b".
    sqlColumn("insert into checksCache (id, sessionId, incoming) values (1000, 'far', '{}')");
    {
        LogCapture log;
        QVERIFY(!cache.storeIncomingCheckData(QStringLiteral("a"), receipt("again")));
        QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("UNIQUE constraint failed")));
    }
    QCOMPARE(committedColumn("select group_concat(id) from (select id from checksCache order by id)"),
             QStringList{"1,2,1000"});
    QCOMPARE(storedIncoming(QStringLiteral("a")), receipt("a"));
    QVariantMap data;
    QVERIFY(cache.getOutgoingCheckData(QStringLiteral("a"), data));
    QCOMPARE(data, (QVariantMap{{"answer", "a"}}));

    // The next insert that succeeds keeps the 101 highest ids, its own included.
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("new"), receipt("new")));
    QCOMPARE(committedColumn("select group_concat(sessionId) from (select sessionId from checksCache order by id)"),
             QStringList{"far,new"});
}

void tst_TillgateCashe::garbageCollectionFailureKeepsTheInsert()
{
    TillgateCashe cache;
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("old"), receipt("old")));
    sqlColumn("insert into checksCache (id, sessionId, incoming) values (500, 'far', '{}')");
    QString error;
    sqlColumn("create trigger keepRows before delete on checksCache begin select raise(abort, 'rows kept'); end",
              &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    {
        LogCapture log;
        QVERIFY(cache.storeIncomingCheckData(QStringLiteral("new"), receipt("new")));
        const QStringList warnings = log.messages(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QStringLiteral("rows kept")), qPrintable(warnings.first()));
        QVERIFY2(warnings.first().contains(QStringLiteral("delete from checksCache where id < 401")),
                 qPrintable(warnings.first()));
    }
    QCOMPARE(committedColumn("select group_concat(sessionId) from (select sessionId from checksCache order by id)"),
             QStringList{"old,far,new"});
    QCOMPARE(storedIncoming(QStringLiteral("new")), receipt("new"));
    {
        LogCapture log;
        QVERIFY(!cache.collectGarbage());
        QCOMPARE(log.messages(QtWarningMsg).size(), 1);
    }
    sqlColumn("drop trigger keepRows");
    QVERIFY(cache.collectGarbage());
    QCOMPARE(committedColumn("select group_concat(sessionId) from (select sessionId from checksCache order by id)"),
             QStringList{"far,new"});
}

void tst_TillgateCashe::eightThreadsLoseNothing()
{
    // 8 x 12 rows stay below the 101 rows that garbage collection keeps.
    const int threads = 8;
    const int perThread = 12;
    std::atomic<int> failures{0};
    runConcurrently(threads, [&](int t) {
        for (int i = 0; i < perThread; ++i) {
            const QString id = QStringLiteral("t%1-%2").arg(t).arg(i);
            TillgateCashe cache;
            if (!cache.storeIncomingCheckData(id, receipt(id)))
                ++failures;
            if (!cache.storeOutgoingCheckData(id, {{"answer", id}}))
                ++failures;
        }
    });
    QCOMPARE(failures.load(), 0);
    TillgateCashe cache;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < perThread; ++i) {
            const QString id = QStringLiteral("t%1-%2").arg(t).arg(i);
            QVariantMap data;
            QVERIFY2(cache.getOutgoingCheckData(id, data), qPrintable(id));
            QCOMPARE(data.value("answer").toString(), id);
            QCOMPARE(storedIncoming(id), receipt(id));
        }
    }
    QCOMPARE(sqlColumn("select count(*) from checksCache"), QStringList{QString::number(threads * perThread)});
}

void tst_TillgateCashe::writersTakeTurns_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("perThread");

    // At most 101 rows in all, so garbage collection drops none of them.
    QTest::newRow("8 threads") << 8 << 12;
    QTest::newRow("50 threads") << 50 << 2;
}

void tst_TillgateCashe::writersTakeTurns()
{
    QFETCH(int, threads);
    QFETCH(int, perThread);

    std::atomic<int> unprepared{0};
    std::atomic<int> failures{0};
    LogCapture log;
    runConcurrently(threads, [&](int t) {
        for (int i = 0; i < perThread; ++i) {
            const QString id = QStringLiteral("t%1-%2").arg(t).arg(i);
            TillgateCashe cache;
            QVariantMap data;
            if (!cache.storeIncomingCheckData(id, receipt(id)))
                ++failures;
            if (!cache.storeOutgoingCheckData(id, {{"answer", id}}))
                ++failures;
            if (!cache.getOutgoingCheckData(id, data) || data.value("answer") != id)
                ++failures;
        }
    }, [&](int) {
        if (!failOnLockedDatabase())
            ++unprepared;
    });
    QCOMPARE(unprepared.load(), 0);
    QCOMPARE(log.messages(QtWarningMsg), QStringList());
    QCOMPARE(log.messages(QtCriticalMsg), QStringList());
    QCOMPARE(failures.load(), 0);
    QCOMPARE(committedColumn("select count(*) || ',' || count(outgoing) from checksCache"),
             QStringList{QStringLiteral("%1,%1").arg(threads * perThread)});
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < perThread; ++i) {
            const QString id = QStringLiteral("t%1-%2").arg(t).arg(i);
            QCOMPARE(storedIncoming(id), receipt(id));
        }
    }
}

void tst_TillgateCashe::sameSessionFromTwoThreads()
{
    for (int round = 0; round < 10; ++round) {
        const QString id = QStringLiteral("shared-%1").arg(round);
        std::atomic<int> winner{-1};
        std::atomic<int> successes{0};
        runConcurrently(2, [&](int t) {
            TillgateCashe cache;
            if (cache.storeIncomingCheckData(id, receipt(QString::number(t)))) {
                ++successes;
                winner = t;
            }
        });
        QCOMPARE(successes.load(), 1);
        QCOMPARE(storedIncoming(id), receipt(QString::number(winner.load())));
    }
}

void tst_TillgateCashe::connectionNames()
{
    TillgateCashe cache;
    QCOMPARE(cache.connectionName(), cache.objectName());
    QVERIFY(cache.connectionName().startsWith(QStringLiteral("TillgateCache-")));
    QCOMPARE(cache.databaseFileName(), m_root.cacheFile());
    QCOMPARE(cache.actualMetadataVersion(), 2);
    TillgateCashe reader(qt5ext::BaseSqliteDbConnector::ReadOnly);
    QVERIFY(reader.connectionName().startsWith(QStringLiteral("TillgateCashe-")));
    QVERIFY(reader.isOpen());
    QVERIFY(!reader.storeIncomingCheckData(QStringLiteral("ro"), {{"a", 1}}));
    QVERIFY(cache.storeIncomingCheckData(QStringLiteral("rw"), {{"a", 1}}));
    QVERIFY(cache.storeOutgoingCheckData(QStringLiteral("rw"), {{"b", 2}}));
    QVariantMap data;
    QVERIFY(reader.getOutgoingCheckData(QStringLiteral("rw"), data));
    QCOMPARE(data, (QVariantMap{{"b", 2}}));
    reader.release();
}

QTEST_GUILESS_MAIN(tst_TillgateCashe)
#include "tst_tillgatecashe.moc"
