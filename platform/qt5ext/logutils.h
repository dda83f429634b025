#ifndef QT5EXT_LOGUTILS_H
#define QT5EXT_LOGUTILS_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace qt5ext {

// Readable one-line renderings for log messages. Maps and lists show the
// values of secret keys (see isSecretKey) as "***", at any depth: a log
// line never carries a password.
QString logvariant(const QVariant &value);
// A key that names a credential: any "password", "conPas",
// "Authorization" (letter case aside).
bool isSecretKey(const QString &key);
QString loglist(const QStringList &list);
// Hex dump of the bytes followed by their text in the named codec
// (Latin-1 when the codec is unknown).
QString logbinary(const QByteArray &bytes, const QByteArray &codecName = QByteArray());
QString logtab(int count = 1);

} // namespace qt5ext

#endif
