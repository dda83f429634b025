#include "strictjson.h"

#include "hexdigit_p.h"

#include <QJsonParseError>
#include <QSet>
#include <QVector>

namespace qt5ext {

namespace {

// Reads the string starting at the quote at `pos` and leaves `pos` after its
// closing quote; escapes are decoded so that keys compare as Qt compares them.
// False when the text ends first.
bool readString(const QByteArray &text, int &pos, QString &value)
{
    QByteArray raw;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text.at(pos);
        if (c == '"') {
            value += QString::fromUtf8(raw);
            ++pos;
            return true;
        }
        if (c != '\\') {
            raw += c;
            continue;
        }
        if (++pos >= text.size())
            return false;
        const char escaped = text.at(pos);
        if (escaped != 'u') {
            static const QByteArray from = QByteArrayLiteral("bfnrt");
            static const QByteArray to = QByteArrayLiteral("\b\f\n\r\t");
            const int index = from.indexOf(escaped);
            raw += index >= 0 ? to.at(index) : escaped;
            continue;
        }
        int unit = 0;
        for (int i = 1; i <= 4; ++i) {
            const int digit = pos + i < text.size() ? hexDigit(text.at(pos + i)) : -1;
            if (digit < 0)
                return false;
            unit = unit * 16 + digit;
        }
        pos += 4;
        value += QString::fromUtf8(raw);
        raw.clear();
        value += QChar(ushort(unit));
    }
    return false;
}

struct Level
{
    bool object = false;
    bool expectingKey = false;
    QSet<QString> keys;
};

} // namespace

bool StrictJson::findRepeatedKey(const QByteArray &text, QString &key, int &offset)
{
    QVector<Level> levels;
    int pos = 0;
    while (pos < text.size()) {
        const char c = text.at(pos);
        if (c == '"') {
            const int start = pos;
            QString value;
            if (!readString(text, pos, value))
                return false;
            if (!levels.isEmpty() && levels.last().object && levels.last().expectingKey) {
                Level &level = levels.last();
                level.expectingKey = false;
                if (level.keys.contains(value)) {
                    key = value;
                    offset = start;
                    return true;
                }
                level.keys.insert(value);
            }
            continue;
        }
        if (c == '{' || c == '[') {
            Level level;
            level.object = c == '{';
            level.expectingKey = level.object;
            levels.append(level);
        } else if (c == '}' || c == ']') {
            if (levels.isEmpty())
                return false;
            levels.removeLast();
        } else if (c == ',' && !levels.isEmpty() && levels.last().object) {
            levels.last().expectingKey = true;
        }
        ++pos;
    }
    return false;
}

bool StrictJson::parse(const QByteArray &text, QJsonDocument &document, QString &error, int *offset)
{
    QString key;
    int at = 0;
    if (findRepeatedKey(text, key, at)) {
        error = QStringLiteral("the key \"%1\" is repeated").arg(key);
        if (offset)
            *offset = at;
        return false;
    }
    QJsonParseError parseError;
    document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = parseError.errorString();
        if (offset)
            *offset = parseError.offset;
        return false;
    }
    return true;
}

} // namespace qt5ext
