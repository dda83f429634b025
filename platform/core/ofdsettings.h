#ifndef CORE_OFDSETTINGS_H
#define CORE_OFDSETTINGS_H

#include <QString>
#include <QVariantMap>

namespace core {

// Connection data of a fiscal data operator, as the fiscal core hands it out.
class OfdSettings
{
public:
    OfdSettings() = default;
    explicit OfdSettings(const QVariantMap &map);

    QString inn() const { return m_inn; }
    void setInn(const QString &inn) { m_inn = inn; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString host() const { return m_host; }
    void setHost(const QString &host) { m_host = host; }
    quint16 port() const { return m_port; }
    void setPort(quint16 port) { m_port = port; }
    // Site where buyers check their receipts.
    QString checkSite() const { return m_checkSite; }
    void setCheckSite(const QString &site) { m_checkSite = site; }

    // "inn", "name", "host", "port", "checkSite".
    QVariantMap toMap() const;
    // A port that is not a number from 0 to 65535 reads as 0.
    void setMap(const QVariantMap &map);

    bool operator==(const OfdSettings &other) const;
    bool operator!=(const OfdSettings &other) const { return !(*this == other); }

private:
    QString m_inn;
    QString m_name;
    QString m_host;
    QString m_checkSite;
    quint16 m_port = 0;
};

} // namespace core

#endif
