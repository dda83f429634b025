// TLV and STLV records of fiscal documents: read, then written back, shown,
// printed and built again from their map form.
#include "fuzzsupport.h"

#include <fiscaldocpropertytemplateloader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    fiscal::FiscalDocPropertyTemplateLoader::init();
    const fiscal::FiscalDocPropertyTemplateLoader loader;
    QList<fiscal::FiscalDocPropertyPtr> records;
    QString error;
    if (!loader.readRecords(fuzzsupport::bytes(data, size), records, &error))
        return 0;
    for (const fiscal::FiscalDocPropertyPtr &record : qAsConst(records)) {
        record->toTlv();
        record->printable(40);
        record->toMap(true);
        const fiscal::FiscalDocPropertyPtr copy = loader.fromMap(record->toMap(), &error);
        if (copy)
            copy->toByteArray(false, false);
    }
    return 0;
}
