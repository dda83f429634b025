#include "httprequest.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

// The parser is fed plain bytes, whole or in pieces.
class TestHttpRequest : public QObject
{
    Q_OBJECT
private slots:
    void requestLine_data();
    void requestLine();
    void headers();
    void headerNameCase_data();
    void headerNameCase();
    void contentTypeOfAnyCase_data();
    void contentTypeOfAnyCase();
    void continuationLine();
    void sizeLimit_data();
    void sizeLimit();
    void longRequestLineWithoutBreak();
    void bodyLength_data();
    void bodyLength();
    void transferEncodingRefused();
    void queryParameters();
    void formBody();
    void bodyOfOtherTypeNotSplit();
    void caseInsensitiveParameter();
    void urlDecode_data();
    void urlDecode();
    void pathDecoded();
    void byteByByte();
    void pipelinedRequestLeftOver();
    void multipart();
    void multipartLimit_data();
    void multipartLimit();
    void limitsFromSettings();
};

static QByteArray feedAll(HttpRequest &request, const QByteArray &data)
{
    const qint64 used = request.feed(data.constData(), data.size());
    return data.mid(int(used));
}

void TestHttpRequest::requestLine_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("version");

    QTest::newRow("plain") << QByteArray("GET /status.json HTTP/1.1\r\n\r\n") << int(HttpRequest::COMPLETE)
                           << QByteArray("GET") << QByteArray("/status.json") << QByteArray("HTTP/1.1");
    QTest::newRow("trailing blanks") << QByteArray("GET /a HTTP/1.0   \r\n\r\n") << int(HttpRequest::COMPLETE)
                                     << QByteArray("GET") << QByteArray("/a") << QByteArray("HTTP/1.0");
    QTest::newRow("bare line feeds") << QByteArray("POST /b HTTP/1.1\n\n") << int(HttpRequest::COMPLETE)
                                     << QByteArray("POST") << QByteArray("/b") << QByteArray("HTTP/1.1");
    QTest::newRow("empty lines first") << QByteArray("\r\n\r\nGET /c HTTP/1.1\r\n\r\n") << int(HttpRequest::COMPLETE)
                                       << QByteArray("GET") << QByteArray("/c") << QByteArray("HTTP/1.1");
    QTest::newRow("two words") << QByteArray("GET /\r\n\r\n") << int(HttpRequest::ABORT) << QByteArray()
                               << QByteArray() << QByteArray();
    QTest::newRow("four words") << QByteArray("GET / HTTP/1.1 x\r\n\r\n") << int(HttpRequest::ABORT)
                                << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("double blank") << QByteArray("GET  / HTTP/1.1\r\n\r\n") << int(HttpRequest::ABORT)
                                  << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("no HTTP") << QByteArray("GET / FTP/1.0\r\n\r\n") << int(HttpRequest::ABORT) << QByteArray()
                             << QByteArray() << QByteArray();
    QTest::newRow("binary") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n", 13)
                            << int(HttpRequest::ABORT) << QByteArray() << QByteArray() << QByteArray();
}

void TestHttpRequest::requestLine()
{
    QFETCH(QByteArray, data);
    QFETCH(int, status);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, version);
    HttpRequest request(16000, 1000000);
    feedAll(request, data);
    QCOMPARE(request.getStatus(), status);
    if (status == HttpRequest::COMPLETE) {
        QCOMPARE(request.getMethod(), method);
        QCOMPARE(request.getPath(), path);
        QCOMPARE(request.getVersion(), version);
    }
}

void TestHttpRequest::headers()
{
    HttpRequest request(16000, 1000000);
    feedAll(request, "GET / HTTP/1.1\r\nHost:  localhost  \r\nAccept: a\r\nAccept: b\r\nX-Empty:\r\n\r\n");
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getHeader("Host"), QByteArray("localhost"));
    QCOMPARE(request.getHeader("Accept"), QByteArray("b"));
    QCOMPARE(request.getHeaders("Accept").size(), 2);
    QVERIFY(request.getHeaders("Accept").contains("a"));
    QCOMPARE(request.getHeader("X-Empty"), QByteArray());
    QVERIFY(request.getHeaderMap().contains("X-Empty"));
    QCOMPARE(request.getHeader("Missing"), QByteArray());
}

// Names are found whatever their case (RFC 9110); the map keeps them as sent.
void TestHttpRequest::headerNameCase_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("lower-case sent") << QByteArray("authorization: Basic eDp5") << QByteArray("Authorization")
                                     << QByteArray("Basic eDp5");
    QTest::newRow("upper-case sent") << QByteArray("AUTHORIZATION: Basic eDp5") << QByteArray("Authorization")
                                     << QByteArray("Basic eDp5");
    QTest::newRow("mixed lookup") << QByteArray("Origin: http://a") << QByteArray("oRiGiN") << QByteArray("http://a");
    QTest::newRow("connection") << QByteArray("connection: close") << QByteArray("Connection") << QByteArray("close");
    QTest::newRow("last of either case") << QByteArray("Cookie: a=1\r\ncookie: b=2") << QByteArray("Cookie")
                                         << QByteArray("b=2");
    QTest::newRow("continued") << QByteArray("x-long: first\r\n  second") << QByteArray("X-Long")
                               << QByteArray("first second");
}

void TestHttpRequest::headerNameCase()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    HttpRequest request(16000, 1000000);
    feedAll(request, "GET / HTTP/1.1\r\n" + sent + "\r\n\r\n");
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getHeader(name), value);
    QCOMPARE(request.getHeaders(name).first(), value);
    QSet<QByteArray> names;
    for (const QByteArray &line : sent.split('\n')) {
        if (line.contains(':'))
            names.insert(line.left(line.indexOf(':')));
    }
    const QList<QByteArray> kept = request.getHeaderMap().uniqueKeys();
    QCOMPARE(QSet<QByteArray>(kept.cbegin(), kept.cend()), names);
}

void TestHttpRequest::contentTypeOfAnyCase_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("parameter");
    QTest::newRow("form, lower case") << QByteArray("content-type: application/x-www-form-urlencoded")
                                      << QByteArray("1");
    QTest::newRow("json, upper case") << QByteArray("CONTENT-TYPE: application/json") << QByteArray();
    QTest::newRow("multipart, lower case")
        << QByteArray("content-type: multipart/form-data; boundary=XyZ") << QByteArray("1");
}

void TestHttpRequest::contentTypeOfAnyCase()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, parameter);
    const QByteArray body = contentType.contains("multipart")
        ? QByteArray("--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--XyZ--\r\n")
        : QByteArray("a=1");
    HttpRequest request(16000, 1000000);
    feedAll(request, "POST / HTTP/1.1\r\n" + contentType + "\r\ncontent-length: "
                         + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getParameter(QByteArray("a")), parameter);
}

void TestHttpRequest::continuationLine()
{
    HttpRequest request(16000, 1000000);
    feedAll(request, "GET / HTTP/1.1\r\nX-Long: first\r\n   second part\r\n\r\n");
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getHeader("X-Long"), QByteArray("first second part"));
}

// The trimmed request line and header lines count against the limit,
// together with the body announced by Content-Length.
void TestHttpRequest::sizeLimit_data()
{
    QTest::addColumn<int>("extra");
    QTest::addColumn<int>("status");
    QTest::newRow("exactly at the limit") << 0 << int(HttpRequest::WAITING_FOR_BODY);
    QTest::newRow("one byte over") << 1 << int(HttpRequest::ABORT);
}

void TestHttpRequest::sizeLimit()
{
    QFETCH(int, extra);
    const QByteArray line = "POST /x HTTP/1.1";
    const QByteArray type = "Content-Type: text/plain";
    const int maxSize = 200;
    // "Content-Length: NNN" has a three-digit value here.
    const int headerBytes = line.size() + type.size() + int(qstrlen("Content-Length: 100"));
    const int bodySize = maxSize - headerBytes + extra;
    QCOMPARE(QByteArray::number(bodySize).size(), 3);
    const QByteArray head = line + "\r\n" + type + "\r\nContent-Length: " + QByteArray::number(bodySize) + "\r\n\r\n";

    HttpRequest request(maxSize, 1000000);
    feedAll(request, head);
    QFETCH(int, status);
    QCOMPARE(request.getStatus(), status);
    if (request.getStatus() == HttpRequest::ABORT)
        return;
    const QByteArray body(bodySize, 'b');
    QCOMPARE(feedAll(request, body + "GET"), QByteArray("GET"));
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getBody(), body);
}

void TestHttpRequest::longRequestLineWithoutBreak()
{
    HttpRequest request(100, 1000000);
    const QByteArray data = "GET /" + QByteArray(200, 'a');
    feedAll(request, data);
    QCOMPARE(request.getStatus(), int(HttpRequest::ABORT));
}

void TestHttpRequest::bodyLength_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");
    QTest::newRow("none") << QByteArray() << int(HttpRequest::COMPLETE);
    QTest::newRow("zero") << QByteArray("Content-Length: 0\r\n") << int(HttpRequest::COMPLETE);
    QTest::newRow("five") << QByteArray("Content-Length: 5\r\n") << int(HttpRequest::WAITING_FOR_BODY);
    QTest::newRow("lower-case name") << QByteArray("content-length: 5\r\n") << int(HttpRequest::WAITING_FOR_BODY);
    QTest::newRow("same twice") << QByteArray("Content-Length: 5\r\nContent-Length: 5\r\n")
                                << int(HttpRequest::WAITING_FOR_BODY);
    QTest::newRow("two different") << QByteArray("Content-Length: 5\r\nContent-Length: 6\r\n")
                                   << int(HttpRequest::ABORT);
    QTest::newRow("empty") << QByteArray("Content-Length:\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("negative") << QByteArray("Content-Length: -1\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("plus sign") << QByteArray("Content-Length: +5\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("letters") << QByteArray("Content-Length: 5x\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("two numbers") << QByteArray("Content-Length: 5 6\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("hexadecimal") << QByteArray("Content-Length: 0x5\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("huge") << QByteArray("Content-Length: 9223372036854775807\r\n") << int(HttpRequest::ABORT);
    QTest::newRow("beyond 64 bits") << QByteArray("Content-Length: 99999999999999999999999\r\n")
                                    << int(HttpRequest::ABORT);
}

void TestHttpRequest::bodyLength()
{
    QFETCH(QByteArray, headers);
    HttpRequest request(16000, 1000000);
    feedAll(request, "POST /x HTTP/1.1\r\n" + headers + "\r\n");
    QFETCH(int, status);
    QCOMPARE(request.getStatus(), status);
    if (request.getStatus() == HttpRequest::WAITING_FOR_BODY) {
        feedAll(request, "12345");
        QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
        QCOMPARE(request.getBody(), QByteArray("12345"));
    }
}

void TestHttpRequest::transferEncodingRefused()
{
    for (const QByteArray &name : {QByteArray("Transfer-Encoding"), QByteArray("transfer-encoding")}) {
        HttpRequest request(16000, 1000000);
        feedAll(request, "POST /x HTTP/1.1\r\n" + name + ": chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
        QCOMPARE(request.getStatus(), int(HttpRequest::ABORT));
    }
}

void TestHttpRequest::queryParameters()
{
    HttpRequest request(16000, 1000000);
    feedAll(request, "GET /fiscaldoc.json?n=1&n=2&flag&x=a%20b+c&=v HTTP/1.1\r\n\r\n");
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getPath(), QByteArray("/fiscaldoc.json"));
    QCOMPARE(request.getParameter(QByteArray("n")), QByteArray("2"));
    QList<QByteArray> both = request.getParameters("n");
    std::sort(both.begin(), both.end());
    QCOMPARE(both, (QList<QByteArray>{"1", "2"}));
    QVERIFY(request.getParameterMap().contains("flag"));
    QCOMPARE(request.getParameter(QByteArray("flag")), QByteArray());
    QCOMPARE(request.getParameter(QByteArray("x")), QByteArray("a b c"));
    QCOMPARE(request.getParameter(QByteArray("")), QByteArray("v"));
}

void TestHttpRequest::formBody()
{
    HttpRequest request(16000, 1000000);
    const QByteArray body = "a=1&b=%41";
    feedAll(request, "POST /f?q=0 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                         + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getParameter(QByteArray("q")), QByteArray("0"));
    QCOMPARE(request.getParameter(QByteArray("a")), QByteArray("1"));
    QCOMPARE(request.getParameter(QByteArray("b")), QByteArray("A"));
    QCOMPARE(request.getBody(), body);
}

void TestHttpRequest::bodyOfOtherTypeNotSplit()
{
    HttpRequest request(16000, 1000000);
    const QByteArray body = "{\"a=b\":1}";
    feedAll(request, "POST /f HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: "
                         + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QVERIFY(request.getParameterMap().isEmpty());
    QCOMPARE(request.getBody(), body);
}

void TestHttpRequest::caseInsensitiveParameter()
{
    HttpRequest request(16000, 1000000);
    feedAll(request, "GET /p?CLIENTID=7&SessionId=s HTTP/1.1\r\n\r\n");
    QCOMPARE(request.getParameter(QStringLiteral("clientid")), QByteArray("7"));
    QCOMPARE(request.getParameter(QStringLiteral("sessionid")), QByteArray("s"));
    QCOMPARE(request.getParameter(QStringLiteral("other")), QByteArray());
    QCOMPARE(request.getParameter(QByteArray("clientid")), QByteArray());
}

void TestHttpRequest::urlDecode_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("hex") << QByteArray("%41") << QByteArray("A");
    QTest::newRow("lower-case hex") << QByteArray("%c3%a9") << QByteArray("\xc3\xa9");
    QTest::newRow("not hex") << QByteArray("%zz1") << QByteArray("%zz1");
    QTest::newRow("plus") << QByteArray("a+b") << QByteArray("a b");
    QTest::newRow("encoded plus stays") << QByteArray("%2B") << QByteArray("+");
    QTest::newRow("percent at end") << QByteArray("ab%") << QByteArray("ab%");
    QTest::newRow("one digit at end") << QByteArray("ab%4") << QByteArray("ab%4");
    QTest::newRow("percent then hex") << QByteArray("%%41") << QByteArray("%A");
    QTest::newRow("no rescan") << QByteArray("%2541") << QByteArray("%41");
    QTest::newRow("NUL byte") << QByteArray("a%00b") << QByteArray("a\0b", 3);
}

void TestHttpRequest::urlDecode()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QByteArray, decoded);
    QCOMPARE(HttpRequest::urlDecode(encoded), decoded);
}

void TestHttpRequest::pathDecoded()
{
    HttpRequest request(16000, 1000000);
    feedAll(request, "GET /images/a%20b.png?x=%3F HTTP/1.1\r\n\r\n");
    QCOMPARE(request.getPath(), QByteArray("/images/a b.png"));
    QCOMPARE(request.getParameter(QByteArray("x")), QByteArray("?"));
}

void TestHttpRequest::byteByByte()
{
    const QByteArray body = "k=v";
    const QByteArray data = "POST /s HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\n" + body;
    HttpRequest request(16000, 1000000);
    for (char c : data) {
        QVERIFY(request.getStatus() != HttpRequest::COMPLETE);
        QCOMPARE(request.feed(&c, 1), qint64(1));
    }
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(request.getHeader("Host"), QByteArray("h"));
    QCOMPARE(request.getParameter(QByteArray("k")), QByteArray("v"));
}

void TestHttpRequest::pipelinedRequestLeftOver()
{
    const QByteArray second = "GET /two HTTP/1.1\r\n\r\n";
    HttpRequest first(16000, 1000000);
    const QByteArray rest = feedAll(first, "GET /one HTTP/1.1\r\n\r\n" + second);
    QCOMPARE(first.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(first.getPath(), QByteArray("/one"));
    QCOMPARE(rest, second);
    HttpRequest next(16000, 1000000);
    QVERIFY(feedAll(next, rest).isEmpty());
    QCOMPARE(next.getPath(), QByteArray("/two"));
}

static QByteArray multipartBody(const QByteArray &boundary, const QByteArray &fileContent)
{
    return "--" + boundary + "\r\n"
           "Content-Disposition: form-data; name=\"comment\"\r\n\r\n"
           "two\r\nlines\r\n"
           "--" + boundary + "\r\n"
           "Content-Disposition: form-data; name=\"image\"; filename=\"logo.bmp\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n"
           + fileContent + "\r\n"
           "--" + boundary + "\r\n"
           "Content-Disposition: attachment; name=\"skipped\"\r\n\r\n"
           "ignored\r\n"
           "--" + boundary + "--\r\n";
}

void TestHttpRequest::multipart()
{
    const QByteArray boundary = "----XyZ42";
    QByteArray fileContent;
    for (int i = 0; i < 300000; ++i)
        fileContent += char(i * 7);
    fileContent += "\r\nlast line\n";
    const QByteArray body = multipartBody(boundary, fileContent);
    HttpRequest request(16000, 1000000);
    const QByteArray rest = feedAll(request, "POST /upload?a=1 HTTP/1.1\r\nContent-Type: multipart/form-data; boundary="
                                                 + boundary + "\r\nContent-Length: " + QByteArray::number(body.size())
                                                 + "\r\n\r\n" + body + "GET");
    QCOMPARE(request.getStatus(), int(HttpRequest::COMPLETE));
    QCOMPARE(rest, QByteArray("GET"));
    QCOMPARE(request.getParameter(QByteArray("a")), QByteArray("1"));
    QCOMPARE(request.getParameter(QByteArray("comment")), QByteArray("two\r\nlines"));
    QCOMPARE(request.getParameter(QByteArray("image")), QByteArray("logo.bmp"));
    QVERIFY(!request.getParameterMap().contains("skipped"));
    QCOMPARE(request.getBody(), QByteArray());
    QTemporaryFile *file = request.getUploadedFile("image");
    QVERIFY(file);
    QCOMPARE(file->pos(), qint64(0));
    QCOMPARE(file->readAll(), fileContent);
    QVERIFY(!request.getUploadedFile("comment"));
}

void TestHttpRequest::multipartLimit_data()
{
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<int>("status");
    QTest::newRow("one below") << 999 << int(HttpRequest::COMPLETE);
    QTest::newRow("exactly the limit") << 1000 << int(HttpRequest::ABORT);
    QTest::newRow("announced over") << 1001 << int(HttpRequest::ABORT);
}

void TestHttpRequest::multipartLimit()
{
    QFETCH(int, bodySize);
    const QByteArray boundary = "b";
    QByteArray body = multipartBody(boundary, QByteArray());
    body.append(QByteArray(bodySize - body.size(), 'e'));
    HttpRequest request(16000, 1000);
    feedAll(request, "POST /u HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: "
                         + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QFETCH(int, status);
    QCOMPARE(request.getStatus(), status);
}

void TestHttpRequest::limitsFromSettings()
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath("listener.conf"), QSettings::IniFormat);
    settings.beginGroup("LISTENER");
    settings.setValue("maxRequestSize", 30);
    HttpRequest small(&settings);
    feedAll(small, "GET /0123456789 HTTP/1.1\r\nHost: h\r\n\r\n");
    QCOMPARE(small.getStatus(), int(HttpRequest::ABORT));

    settings.remove("maxRequestSize");
    HttpRequest defaults(&settings);
    feedAll(defaults, "POST / HTTP/1.1\r\nContent-Length: 15900\r\n\r\n");
    QCOMPARE(defaults.getStatus(), int(HttpRequest::WAITING_FOR_BODY));
}

QTEST_GUILESS_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
