#ifndef FISCAL_FISCALDOCPROPERTYTEMPLATELOADER_H
#define FISCAL_FISCALDOCPROPERTYTEMPLATELOADER_H

#include "fiscaldocpropertybase.h"

#include <QList>

class QDataStream;

namespace fiscal {

// Gives the template property of a tag: a fresh, independent, empty
// property of the tag's type with its captions. The set of templates is
// built once per process and shared read-only, so loaders are cheap to
// create and may be used from any thread.
class FiscalDocPropertyTemplateLoader
{
public:
    FiscalDocPropertyTemplateLoader();

    // Builds the shared templates; later calls (from any thread) do nothing.
    static void init();

    // The template of `tag`, or null when the tag is unknown (numbers past
    // 16 bits included).
    FiscalDocPropertyPtr operator[](quint32 tag) const;
    bool contains(quint32 tag) const;
    // Every known tag, ascending.
    QList<PropertyTag> tags() const;

    // Builds a property from its map form ({"tag", "value"} or
    // {"tag", "fiscprops"}); null with `error` set when the tag is unknown
    // or the value does not fit it.
    FiscalDocPropertyPtr fromMap(const QVariantMap &map, QString *error = nullptr) const;

    // Reads one whole TLV record from a little-endian stream; an unknown tag
    // comes back as a bytes property holding the value. Null with `error`
    // set on a short stream or a malformed value.
    FiscalDocPropertyPtr readRecord(QDataStream &stream, QString *error = nullptr) const;
    // Reads a sequence of TLV records filling all of `bytes`; false with
    // `error` set (and `records` untouched) when any of them is malformed.
    bool readRecords(const QByteArray &bytes, QList<FiscalDocPropertyPtr> &records,
                     QString *error = nullptr) const;
};

} // namespace fiscal

#endif
