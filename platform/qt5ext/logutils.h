#ifndef QT5EXT_LOGUTILS_H
#define QT5EXT_LOGUTILS_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace qt5ext {

// Readable one-line renderings for log messages.
QString logvariant(const QVariant &value);
QString loglist(const QStringList &list);
// Hex dump of the bytes followed by their text in the named codec
// (Latin-1 when the codec is unknown).
QString logbinary(const QByteArray &bytes, const QByteArray &codecName = QByteArray());
QString logtab(int count = 1);

} // namespace qt5ext

#endif
