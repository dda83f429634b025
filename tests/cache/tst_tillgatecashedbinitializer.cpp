#include "cachetestsupport.h"
#include "tillgatecashedbinitializer.h"

#include <QtTest>

class tst_TillgateCasheDbInitializer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void compiledScriptIsTheFileInTheTree();
    void freshStartCreatesSchema();
    void metadataTrigger_data();
    void metadataTrigger();
    void applyScript_data();
    void applyScript();
    void missingScriptFile();
    void upgradeWithoutScript();
    void usableFileIsKept();
    void olderFileIsUpgraded();
    void badFileIsReplaced_data();
    void badFileIsReplaced();
    void unremovableFileIsReported();

private:
    static void writeFile(const QString &path, const QByteArray &content);
    static bool sessionExists(const QString &sessionId);

    CacheRoot m_root;
};

void tst_TillgateCasheDbInitializer::initTestCase()
{
    QVERIFY(m_root.isValid());
}

void tst_TillgateCasheDbInitializer::init()
{
    m_root.wipe();
}

void tst_TillgateCasheDbInitializer::writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

bool tst_TillgateCasheDbInitializer::sessionExists(const QString &sessionId)
{
    return sqlColumn(QStringLiteral("select sessionId from checksCache")).contains(sessionId);
}

void tst_TillgateCasheDbInitializer::compiledScriptIsTheFileInTheTree()
{
    TillgateCasheDbInitializer initializer;
    QFile file(QStringLiteral(TILLGATE_SOURCE_DIR "/sql/tillgate.cache.sql"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString compiled = initializer.getScript(TillgateCasheDbInitializer::CREATE_SCRIPT);
    QVERIFY(compiled.contains(QStringLiteral("end;;;")));
    QCOMPARE(compiled, QString::fromUtf8(file.readAll()));
    QVERIFY(initializer.objectName().startsWith(QStringLiteral("TillgateCasheDbInitializer-")));
}

void tst_TillgateCasheDbInitializer::freshStartCreatesSchema()
{
    QVERIFY(!QFile::exists(m_root.cacheFile()));
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QVERIFY(QFile::exists(m_root.cacheFile()));

    QCOMPARE(sqlColumn("select name from sqlite_master where type = 'table' order by name"),
             (QStringList{"checksCache", "metadata"}));
    QCOMPARE(sqlColumn("select name from sqlite_master where type = 'trigger'"), QStringList{"onmetadatainsert"});
    QCOMPARE(sqlColumn("select name from sqlite_master where type = 'index' and tbl_name = 'checksCache'"),
             QStringList{"checksCachesessionId"});
    QCOMPARE(sqlColumn("select \"unique\" from pragma_index_list('checksCache')"), QStringList{"1"});
    QCOMPARE(sqlColumn("select id || ',' || metadataVersion from metadata"), QStringList{"0,2"});
    QCOMPARE(sqlColumn("pragma journal_mode"), QStringList{"wal"});
    QCOMPARE(sqlColumn("select name from pragma_table_info('checksCache') order by cid"),
             (QStringList{"id", "sessionId", "incoming", "outgoing", "lastDocNumber", "registerTime"}));
}

void tst_TillgateCasheDbInitializer::metadataTrigger_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("error");

    QTest::newRow("id 1") << "insert into metadata (id, metadataVersion) values (1, 1)" << "single record!";
    QTest::newRow("id -1") << "insert into metadata (id, metadataVersion) values (-1, 1)" << "single record!";
    QTest::newRow("null id") << "insert into metadata (id, metadataVersion) values (null, 1)" << "single record!";
    QTest::newRow("no id") << "insert into metadata (metadataVersion) values (2)" << "single record!";
    QTest::newRow("second id 0") << "insert into metadata (id, metadataVersion) values (0, 2)" << "UNIQUE";
    QTest::newRow("null version") << "update metadata set metadataVersion = null" << "NOT NULL";
}

void tst_TillgateCasheDbInitializer::metadataTrigger()
{
    QFETCH(QString, statement);
    QFETCH(QString, error);

    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QString got;
    sqlColumn(statement, &got);
    QVERIFY2(got.contains(error), qPrintable(got));
    QCOMPARE(sqlColumn("select id || ',' || metadataVersion from metadata"), QStringList{"0,2"});
}

void tst_TillgateCasheDbInitializer::applyScript_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QStringList>("tables");

    QTest::newRow("line ends between separators")
            << "create table a (x);;\n;;\n\n;;create table b (x);;" << true << QStringList{"a", "b"};
    QTest::newRow("windows line ends between separators")
            << "create table a (x);;\r\n\r\n;;create table b (x);;\r\n" << true << QStringList{"a", "b"};
    QTest::newRow("long blank part") << "create table a (x);;\n\t\t      \n\n;;" << true << QStringList{"a"};
    QTest::newRow("third semicolon") << "create table a (x);;;\n\ncreate table b (x);;" << true
                                     << QStringList{"a", "b"};
    QTest::newRow("no final separator") << "create table a (x);;create table b (x)" << true
                                        << QStringList{"a", "b"};
    QTest::newRow("semicolon inside a statement")
            << "create table a (x);;create trigger t before insert on a begin select 1; end;;"
            << true << QStringList{"a"};
    QTest::newRow("failing part rolls all back")
            << "create table a (x);;create table a (y);;create table b (x);;" << false << QStringList{};
    QTest::newRow("garbage") << "this is not sql at all;;" << false << QStringList{};
    QTest::newRow("two statements in one part") << "create table a (x); create table b (x);;" << false
                                                << QStringList{};
}

void tst_TillgateCasheDbInitializer::applyScript()
{
    QFETCH(QString, script);
    QFETCH(bool, applied);
    QFETCH(QStringList, tables);

    TillgateCashe cache;
    QVERIFY(cache.isOpen());
    TillgateCasheDbInitializer initializer;
    QCOMPARE(initializer.applyScript(&cache.db(), script), applied);
    QCOMPARE(sqlColumn("select name from sqlite_master where type = 'table' order by name"), tables);
    // Foreign keys are back on and no transaction is left open.
    QCOMPARE(sqlColumn("pragma foreign_keys"), QStringList{"1"});
    QVERIFY(cache.db().transaction());
    QVERIFY(cache.db().rollback());
}

void tst_TillgateCasheDbInitializer::missingScriptFile()
{
    LogCapture log;
    TillgateCasheDbInitializer initializer;
    QCOMPARE(initializer.getScript(QStringLiteral(":/sql/none.sql")), QString());
    QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("Can not open file :/sql/none.sql (")));

    TillgateCashe cache;
    QVERIFY(!initializer.createDatabase(&cache.db(), QStringLiteral(":/sql/none.sql")));
    QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("Db script is empty!")));
    QCOMPARE(sqlColumn("select name from sqlite_master"), QStringList{});
}

void tst_TillgateCasheDbInitializer::upgradeWithoutScript()
{
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    LogCapture log;
    TillgateCashe cache;
    TillgateCasheDbInitializer initializer;
    QVERIFY(!initializer.updateDatabase(&cache.db(), 3));
    const QStringList critical = log.messages(QtCriticalMsg);
    QCOMPARE(critical.size(), 2);
    QVERIFY(critical.at(0).startsWith(QStringLiteral("Can not open file :/sql/md_3.sql (")));
    QCOMPARE(critical.at(1), QStringLiteral("Db script is empty!"));
    // Nothing to apply from the actual version on.
    QVERIFY(cache.updateDatabase(2));
    QVERIFY(!cache.updateDatabase(0));
}

void tst_TillgateCasheDbInitializer::usableFileIsKept()
{
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QVERIFY(TillgateCashe().storeIncomingCheckData(QStringLiteral("kept"), {{"a", 1}}));
    m_root.releaseConnection();

    LogCapture log;
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QCOMPARE(log.messages(QtWarningMsg), QStringList{"ok"});
    QVERIFY(log.messages(QtCriticalMsg).isEmpty());
    QVERIFY(sessionExists(QStringLiteral("kept")));
}

void tst_TillgateCasheDbInitializer::olderFileIsUpgraded()
{
    // A file of the first version, as the service made it before: one
    // answered receipt and one whose answer never came.
    {
        TillgateCashe cache;
        TillgateCasheDbInitializer initializer;
        QVERIFY(initializer.createDatabase(&cache.db(), TillgateCasheDbInitializer::CREATE_SCRIPT));
        QSqlQuery query(cache.db());
        QVERIFY(query.exec("insert into checksCache (sessionId, incoming, outgoing) "
                           "values ('answered', '{\"a\":1}', '{\"fiscalSign\":\"7\"}'), "
                           "('unanswered', '{\"a\":2}', null)"));
        QVERIFY(query.exec("select metadataVersion from metadata") && query.next());
        QCOMPARE(query.value(0).toInt(), 1);
        query.finish();
        cache.clearAllConnections();
    }

    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QCOMPARE(sqlColumn("select metadataVersion from metadata"), QStringList{"2"});
    TillgateCashe cache;
    QVariantMap answer;
    QVERIFY(cache.getOutgoingCheckData(QStringLiteral("answered"), answer));
    QCOMPARE(answer, (QVariantMap{{"fiscalSign", "7"}}));
    // Sent by the older service without a recorded start: it cannot be
    // settled, and is not taken for one that was never sent.
    QVariantMap incoming;
    qint64 lastDocNumber = 0;
    QDateTime registerTime;
    QVERIFY(cache.getUnansweredCheck(QStringLiteral("unanswered"), incoming, lastDocNumber, registerTime));
    QCOMPARE(incoming, (QVariantMap{{"a", 2}}));
    QCOMPARE(lastDocNumber, TillgateCashe::START_UNKNOWN);
}

void tst_TillgateCasheDbInitializer::badFileIsReplaced_data()
{
    QTest::addColumn<QString>("damage");

    QTest::newRow("not sqlite") << "text";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("truncated") << "truncate";
    QTest::newRow("overwritten pages") << "scribble";
    QTest::newRow("older version") << "update metadata set metadataVersion = 0";
    QTest::newRow("newer version") << "update metadata set metadataVersion = 3";
    QTest::newRow("no metadata row") << "delete from metadata";
    QTest::newRow("no metadata table") << "drop table metadata";
}

void tst_TillgateCasheDbInitializer::badFileIsReplaced()
{
    QFETCH(QString, damage);

    const QString file = m_root.cacheFile();
    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    {
        TillgateCashe cache;
        // Enough rows for several pages, so that damage in the middle of
        // the file hits the table.
        const QVariantMap document{{"text", QString(2000, QLatin1Char('x'))}};
        for (int i = 0; i < 60; ++i)
            QVERIFY(cache.storeIncomingCheckData(QStringLiteral("old-%1").arg(i), document));
        if (damage.contains(QLatin1Char(' '))) {
            QSqlQuery query(cache.db());
            QVERIFY2(query.exec(damage), qPrintable(query.lastError().text()));
        }
        cache.clearAllConnections();
    }
    QVERIFY(QFileInfo(file).size() > 64 * 1024);
    QVERIFY(!QFile::exists(file + "-wal"));
    if (damage == "text") {
        writeFile(file, "just some text, long enough to be taken for a header of a database file\n");
    } else if (damage == "empty") {
        writeFile(file, QByteArray());
    } else if (damage == "truncate") {
        QVERIFY(QFile::resize(file, QFileInfo(file).size() / 2));
    } else if (damage == "scribble") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(3 * 4096));
        f.write(QByteArray(8 * 4096, '\x5a'));
    }
    // Companions of the damaged file go with it; other files stay.
    writeFile(file + "-wal", "stale");
    writeFile(file + "-shm", "stale");
    writeFile(m_root.cacheDir() + "/other.db", "keep");

    QVERIFY(TillgateCasheDbInitializer::initializeDatabase());
    QVERIFY(QFile::exists(m_root.cacheDir() + "/other.db"));
    QCOMPARE(sqlColumn("select count(*) from checksCache"), QStringList{"0"});
    QCOMPARE(sqlColumn("select id || ',' || metadataVersion from metadata"), QStringList{"0,2"});
    QCOMPARE(sqlColumn("pragma integrity_check"), QStringList{"ok"});
    QVERIFY(TillgateCashe().storeIncomingCheckData(QStringLiteral("new"), {{"a", 1}}));
}

void tst_TillgateCasheDbInitializer::unremovableFileIsReported()
{
    // A directory where the file should be can be neither opened nor
    // removed: the check fails with a reason and nothing else breaks.
    QVERIFY(QDir().mkpath(m_root.cacheFile()));
    LogCapture log;
    QVERIFY(!TillgateCasheDbInitializer::initializeDatabase());
    QVERIFY(!log.messages(QtCriticalMsg).isEmpty());
    TillgateCashe cache;
    QVERIFY(!cache.isOpen());
    QVERIFY(!cache.storeIncomingCheckData(QStringLiteral("s"), {{"a", 1}}));
    QVERIFY(log.contains(QtWarningMsg, QStringLiteral("TRANSACTION ERROR")));
    QVariantMap data;
    QVERIFY(!cache.getOutgoingCheckData(QStringLiteral("s"), data));
    QVERIFY(QDir().rmdir(m_root.cacheFile()));
}

QTEST_GUILESS_MAIN(tst_TillgateCasheDbInitializer)
#include "tst_tillgatecashedbinitializer.moc"
