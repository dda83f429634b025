#ifndef FISCAL_FISCALDOCPROPERTYINFO_P_H
#define FISCAL_FISCALDOCPROPERTYINFO_P_H

#include "fiscaldocpropertybase.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QVariant>

// What the library knows of each tag: its value type, longest value,
// captions and how its value reads on a ticket.
namespace fiscal {

Q_DECLARE_LOGGING_CATEGORY(lcFiscalProperty)

namespace propinfo {

enum ValueFormat {
    PlainFormat,
    MoneyFormat,        // VLN kopecks shown as roubles
    YesNoFormat,        // 1 "да", 0 "нет"
    FfdVersionFormat,   // 1 "1.0", 2 "1.05", 3 "1.1", 4 "1.2"
    OperationTypeFormat,
    TaxationFormat,     // bits
    AgentFormat,        // bits
    VatRateFormat,
    ItemTypeFormat,
    PaymentMethodFormat,
    CorrectionTypeFormat,
    FiscalSignFormat    // bytes 2..5 big-endian, ten digits
};

struct TagInfo
{
    quint16 tag;
    FiscalDocPropertyBase::PropertyType type;
    quint16 maxLength;
    ValueFormat format;
    const char *caption;  // UTF-8, full name
    const char *label;    // UTF-8, printed label; null when the tag has none
};

// Null for a tag the library does not know.
const TagInfo *tagInfo(quint16 tag);
// Every entry, ascending by tag.
const TagInfo *tagInfos(int *count);

QStringList captions(const TagInfo *info);
// Readable text of an integer value in `format` (the number itself when the
// format has no name for it).
QString integerText(ValueFormat format, quint64 value);
// Reads a whole non-negative number of at most `max` from a number
// (integral doubles included), decimal digits, or with `allowBool` a
// boolean; false with `error` set otherwise.
bool toUnsigned(const QVariant &value, quint64 max, bool allowBool, quint64 *out, QString *error);
// Word-wraps `text` into lines of at most `width` characters (0: no limit);
// words longer than a line are cut.
QStringList wrap(const QString &text, int width);

} // namespace propinfo
} // namespace fiscal

#endif
