#include "logutils.h"

#include <QJsonDocument>
#include <QTextCodec>

namespace qt5ext {

QString logvariant(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantList:
    case QMetaType::QVariantHash:
    case QMetaType::QStringList:
        return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact));
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
