#ifndef ATOLFSREADER_H
#define ATOLFSREADER_H

#include <fiscaldocpropertybase.h>
#include <propertytag.h>

#include <QMap>
#include <QVariantList>

class AtolDriver;

namespace fiscal {
class FsStatus;
class RegData;
}

// Reads the fiscal storage through the driver's storage commands: its
// status, stored documents record by record, and the registration data.
class AtolFsReader
{
public:
    using PropertyMap = QMap<fiscal::PropertyTag, fiscal::FiscalDocPropertyPtr>;
    // Records read of one document at most. A document's records are its
    // tags, a few dozen for a long receipt; a storage that keeps answering
    // past this is broken, and the job gives up rather than hold the worker.
    static constexpr int MAX_RECORDS = 1000;

    explicit AtolFsReader(AtolDriver &driver);

    // Leaves the device enabled; the caller disables it.
    bool getFsStatus(fiscal::FsStatus &status);
    // The document's records in map form, and by tag when `map` is given.
    // An unknown number gives true with no records; more than MAX_RECORDS
    // records give false with the failure recorded.
    bool getFsDoc(quint32 number, quint16 &docType, QVariantList &props, PropertyMap *map);
    // The registration numbered `regNumber` (1 the first); `fsFfdVersion`
    // (3 for 1.1) chooses the layout of the storage's answer.
    bool getRegData(fiscal::RegData &data, qint32 regNumber, quint8 fsFfdVersion);
    // The registration document number in a registration answer, or -1
    // when the answer is too short.
    static qint64 regDocNumber(const QByteArray &answer, quint8 fsFfdVersion);

private:
    AtolDriver &m_driver;
};

#endif
