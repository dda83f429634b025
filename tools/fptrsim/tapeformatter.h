#ifndef FPTRSIM_TAPEFORMATTER_H
#define FPTRSIM_TAPEFORMATTER_H

#include <QByteArray>
#include <QString>
#include <QStringList>

struct StoredDocument;

// Lays text out on the register's paper: a fixed number of characters per
// line, aligned and wrapped as the driver's properties ask.
class TapeFormatter
{
public:
    explicit TapeFormatter(int width);

    // alignment 0 left, 1 centre, 2 right; wrap 0 cut at the width,
    // 1 at word boundaries, 2 at the width.
    QStringList text(const QString &text, int alignment = 0, int wrap = 1) const;
    // Caption on the left, value on the right of one line.
    QString pair(const QString &caption, const QString &value) const;
    QString rule(QChar c = QLatin1Char('-')) const;
    // A stored fiscal document, one record a line.
    QStringList document(const StoredDocument &doc) const;

private:
    QString align(const QString &line, int alignment) const;
    void records(const QByteArray &tlv, int indent, QStringList &out) const;

    int m_width;
};

#endif
