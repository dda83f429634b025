#include "iniguard.h"

#include <QFile>
#include <QVector>

namespace qt5ext {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// The text Qt makes of a value starting at from: escapes replaced by the
// character they stand for (16 bits, as QChar keeps them), quotes dropped,
// blanks after a list comma or a closing quote skipped. List commas are kept,
// so every element of a list is a piece of the result.
QString unescaped(const QByteArray &text, int from)
{
    static const char simpleEscapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                            {'r', '\r'}, {'t', '\t'}, {'v', '\v'}, {'"', '"'},
                                            {'?', '?'}, {'\'', '\''}, {'\\', '\\'}};
    QString result;
    bool quoted = false;
    bool skipBlanks = true;
    int i = from;
    const int to = text.size();
    while (i < to) {
        const char c = text.at(i);
        if (skipBlanks && (c == ' ' || c == '\t')) {
            ++i;
            continue;
        }
        skipBlanks = false;
        if (c == '"') {
            quoted = !quoted;
            skipBlanks = !quoted;
            ++i;
        } else if (c == ',' && !quoted) {
            result += QLatin1Char(',');
            skipBlanks = true;
            ++i;
        } else if (c == '\\') {
            if (++i >= to)
                break;
            const char e = text.at(i++);
            bool known = false;
            for (const auto &escape : simpleEscapes) {
                if (e == escape[0]) {
                    result += QLatin1Char(escape[1]);
                    known = true;
                    break;
                }
            }
            if (known)
                continue;
            if (e == 'x' && i < to && isHexDigit(text.at(i))) {
                uint value = 0;
                while (i < to && isHexDigit(text.at(i)))
                    value = (value << 4) + uint(hexValue(text.at(i++)));
                result += QChar(ushort(value & 0xffff));
            } else if (e >= '0' && e <= '7') {
                uint value = uint(e - '0');
                while (i < to && text.at(i) >= '0' && text.at(i) <= '7')
                    value = (value << 3) + uint(text.at(i++) - '0');
                result += QChar(ushort(value & 0xffff));
            } else if ((e == '\n' || e == '\r') && i < to && (text.at(i) == '\n' || text.at(i) == '\r')
                       && text.at(i) != e) {
                ++i;
            }
            // Any other escaped character is dropped, as Qt drops it.
        } else {
            result += QLatin1Char(c);
            ++i;
        }
    }
    return result;
}

bool holdsSerializedValue(const QString &value)
{
    return value.contains(QLatin1String("@Variant(")) || value.contains(QLatin1String("@DateTime("));
}

// The first '=' that is neither quoted nor escaped: where Qt splits key and
// value.
int splitPosition(const QByteArray &line)
{
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == '=' && !quoted)
            return i;
    }
    return -1;
}

// Whether a line, read from any start Qt could take for its value, holds a
// serialized value: the split Qt makes, the first '=' and the line's start.
bool lineHoldsSerializedValue(const QByteArray &line)
{
    const int split = splitPosition(line);
    const int firstEquals = line.indexOf('=');
    return holdsSerializedValue(unescaped(line, 0))
        || (split >= 0 && holdsSerializedValue(unescaped(line, split + 1)))
        || (firstEquals >= 0 && firstEquals != split && holdsSerializedValue(unescaped(line, firstEquals + 1)));
}

} // namespace

int IniGuard::serializedValueLine(const QByteArray &content)
{
    QVector<QByteArray> lines;
    int from = 0;
    for (int i = 0; i <= content.size(); ++i) {
        const bool end = i == content.size() || content.at(i) == '\n'
            || (content.at(i) == '\r' && (i + 1 == content.size() || content.at(i + 1) != '\n'));
        if (end) {
            lines.append(content.mid(from, i + 1 - from));
            from = i + 1;
        }
    }
    // Each line alone, and each run of lines that end in a backslash joined
    // with the line after them, as Qt reads a value that goes on.
    int runStart = 0;
    QByteArray run;
    for (int line = 0; line < lines.size(); ++line) {
        if (run.isEmpty())
            runStart = line;
        if (lineHoldsSerializedValue(lines.at(line)))
            return runStart + 1;
        run += lines.at(line);
        if (lines.at(line).trimmed().endsWith('\\') && line + 1 < lines.size())
            continue;
        if (runStart != line && lineHoldsSerializedValue(run))
            return runStart + 1;
        run.clear();
    }
    return 0;
}

bool IniGuard::fileIsSafe(const QString &path, QString &why)
{
    // A file that cannot be read is no danger: Qt cannot read it either,
    // and the readers report it as they always did.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const int line = serializedValueLine(file.readAll());
    if (line == 0)
        return true;
    why = QStringLiteral("holds a serialized value (\"@Variant(\" or \"@DateTime(\") in line %1, which is not read")
              .arg(line);
    return false;
}

} // namespace qt5ext
