#include "agentdata.h"
#include "checktestsupport.h"
#include "fiscaldoccomplexproperty.h"
#include "fiscaldocpropertytemplateloader.h"
#include "providerdata.h"

#include <QtTest>

using namespace fiscal;

namespace {

QSharedPointer<FiscalDocComplexProperty> typed(const QVariantMap &map)
{
    QString error;
    const FiscalDocPropertyPtr property = FiscalDocPropertyTemplateLoader().fromMap(map, &error);
    if (!property)
        qWarning().noquote() << error;
    return property.dynamicCast<FiscalDocComplexProperty>();
}

} // namespace

class TestAgentData : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryAgentPart();
    void agentRefusals_data();
    void agentRefusals();
    void emptyPartsCarryNothing();
    void readsSupplierData();
    void supplierRefusals();
    void templatesOfAnotherTag();
};

void TestAgentData::readsEveryAgentPart()
{
    const auto record = typed(jsonMap(R"({"tag":1223,"fiscprops":[
        {"tag":1044,"value":"Перевод"},{"tag":1073,"value":"+71111111111"},{"tag":1073,"value":"+72222222222"},
        {"tag":1074,"value":"+73333333333"},{"tag":1075,"value":"+74444444444"},{"tag":1026,"value":"Банк"},
        {"tag":1005,"value":"Москва"},{"tag":1016,"value":"7707083893"}]})"));
    QVERIFY(record);
    AgentData agent;
    QString error;
    QVERIFY2(agent.parse(*record, &error), qPrintable(error));
    QCOMPARE(agent.operation(), QStringLiteral("Перевод"));
    QCOMPARE(agent.payingAgentPhones(), (QStringList{QStringLiteral("+71111111111"), QStringLiteral("+72222222222")}));
    QCOMPARE(agent.paymentOperatorPhones(), QStringList{QStringLiteral("+73333333333")});
    QCOMPARE(agent.transferOperatorPhones(), QStringList{QStringLiteral("+74444444444")});
    QCOMPARE(agent.transferOperatorName(), QStringLiteral("Банк"));
    QCOMPARE(agent.transferOperatorAddress(), QStringLiteral("Москва"));
    QCOMPARE(agent.transferOperatorInn(), QStringLiteral("7707083893"));
    QVERIFY(!agent.isEmpty());

    // Written back into a fresh template and read again: the same data.
    const FiscalDocPropertyPtr written = agent.getProperty(FiscalDocPropertyTemplateLoader()[1223]);
    QVERIFY(written);
    QCOMPARE(written->toByteArray().size(), record->toByteArray().size());
    AgentData back;
    QVERIFY(back.parse(*written.dynamicCast<FiscalDocComplexProperty>(), &error));
    QVERIFY(back == agent);
    agent.clear();
    QVERIFY(agent.isEmpty());
    QVERIFY(back != agent);
}

void TestAgentData::agentRefusals_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    QTest::newRow("foreign part") << QByteArray(R"({"tag":1223,"fiscprops":[{"tag":1225,"value":"x"}]})")
                                  << QStringLiteral("tag 1225 has no place in agent data (tag 1223)");
    QTest::newRow("operation twice")
            << QByteArray(R"({"tag":1223,"fiscprops":[{"tag":1044,"value":"a"},{"tag":1044,"value":"b"}]})")
            << QStringLiteral("holds tag 1044 twice");
    QTest::newRow("inn twice")
            << QByteArray(R"({"tag":1223,"fiscprops":[{"tag":1016,"value":"1"},{"tag":1016,"value":"2"}]})")
            << QStringLiteral("holds tag 1016 twice");
    QTest::newRow("supplier data") << QByteArray(R"({"tag":1224,"fiscprops":[]})")
                                   << QStringLiteral("tag 1224 is not agent data");
}

void TestAgentData::agentRefusals()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const auto record = typed(jsonMap(json));
    QVERIFY(record);
    AgentData agent;
    agent.setOperation(QStringLiteral("kept"));
    QString text;
    QVERIFY(!agent.parse(*record, &text));
    QVERIFY2(text.contains(error), qPrintable(text));
    QCOMPARE(agent.operation(), QStringLiteral("kept"));
}

void TestAgentData::emptyPartsCarryNothing()
{
    const auto record = typed(jsonMap(R"({"tag":1223,"fiscprops":[{"tag":1073,"value":""},{"tag":1026,"value":""}]})"));
    QVERIFY(record);
    AgentData agent;
    QVERIFY(agent.parse(*record));
    QVERIFY(agent.isEmpty());
    QVERIFY(agent.toFiscProps().isEmpty());
    QVERIFY(!agent.getProperty(FiscalDocPropertyTemplateLoader()[1223]));
}

void TestAgentData::readsSupplierData()
{
    const auto record = typed(jsonMap(R"({"tag":1224,"fiscprops":[
        {"tag":1171,"value":"+75555555555"},{"tag":1225,"value":"ООО Ромашка"},{"tag":1171,"value":"+76666666666"}]})"));
    QVERIFY(record);
    ProviderData provider;
    QString error;
    QVERIFY2(provider.parse(*record, &error), qPrintable(error));
    QCOMPARE(provider.name(), QStringLiteral("ООО Ромашка"));
    QCOMPARE(provider.phones(), (QStringList{QStringLiteral("+75555555555"), QStringLiteral("+76666666666")}));
    const FiscalDocPropertyPtr written = provider.getProperty(FiscalDocPropertyTemplateLoader()[1224]);
    QVERIFY(written);
    ProviderData back;
    QVERIFY(back.parse(*written.dynamicCast<FiscalDocComplexProperty>()));
    QVERIFY(back == provider);
    // Phones first, then the name, as registers write them.
    const QVariantList parts = provider.toFiscProps();
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts.last().toMap().value(QStringLiteral("tag")).toUInt(), 1225u);
}

void TestAgentData::supplierRefusals()
{
    ProviderData provider;
    provider.setName(QStringLiteral("kept"));
    QString error;
    auto record = typed(jsonMap(R"({"tag":1224,"fiscprops":[{"tag":1044,"value":"x"}]})"));
    QVERIFY(record);
    QVERIFY(!provider.parse(*record, &error));
    QVERIFY2(error.contains(QStringLiteral("tag 1044 has no place in supplier data")), qPrintable(error));
    record = typed(jsonMap(R"({"tag":1223,"fiscprops":[]})"));
    QVERIFY(record);
    QVERIFY(!provider.parse(*record, &error));
    QVERIFY2(error.contains(QStringLiteral("is not supplier data")), qPrintable(error));
    QCOMPARE(provider.name(), QStringLiteral("kept"));

    // A name past the 256 characters of its tag cannot be written.
    provider.setName(QString(300, QLatin1Char('n')));
    QVERIFY(!provider.getProperty(FiscalDocPropertyTemplateLoader()[1224]));
}

void TestAgentData::templatesOfAnotherTag()
{
    AgentData agent;
    agent.setTransferOperatorName(QStringLiteral("x"));
    ProviderData provider;
    provider.setName(QStringLiteral("y"));
    const FiscalDocPropertyTemplateLoader loader;
    QVERIFY(agent.getProperty(loader[1223]));
    QVERIFY(!agent.getProperty(loader[1224]));
    QVERIFY(!agent.getProperty(loader[1030]));
    QVERIFY(!agent.getProperty(FiscalDocPropertyPtr()));
    QVERIFY(provider.getProperty(loader[1224]));
    QVERIFY(!provider.getProperty(loader[1223]));
    QVERIFY(!provider.getProperty(loader[1225]));
}

QTEST_GUILESS_MAIN(TestAgentData)
#include "tst_agentdata.moc"
