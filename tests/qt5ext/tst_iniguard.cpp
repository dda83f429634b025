#include <iniguard.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Values Qt would decode as QDataStream data are found however they are
// written. Qt itself is the judge: each row's value carries a harmless
// serialized integer, and whenever Qt reads it back as that integer the
// guard must have refused the file.
class TestIniGuard : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // What Qt reads as the value of key "k" in section "A".
    QVariant qtReads(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("probe.ini"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content);
        file.close();
        QSettings settings(path, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        return settings.value(QStringLiteral("A/k"));
    }

private slots:
    void serializedForms_data()
    {
        // QVariant(int 7) as Qt writes it into an INI value (stream version 4.0).
        const QByteArray seven = R"(\0\0\0\x2\0\0\0\a))";
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << "k=@Variant(" + seven;
        // A later stream version, with a null flag before the number.
        QTest::newRow("date-time prefix") << QByteArray(R"(k=@DateTime(\0\0\0\x2\0\0\0\0\a))");
        QTest::newRow("quoted") << "k=\"@Variant(" + seven + "\"";
        QTest::newRow("quoted pieces and blanks") << "k=\"@Var\"  \"iant(" + seven + "\"";
        QTest::newRow("blanks before") << "k =   @Variant(" + seven + " ; comment";
        QTest::newRow("list element") << "k=\"a,b\", @Variant(" + seven;
        QTest::newRow("hex at-sign") << "k=\\x40Variant(" + seven;
        QTest::newRow("long hex, low 16 bits") << "k=\\x10040Variant(" + seven;
        QTest::newRow("octal at-sign") << "k=\\100Variant(" + seven;
        QTest::newRow("dropped escape") << "k=\\z@Variant(" + seven;
        QTest::newRow("escaped letters") << "k=@\\x56\\x61riant(" + seven;
        QTest::newRow("continued line") << "k=\\\n@Variant(" + seven;
        QTest::newRow("quoted equals in key") << "\"a=b\"=@Variant(" + seven;
        QTest::newRow("escaped equals in key") << "c\\=d=@Variant(" + seven;
    }
    void serializedForms()
    {
        QFETCH(QByteArray, line);
        const QByteArray content = "[FRAMEWORK]\nlogToFile=false\n[A]\n" + line + "\n";
        QCOMPARE(qt5ext::IniGuard::serializedValueLine(content), 4);
        // Rows whose key is not "k" are checked by the guard alone.
        if (line.startsWith("k")) {
            QVariant read = qtReads(content);
            if (read.type() == QVariant::List)
                read = read.toList().constLast();
            QCOMPARE(read, QVariant(7));
        }
    }

    void ordinaryFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("service settings") << QByteArray("[TILLGATE]\ndeviceType=1\nallowedOrigins=http://a, http://b\n"
                                                        "[ATOL]\nPort=TCPIP\nIPAddress=127.0.0.1\n");
        QTest::newRow("other serialized forms") << QByteArray(
            "[A]\nb=@ByteArray(\\0\\x1)\ns=@String(x)\nr=@Rect(1 2 3 4)\nmail=a@b.c\n");
        QTest::newRow("escaped backslash ends the line") << QByteArray("[A]\nk=h\\\\\nVariant(1)\n");
        QTest::newRow("empty") << QByteArray();
    }
    void ordinaryFiles()
    {
        QFETCH(QByteArray, content);
        QCOMPARE(qt5ext::IniGuard::serializedValueLine(content), 0);
    }

    void fileIsSafe()
    {
        QString why;
        QVERIFY(qt5ext::IniGuard::fileIsSafe(m_dir.filePath(QStringLiteral("none.ini")), why));
        const QString path = m_dir.filePath(QStringLiteral("bad.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[A]\nx=1\ny=@Variant(\\0\\0\\0\\t\\0\\x7f\\xff\\xff\\xff)\n");
        file.close();
        QVERIFY(!qt5ext::IniGuard::fileIsSafe(path, why));
        QVERIFY2(why.contains(QLatin1String("line 3")), qPrintable(why));
    }
};

QTEST_GUILESS_MAIN(TestIniGuard)
#include "tst_iniguard.moc"
