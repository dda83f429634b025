#ifndef FPTRSIM_TLV_H
#define FPTRSIM_TLV_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Records of the fiscal data format: tag and length as 16-bit little-endian
// numbers, then the value. Money is in kopecks.
class Tlv
{
public:
    struct Record
    {
        quint16 tag = 0;
        QByteArray value;
    };

    enum class Type { Byte, UInt32, Vln, Fvln, UnixTime, String, Stlv, Bytes };

    static QByteArray record(quint16 tag, const QByteArray &value);
    static QByteArray byte(quint16 tag, quint8 value);
    static QByteArray uint32(quint16 tag, quint32 value);
    static QByteArray vln(quint16 tag, quint64 value);
    static QByteArray fvln(quint16 tag, double value);
    static QByteArray unixTime(quint16 tag, const QDateTime &time);
    // CP866; INNs, the registration and storage numbers are padded to their
    // fixed width.
    static QByteArray string(quint16 tag, const QString &text);

    static QByteArray vlnValue(quint64 value);
    static QByteArray uintValue(quint64 value, int bytes);
    static QByteArray stringValue(quint16 tag, const QString &text);
    // The register's wall clock counted as UTC seconds.
    static quint32 unixSeconds(const QDateTime &time);
    static QDateTime fromUnixSeconds(quint32 seconds);

    // Splits `bytes` into records; false when a record runs past the end.
    static bool split(const QByteArray &bytes, QList<Record> &records);
    // The value type of a tag, Bytes when the tag is not known here.
    static Type typeOf(quint16 tag);
    // The value as a person reads it.
    static QString display(quint16 tag, const QByteArray &value);
};

#endif
