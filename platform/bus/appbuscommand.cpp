#include "appbuscommand.h"

#include "appbusprotocol.h"

#include <QJsonValue>
#include <QUuid>

namespace bus {

AppBusCommand AppBusCommand::createAnswer(const QVariantMap &params) const
{
    AppBusCommand answer;
    answer.m_name = m_name;
    answer.m_params = params;
    answer.m_dt = QDateTime::currentDateTime();
    answer.m_reciever = m_sender;
    answer.m_sender = m_reciever;
    answer.m_uid = m_uid;
    answer.m_isLogged = m_isLogged;
    answer.m_isAnswer = true;
    return answer;
}

QString AppBusCommand::genUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject AppBusCommand::toJson() const
{
    QJsonObject frame;
    frame.insert(protocol::KeyType, m_isAnswer ? protocol::TypeAnswer : protocol::TypeCommand);
    frame.insert(protocol::KeyName, m_name);
    frame.insert(protocol::KeyParams, QJsonObject::fromVariantMap(m_params));
    frame.insert(protocol::KeyUid, m_uid);
    frame.insert(protocol::KeySender, m_sender);
    frame.insert(protocol::KeyReceiver, m_reciever);
    if (m_dt.isValid())
        frame.insert(protocol::KeyDt, m_dt.toString(Qt::ISODateWithMs));
    frame.insert(protocol::KeyNeedAnswer, m_needAnswer);
    frame.insert(protocol::KeyLogged, m_isLogged);
    return frame;
}

bool AppBusCommand::fromJson(const QJsonObject &frame, AppBusCommand &command, QString &error)
{
    const QString type = frame.value(protocol::KeyType).toString();
    if (type != protocol::TypeCommand && type != protocol::TypeAnswer) {
        error = QStringLiteral("not a command frame: \"%1\"").arg(type);
        return false;
    }
    const QJsonValue name = frame.value(protocol::KeyName);
    const QJsonValue uid = frame.value(protocol::KeyUid);
    if (!name.isString() || name.toString().isEmpty()) {
        error = QStringLiteral("command without a name");
        return false;
    }
    if (!uid.isString() || uid.toString().isEmpty()) {
        error = QStringLiteral("command \"%1\" without a uid").arg(name.toString());
        return false;
    }
    const QJsonValue params = frame.value(protocol::KeyParams);
    if (!params.isUndefined() && !params.isObject()) {
        error = QStringLiteral("command \"%1\": params is not an object").arg(name.toString());
        return false;
    }
    for (QLatin1String key : { protocol::KeySender, protocol::KeyReceiver, protocol::KeyDt }) {
        const QJsonValue v = frame.value(key);
        if (!v.isUndefined() && !v.isString()) {
            error = QStringLiteral("command \"%1\": %2 is not a string").arg(name.toString(), key);
            return false;
        }
    }
    for (QLatin1String key : { protocol::KeyNeedAnswer, protocol::KeyLogged }) {
        const QJsonValue v = frame.value(key);
        if (!v.isUndefined() && !v.isBool()) {
            error = QStringLiteral("command \"%1\": %2 is not a boolean").arg(name.toString(), key);
            return false;
        }
    }

    AppBusCommand result;
    result.m_isAnswer = type == protocol::TypeAnswer;
    result.m_name = name.toString();
    result.m_uid = uid.toString();
    result.m_params = params.toObject().toVariantMap();
    result.m_sender = frame.value(protocol::KeySender).toString();
    result.m_reciever = frame.value(protocol::KeyReceiver).toString();
    result.m_dt = QDateTime::fromString(frame.value(protocol::KeyDt).toString(), Qt::ISODateWithMs);
    result.m_needAnswer = frame.value(protocol::KeyNeedAnswer).toBool();
    result.m_isLogged = frame.value(protocol::KeyLogged).toBool();
    command = result;
    return true;
}

} // namespace bus
