#include "cashboxfinder.h"

#include <strictjson.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

Q_LOGGING_CATEGORY(lcDiscovery, "tillgate.discovery")

const QByteArray CashboxFinder::QUERY = QByteArrayLiteral("searchcashbox");
const QString CashboxFinder::AUTOCONF_KEY = QStringLiteral("zelvoautoconf");

QHash<QString, FindedCashbox> CashboxFinder::s_cashboxes;
QStringList CashboxFinder::s_answerOrder;
QMutex CashboxFinder::s_mutex;

namespace {

// A datagram may be up to 64 KiB of anything; the log keeps only its head.
constexpr int LOGGED_TEXT_LIMIT = 1024;

QString loggedText(const QByteArray &datagram)
{
    const int zero = datagram.indexOf('\0');
    const QByteArray text = zero < 0 ? datagram : datagram.left(zero);
    if (text.size() <= LOGGED_TEXT_LIMIT)
        return QString::fromUtf8(text);
    return QString::fromUtf8(text.left(LOGGED_TEXT_LIMIT))
        + QStringLiteral("... (%1 bytes)").arg(datagram.size());
}

} // namespace

CashboxFinder::CashboxFinder(QObject *parent)
    : QObject(parent)
{
}

CashboxFinder::~CashboxFinder()
{
    release();
}

void CashboxFinder::setQueryTarget(const QHostAddress &address, quint16 port)
{
    m_queryAddress = address;
    m_queryPort = port;
}

bool CashboxFinder::setQueryAddress(const QString &address)
{
    const QHostAddress parsed(address.trimmed());
    if (parsed.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    m_queryAddress = parsed;
    return true;
}

quint16 CashboxFinder::answerPort() const
{
    return m_socket ? m_socket->localPort() : m_answerPort;
}

QHash<QString, FindedCashbox> CashboxFinder::cashboxes()
{
    QMutexLocker locker(&s_mutex);
    QHash<QString, FindedCashbox> copy = s_cashboxes;
    copy.detach();
    return copy;
}

void CashboxFinder::init()
{
    if (m_socket)
        return;

    m_loggedSenders.clear();
    m_dropped = 0;
    takeQueriedNetworks();
    m_socket = new QUdpSocket(this);
    connect(m_socket, &QUdpSocket::readyRead, this, &CashboxFinder::processPendingDatagramm);
    // Other programs on this machine may listen for the same answers.
    if (!m_socket->bind(QHostAddress::AnyIPv4, m_answerPort,
                        QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        qCWarning(lcDiscovery) << "Cannot bind the discovery port" << m_answerPort << ":"
                               << m_socket->errorString();
    }

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CashboxFinder::sendBroadCast);
    m_timer->setInterval(QUERY_INTERVAL_MS);
    m_timer->setSingleShot(true);
    m_timer->start();

    qCDebug(lcDiscovery).noquote() << "Cashbox search: queries go to" << m_queryAddress.toString() << "port"
                                   << m_queryPort;
    const quint64 search = ++m_search;
    QTimer::singleShot(m_searchDuration, this, [this, search] {
        if (search == m_search)
            release();
    });
}

void CashboxFinder::cleanAndInit()
{
    {
        QMutexLocker locker(&s_mutex);
        s_cashboxes.clear();
        s_answerOrder.clear();
    }
    init();
}

void CashboxFinder::release()
{
    if (m_socket && m_dropped > 0) {
        qCWarning(lcDiscovery).noquote() << "Cashbox search: dropped" << m_dropped
                                         << "answers from outside the network queried at"
                                         << m_queryAddress.toString();
    }
    m_dropped = 0;
    delete m_timer;
    m_timer = nullptr;
    delete m_socket;
    m_socket = nullptr;
}

void CashboxFinder::sendBroadCast()
{
    if (m_timer)
        m_timer->stop();
    if (!m_socket) {
        if (m_timer)
            m_timer->start();
        return;
    }
    m_socket->writeDatagram(QUERY, m_queryAddress, m_queryPort);
    m_timer->start();
}

void CashboxFinder::processPendingDatagramm()
{
    // The socket may go away inside the loop if a slot connected elsewhere
    // releases the finder; check it on every round.
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        processDatagram(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

void CashboxFinder::takeQueriedNetworks()
{
    m_networks.clear();
    if (m_queryAddress.isLoopback()) {
        m_networks.append({QHostAddress(QHostAddress::LocalHost), 8});
        return;
    }
    const bool everywhere = m_queryAddress == QHostAddress(QHostAddress::Broadcast);
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.prefixLength() < 0)
                continue;
            if (everywhere || entry.broadcast() == m_queryAddress
                || m_queryAddress.isInSubnet(entry.ip(), entry.prefixLength()))
                m_networks.append({entry.ip(), entry.prefixLength()});
        }
    }
    if (m_networks.isEmpty() && !everywhere)
        m_networks.append({m_queryAddress, 32});
}

bool CashboxFinder::fromQueriedNetwork(const QHostAddress &sender) const
{
    for (const Network &network : m_networks) {
        if (sender.isInSubnet(network.address, network.prefixLength))
            return true;
    }
    return false;
}

void CashboxFinder::processDatagram(const QByteArray &datagram, const QHostAddress &sender,
                                    quint16 senderPort)
{
    const QHostAddress ip(sender.toIPv4Address());
    // Whoever else reaches the port is not a cashbox the search asked; the
    // count goes into one warning when the search ends.
    if (!fromQueriedNetwork(ip)) {
        ++m_dropped;
        return;
    }
    const bool log = firstFromSender(ip);
    if (datagram.size() > MAX_DATAGRAM_SIZE) {
        if (log) {
            qCWarning(lcDiscovery).noquote() << "Discovery datagram of" << datagram.size() << "bytes from"
                                             << ip.toString() << "port" << senderPort << "ignored";
        }
        return;
    }
    const QString text = loggedText(datagram);
    if (log) {
        qCWarning(lcDiscovery).noquote() << "Discovery answer" << text << "from" << ip.toString() << "port"
                                         << senderPort;
    }

    QJsonDocument document;
    QString error;
    if (!qt5ext::StrictJson::parse(datagram, document, error)) {
        if (log)
            qCWarning(lcDiscovery).noquote() << "Discovery answer is not JSON:" << error << text;
        return;
    }
    const QJsonObject object = document.object();
    if (!object.contains(AUTOCONF_KEY)) {
        if (log)
            qCWarning(lcDiscovery).noquote() << "Discovery answer without" << AUTOCONF_KEY << ":" << text;
        return;
    }
    const QVariantMap description = object.value(AUTOCONF_KEY).toVariant().toMap();
    const FindedCashbox cashbox(ip, description);
    if (!cashbox.isValid()) {
        if (log)
            qCWarning(lcDiscovery) << "Discovery answer of an invalid cashbox:" << description;
        return;
    }
    store(cashbox);
}

bool CashboxFinder::firstFromSender(const QHostAddress &sender)
{
    const quint32 address = sender.toIPv4Address();
    if (m_loggedSenders.contains(address) || m_loggedSenders.size() >= MAX_CASHBOXES)
        return false;
    m_loggedSenders.insert(address);
    return true;
}

void CashboxFinder::store(const FindedCashbox &cashbox)
{
    const QString key = cashbox.key();
    QMutexLocker locker(&s_mutex);
    s_cashboxes.insert(key, cashbox);
    s_answerOrder.removeOne(key);
    s_answerOrder.append(key);
    while (s_answerOrder.size() > MAX_CASHBOXES)
        s_cashboxes.remove(s_answerOrder.takeFirst());
}
