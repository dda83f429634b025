#include "httptestclient.h"
#include "servicerunner.h"

#include <QSettings>
#include <QtTest>

namespace {

const QByteArray XML_TYPE = "text/xml; charset=utf-8";

QByteArray post(const QByteArray &path, const QByteArray &body)
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray get(const QByteArray &path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

} // namespace

// The real service with the Combine device, whose link is never open: no
// credentials are asked, and every device operation finds the device
// unreachable. What is tested is the XML side of the answers and that bad
// bodies are refused without harm to the process.
class TestXmlHttp : public QObject
{
    Q_OBJECT

private:
    ServiceRunner m_runner;

private slots:
    void initTestCase()
    {
        QVERIFY(m_runner.isValid());
        QVERIFY(m_runner.writeSettings("[TILLGATE]\ndeviceType=2\n"));
        QVERIFY(m_runner.writeListenerSettings("[LISTENER]\nport=0\nmaxRequestSize=32000\n"));
        QVERIFY2(m_runner.startListening(), m_runner.output().constData());
    }

    void cleanupTestCase()
    {
        m_runner.stop();
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("search") << get("/search.xml") << 200 << QByteArray("OK") << QByteArray();
        QTest::newRow("upper-case path") << get("/DISCOVER.XML?cleanresults=1") << 200 << QByteArray("OK")
                                         << QByteArray();
        QTest::newRow("storage status") << get("/fsstatus.xml") << 523 << QByteArray("Origin Is Unreachable")
                                        << QByteArray();
        QTest::newRow("cashbox version")
            << get("/cashbox_version.xml") << 523 << QByteArray("Origin Is Unreachable")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<cashboxVersion version=\"1.0\" protocol=\"3\">\n"
                          "    <model></model>\n"
                          "    <modelstr></modelstr>\n"
                          "    <subver></subver>\n"
                          "    <ver></ver>\n"
                          "</cashboxVersion>\n");
        QTest::newRow("receipt") << post("/fiscalcheck.xml", "<DOCUMENT><SessionId>h1</SessionId></DOCUMENT>")
                                 << 523 << QByteArray("Origin Is Unreachable") << QByteArray();
        QTest::newRow("receipt not xml") << post("/fiscalcheck.xml", "sessionId=1") << 406
                                         << QByteArray("Not Acceptable") << QByteArray("406 Not Acceptable");
        QTest::newRow("receipt without body") << post("/fiscal_check.xml", QByteArray()) << 406
                                              << QByteArray("Not Acceptable") << QByteArray("406 Not Acceptable");
        QTest::newRow("text with other root") << post("/printtext.xml", "<text/>") << 406
                                              << QByteArray("Not Acceptable") << QByteArray("406 Not Acceptable");
        QTest::newRow("fiscalisation with entities")
            << post("/fiscalize.xml", "<!DOCTYPE d [<!ENTITY a \"" + QByteArray(4000, 'a') + "\">]><document>"
                                          + QByteArray("&a;").repeated(3000) + "</document>")
            // A fiscalisation answers its body only with 200.
            << 406 << QByteArray("Not Acceptable") << QByteArray();
        QTest::newRow("images") << post("/storeimages.xml", "<document><images><image fileName=\"a.png\">"
                                                            "iVBORw0KGgo=</image></images></document>")
                                << 523 << QByteArray("Origin Is Unreachable") << QByteArray();
        QTest::newRow("choose atol") << post("/chooseatol.xml", "<document/>") << 501 << QByteArray("Not supported")
                                     << QByteArray();
        QTest::newRow("choose combine") << post("/choose_combine.xml", "<document/>") << 501
                                        << QByteArray("Not supported") << QByteArray();
        QByteArray nested = "<document>";
        while (nested.size() + 3 <= 16000)
            nested += "<a>";
        // A receipt that breaks off is refused before any device is asked.
        QTest::newRow("16000 bytes of nesting") << post("/fiscalcheck.xml", nested) << 406
                                                << QByteArray("Not Acceptable") << QByteArray("406 Not Acceptable");
    }
    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, code);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, body);
        const HttpTestClient::Answer answer = HttpTestClient::exchange(m_runner.port(), request, 20000);
        QCOMPARE(answer.code, code);
        QCOMPARE(answer.text, text);
        QCOMPARE(answer.headers.value("Content-Type"), XML_TYPE);
        QCOMPARE(answer.body, body);
        QVERIFY(m_runner.isRunning());
    }

    void choiceChangesNoSettings()
    {
        const HttpTestClient::Answer answer = HttpTestClient::exchange(
            m_runner.port(), post("/chooseatol.xml", "<document><model>1</model></document>"), 20000);
        QCOMPARE(answer.code, 501);
        QSettings settings(m_runner.settingsFile(), QSettings::IniFormat);
        QCOMPARE(settings.value("TILLGATE/deviceType").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestXmlHttp)
#include "tst_xmlhttp.moc"
