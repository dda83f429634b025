#ifndef FISCAL_REGDATA_H
#define FISCAL_REGDATA_H

#include <QDate>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace fiscal {

// Registration data of a cashbox: what its latest registration report holds,
// plus the model, serial number and versions read from the register itself.
class RegData
{
public:
    // Name of the shared bus object carrying the registration data.
    static const QString BUS_OBJECT_NAME;

    // Work modes of the registration (cashboxRegistrationFlags()).
    enum RegistrationFlag : quint16 {
        UseEncryption = 0x001,
        OfflineMode = 0x002,
        AutomatMode = 0x004,
        AllowServices = 0x008,
        MakeBso = 0x010,
        InternetOnly = 0x020,
        ExternPrinter = 0x040,
        ExcisableGoods = 0x080,
        AllowGames = 0x100,
        AllowLotteries = 0x200
    };
    static constexpr quint16 ALL_REGISTRATION_FLAGS = 0x3FF;

    RegData();

    quint32 model() const { return m_model; }
    void setModel(quint32 model);
    QString cashBoxSerial() const { return m_cashBoxSerial; }
    void setCashBoxSerial(const QString &serial);
    QString regNumeber() const { return m_regNumber; }
    void setRegNumeber(const QString &number);
    QString userInn() const { return m_userInn; }
    void setUserInn(const QString &inn);
    QString userName() const { return m_userName; }
    void setUserName(const QString &name);
    QString version() const { return m_version; }
    void setVersion(const QString &version);
    // Fiscal data format version codes: 1 = 1.0, 2 = 1.05, 3 = 1.1, 4 = 1.2.
    quint8 fdfVersion() const { return m_fdfVersion; }
    void setFdfVersion(quint8 version);
    quint8 fsFdfVersion() const { return m_fsFdfVersion; }
    void setFSfdfVersion(quint8 version);
    QDate regDate() const { return m_regDate; }
    void setRegDate(const QDate &date);
    quint32 regDocNumber() const { return m_regDocNumber; }
    void setRegDocNumber(quint32 number);
    // Taxation systems, bits as in tag 1062.
    quint8 taxes() const { return m_taxes; }
    void setTaxes(quint8 taxes);
    quint16 cashboxRegistrationFlags() const { return m_cashboxFlags; }
    void setCashboxFlags(quint16 flags);
    quint8 agentFlags() const { return m_agentFlags; }
    void setAgentFlags(quint8 flags);
    QString boxId() const { return m_boxId; }
    void setBoxId(const QString &id);
    QString cashier() const { return m_cashier; }
    void setCashier(const QString &name);
    QString cashierInn() const { return m_cashierInn; }
    void setCashierInn(const QString &inn);
    QString paymentAddress() const { return m_paymentAddress; }
    void setPaymentAddress(const QString &address);
    QString paymentPlace() const { return m_paymentPlace; }
    void setPaymentPlace(const QString &place);
    QString ofdInn() const { return m_ofdInn; }
    void setOfdInn(const QString &inn);
    QString ofdName() const { return m_ofdName; }
    void setOfdName(const QString &name);
    QString fsNumber() const { return m_fsNumber; }
    void setFsNumber(const QString &number);
    QString fnsSite() const { return m_fnsSite; }
    void setFnsSite(const QString &site);
    QString userEMail() const { return m_userEMail; }
    void setUserEMail(const QString &mail);

    bool hasFlag(RegistrationFlag flag) const { return (m_cashboxFlags & flag) != 0; }
    void setFlag(RegistrationFlag flag, bool on);

    QVariantMap toMap() const;
    void setMap(const QVariantMap &map);
    // The data as shown to people; holds "serial", "regNumber", "regFlags",
    // "atmNumber" and, when known, "cashier" and "cashierInn".
    QVariantMap toBeutyMap() const;

    static QString ffdVersionText(quint8 code);

    bool operator==(const RegData &other) const;
    bool operator!=(const RegData &other) const { return !(*this == other); }

private:
    QDate m_regDate;
    QString m_cashBoxSerial;
    QString m_regNumber;
    QString m_userInn;
    QString m_userName;
    QString m_version;
    QString m_boxId;
    QString m_cashier;
    QString m_cashierInn;
    QString m_paymentAddress;
    QString m_paymentPlace;
    QString m_ofdInn;
    QString m_ofdName;
    QString m_fsNumber;
    QString m_fnsSite;
    QString m_userEMail;
    quint32 m_model = 0;
    quint32 m_regDocNumber = 0;
    quint16 m_cashboxFlags = 0;
    quint8 m_fdfVersion = 0;
    quint8 m_fsFdfVersion = 0;
    quint8 m_taxes = 0;
    quint8 m_agentFlags = 0;
};

} // namespace fiscal

Q_DECLARE_METATYPE(fiscal::RegData)

#endif
