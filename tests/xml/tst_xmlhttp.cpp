#include "httptestclient.h"
#include "servicerunner.h"

#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

const QByteArray XML_TYPE = "text/xml; charset=utf-8";

// A port nobody listens on right now, for the service to take.
quint16 freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

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
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;

    bool listening() const
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        return socket.waitForConnected(1000);
    }

    void exchange(const QByteArray &request, HttpTestClient::Answer &answer)
    {
        HttpTestClient client(m_port);
        QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 10000);
        client.send(request);
        // The macro checks its condition once more after the loop; the
        // answer must only be taken once.
        bool taken = false;
        QTRY_VERIFY_WITH_TIMEOUT(taken || (taken = client.takeAnswer(answer)), 20000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_runner.isValid());
        m_port = freePort();
        QVERIFY(m_port != 0);
        QVERIFY(m_runner.writeSettings("[TILLGATE]\ndeviceType=2\n"));
        QVERIFY(m_runner.writeListenerSettings("[LISTENER]\nport=" + QByteArray::number(m_port)
                                               + "\nmaxRequestSize=32000\n"));
        m_process = m_runner.start();
        QVERIFY(m_process->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(listening() || m_process->state() == QProcess::NotRunning, 30000);
        QCOMPARE(m_process->state(), QProcess::Running);
    }

    void cleanupTestCase()
    {
        if (!m_process)
            return;
        m_process->terminate();
        if (!m_process->waitForFinished(15000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
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
        HttpTestClient::Answer answer;
        exchange(request, answer);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(answer.code, code);
        QCOMPARE(answer.text, text);
        QCOMPARE(answer.headers.value("Content-Type"), XML_TYPE);
        QCOMPARE(answer.body, body);
        QCOMPARE(m_process->state(), QProcess::Running);
    }

    void choiceChangesNoSettings()
    {
        HttpTestClient::Answer answer;
        exchange(post("/chooseatol.xml", "<document><model>1</model></document>"), answer);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(answer.code, 501);
        QSettings settings(m_runner.settingsFile(), QSettings::IniFormat);
        QCOMPARE(settings.value("TILLGATE/deviceType").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestXmlHttp)
#include "tst_xmlhttp.moc"
