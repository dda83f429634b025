#ifndef ANNOUNCER_H
#define ANNOUNCER_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QUdpSocket;

// Lets the simulated cashbox be found on the network: it answers every
// "searchcashbox" query with its "zelvoautoconf" self-description, sent to
// the querying address on the answer port.
class Announcer : public QObject
{
    Q_OBJECT
public:
    static const QByteArray QUERY;
    static constexpr quint16 QUERY_PORT = 43785;
    static constexpr quint16 ANSWER_PORT = 43786;

    struct Identity
    {
        quint16 model = 0;
        QString serial;
        QString name;
    };

    explicit Announcer(QObject *parent = nullptr);
    ~Announcer() override;

    // Reads "MODEL:SERIAL:NAME" (the name may hold further colons). The model
    // is a number from 1 to 65535; serial and name must not be empty.
    static bool parseIdentity(const QString &text, Identity &identity, QString &error);

    // Takes "--announce MODEL:SERIAL:NAME" (or "--announce=...") out of a
    // command line and keeps the identity. True when the option is absent
    // (isAnnouncing() stays false) or valid; false with a reason otherwise.
    bool takeOption(QStringList &arguments, QString &error);
    bool isAnnouncing() const { return m_identity.model != 0; }

    void setIdentity(const Identity &identity) { m_identity = identity; }
    const Identity &identity() const { return m_identity; }
    void setRegistration(const QString &regNumber, const QString &inn);
    // Ports announced with the description; 0 leaves a port out.
    void setBusPorts(quint16 msgPort, quint16 queryPort);
    void setHttpPort(quint16 port) { m_httpPort = port; }
    void setAtolPort(quint16 port) { m_atolPort = port; }

    // The self-description as it is answered.
    QVariantMap description() const;
    QByteArray answer() const;

    // Listens for queries on listenPort (0: any free port) with shared
    // address binding, so that other listeners on this machine keep working;
    // answers go to answerPort of the sender. False with a reason when the
    // port cannot be bound.
    bool start(quint16 listenPort, quint16 answerPort, QString &error);
    bool start(QString &error) { return start(QUERY_PORT, ANSWER_PORT, error); }
    void stop();
    bool isRunning() const { return m_socket != nullptr; }
    quint16 listenPort() const;
    int answered() const { return m_answered; }

private slots:
    void readQueries();

private:
    Identity m_identity;
    QString m_regNumber;
    QString m_inn;
    quint16 m_busMsgPort = 0;
    quint16 m_busQueryPort = 0;
    quint16 m_httpPort = 0;
    quint16 m_atolPort = 0;
    quint16 m_answerPort = ANSWER_PORT;
    QUdpSocket *m_socket = nullptr;
    int m_answered = 0;
};

#endif
