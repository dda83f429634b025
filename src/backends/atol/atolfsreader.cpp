#include "atolfsreader.h"

#include "atoldriver.h"
#include "atollog_p.h"

#include <fiscaldocpropertytemplateloader.h>
#include <fslifetimedata.h>
#include <fsofdtransportstate.h>
#include <fsstatus.h>
#include <regdata.h>

#include <QDataStream>
#include <QtEndian>

namespace {

constexpr int REG_ANSWER_MIN = 44;
// Format 1.1 puts extended modes and the OFD's INN before the number.
constexpr int REG_DOC_NUMBER_AT = 39;
constexpr int REG_DOC_NUMBER_AT_11 = 52;
constexpr quint8 FFD_11 = 3;

QString latin1Field(const QByteArray &answer, int from, int length)
{
    return QString::fromLatin1(answer.mid(from, length)).trimmed();
}

} // namespace

AtolFsReader::AtolFsReader(AtolDriver &driver)
    : m_driver(driver)
{
}

bool AtolFsReader::getFsStatus(fiscal::FsStatus &status)
{
    status = fiscal::FsStatus();
    if (!m_driver.enable())
        return false;
    QByteArray answer;
    if (!m_driver.runFnCommand(QStringLiteral("30"), answer) || !status.parse(answer))
        return false;
    if (m_driver.runFnCommand(QStringLiteral("33"), answer))
        status.parseFsVersion(answer);
    fiscal::FsOfdTransportState transport;
    if (!m_driver.runFnCommand(QStringLiteral("20"), answer) || !transport.parse(answer))
        return false;
    status.setTransportState(transport);
    fiscal::FsLifeTimeData lifeTime;
    if (!m_driver.runFnCommand(QStringLiteral("32"), answer) || !lifeTime.parse(answer))
        return false;
    status.setLifeTime(lifeTime);
    return true;
}

bool AtolFsReader::getFsDoc(quint32 number, quint16 &docType, QVariantList &props, PropertyMap *map)
{
    props.clear();
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (!fptr)
        return false;
    QByteArray request(1, char(0x45));
    for (int i = 0; i < 4; ++i)
        request.append(char((number >> (8 * i)) & 0xFF));
    const QString command = QString::fromLatin1(request.toHex(' '));
    if (fptr->put_CommandBuffer(AtolDriver::wide(command).c_str()) < 0 || fptr->RunFNCommand() < 0) {
        m_driver.checkError();
        return false;
    }
    QByteArray answer;
    if (m_driver.readFnAnswer(answer) && answer.size() >= 2)
        docType = qFromLittleEndian<quint16>(answer.constData());
    if (fptr->put_CommandBuffer(AtolDriver::wide(QStringLiteral("46")).c_str()) < 0) {
        m_driver.checkError();
        return false;
    }
    const fiscal::FiscalDocPropertyTemplateLoader loader;
    int records = 0;
    while (fptr->RunFNCommand() == 0) {
        if (++records > MAX_RECORDS) {
            qCWarning(lcAtol) << "Storage document" << number << "does not end after" << MAX_RECORDS
                              << "records; reading given up";
            props.clear();
            if (map)
                map->clear();
            m_driver.setError(-1, QStringLiteral("Документ ФН не читается до конца"));
            return false;
        }
        QByteArray record;
        if (!m_driver.readFnAnswer(record) || record.size() < 2)
            continue;
        const quint16 tag = qFromLittleEndian<quint16>(record.constData());
        const fiscal::FiscalDocPropertyPtr property = loader[tag];
        if (!property) {
            qCDebug(lcAtol) << "Storage record of unknown tag passed over:" << tag;
            continue;
        }
        QDataStream stream(record.mid(2));
        stream.setByteOrder(QDataStream::LittleEndian);
        if (!property->parse(stream)) {
            qCWarning(lcAtol) << "Storage record not readable, passed over:" << tag << property->errorString();
            continue;
        }
        if (property->caption().size() > 1)
            property->setCaptIdx(0);
        props.append(property->toMap(true));
        if (map)
            map->insert(property->tag(), property);
    }
    return true;
}

qint64 AtolFsReader::regDocNumber(const QByteArray &answer, quint8 fsFfdVersion)
{
    const int at = fsFfdVersion >= FFD_11 ? REG_DOC_NUMBER_AT_11 : REG_DOC_NUMBER_AT;
    if (answer.size() < qMax(REG_ANSWER_MIN, at + 4))
        return -1;
    return qFromLittleEndian<quint32>(answer.constData() + at);
}

bool AtolFsReader::getRegData(fiscal::RegData &data, qint32 regNumber, quint8 fsFfdVersion)
{
    data.setAgentFlags(0);
    if (!m_driver.fptr())
        return false;
    QByteArray answer;
    const QString command = QStringLiteral("43 %1").arg(regNumber & 0xFF, 2, 16, QLatin1Char('0'));
    if (!m_driver.runFnCommand(command, answer) || answer.size() < REG_ANSWER_MIN) {
        qCWarning(lcAtol) << "Registration answer too short:" << answer.size();
        return false;
    }
    const qint64 docNumber = regDocNumber(answer, fsFfdVersion);
    if (docNumber < 0)
        return false;
    data.setRegDate(QDate(2000 + quint8(answer.at(0)), quint8(answer.at(1)), quint8(answer.at(2))));
    data.setUserInn(latin1Field(answer, 5, 12));
    data.setRegNumeber(latin1Field(answer, 17, 20));
    data.setTaxes(quint8(answer.at(37)));
    data.setCashboxFlags(quint8(answer.at(38)) & 0x3F);
    data.setRegDocNumber(quint32(docNumber));

    quint16 docType = 0;
    QVariantList props;
    PropertyMap map;
    if (!getFsDoc(quint32(docNumber), docType, props, &map))
        return true;
    auto value = [&map](int tag) { return map.value(fiscal::PropertyTag(tag))->value(); };
    auto has = [&map](int tag) { return map.contains(fiscal::PropertyTag(tag)) && map.value(fiscal::PropertyTag(tag)); };
    if (has(1209)) {
        data.setFdfVersion(quint8(value(1209).toUInt()));
        data.setFSfdfVersion(quint8(value(1209).toUInt()));
    }
    if (has(1048))
        data.setUserName(value(1048).toString());
    if (has(1018))
        data.setUserInn(value(1018).toString().trimmed());
    if (has(1062))
        data.setTaxes(quint8(value(1062).toUInt()));
    if (has(1037))
        data.setRegNumeber(value(1037).toString().trimmed());
    if (has(1036))
        data.setBoxId(value(1036).toString());
    if (has(1057))
        data.setAgentFlags(quint8(value(1057).toUInt()));
    if (has(1021))
        data.setCashier(value(1021).toString());
    if (has(1203))
        data.setCashierInn(value(1203).toString().trimmed());
    if (has(1009))
        data.setPaymentAddress(value(1009).toString());
    if (has(1187))
        data.setPaymentPlace(value(1187).toString());
    if (has(1017))
        data.setOfdInn(value(1017).toString().trimmed());
    if (has(1046))
        data.setOfdName(value(1046).toString());
    if (has(1013))
        data.setCashBoxSerial(value(1013).toString());
    if (has(1041))
        data.setFsNumber(value(1041).toString());
    if (has(1012))
        data.setRegDate(value(1012).toDateTime().date());
    if (has(1060))
        data.setFnsSite(value(1060).toString());
    if (has(1117))
        data.setUserEMail(value(1117).toString());
    if (has(1189))
        data.setFdfVersion(quint8(value(1189).toUInt()));
    if (has(1190))
        data.setFSfdfVersion(quint8(value(1190).toUInt()));
    if (has(1188)) {
        data.setVersion(value(1188).toString());
        qCDebug(lcAtol) << "Register version" << value(1188).toString();
    }

    static const struct {
        int tag;
        quint16 bit;
    } flags[] = {{1056, 0x001}, {1002, 0x002}, {1001, 0x004}, {1109, 0x008}, {1110, 0x010},
                 {1108, 0x020}, {1221, 0x040}, {1207, 0x080}, {1193, 0x100}, {1126, 0x200}};
    quint16 cashboxFlags = has(1056) ? data.cashboxRegistrationFlags() : 0;
    for (const auto &flag : flags) {
        if (!has(flag.tag))
            continue;
        if (value(flag.tag).toBool())
            cashboxFlags |= flag.bit;
        else
            cashboxFlags &= quint16(~flag.bit);
    }
    data.setCashboxFlags(cashboxFlags);
    return true;
}
