#ifndef QT5EXT_STRICTJSON_H
#define QT5EXT_STRICTJSON_H

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

namespace qt5ext {

// JSON text from others (request bodies, datagrams, bus frames) read into a
// document. An object that names a key twice is refused before Qt reads the
// text: Qt 5.15's reader keeps the later value and leaks the earlier one when
// it is an object or an array, so each such text would cost memory for good.
class StrictJson
{
public:
    // False with `error` (Qt's text for what is not JSON) and the offset
    // of the fault set when the text is not JSON or repeats a key.
    static bool parse(const QByteArray &text, QJsonDocument &document, QString &error, int *offset = nullptr);
    // True, with the key and its offset, when a key is repeated within one
    // object before the text ends or breaks off.
    static bool findRepeatedKey(const QByteArray &text, QString &key, int &offset);
};

} // namespace qt5ext

#endif
