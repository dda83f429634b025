#include "appbusobject.h"

#include "appbusprotocol.h"

namespace bus {

AppBusObject::AppBusObject(const QString &name, const QVariantMap &content)
    : m_name(name)
    , m_content(content)
    , m_dt(QDateTime::currentDateTime())
{
}

QJsonObject AppBusObject::toJson() const
{
    QJsonObject frame;
    frame.insert(protocol::KeyType, protocol::TypeObject);
    frame.insert(protocol::KeyName, m_name);
    frame.insert(protocol::KeyContent, QJsonObject::fromVariantMap(m_content));
    if (m_dt.isValid())
        frame.insert(protocol::KeyDt, m_dt.toString(Qt::ISODateWithMs));
    return frame;
}

bool AppBusObject::fromJson(const QJsonObject &frame, AppBusObject &object, QString &error)
{
    const QJsonValue name = frame.value(protocol::KeyName);
    const QJsonValue content = frame.value(protocol::KeyContent);
    const QJsonValue dt = frame.value(protocol::KeyDt);
    if (!name.isString() || name.toString().isEmpty()) {
        error = QStringLiteral("object without a name");
        return false;
    }
    if (!content.isObject()) {
        error = QStringLiteral("object \"%1\": content is not an object").arg(name.toString());
        return false;
    }
    if (!dt.isUndefined() && !dt.isString()) {
        error = QStringLiteral("object \"%1\": dt is not a string").arg(name.toString());
        return false;
    }
    object.m_name = name.toString();
    object.m_content = content.toObject().toVariantMap();
    object.m_dt = QDateTime::fromString(dt.toString(), Qt::ISODateWithMs);
    return true;
}

} // namespace bus
