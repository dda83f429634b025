#ifndef CASHBOXFINDER_H
#define CASHBOXFINDER_H

#include "findedcashbox.h"

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVector>

class QTimer;
class QUdpSocket;

// Looks for cashboxes on the local network: a short UDP query goes out every
// few seconds and the cashboxes answer with a JSON self-description. What is
// found stays in a process-wide table that the request threads read.
class CashboxFinder : public QObject
{
    Q_OBJECT
public:
    static const QByteArray QUERY;
    static const QString AUTOCONF_KEY;
    static constexpr quint16 QUERY_PORT = 43785;
    static constexpr quint16 ANSWER_PORT = 43786;
    static constexpr int QUERY_INTERVAL_MS = 5000;
    static constexpr int SEARCH_DURATION_MS = 300000;
    // The table keeps the cashboxes that answered last; an answer is a few
    // hundred bytes, bigger datagrams are not read as answers.
    static constexpr int MAX_CASHBOXES = 256;
    static constexpr int MAX_DATAGRAM_SIZE = 4096;

    explicit CashboxFinder(QObject *parent = nullptr);
    ~CashboxFinder() override;

    // Where the queries go; the IPv4 broadcast address and QUERY_PORT unless
    // changed. Takes effect with the next query.
    void setQueryTarget(const QHostAddress &address, quint16 port = QUERY_PORT);
    // The query address as text; false, and the address unchanged, unless
    // it is an IPv4 address (the socket speaks IPv4 only).
    bool setQueryAddress(const QString &address);
    QHostAddress queryAddress() const { return m_queryAddress; }
    quint16 queryPort() const { return m_queryPort; }
    // The port answers are read on, ANSWER_PORT unless changed; 0 lets the
    // system choose. Takes effect with the next init().
    void setAnswerPort(quint16 port) { m_answerPort = port; }
    // The port actually bound while searching, else the configured one.
    quint16 answerPort() const;
    // How long a search runs, SEARCH_DURATION_MS unless changed. Takes effect
    // with the next search.
    void setSearchDuration(int ms) { m_searchDuration = ms; }
    bool isSearching() const { return m_socket != nullptr; }
    // Answers dropped in this search because their sender lies outside the
    // network the queries go to.
    int droppedAnswers() const { return m_dropped; }

    // A copy of the table of found cashboxes, by FindedCashbox::key().
    static QHash<QString, FindedCashbox> cashboxes();

public slots:
    // Starts a search unless one is running.
    void init();
    // Forgets every cashbox found so far, then init().
    void cleanAndInit();
    // Ends the search; the cashboxes found stay known.
    void release();
    void sendBroadCast();
    void processPendingDatagramm();

private:
    struct Network
    {
        QHostAddress address;
        int prefixLength = 32;
    };
    // The networks an answer may come from: loopback for a search on
    // loopback, the machine's networks for the limited broadcast, else the
    // network of the interface the query address belongs to (or only that
    // address when none does).
    void takeQueriedNetworks();
    bool fromQueriedNetwork(const QHostAddress &sender) const;
    void processDatagram(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort);
    // True for the first datagram of a sender in this search: only that one
    // is logged, so that a flood of answers cannot flood the log.
    bool firstFromSender(const QHostAddress &sender);
    static void store(const FindedCashbox &cashbox);

    QUdpSocket *m_socket = nullptr;
    QTimer *m_timer = nullptr;
    // Counts the searches started, so that the end of an earlier search that
    // was released early cannot cut a later search short.
    quint64 m_search = 0;
    int m_searchDuration = SEARCH_DURATION_MS;
    QHostAddress m_queryAddress{QHostAddress::Broadcast};
    quint16 m_queryPort = QUERY_PORT;
    quint16 m_answerPort = ANSWER_PORT;
    // Senders logged in this search, at most MAX_CASHBOXES of them.
    QSet<quint32> m_loggedSenders;
    QVector<Network> m_networks;
    int m_dropped = 0;

    static QHash<QString, FindedCashbox> s_cashboxes;
    // The keys of the table, the one that answered longest ago first.
    static QStringList s_answerOrder;
    static QMutex s_mutex;
};

#endif
