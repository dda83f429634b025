#include "tapeformatter.h"

#include "fiscalstorage.h"
#include "registerstate.h"
#include "tlv.h"

TapeFormatter::TapeFormatter(int width)
    : m_width(qMax(1, width))
{
}

QString TapeFormatter::align(const QString &line, int alignment) const
{
    const int room = m_width - line.size();
    if (room <= 0 || alignment == 0)
        return line;
    if (alignment == 2)
        return QString(room, QLatin1Char(' ')) + line;
    return QString(room / 2, QLatin1Char(' ')) + line;
}

QStringList TapeFormatter::text(const QString &text, int alignment, int wrap) const
{
    QStringList out;
    if (text.isEmpty()) {
        out.append(QString());
        return out;
    }
    if (wrap == 0) {
        out.append(align(text.left(m_width), alignment));
        return out;
    }
    QString rest = text;
    while (!rest.isEmpty()) {
        int cut = qMin(m_width, rest.size());
        if (wrap == 1 && rest.size() > m_width) {
            const int space = rest.lastIndexOf(QLatin1Char(' '), m_width);
            if (space > 0)
                cut = space;
        }
        out.append(align(rest.left(cut).trimmed(), alignment));
        rest = rest.mid(cut);
        if (wrap == 1)
            rest = rest.trimmed();
    }
    return out;
}

QString TapeFormatter::pair(const QString &caption, const QString &value) const
{
    const int room = m_width - caption.size() - value.size();
    if (room < 1)
        return caption + QLatin1Char(' ') + value;
    return caption + QString(room, QLatin1Char(' ')) + value;
}

QString TapeFormatter::rule(QChar c) const
{
    return QString(m_width, c);
}

void TapeFormatter::records(const QByteArray &tlv, int indent, QStringList &out) const
{
    QList<Tlv::Record> list;
    if (!Tlv::split(tlv, list)) {
        out.append(QStringLiteral("(damaged record)"));
        return;
    }
    const QString prefix(indent, QLatin1Char(' '));
    for (const Tlv::Record &record : list) {
        if (record.tag == 1000)
            continue;
        if (Tlv::typeOf(record.tag) == Tlv::Type::Stlv) {
            out.append(prefix + QString::number(record.tag));
            records(record.value, indent + 2, out);
        } else {
            out.append(pair(prefix + QString::number(record.tag), Tlv::display(record.tag, record.value)));
        }
    }
}

QStringList TapeFormatter::document(const StoredDocument &doc) const
{
    QStringList out = text(FiscalStorage::documentName(doc.type), 1);
    records(doc.tlv, 0, out);
    out.append(rule());
    return out;
}
