#ifndef FISCAL_FISCALDOCPROPERTYBASE_H
#define FISCAL_FISCALDOCPROPERTYBASE_H

#include "propertytag.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class QDataStream;

namespace fiscal {

class FiscalDocPropertyBase;
using FiscalDocPropertyPtr = QSharedPointer<FiscalDocPropertyBase>;

// One property (TLV record) of a fiscal document: a tag, a typed value, the
// Russian captions of the tag and the encodings the fiscal storage and the
// drivers use. Values are checked when they are set, so encoding a property
// never fails; every refusal leaves the old value and sets errorString().
class FiscalDocPropertyBase
{
public:
    // Value kinds; drivers pick their own property type from these numbers.
    enum PropertyType {
        StringProperty = 1,
        ByteProperty = 2,
        UnixTimeProperty = 3,
        VlnProperty = 4,
        FvlnProperty = 5,
        UInt32Property = 6,
        BytesProperty = 7,
        ComplexProperty = 8,
        UInt16Property = 9,
        FixedStringProperty = 10,
        BitFlagsProperty = 11
    };

    // Length of a TLV header: tag and length, 16 bits each.
    static constexpr int TLV_HEADER_SIZE = 4;

    virtual ~FiscalDocPropertyBase();

    PropertyTag tag() const { return m_tag; }
    virtual PropertyType propertyType() const = 0;
    // Largest encoded value length the tag allows, in bytes.
    int maxLength() const { return m_maxLength; }

    // The typed value; an invalid QVariant until a value was set or read.
    QVariant value() const;
    bool hasValue() const { return m_hasValue; }
    bool setValue(const QVariant &value);
    // Value from its text form, as requests and XML attributes carry it.
    bool setValueFromString(const QString &text);
    void clearValue();
    // Why the last setValue/parse failed.
    QString errorString() const { return m_error; }

    // Captions of the tag: index 0 is the full name; a shorter printed
    // label, when the tag has one, follows. New properties start on the
    // last (shortest) caption.
    QStringList captions() const { return m_captions; }
    int captIdx() const { return m_captIdx; }
    void setCaptIdx(int index);
    virtual QString caption() const;

    // Readable value text: money in roubles, dates, enumeration names.
    virtual QString printableValue() const = 0;
    // Caption and value laid out for a ticket of `width` characters (0: no
    // limit). A tab separates caption and value on one line; a line starting
    // with a tab holds the value alone, right-aligned.
    virtual QString printable(int width) const;

    // Map form {"tag", "value"} (compound: {"tag", "fiscprops"}); with
    // `withPrintable` also "caption" and "printable".
    virtual QVariantMap toMap(bool withPrintable = false) const;
    // Reads the map form; its "tag" must be this property's tag.
    bool setMap(const QVariantMap &map);

    // The encoded value (without tag and length). Numbers are little-endian
    // unless `littleEndian` is false; `compact` drops the high zero bytes of
    // VLN and FVLN numbers as the fiscal storage keeps them, otherwise they
    // take their full width.
    virtual QByteArray toByteArray(bool littleEndian = true, bool compact = true) const = 0;
    // The whole TLV record: tag and length (16-bit little-endian) and value;
    // empty if the value outgrew what a record can hold (parts of a
    // compound changed after they were added).
    QByteArray toTlv() const;

    // Reads the value length (16-bit little-endian) and then the value from
    // `stream`; the stream's own byte order setting is not used. False with
    // errorString() on a short stream or a value the tag does not allow.
    bool parse(QDataStream &stream);
    // Reads an encoded value (the part after tag and length).
    bool parseValue(const QByteArray &bytes);

    // An independent copy, compound properties with copies of their parts.
    virtual FiscalDocPropertyPtr clone() const = 0;

protected:
    // `typeMaxLength`: the longest value the type itself can hold; a tag's
    // own limit applies when it is smaller.
    FiscalDocPropertyBase(PropertyTag tag, int typeMaxLength);
    FiscalDocPropertyBase(const FiscalDocPropertyBase &other) = default;
    FiscalDocPropertyBase &operator=(const FiscalDocPropertyBase &) = delete;

    // Subclasses check and store values here; `depth` counts the compound
    // properties above this one, so nesting stays bounded.
    virtual bool doSetValue(const QVariant &value, int depth) = 0;
    virtual bool doParseValue(const QByteArray &bytes, int depth) = 0;
    virtual QVariant doValue() const = 0;
    virtual void doClearValue() = 0;
    // The value as it goes into the map form (JSON friendly).
    virtual QVariant mapValue() const;

    bool setValueAt(const QVariant &value, int depth);
    bool parseValueAt(const QByteArray &bytes, int depth);
    bool setMapAt(const QVariantMap &map, int depth);

    bool fail(const QString &error);
    void clearError() { m_error.clear(); }
    void markHasValue() { m_hasValue = true; }
    void setMaxLength(int length) { m_maxLength = length; }
    // How the value reads on a ticket (fiscaldocpropertyinfo_p.h).
    int format() const { return m_format; }

private:
    PropertyTag m_tag;
    int m_maxLength;
    int m_format;
    QStringList m_captions;
    int m_captIdx;
    bool m_hasValue = false;
    QString m_error;

    friend class FiscalDocComplexProperty;
};

} // namespace fiscal

#endif
