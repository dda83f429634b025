#ifndef FINDEDCASHBOX_H
#define FINDEDCASHBOX_H

#include <QHostAddress>
#include <QString>
#include <QVariantMap>

// One cashbox that answered the discovery query: its self-description and the
// address the answer came from.
class FindedCashbox
{
public:
    FindedCashbox() = default;
    // Reads the self-description (the "zelvoautoconf" object of an answer);
    // missing keys give 0 or an empty text.
    FindedCashbox(const QHostAddress &ip, const QVariantMap &description);

    quint16 model() const { return m_model; }
    QString serial() const { return m_serial; }
    QString modelName() const { return m_modelName; }
    QString regNumber() const { return m_regNumber; }
    QString inn() const { return m_inn; }
    QHostAddress ip() const { return m_ip; }
    quint16 atolPort() const { return m_atolPort; }
    quint16 httpPort() const { return m_httpPort; }
    quint16 busMsgPort() const { return m_busMsgPort; }
    quint16 busQueryPort() const { return m_busQueryPort; }

    bool isValid() const;

    static QString genKey(const QString &serial, quint16 model);
    QString key() const;

    // The cashbox as the front end sees it; the ports are left out.
    QVariantMap toBeautyMap() const;

    bool operator==(const FindedCashbox &other) const;
    bool operator!=(const FindedCashbox &other) const { return !(*this == other); }

private:
    quint16 m_model = 0;
    QString m_serial;
    QString m_modelName;
    QString m_regNumber;
    QString m_inn;
    QHostAddress m_ip;
    quint16 m_atolPort = 0;
    quint16 m_httpPort = 0;
    quint16 m_busMsgPort = 0;
    quint16 m_busQueryPort = 0;
};

#endif
