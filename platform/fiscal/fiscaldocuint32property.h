#ifndef FISCAL_FISCALDOCUINT32PROPERTY_H
#define FISCAL_FISCALDOCUINT32PROPERTY_H

#include "fiscaldocintegerproperty.h"

namespace fiscal {

// An unsigned 32-bit little-endian number: document, shift and receipt numbers.
class FiscalDocUInt32Property : public FiscalDocIntegerProperty
{
public:
    explicit FiscalDocUInt32Property(PropertyTag tag) : FiscalDocIntegerProperty(tag, UInt32Property) {}

    FiscalDocPropertyPtr clone() const override
    {
        return FiscalDocPropertyPtr(new FiscalDocUInt32Property(*this));
    }
};

} // namespace fiscal

#endif
