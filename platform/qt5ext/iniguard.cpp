#include "iniguard.h"

#include "hexdigit_p.h"

#include <QFile>

namespace qt5ext {

namespace {

// Watches the characters Qt makes of a value go by and tells whether one of
// the markers of serialized data was among them.
class MarkerWatch
{
public:
    void add(ushort c)
    {
        for (int i = 0; i + 1 < Width; ++i)
            m_last[i] = m_last[i + 1];
        m_last[Width - 1] = c;
        m_found = m_found || endsWith("@Variant(") || endsWith("@DateTime(");
    }
    bool found() const { return m_found; }

private:
    static constexpr int Width = 10;

    template<int N>
    bool endsWith(const char (&marker)[N]) const
    {
        const int length = N - 1;
        for (int i = 0; i < length; ++i) {
            if (m_last[Width - length + i] != ushort(marker[i]))
                return false;
        }
        return true;
    }

    ushort m_last[Width] = {};
    bool m_found = false;
};

// Reads text[from, to) as Qt reads a value: escapes stand for the character
// they give (16 bits, as QChar keeps them), quotes are dropped, blanks after
// a list comma or a closing quote skipped. List commas are kept, so every
// element of a list is a piece of what is watched.
bool holdsSerializedValue(const char *text, int from, int to)
{
    static const char simpleEscapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                            {'r', '\r'}, {'t', '\t'}, {'v', '\v'}, {'"', '"'},
                                            {'?', '?'}, {'\'', '\''}, {'\\', '\\'}};
    MarkerWatch watch;
    bool quoted = false;
    bool skipBlanks = true;
    int i = from;
    while (i < to && !watch.found()) {
        const char c = text[i];
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
            watch.add(',');
            skipBlanks = true;
            ++i;
        } else if (c == '\\') {
            if (++i >= to)
                break;
            const char e = text[i++];
            bool known = false;
            for (const auto &escape : simpleEscapes) {
                if (e == escape[0]) {
                    watch.add(ushort(escape[1]));
                    known = true;
                    break;
                }
            }
            if (known)
                continue;
            if (e == 'x' && i < to && hexDigit(text[i]) >= 0) {
                uint value = 0;
                while (i < to && hexDigit(text[i]) >= 0)
                    value = (value << 4) + uint(hexDigit(text[i++]));
                watch.add(ushort(value & 0xffff));
            } else if (e >= '0' && e <= '7') {
                uint value = uint(e - '0');
                while (i < to && text[i] >= '0' && text[i] <= '7')
                    value = (value << 3) + uint(text[i++] - '0');
                watch.add(ushort(value & 0xffff));
            } else if ((e == '\n' || e == '\r') && i < to && (text[i] == '\n' || text[i] == '\r')
                       && text[i] != e) {
                ++i;
            }
            // Any other escaped character is dropped, as Qt drops it.
        } else {
            watch.add(uchar(c));
            ++i;
        }
    }
    return watch.found();
}

// The first '=' that is neither quoted nor escaped: where Qt splits key and
// value.
int splitPosition(const char *text, int from, int to)
{
    bool quoted = false;
    for (int i = from; i < to; ++i) {
        const char c = text[i];
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == '=' && !quoted)
            return i;
    }
    return -1;
}

int firstEquals(const char *text, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (text[i] == '=')
            return i;
    }
    return -1;
}

// Whether text[from, to), read from any start Qt could take for its value,
// holds a serialized value: the split Qt makes, the first '=' and the start.
bool lineHoldsSerializedValue(const char *text, int from, int to)
{
    const int split = splitPosition(text, from, to);
    const int equals = firstEquals(text, from, to);
    return holdsSerializedValue(text, from, to)
        || (split >= 0 && holdsSerializedValue(text, split + 1, to))
        || (equals >= 0 && equals != split && holdsSerializedValue(text, equals + 1, to));
}

// Whether text[from, to) ends in a backslash, blanks and line ends aside.
bool goesOn(const char *text, int from, int to)
{
    int i = to - 1;
    while (i >= from && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
        --i;
    return i >= from && text[i] == '\\';
}

} // namespace

int IniGuard::serializedValueLine(const QByteArray &content)
{
    // Without an at-sign or a backslash nothing can become a marker.
    if (!content.contains('@') && !content.contains('\\'))
        return 0;
    // Each line alone, and each run of lines that end in a backslash
    // together with the line after them, as Qt reads a value that goes on.
    const char *text = content.constData();
    const int size = content.size();
    int line = 0;
    int runLine = 0;
    int runFrom = 0;
    int from = 0;
    while (from < size) {
        int to = from;
        while (to < size && text[to] != '\n' && text[to] != '\r')
            ++to;
        if (to < size && text[to] == '\r' && to + 1 < size && text[to + 1] == '\n')
            ++to;
        if (to < size)
            ++to;
        ++line;
        if (runFrom == from)
            runLine = line;
        if (lineHoldsSerializedValue(text, from, to))
            return runLine;
        if (!(goesOn(text, from, to) && to < size)) {
            if (runFrom != from && lineHoldsSerializedValue(text, runFrom, to))
                return runLine;
            runFrom = to;
        }
        from = to;
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
