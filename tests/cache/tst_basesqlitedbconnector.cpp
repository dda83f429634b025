#include <basesqlitedbconnector.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

QString dbFile;
QList<int> upgradesFrom;

// A store whose schema version is the single value of table "meta"; the
// upgrade to version 2 adds the column "added".
class TestConnector : public qt5ext::BaseSqliteDbConnector
{
    Q_OBJECT
public:
    explicit TestConnector(ConnectionMode mode = ReadWrite)
        : qt5ext::BaseSqliteDbConnector(QStringLiteral("Test-"), mode, mode == ReadWrite ? &rw : &ro)
    {
        opened = init();
    }

    QString databaseFileName() const override { return dbFile; }
    QString connectionName() const override { return objectName(); }
    bool getMetaData(int &version, EMetadataState &) override
    {
        QSqlQuery query(db());
        if (!query.exec(QStringLiteral("select v from meta")) || !query.next())
            return false;
        version = query.value(0).toInt();
        return true;
    }
    int actualMetadataVersion() const override { return 2; }
    bool updateDatabase(int currentVersion) override
    {
        upgradesFrom << currentVersion;
        QSqlQuery query(db());
        return currentVersion == 1
                && query.exec(QStringLiteral("alter table meta add column added integer"))
                && query.exec(QStringLiteral("update meta set v = 2"));
    }

    bool opened = false;
    static QThreadStorage<int> rw;
    static QThreadStorage<int> ro;
};

QThreadStorage<int> TestConnector::rw;
QThreadStorage<int> TestConnector::ro;

bool exec(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    return query.exec(statement);
}

}

class tst_BaseSqliteDbConnector : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void initCreatesFile();
    void connectionsArePerThread();
    void connectionRemovedWhenThreadEnds();
    void releaseAndReopen();
    void threadConnectionsClosed();
    void versionCheck_data();
    void versionCheck();
    void openingUpgradesOlderSchema();
    void readOnlyMode();
    void readWriteIsSynchronousFull();
    void unopenableFile();

private:
    QTemporaryDir m_dir;
};

void tst_BaseSqliteDbConnector::init()
{
    QVERIFY(m_dir.isValid());
    dbFile = m_dir.filePath(QStringLiteral("test.db"));
    upgradesFrom.clear();
}

void tst_BaseSqliteDbConnector::cleanup()
{
    TestConnector().clearAllConnections();
    QFile::remove(dbFile);
}

void tst_BaseSqliteDbConnector::initCreatesFile()
{
    QVERIFY(!QFile::exists(dbFile));
    TestConnector connector;
    QVERIFY(connector.opened);
    QVERIFY(connector.isOpen());
    QVERIFY(QFile::exists(dbFile));
    // An empty database has no schema to upgrade yet.
    QVERIFY(upgradesFrom.isEmpty());
}

void tst_BaseSqliteDbConnector::connectionsArePerThread()
{
    TestConnector first;
    TestConnector second;
    QCOMPARE(first.connectionName(), second.connectionName());
    QVERIFY(exec(first.db(), QStringLiteral("create temp table t (x)")));
    // A temporary table is seen only on the connection that made it.
    QVERIFY(exec(second.db(), QStringLiteral("insert into t values (1)")));

    QString otherName;
    bool otherSeesTemp = true;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        TestConnector other;
        otherName = other.connectionName();
        otherSeesTemp = exec(other.db(), QStringLiteral("insert into t values (2)"));
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QVERIFY(!otherName.isEmpty());
    QVERIFY(otherName != first.connectionName());
    QVERIFY(!otherSeesTemp);
}

void tst_BaseSqliteDbConnector::connectionRemovedWhenThreadEnds()
{
    QString name;
    bool listedWhileRunning = false;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        TestConnector connector;
        name = connector.connectionName();
        listedWhileRunning = QSqlDatabase::connectionNames().contains(name);
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QVERIFY(listedWhileRunning);
    QVERIFY(!QSqlDatabase::connectionNames().contains(name));
}

void tst_BaseSqliteDbConnector::releaseAndReopen()
{
    {
        TestConnector connector;
        QVERIFY(exec(connector.db(), QStringLiteral("create temp table t (x)")));
        connector.release();
        QVERIFY(!connector.isOpen());
        QVERIFY(!QSqlDatabase::connectionNames().contains(connector.connectionName()));
    }
    TestConnector again;
    QVERIFY(again.isOpen());
    // A new connection: the temporary table went with the old one.
    QVERIFY(!exec(again.db(), QStringLiteral("insert into t values (1)")));
}

void tst_BaseSqliteDbConnector::threadConnectionsClosed()
{
    QString name;
    {
        TestConnector connector;
        name = connector.connectionName();
        QVERIFY(exec(connector.db(), QStringLiteral("create temp table t (x)")));
    }
    QVERIFY(QSqlDatabase::connectionNames().contains(name));
    qt5ext::BaseSqliteDbConnector::closeThreadConnections();
    QVERIFY(!QSqlDatabase::connectionNames().contains(name));
    TestConnector again;
    QVERIFY(again.isOpen());
    QVERIFY(!exec(again.db(), QStringLiteral("insert into t values (1)")));
}

void tst_BaseSqliteDbConnector::versionCheck_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<bool>("upgrade");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("upgraded");

    using C = qt5ext::BaseSqliteDbConnector;
    QTest::newRow("actual") << "create table meta (v); insert into meta values (2)" << true
                            << int(C::MetadataActual) << 2 << false;
    QTest::newRow("older, upgraded") << "create table meta (v); insert into meta values (1)" << true
                                     << int(C::MetadataActual) << 2 << true;
    QTest::newRow("older, left alone") << "create table meta (v); insert into meta values (1)" << false
                                       << int(C::MetadataOutdated) << 1 << false;
    QTest::newRow("older, upgrade fails") << "create table meta (v); insert into meta values (0)" << true
                                          << int(C::MetadataOutdated) << 0 << true;
    QTest::newRow("newer") << "create table meta (v); insert into meta values (3)" << true
                           << int(C::MetadataNewer) << 3 << false;
    QTest::newRow("no version row") << "create table meta (v)" << true
                                    << int(C::MetadataUnreadable) << 0 << false;
    QTest::newRow("other schema") << "create table other (v)" << true
                                  << int(C::MetadataUnreadable) << 0 << false;
}

void tst_BaseSqliteDbConnector::versionCheck()
{
    QFETCH(QString, schema);
    QFETCH(bool, upgrade);
    QFETCH(int, result);
    QFETCH(int, version);
    QFETCH(bool, upgraded);

    // The connection that made the schema stays open, so the connector
    // below reuses it without the upgrade that opening one would run.
    TestConnector setup;
    for (const QString &statement : schema.split(QLatin1Char(';')))
        QVERIFY2(exec(setup.db(), statement), qPrintable(statement));

    TestConnector connector;
    int read = -1;
    QString error;
    const int got = upgrade ? connector.checkVersion(read, error, true) : connector.checkVersion(read, error);
    QCOMPARE(got, result);
    QCOMPARE(read, version);
    QCOMPARE(!upgradesFrom.isEmpty(), upgraded);
    QCOMPARE(error.isEmpty(), result == int(qt5ext::BaseSqliteDbConnector::MetadataActual));
}

void tst_BaseSqliteDbConnector::openingUpgradesOlderSchema()
{
    {
        TestConnector setup;
        QVERIFY(exec(setup.db(), QStringLiteral("create table meta (v)")));
        QVERIFY(exec(setup.db(), QStringLiteral("insert into meta values (1)")));
        setup.release();
    }
    TestConnector connector;
    QCOMPARE(upgradesFrom, QList<int>{1});
    int version = 0;
    QString error;
    QCOMPARE(connector.checkVersion(version, error), 0);
    QCOMPARE(version, 2);
    // A read-only connection never upgrades.
    upgradesFrom.clear();
    QVERIFY(exec(connector.db(), QStringLiteral("update meta set v = 1")));
    TestConnector reader(qt5ext::BaseSqliteDbConnector::ReadOnly);
    QCOMPARE(reader.checkVersion(version, error, true), int(qt5ext::BaseSqliteDbConnector::MetadataOutdated));
    QVERIFY(upgradesFrom.isEmpty());
}

void tst_BaseSqliteDbConnector::readOnlyMode()
{
    {
        TestConnector missing(qt5ext::BaseSqliteDbConnector::ReadOnly);
        QVERIFY(!missing.opened);
        QVERIFY(!QFile::exists(dbFile));
    }
    {
        TestConnector writer;
        QVERIFY(exec(writer.db(), QStringLiteral("create table t (x)")));
    }
    TestConnector reader(qt5ext::BaseSqliteDbConnector::ReadOnly);
    QVERIFY(reader.opened);
    QVERIFY(reader.connectionName() != TestConnector().connectionName());
    QVERIFY(exec(reader.db(), QStringLiteral("select * from t")));
    QVERIFY(!exec(reader.db(), QStringLiteral("insert into t values (1)")));
}

void tst_BaseSqliteDbConnector::readWriteIsSynchronousFull()
{
    TestConnector connector;
    QSqlQuery query(connector.db());
    QVERIFY(query.exec(QStringLiteral("PRAGMA synchronous")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 2);
}

void tst_BaseSqliteDbConnector::unopenableFile()
{
    dbFile = m_dir.filePath(QStringLiteral("missing-dir/test.db"));
    TestConnector connector;
    QVERIFY(!connector.opened);
    QVERIFY(!connector.isOpen());
    int version = -1;
    QString error;
    QCOMPARE(connector.checkVersion(version, error), int(qt5ext::BaseSqliteDbConnector::MetadataNotOpen));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_BaseSqliteDbConnector)
#include "tst_basesqlitedbconnector.moc"
