#include <appbuscommand.h>
#include <appbusobject.h>

#include <QJsonDocument>
#include <QtTest>

using bus::AppBusCommand;
using bus::AppBusObject;

class TestAppBusCommand : public QObject
{
    Q_OBJECT
private slots:
    void commandSurvivesTheWire();
    void answerSwapsTheEnds();
    void malformedCommandIsRefused_data();
    void malformedCommandIsRefused();
    void objectSurvivesTheWire();
    void malformedObjectIsRefused_data();
    void malformedObjectIsRefused();
};

void TestAppBusCommand::commandSurvivesTheWire()
{
    AppBusCommand command;
    command.setName("getLoginCoreOnline");
    command.setParams({ { "login", QStringLiteral("Кассир") }, { "password", "1" }, { "n", 7 } });
    command.setDt(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 10)));
    command.setNeedAnswer(true);
    command.setReciever("cashboxcore");
    command.setSender("tillgate");
    command.setUid(AppBusCommand::genUid());
    command.setIsLogged(true);

    AppBusCommand read;
    QString error;
    QVERIFY2(AppBusCommand::fromJson(command.toJson(), read, error), qPrintable(error));
    QCOMPARE(read.name(), command.name());
    QCOMPARE(read.params().value("login").toString(), QStringLiteral("Кассир"));
    QCOMPARE(read.params().value("n").toInt(), 7);
    QCOMPARE(read.dt(), command.dt());
    QVERIFY(read.needAnswer());
    QVERIFY(read.isLogged());
    QVERIFY(!read.isAnswer());
    QCOMPARE(read.reciever(), QStringLiteral("cashboxcore"));
    QCOMPARE(read.sender(), QStringLiteral("tillgate"));
    QCOMPARE(read.uid(), command.uid());
    QVERIFY(AppBusCommand::genUid() != AppBusCommand::genUid());
}

void TestAppBusCommand::answerSwapsTheEnds()
{
    AppBusCommand command;
    command.setName("checkRegistration");
    command.setSender("tillgate");
    command.setReciever("cashboxcore");
    command.setUid("u-1");
    const AppBusCommand answer = command.createAnswer({ { "isRegistered", true } });
    QVERIFY(answer.isAnswer());
    QCOMPARE(answer.uid(), QStringLiteral("u-1"));
    QCOMPARE(answer.sender(), QStringLiteral("cashboxcore"));
    QCOMPARE(answer.reciever(), QStringLiteral("tillgate"));
    QCOMPARE(answer.toJson().value("type").toString(), QStringLiteral("answer"));
}

void TestAppBusCommand::malformedCommandIsRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("no type") << QByteArray(R"({"name":"a","uid":"1"})");
    QTest::newRow("object frame") << QByteArray(R"({"type":"object","name":"a","uid":"1"})");
    QTest::newRow("no name") << QByteArray(R"({"type":"command","uid":"1"})");
    QTest::newRow("empty name") << QByteArray(R"({"type":"command","name":"","uid":"1"})");
    QTest::newRow("numeric name") << QByteArray(R"({"type":"command","name":5,"uid":"1"})");
    QTest::newRow("no uid") << QByteArray(R"({"type":"answer","name":"a"})");
    QTest::newRow("params a list") << QByteArray(R"({"type":"command","name":"a","uid":"1","params":[1]})");
    QTest::newRow("sender a number") << QByteArray(R"({"type":"command","name":"a","uid":"1","sender":1})");
    QTest::newRow("needAnswer a text") << QByteArray(R"({"type":"command","name":"a","uid":"1","needAnswer":"yes"})");
}

void TestAppBusCommand::malformedCommandIsRefused()
{
    QFETCH(QByteArray, json);
    AppBusCommand command;
    command.setName("untouched");
    QString error;
    QVERIFY(!AppBusCommand::fromJson(QJsonDocument::fromJson(json).object(), command, error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(command.name(), QStringLiteral("untouched"));
}

void TestAppBusCommand::objectSurvivesTheWire()
{
    const AppBusObject object("core.cashiers", { { "cashiers", QVariantList{ QVariantMap{ { "name", "A" } } } } });
    AppBusObject read;
    QString error;
    QVERIFY2(AppBusObject::fromJson(object.toJson(), read, error), qPrintable(error));
    QCOMPARE(read.name(), object.name());
    QCOMPARE(read.content(), object.content());
}

void TestAppBusCommand::malformedObjectIsRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("no name") << QByteArray(R"({"type":"object","content":{}})");
    QTest::newRow("no content") << QByteArray(R"({"type":"object","name":"a"})");
    QTest::newRow("content a list") << QByteArray(R"({"type":"object","name":"a","content":[]})");
    QTest::newRow("dt a number") << QByteArray(R"({"type":"object","name":"a","content":{},"dt":3})");
}

void TestAppBusCommand::malformedObjectIsRefused()
{
    QFETCH(QByteArray, json);
    AppBusObject object;
    QString error;
    QVERIFY(!AppBusObject::fromJson(QJsonDocument::fromJson(json).object(), object, error));
    QVERIFY(!error.isEmpty());
    QVERIFY(object.isNull());
}

QTEST_APPLESS_MAIN(TestAppBusCommand)
#include "tst_appbuscommand.moc"
