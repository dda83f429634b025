#include "cashier.h"

#include <QtTest>

using namespace core;

class TestCashier : public QObject
{
    Q_OBJECT

private slots:
    void mapRoundTrip()
    {
        Cashier cashier;
        cashier.setName(QStringLiteral("Петрова Мария"));
        cashier.setPassword(4242);
        cashier.setInn(QStringLiteral("500100732259"));
        cashier.setClientId(QStringLiteral("{c1}"));
        Cashier copy;
        QVERIFY(copy.setMap(cashier.toMap()));
        QCOMPARE(copy, cashier);

        const QByteArray json = QJsonDocument(QJsonObject::fromVariantMap(cashier.toMap())).toJson();
        Cashier fromJson;
        QVERIFY(fromJson.setMap(QJsonDocument::fromJson(json).object().toVariantMap()));
        QCOMPARE(fromJson, cashier);
    }

    void clientIdOnlyWhenSet()
    {
        Cashier cashier;
        QVERIFY(!cashier.toMap().contains("clientId"));
        cashier.setClientId(7);
        QCOMPARE(cashier.toMap().value("clientId").toInt(), 7);
    }

    void passwordForms_data()
    {
        QTest::addColumn<QVariant>("password");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<uint>("stored");
        QTest::newRow("int") << QVariant(30) << true << 30u;
        QTest::newRow("json number") << QVariant(30.0) << true << 30u;
        QTest::newRow("text") << QVariant(" 0042 ") << true << 42u;
        QTest::newRow("largest") << QVariant("4294967295") << true << 4294967295u;
        QTest::newRow("too large") << QVariant("4294967296") << false << 0u;
        QTest::newRow("negative") << QVariant(-1) << false << 0u;
        QTest::newRow("fraction") << QVariant(1.5) << false << 0u;
        QTest::newRow("letters") << QVariant("abc") << false << 0u;
        QTest::newRow("empty") << QVariant("") << false << 0u;
        QTest::newRow("missing") << QVariant() << false << 0u;
    }
    void passwordForms()
    {
        QFETCH(QVariant, password);
        QFETCH(bool, valid);
        QFETCH(uint, stored);
        QVariantMap map { { "name", "x" } };
        if (password.isValid())
            map.insert("password", password);
        Cashier cashier;
        QCOMPARE(cashier.setMap(map), valid);
        QCOMPARE(cashier.password(), stored);
    }

    void parseCashiersKeepsOrderAndSkipsBadEntries()
    {
        const QVariantMap object { { Cashier::CASHIERS_KEY,
                                     QVariantList { QVariantMap { { "name", "A" }, { "password", 1 } },
                                                    QVariant("not a map"),
                                                    QVariantMap { { "name", "B" }, { "password", "x" } },
                                                    QVariantMap { { "name", "C" }, { "password", "3" } } } } };
        const QList<Cashier> cashiers = Cashier::parseCashiers(object);
        QCOMPARE(cashiers.size(), 2);
        QCOMPARE(cashiers.at(0).name(), QStringLiteral("A"));
        QCOMPARE(cashiers.at(1).name(), QStringLiteral("C"));
        QCOMPARE(cashiers.at(1).password(), 3u);
    }

    void cashiersObjectRoundTrip()
    {
        QList<Cashier> cashiers;
        for (int i = 1; i <= 3; ++i) {
            Cashier cashier;
            cashier.setName(QStringLiteral("Кассир %1").arg(i));
            cashier.setPassword(unsigned(i * 11));
            cashiers << cashier;
        }
        QCOMPARE(Cashier::parseCashiers(Cashier::cashiersObject(cashiers)), cashiers);
        QVERIFY(Cashier::parseCashiers(QVariantMap()).isEmpty());
        QVERIFY(Cashier::parseCashiers({ { Cashier::CASHIERS_KEY, "x" } }).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCashier)
#include "tst_cashier.moc"
