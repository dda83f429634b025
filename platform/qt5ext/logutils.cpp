#include "logutils.h"

#include <QJsonDocument>
#include <QTextCodec>

namespace qt5ext {

namespace {

const QString HIDDEN = QStringLiteral("***");

QVariant withoutSecrets(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QVariantMap: {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = isSecretKey(it.key()) ? QVariant(HIDDEN) : withoutSecrets(it.value());
        return map;
    }
    case QMetaType::QVariantHash: {
        QVariantHash hash = value.toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it)
            it.value() = isSecretKey(it.key()) ? QVariant(HIDDEN) : withoutSecrets(it.value());
        return hash;
    }
    case QMetaType::QVariantList: {
        QVariantList list = value.toList();
        for (QVariant &entry : list)
            entry = withoutSecrets(entry);
        return list;
    }
    default:
        return value;
    }
}

} // namespace

bool isSecretKey(const QString &key)
{
    return key.contains(QLatin1String("password"), Qt::CaseInsensitive)
        || key.compare(QLatin1String("conPas"), Qt::CaseInsensitive) == 0
        || key.compare(QLatin1String("Authorization"), Qt::CaseInsensitive) == 0;
}

QString logvariant(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantList:
    case QMetaType::QVariantHash:
    case QMetaType::QStringList:
        return QString::fromUtf8(QJsonDocument::fromVariant(withoutSecrets(value)).toJson(QJsonDocument::Compact));
    case QMetaType::QByteArray:
        return logbinary(value.toByteArray());
    default:
        break;
    }
    if (!value.isValid())
        return QStringLiteral("<invalid>");
    if (value.canConvert<QString>())
        return value.toString();
    return QStringLiteral("<%1>").arg(QString::fromLatin1(value.typeName()));
}

QString loglist(const QStringList &list)
{
    return QLatin1Char('[') + list.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString logbinary(const QByteArray &bytes, const QByteArray &codecName)
{
    QTextCodec *codec = codecName.isEmpty() ? nullptr : QTextCodec::codecForName(codecName);
    QString text = codec ? codec->toUnicode(bytes) : QString::fromLatin1(bytes);
    for (QChar &c : text) {
        if (!c.isPrint())
            c = QLatin1Char('.');
    }
    return QString::fromLatin1(bytes.toHex(' ')) + QStringLiteral(" |") + text + QLatin1Char('|');
}

QString logtab(int count)
{
    return QString(qMax(0, count), QLatin1Char('\t'));
}

} // namespace qt5ext
