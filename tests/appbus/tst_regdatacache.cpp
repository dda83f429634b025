#include "regdatacache.h"

#include <appbusobject.h>
#include <sharedobjectsstorage.h>

#include <QtTest>

#include <functional>

using Change = std::function<void()>;
Q_DECLARE_METATYPE(Change)

// The registration data remembered between requests: what makes an answer
// stale and what does not.
class TestRegDataCache : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void emptyAtFirst();
    void answerIsKept();
    void staleAnswerIsDropped_data();
    void staleAnswerIsDropped();
    void otherObjectsDoNotMatter();
    void expiresByAge();
    void storageRevisions();

private:
    static fiscal::RegData sample(const QString &regNumber);
};

void TestRegDataCache::init()
{
    bus::SharedObjectsStorage().clear();
    RegDataCache::invalidate();
}

fiscal::RegData TestRegDataCache::sample(const QString &regNumber)
{
    fiscal::RegData data;
    data.setRegNumeber(regNumber);
    data.setModel(7);
    data.setCashBoxSerial(QStringLiteral("0000000000001234"));
    return data;
}

void TestRegDataCache::emptyAtFirst()
{
    fiscal::RegData data = sample("untouched");
    QVERIFY(!RegDataCache::get(data));
    QCOMPARE(data.regNumeber(), QString("untouched"));
}

void TestRegDataCache::answerIsKept()
{
    RegDataCache::put(sample("0000000001012345"), RegDataCache::ticket());
    fiscal::RegData data;
    QVERIFY(RegDataCache::get(data));
    QCOMPARE(data, sample("0000000001012345"));
    // Reading does not use it up.
    QVERIFY(RegDataCache::get(data));

    // A newer answer replaces the older one.
    RegDataCache::put(sample("0000000002023456"), RegDataCache::ticket());
    QVERIFY(RegDataCache::get(data));
    QCOMPARE(data.regNumeber(), QString("0000000002023456"));
}

void TestRegDataCache::staleAnswerIsDropped_data()
{
    QTest::addColumn<Change>("change");
    QTest::newRow("invalidated") << Change([] { RegDataCache::invalidate(); });
    QTest::newRow("published") << Change([] {
        bus::SharedObjectsStorage().store(
            bus::AppBusObject(fiscal::RegData::BUS_OBJECT_NAME, sample("published").toMap()));
    });
    QTest::newRow("withdrawn") << Change([] {
        bus::SharedObjectsStorage().store(
            bus::AppBusObject(fiscal::RegData::BUS_OBJECT_NAME, sample("first").toMap()));
        RegDataCache::put(sample("asked"), RegDataCache::ticket());
        QVERIFY(bus::SharedObjectsStorage().remove(fiscal::RegData::BUS_OBJECT_NAME));
    });
    QTest::newRow("storage cleared") << Change([] {
        bus::SharedObjectsStorage().store(
            bus::AppBusObject(fiscal::RegData::BUS_OBJECT_NAME, sample("first").toMap()));
        RegDataCache::put(sample("asked"), RegDataCache::ticket());
        bus::SharedObjectsStorage().clear();
    });
}

void TestRegDataCache::staleAnswerIsDropped()
{
    QFETCH(Change, change);

    // Held, then the change: the held answer goes.
    RegDataCache::put(sample("held"), RegDataCache::ticket());
    change();
    fiscal::RegData data;
    QVERIFY(!RegDataCache::get(data));

    // Asked before the change, answered after it: never kept, or an old
    // answer arriving late would hide the newer state.
    const RegDataCache::Ticket ticket = RegDataCache::ticket();
    change();
    RegDataCache::put(sample("late"), ticket);
    QVERIFY(!RegDataCache::get(data));

    // Asked after the change: kept.
    RegDataCache::put(sample("fresh"), RegDataCache::ticket());
    QVERIFY(RegDataCache::get(data));
    QCOMPARE(data.regNumeber(), QString("fresh"));
}

void TestRegDataCache::otherObjectsDoNotMatter()
{
    RegDataCache::put(sample("held"), RegDataCache::ticket());
    bus::SharedObjectsStorage().store(bus::AppBusObject(QStringLiteral("fiscal.fsstatus"), QVariantMap{{"phase", 3}}));
    bus::SharedObjectsStorage().store(bus::AppBusObject(QStringLiteral("core.cashiers"), QVariantMap()));
    fiscal::RegData data;
    QVERIFY(RegDataCache::get(data));
    QCOMPARE(data.regNumeber(), QString("held"));
}

void TestRegDataCache::expiresByAge()
{
    // A core that never publishes is asked again after a while.
    RegDataCache::put(sample("held"), RegDataCache::ticket());
    fiscal::RegData data;
    QVERIFY(RegDataCache::get(data));
    QTRY_VERIFY_WITH_TIMEOUT(!RegDataCache::get(data), RegDataCache::MAX_AGE_MS * 5);
}

void TestRegDataCache::storageRevisions()
{
    bus::SharedObjectsStorage storage;
    const QString name = QStringLiteral("test.object");
    QCOMPARE(storage.revision(name), quint64(0));

    storage.store(bus::AppBusObject(name, QVariantMap{{"a", 1}}));
    const quint64 stored = storage.revision(name);
    QVERIFY(stored != 0);
    // The same content stored again is still a new publication.
    storage.store(bus::AppBusObject(name, QVariantMap{{"a", 1}}));
    const quint64 again = storage.revision(name);
    QVERIFY(again != stored);

    // Another object's change leaves this one's revision alone.
    storage.store(bus::AppBusObject(QStringLiteral("test.other"), QVariantMap()));
    QCOMPARE(storage.revision(name), again);

    QVERIFY(storage.remove(name));
    const quint64 removed = storage.revision(name);
    QVERIFY(removed != again);
    // Removing what is not there changes nothing.
    QVERIFY(!storage.remove(name));
    QCOMPARE(storage.revision(name), removed);

    storage.store(bus::AppBusObject(name, QVariantMap()));
    const quint64 beforeClear = storage.revision(name);
    storage.clear();
    QVERIFY(storage.revision(name) != beforeClear);
}

QTEST_GUILESS_MAIN(TestRegDataCache)
#include "tst_regdatacache.moc"
