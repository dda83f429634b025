#ifndef FISCAL_FISCALDOCUINT16PROPERTY_H
#define FISCAL_FISCALDOCUINT16PROPERTY_H

#include "fiscaldocintegerproperty.h"

namespace fiscal {

// An unsigned 16-bit little-endian number.
class FiscalDocUInt16Property : public FiscalDocIntegerProperty
{
public:
    explicit FiscalDocUInt16Property(PropertyTag tag) : FiscalDocIntegerProperty(tag, UInt16Property) {}

    FiscalDocPropertyPtr clone() const override
    {
        return FiscalDocPropertyPtr(new FiscalDocUInt16Property(*this));
    }
};

} // namespace fiscal

#endif
