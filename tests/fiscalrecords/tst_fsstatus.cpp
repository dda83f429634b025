#include "fslifetimedata.h"
#include "fsofdtransportstate.h"
#include "fsstatus.h"

#include <QtTest>

using namespace fiscal;

namespace {

// Data part of a 0x30 answer: fiscal mode, no open document, shift open,
// warnings "replace urgently" and "archive 90% full", 15.03.2024 10:30,
// storage 9999078900012345, last document 1234.
QByteArray statusAnswer()
{
    return QByteArray::fromHex("03" "00" "00" "01" "05" "18030f0a1e")
        + QByteArray("9999078900012345") + QByteArray::fromHex("d2040000");
}

// 0x33: firmware version text padded with NULs, serial build.
QByteArray versionAnswer()
{
    QByteArray version("fn debug v 2.13");
    version.append(QByteArray(16 - version.size(), '\0'));
    return version + QByteArray::fromHex("01");
}

// 0x20: transport up and a message waiting, 3 unsent documents from
// number 1200 on, the first of 01.02.2024 09:05.
QByteArray transportAnswer()
{
    return QByteArray::fromHex("03" "00" "0300" "b0040000" "1802010905");
}

// 0x32: valid until 31.12.2025, 11 re-registrations left, 1 done.
QByteArray lifeTimeAnswer()
{
    return QByteArray::fromHex("190c1f" "0b" "01");
}

} // namespace

class TestFsStatus : public QObject
{
    Q_OBJECT

private slots:
    void parsesStatusAnswer()
    {
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        QCOMPARE(status.phase(), quint8(0x03));
        QVERIFY(status.fiscalized());
        QCOMPARE(status.currentDocument(), quint8(0));
        QVERIFY(!status.documentDataReceived());
        QVERIFY(status.shiftOpened());
        QCOMPARE(status.warnings(), quint8(0x05));
        QCOMPARE(status.dt(), QDateTime(QDate(2024, 3, 15), QTime(10, 30)));
        QCOMPARE(status.fsNumber(), QStringLiteral("9999078900012345"));
        QCOMPARE(status.lastFd(), quint32(1234));
    }

    void fiscalizedFollowsPhase_data()
    {
        QTest::addColumn<quint8>("phase");
        QTest::addColumn<bool>("fiscalized");
        QTest::newRow("set up") << quint8(0x00) << false;
        QTest::newRow("ready") << quint8(0x01) << false;
        QTest::newRow("fiscal mode") << quint8(0x03) << true;
        QTest::newRow("closed") << quint8(0x07) << false;
        QTest::newRow("archive") << quint8(0x0f) << false;
    }
    void fiscalizedFollowsPhase()
    {
        QFETCH(quint8, phase);
        QFETCH(bool, fiscalized);
        QByteArray answer = statusAnswer();
        answer[0] = char(phase);
        FsStatus status;
        QVERIFY(status.parse(answer));
        QCOMPARE(status.fiscalized(), fiscalized);
    }

    void defaultIsNotFiscalized()
    {
        QVERIFY(!FsStatus().fiscalized());
    }

    void shortAnswersAreRefused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("0x30") << "30" << statusAnswer();
        QTest::newRow("0x33") << "33" << versionAnswer();
        QTest::newRow("0x20") << "20" << transportAnswer();
        QTest::newRow("0x32") << "32" << lifeTimeAnswer();
    }
    void shortAnswersAreRefused()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, answer);
        auto parse = [&](const QByteArray &bytes) {
            if (command == QLatin1String("30")) {
                FsStatus status;
                return status.parse(bytes);
            }
            if (command == QLatin1String("33")) {
                FsStatus status;
                return status.parseFsVersion(bytes);
            }
            if (command == QLatin1String("20")) {
                FsOfdTransportState state;
                return state.parse(bytes);
            }
            FsLifeTimeData life;
            return life.parse(bytes);
        };
        QVERIFY(parse(answer));
        // Every shorter prefix, down to nothing, is refused. The prefix is
        // copied so that a read past its end is caught by the sanitizers.
        for (int size = answer.size() - 1; size >= 0; --size) {
            const QByteArray prefix(answer.constData(), size);
            QVERIFY2(!parse(prefix), qPrintable(QStringLiteral("accepted %1 bytes").arg(size)));
        }
    }

    void refusedParseLeavesRecordUnchanged()
    {
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        const FsStatus before = status;
        QVERIFY(!status.parse(statusAnswer().left(29)));
        QVERIFY(!status.parseFsVersion(versionAnswer().left(16)));
        QCOMPARE(status, before);
    }

    void parsesVersionAnswer()
    {
        FsStatus status;
        QVERIFY(status.parseFsVersion(versionAnswer()));
        QCOMPARE(status.fsVersion(), QStringLiteral("fn debug v 2.13"));
        QVERIFY(status.serialBuild());
    }

    void parsesTransportAnswer()
    {
        FsOfdTransportState state;
        QVERIFY(!state.isValid());
        QVERIFY(state.parse(transportAnswer()));
        QCOMPARE(state.status(), quint8(0x03));
        QVERIFY(!state.messageReading());
        QCOMPARE(state.unsentCount(), quint16(3));
        QCOMPARE(state.firstUnsentNumber(), quint32(1200));
        QCOMPARE(state.firstUnsentDt(), QDateTime(QDate(2024, 2, 1), QTime(9, 5)));
    }

    void nothingUnsentHasNoDate()
    {
        FsOfdTransportState state;
        QVERIFY(state.parse(QByteArray(13, '\0')));
        QVERIFY(!state.firstUnsentDt().isValid());
        QCOMPARE(state.unsentCount(), quint16(0));
    }

    void parsesLifeTimeAnswer()
    {
        FsLifeTimeData life;
        QVERIFY(life.parse(lifeTimeAnswer()));
        QCOMPARE(life.expiryDate(), QDate(2025, 12, 31));
        QCOMPARE(life.remainingRegistrations(), quint8(11));
        QCOMPARE(life.completedRegistrations(), quint8(1));
    }

    void impossibleDateIsInvalidNotWrong()
    {
        FsLifeTimeData life;
        QVERIFY(life.parse(QByteArray::fromHex("190d20" "00" "00")));
        QVERIFY(!life.expiryDate().isValid());
        QByteArray answer = statusAnswer();
        answer.replace(5, 5, QByteArray::fromHex("1802011960"));
        FsStatus status;
        QVERIFY(status.parse(answer));
        QVERIFY(!status.dt().isValid());
    }

    void mapRoundTrip()
    {
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        QVERIFY(status.parseFsVersion(versionAnswer()));
        FsOfdTransportState state;
        QVERIFY(state.parse(transportAnswer()));
        status.setTransportState(state);
        FsLifeTimeData life;
        QVERIFY(life.parse(lifeTimeAnswer()));
        status.setLifeTime(life);

        FsStatus copy;
        copy.setMap(status.toMap());
        QCOMPARE(copy, status);
        QCOMPARE(copy.toMap(), status.toMap());
        QCOMPARE(copy.lifeTime().completedRegistrations(), quint8(1));
        QCOMPARE(copy.transportState().firstUnsentNumber(), quint32(1200));
        QVERIFY(copy.fiscalized());
    }

    void mapRoundTripThroughJson()
    {
        // The status travels on the bus and in answers as JSON.
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        FsLifeTimeData life;
        QVERIFY(life.parse(lifeTimeAnswer()));
        status.setLifeTime(life);
        const QByteArray json = QJsonDocument(QJsonObject::fromVariantMap(status.toMap())).toJson();
        FsStatus copy;
        copy.setMap(QJsonDocument::fromJson(json).object().toVariantMap());
        QCOMPARE(copy, status);
    }

    void emptyMapGivesDefault()
    {
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        status.setMap(QVariantMap());
        QCOMPARE(status, FsStatus());
        QVERIFY(!status.fiscalized());
    }

    void beautyMapSpellsOutStatus()
    {
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        QVERIFY(status.parseFsVersion(versionAnswer()));
        FsLifeTimeData life;
        QVERIFY(life.parse(lifeTimeAnswer()));
        status.setLifeTime(life);
        FsOfdTransportState state;
        QVERIFY(state.parse(transportAnswer()));
        status.setTransportState(state);

        const QVariantMap map = status.toBeautyMap();
        QCOMPARE(map.value("fsNumber").toString(), QStringLiteral("9999078900012345"));
        QCOMPARE(map.value("phaseText").toString(), QStringLiteral("Фискальный режим"));
        QCOMPARE(map.value("openDocument").toString(), QStringLiteral("Нет открытого документа"));
        QCOMPARE(map.value("warnings").toStringList(),
                 QStringList({ QStringLiteral("Срочная замена ФН"), QStringLiteral("Архив ФН заполнен на 90%") }));
        QCOMPARE(map.value("lastDocumentNumber").toUInt(), 1234u);
        QCOMPARE(map.value("lastDocumentDateTime").toString(), QStringLiteral("15.03.2024 10:30"));
        QCOMPARE(map.value("validTill").toString(), QStringLiteral("31.12.2025"));
        QCOMPARE(map.value("registrationsDone").toUInt(), 1u);
        QCOMPARE(map.value("unsentDocuments").toUInt(), 3u);
        QCOMPARE(map.value("ofdConnected").toBool(), true);
        QCOMPARE(map.value("fiscalized").toBool(), true);
        QCOMPARE(map.value("shiftOpened").toBool(), true);
    }

    void beautyMapNamesUnknownCodes_data()
    {
        QTest::addColumn<quint8>("phase");
        QTest::addColumn<quint8>("document");
        QTest::addColumn<QString>("phaseText");
        QTest::addColumn<QString>("documentText");
        QTest::newRow("known") << quint8(0x07) << quint8(0x04) << "Постфискальный режим, передача ФД в ОФД"
                               << "Кассовый чек";
        QTest::newRow("unknown") << quint8(0x20) << quint8(0x99) << "Неизвестная фаза (0x20)"
                                 << "Неизвестный документ (0x99)";
    }
    void beautyMapNamesUnknownCodes()
    {
        QFETCH(quint8, phase);
        QFETCH(quint8, document);
        QFETCH(QString, phaseText);
        QFETCH(QString, documentText);
        QByteArray answer = statusAnswer();
        answer[0] = char(phase);
        answer[1] = char(document);
        FsStatus status;
        QVERIFY(status.parse(answer));
        QCOMPARE(status.toBeautyMap().value("phaseText").toString(), phaseText);
        QCOMPARE(status.toBeautyMap().value("openDocument").toString(), documentText);
    }

    void beautyMapLeavesOutUnreadParts()
    {
        FsStatus status;
        QVERIFY(status.parse(statusAnswer()));
        const QVariantMap map = status.toBeautyMap();
        QVERIFY(!map.contains("validTill"));
        QVERIFY(!map.contains("unsentDocuments"));
    }
};

QTEST_GUILESS_MAIN(TestFsStatus)
#include "tst_fsstatus.moc"
