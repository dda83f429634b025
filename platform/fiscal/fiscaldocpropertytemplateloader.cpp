#include "fiscaldocpropertytemplateloader.h"

#include "fiscaldocbitflagsproperty.h"
#include "fiscaldocbyteproperty.h"
#include "fiscaldocbytesproperty.h"
#include "fiscaldoccomplexproperty.h"
#include "fiscaldocfixedstringproperty.h"
#include "fiscaldocfvlnproperty.h"
#include "fiscaldocpropertyinfo_p.h"
#include "fiscaldocstringproperty.h"
#include "fiscaldocuint16property.h"
#include "fiscaldocuint32property.h"
#include "fiscaldocunixtimeproperty.h"
#include "fiscaldocvlnproperty.h"

#include <QDataStream>
#include <QHash>

namespace fiscal {

namespace {

FiscalDocPropertyPtr makeProperty(FiscalDocPropertyBase::PropertyType type, PropertyTag tag)
{
    using P = FiscalDocPropertyBase;
    switch (type) {
    case P::StringProperty:
        return FiscalDocPropertyPtr(new FiscalDocStringProperty(tag));
    case P::ByteProperty:
        return FiscalDocPropertyPtr(new FiscalDocByteProperty(tag));
    case P::UnixTimeProperty:
        return FiscalDocPropertyPtr(new FiscalDocUnixTimeProperty(tag));
    case P::VlnProperty:
        return FiscalDocPropertyPtr(new FiscalDocVlnProperty(tag));
    case P::FvlnProperty:
        return FiscalDocPropertyPtr(new FiscalDocFvlnProperty(tag));
    case P::UInt32Property:
        return FiscalDocPropertyPtr(new FiscalDocUInt32Property(tag));
    case P::BytesProperty:
        return FiscalDocPropertyPtr(new FiscalDocBytesProperty(tag));
    case P::ComplexProperty:
        return FiscalDocPropertyPtr(new FiscalDocComplexProperty(tag));
    case P::UInt16Property:
        return FiscalDocPropertyPtr(new FiscalDocUInt16Property(tag));
    case P::FixedStringProperty:
        return FiscalDocPropertyPtr(new FiscalDocFixedStringProperty(tag));
    case P::BitFlagsProperty:
        return FiscalDocPropertyPtr(new FiscalDocBitFlagsProperty(tag));
    }
    return FiscalDocPropertyPtr();
}

// The templates, built once; read-only afterwards, so shared freely.
struct TemplateRegistry
{
    TemplateRegistry()
    {
        int count = 0;
        const propinfo::TagInfo *infos = propinfo::tagInfos(&count);
        for (int i = 0; i < count; ++i) {
            const PropertyTag tag = PropertyTag(infos[i].tag);
            templates.insert(tag, makeProperty(infos[i].type, tag));
            tags.append(tag);
        }
        qCDebug(lcFiscalProperty) << "fiscal property templates:" << count;
    }

    QHash<quint16, FiscalDocPropertyPtr> templates;
    QList<PropertyTag> tags;
};

Q_GLOBAL_STATIC(TemplateRegistry, registry)

} // namespace

FiscalDocPropertyTemplateLoader::FiscalDocPropertyTemplateLoader() = default;

void FiscalDocPropertyTemplateLoader::init()
{
    // Q_GLOBAL_STATIC builds the registry exactly once, guarded for threads.
    registry();
}

FiscalDocPropertyPtr FiscalDocPropertyTemplateLoader::operator[](quint32 tag) const
{
    if (tag > 0xFFFF)
        return FiscalDocPropertyPtr();
    const FiscalDocPropertyPtr prototype = registry()->templates.value(quint16(tag));
    return prototype ? prototype->clone() : FiscalDocPropertyPtr();
}

bool FiscalDocPropertyTemplateLoader::contains(quint32 tag) const
{
    return tag <= 0xFFFF && registry()->templates.contains(quint16(tag));
}

QList<PropertyTag> FiscalDocPropertyTemplateLoader::tags() const
{
    return registry()->tags;
}

FiscalDocPropertyPtr FiscalDocPropertyTemplateLoader::fromMap(const QVariantMap &map, QString *error) const
{
    bool ok = false;
    const uint tag = map.value(QStringLiteral("tag")).toUInt(&ok);
    FiscalDocPropertyPtr property = ok ? (*this)[tag] : FiscalDocPropertyPtr();
    QString reason;
    if (!ok)
        reason = QStringLiteral("the property map has no numeric \"tag\"");
    else if (!property)
        reason = QStringLiteral("unknown tag %1").arg(tag);
    else if (!property->setMap(map))
        reason = property->errorString();
    if (reason.isEmpty())
        return property;
    if (error)
        *error = reason;
    return FiscalDocPropertyPtr();
}

FiscalDocPropertyPtr FiscalDocPropertyTemplateLoader::readRecord(QDataStream &stream, QString *error) const
{
    char header[2];
    if (stream.readRawData(header, 2) != 2) {
        if (error)
            *error = QStringLiteral("the record ends before its tag");
        return FiscalDocPropertyPtr();
    }
    const quint16 tag = quint16(uchar(header[0]) | (uchar(header[1]) << 8));
    FiscalDocPropertyPtr property = (*this)[tag];
    if (!property)
        property.reset(new FiscalDocBytesProperty(PropertyTag(tag)));
    if (!property->parse(stream)) {
        if (error)
            *error = property->errorString();
        return FiscalDocPropertyPtr();
    }
    return property;
}

bool FiscalDocPropertyTemplateLoader::readRecords(const QByteArray &bytes, QList<FiscalDocPropertyPtr> &records,
                                                  QString *error) const
{
    QDataStream stream(bytes);
    stream.setByteOrder(QDataStream::LittleEndian);
    QList<FiscalDocPropertyPtr> read;
    while (!stream.atEnd()) {
        const FiscalDocPropertyPtr record = readRecord(stream, error);
        if (!record)
            return false;
        read.append(record);
    }
    records = read;
    return true;
}

} // namespace fiscal
