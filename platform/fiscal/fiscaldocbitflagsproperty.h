#ifndef FISCAL_FISCALDOCBITFLAGSPROPERTY_H
#define FISCAL_FISCALDOCBITFLAGSPROPERTY_H

#include "fiscaldocintegerproperty.h"

namespace fiscal {

// A byte of independent bits (taxation systems, agent kinds); printed as the names of the bits set.
class FiscalDocBitFlagsProperty : public FiscalDocIntegerProperty
{
public:
    explicit FiscalDocBitFlagsProperty(PropertyTag tag) : FiscalDocIntegerProperty(tag, BitFlagsProperty) {}

    FiscalDocPropertyPtr clone() const override
    {
        return FiscalDocPropertyPtr(new FiscalDocBitFlagsProperty(*this));
    }
};

} // namespace fiscal

#endif
