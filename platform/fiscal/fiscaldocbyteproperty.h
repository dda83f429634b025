#ifndef FISCAL_FISCALDOCBYTEPROPERTY_H
#define FISCAL_FISCALDOCBYTEPROPERTY_H

#include "fiscaldocintegerproperty.h"

namespace fiscal {

// A single byte: an enumeration code or a yes/no flag.
class FiscalDocByteProperty : public FiscalDocIntegerProperty
{
public:
    explicit FiscalDocByteProperty(PropertyTag tag) : FiscalDocIntegerProperty(tag, ByteProperty) {}

    FiscalDocPropertyPtr clone() const override
    {
        return FiscalDocPropertyPtr(new FiscalDocByteProperty(*this));
    }
};

} // namespace fiscal

#endif
