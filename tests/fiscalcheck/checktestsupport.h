#ifndef CHECKTESTSUPPORT_H
#define CHECKTESTSUPPORT_H

#include <QByteArray>
#include <QJsonDocument>
#include <QVariantList>
#include <QVariantMap>

// Receipt lists written as the HTTP API receives them, turned into the map
// form the way the JSON protocol does it, so values arrive typed as JSON
// gives them.
inline QVariant fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    Q_ASSERT_X(error.error == QJsonParseError::NoError, "fromJson", qPrintable(error.errorString()));
    return document.toVariant();
}

inline QVariantMap jsonMap(const QByteArray &json)
{
    return fromJson(json).toMap();
}

inline QVariantList jsonList(const QByteArray &json)
{
    return fromJson(json).toList();
}

inline QVariantMap prop(uint tag, const QVariant &value)
{
    return {{QStringLiteral("tag"), tag}, {QStringLiteral("value"), value}};
}

inline QVariantMap compound(uint tag, const QVariantList &parts)
{
    return {{QStringLiteral("tag"), tag}, {QStringLiteral("fiscprops"), parts}};
}

// A compound 1223 holding itself `depth` times over.
inline QVariantMap nestedAgentData(int depth)
{
    QVariantMap map = prop(1044, QStringLiteral("x"));
    for (int i = 0; i < depth; ++i)
        map = compound(1223, {map});
    return map;
}

#endif
