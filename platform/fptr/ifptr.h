#ifndef FPTR_IFPTR_H
#define FPTR_IFPTR_H

#include "fptrmethods.h"
#include "idtobase.h"

namespace TED {
namespace Fptr {

class IFptr;
typedef void (*ReleaseFunction)(IFptr **);

#define FPTR_DECLARE_PURE(ret, name, args) virtual ret name args = 0;
#define FPTR_DECLARE_PURE_ENTRY(kind, name, type) FPTR_EXPAND_##kind(FPTR_DECLARE_PURE, name, type)

// The driver object as every known generation (13, 14, 15) lays it out:
// the methods of generation 13, which later generations keep at the same
// virtual-table slots. Every method returns 0 on success and -1 on
// failure (get_ResultCode then tells why); text getters return the
// length they need.
class IFptr : public IDTOBase
{
public:
    FPTR_IFPTR_METHODS(FPTR_DECLARE_PURE_ENTRY, FPTR_SKIP)
};

// Generation 14 adds nothing that we call or know the place of; the name
// lets a caller say which generation it asked for.
class IFptr14 : public IFptr
{
};

// Generation 15 appends its methods after those of 13.
class IFptr15 : public IFptr14
{
public:
    FPTR_IFPTR_METHODS(FPTR_SKIP, FPTR_DECLARE_PURE_ENTRY)
};

#undef FPTR_DECLARE_PURE_ENTRY
#undef FPTR_DECLARE_PURE

#define FPTR_COUNT_METHOD(ret, name, args) +1
#define FPTR_COUNT_ENTRY(kind, name, type) FPTR_EXPAND_##kind(FPTR_COUNT_METHOD, name, type)

// Methods of IFptr after IDTOBase and the destructor, per generation.
constexpr int IFPTR13_METHOD_COUNT = 0 FPTR_IFPTR_METHODS(FPTR_COUNT_ENTRY, FPTR_SKIP);
constexpr int IFPTR15_METHOD_COUNT =
    IFPTR13_METHOD_COUNT FPTR_IFPTR_METHODS(FPTR_SKIP, FPTR_COUNT_ENTRY);
// Slots taken by the destructor (2) and IDTOBase (26) before IFptr's own.
constexpr int IFPTR_FIRST_SLOT = 28;

static_assert(IFPTR_FIRST_SLOT + IFPTR13_METHOD_COUNT == 514, "generation 13 has 514 slots");
static_assert(IFPTR_FIRST_SLOT + IFPTR15_METHOD_COUNT == 549, "generation 15 has 549 slots");

#undef FPTR_COUNT_ENTRY
#undef FPTR_COUNT_METHOD

// Factory entry points of the library, resolved by name at run time.
// CreateFptrInterface returns null unless `version` is the library's own
// interface generation; ReleaseFptrInterface frees the object and nulls
// the pointer.
typedef IFptr *(*CreateFptrInterfaceFunction)(int version);
typedef void (*ReleaseFptrInterfaceFunction)(IFptr **object);

constexpr const char CREATE_FPTR_INTERFACE[] = "CreateFptrInterface";
constexpr const char RELEASE_FPTR_INTERFACE[] = "ReleaseFptrInterface";

} // namespace Fptr
} // namespace TED

extern "C" {
TED::Fptr::IFptr *CreateFptrInterface(int version);
void ReleaseFptrInterface(TED::Fptr::IFptr **object);
}

#endif
