#ifndef FISCAL_CP866CODEC_H
#define FISCAL_CP866CODEC_H

#include <QByteArray>
#include <QString>

namespace fiscal {

// The DOS Cyrillic code page (CP866) that fiscal storages keep text in.
// The table is our own so that the conversion does not depend on which
// codecs the Qt build carries, and so that an unencodable character is
// reported instead of silently replaced.
class Cp866Codec
{
public:
    // Every byte decodes to some character.
    static QString toUnicode(const QByteArray &bytes);
    // False with `error` naming the first character CP866 lacks; `out` is
    // then left unchanged.
    static bool fromUnicode(const QString &text, QByteArray &out, QString *error = nullptr);
    static bool canEncode(const QString &text);
};

} // namespace fiscal

#endif
