#ifndef BUS_APPBUSCOMMAND_H
#define BUS_APPBUSCOMMAND_H

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace bus {

// A command, or the answer to one, travelling on the bus. An answer carries
// the identifier of the command it answers; that is how a waiting sender
// finds it.
class AppBusCommand
{
public:
    AppBusCommand() = default;

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QVariantMap params() const { return m_params; }
    void setParams(const QVariantMap &params) { m_params = params; }
    QDateTime dt() const { return m_dt; }
    void setDt(const QDateTime &dt) { m_dt = dt; }
    bool needAnswer() const { return m_needAnswer; }
    void setNeedAnswer(bool needAnswer) { m_needAnswer = needAnswer; }
    QString reciever() const { return m_reciever; }
    void setReciever(const QString &reciever) { m_reciever = reciever; }
    QString sender() const { return m_sender; }
    void setSender(const QString &sender) { m_sender = sender; }
    QString uid() const { return m_uid; }
    void setUid(const QString &uid) { m_uid = uid; }
    bool isLogged() const { return m_isLogged; }
    void setIsLogged(bool isLogged) { m_isLogged = isLogged; }
    bool isAnswer() const { return m_isAnswer; }
    void setIsAnswer(bool isAnswer) { m_isAnswer = isAnswer; }

    // The answer to this command: same name and identifier, sender and
    // receiver swapped, stamped now.
    AppBusCommand createAnswer(const QVariantMap &params) const;

    static QString genUid();

    // The frame of this command ("command" or "answer").
    QJsonObject toJson() const;
    // Reads a "command" or "answer" frame; false with a reason when the
    // frame lacks a field or has one of the wrong type.
    static bool fromJson(const QJsonObject &frame, AppBusCommand &command, QString &error);

private:
    QString m_name;
    QVariantMap m_params;
    QDateTime m_dt;
    QString m_reciever;
    QString m_sender;
    QString m_uid;
    bool m_needAnswer = false;
    bool m_isLogged = false;
    bool m_isAnswer = false;
};

} // namespace bus

Q_DECLARE_METATYPE(bus::AppBusCommand)

#endif
