#include "announcer.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QUdpSocket>

Q_LOGGING_CATEGORY(lcAnnounce, "cashboxsim.announce")

const QByteArray Announcer::QUERY = QByteArrayLiteral("searchcashbox");

Announcer::Announcer(QObject *parent)
    : QObject(parent)
{
}

Announcer::~Announcer() = default;

bool Announcer::parseIdentity(const QString &text, Identity &identity, QString &error)
{
    const int first = text.indexOf(QLatin1Char(':'));
    const int second = first < 0 ? -1 : text.indexOf(QLatin1Char(':'), first + 1);
    if (second < 0) {
        error = QStringLiteral("expected MODEL:SERIAL:NAME, got \"%1\"").arg(text);
        return false;
    }
    bool ok = false;
    const uint model = text.left(first).toUInt(&ok);
    if (!ok || model == 0 || model > 0xFFFF) {
        error = QStringLiteral("the model must be a number from 1 to 65535, got \"%1\"")
                    .arg(text.left(first));
        return false;
    }
    const QString serial = text.mid(first + 1, second - first - 1);
    const QString name = text.mid(second + 1);
    if (serial.isEmpty() || name.isEmpty()) {
        error = QStringLiteral("serial number and model name must not be empty in \"%1\"").arg(text);
        return false;
    }
    identity.model = quint16(model);
    identity.serial = serial;
    identity.name = name;
    return true;
}

bool Announcer::takeOption(QStringList &arguments, QString &error)
{
    const QString option = QStringLiteral("--announce");
    const QString prefix = option + QLatin1Char('=');
    QString value;
    bool found = false;
    for (int i = 1; i < arguments.size();) {
        const QString argument = arguments.at(i);
        if (argument == option) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("--announce takes MODEL:SERIAL:NAME");
                return false;
            }
            value = arguments.at(i + 1);
            arguments.erase(arguments.begin() + i, arguments.begin() + i + 2);
            found = true;
        } else if (argument.startsWith(prefix)) {
            value = argument.mid(prefix.size());
            arguments.removeAt(i);
            found = true;
        } else {
            ++i;
        }
    }
    if (!found)
        return true;
    Identity identity;
    if (!parseIdentity(value, identity, error)) {
        error = QStringLiteral("--announce: ") + error;
        return false;
    }
    m_identity = identity;
    return true;
}

void Announcer::setRegistration(const QString &regNumber, const QString &inn)
{
    m_regNumber = regNumber;
    m_inn = inn;
}

void Announcer::setBusPorts(quint16 msgPort, quint16 queryPort)
{
    m_busMsgPort = msgPort;
    m_busQueryPort = queryPort;
}

QVariantMap Announcer::description() const
{
    QVariantMap map{{QStringLiteral("m"), int(m_identity.model)},
                    {QStringLiteral("sn"), m_identity.serial},
                    {QStringLiteral("nm"), m_identity.name}};
    if (!m_regNumber.isEmpty())
        map.insert(QStringLiteral("rn"), m_regNumber);
    if (!m_inn.isEmpty())
        map.insert(QStringLiteral("inn"), m_inn);
    const auto port = [&map](const char *key, quint16 value) {
        if (value != 0)
            map.insert(QLatin1String(key), int(value));
    };
    port("busM", m_busMsgPort);
    port("busQ", m_busQueryPort);
    port("http", m_httpPort);
    port("atol", m_atolPort);
    return map;
}

QByteArray Announcer::answer() const
{
    return QJsonDocument::fromVariant(QVariantMap{{QStringLiteral("zelvoautoconf"), description()}})
        .toJson(QJsonDocument::Compact);
}

bool Announcer::start(quint16 listenPort, quint16 answerPort, QString &error)
{
    stop();
    m_answerPort = answerPort;
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(QHostAddress::AnyIPv4, listenPort,
                        QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        error = QStringLiteral("cannot listen for cashbox searches on UDP port %1: %2")
                    .arg(listenPort)
                    .arg(m_socket->errorString());
        stop();
        return false;
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &Announcer::readQueries);
    qCInfo(lcAnnounce) << "Answering cashbox searches on UDP port" << m_socket->localPort()
                       << "as" << description();
    return true;
}

void Announcer::stop()
{
    delete m_socket;
    m_socket = nullptr;
}

quint16 Announcer::listenPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void Announcer::readQueries()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram query = m_socket->receiveDatagram();
        if (query.data() != QUERY) {
            qCDebug(lcAnnounce) << "Ignored a datagram of" << query.data().size() << "bytes from"
                                << query.senderAddress().toString();
            continue;
        }
        const QByteArray datagram = answer();
        if (m_socket->writeDatagram(datagram, query.senderAddress(), m_answerPort) != datagram.size()) {
            qCWarning(lcAnnounce) << "Cannot answer the search of" << query.senderAddress().toString()
                                  << ":" << m_socket->errorString();
            continue;
        }
        ++m_answered;
    }
}
