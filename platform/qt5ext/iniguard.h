#ifndef QT5EXT_INIGUARD_H
#define QT5EXT_INIGUARD_H

#include <QByteArray>
#include <QString>

namespace qt5ext {

// Qt's INI reader decodes a value written as "@Variant(...)" or
// "@DateTime(...)" as QDataStream data, and a count in that data can make it
// allocate without bound and abort the process. Settings files are edited by
// hand and the service never writes such values, so a file holding one is not
// given to QSettings at all. The check follows Qt's unescaping (quotes,
// backslash escapes, lists, continued lines) and errs on the side of refusing.
class IniGuard
{
public:
    // The 1-based line of the first value Qt would decode as serialized
    // data, 0 when there is none.
    static int serializedValueLine(const QByteArray &content);
    // False, with the reason in why, when the file holds such a value.
    static bool fileIsSafe(const QString &path, QString &why);
};

} // namespace qt5ext

#endif
