#ifndef BUS_APPBUSOBJECT_H
#define BUS_APPBUSOBJECT_H

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace bus {

// A named object shared on the bus (cashier list, registration data, ...).
class AppBusObject
{
public:
    AppBusObject() = default;
    AppBusObject(const QString &name, const QVariantMap &content);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QVariantMap content() const { return m_content; }
    void setContent(const QVariantMap &content) { m_content = content; }
    QDateTime dt() const { return m_dt; }
    void setDt(const QDateTime &dt) { m_dt = dt; }
    bool isNull() const { return m_name.isEmpty(); }

    QJsonObject toJson() const;
    // Reads the name, content and time stamp of an "object" or "loaded"
    // frame; false with a reason when they are missing or mistyped.
    static bool fromJson(const QJsonObject &frame, AppBusObject &object, QString &error);

private:
    QString m_name;
    QVariantMap m_content;
    QDateTime m_dt;
};

} // namespace bus

Q_DECLARE_METATYPE(bus::AppBusObject)

#endif
