// The six functions the resource host calls. Each checks its output pointer, builds a fresh
// status record for the call and returns only the record's code.
#include "zu7461/zu7461.h"

#include <type_traits>

#include "source/finder.h"

#ifdef _WIN32
// The module definition file exports these, with their ordinals.
#define ZU7461_EXPORT
#else
#define ZU7461_EXPORT __attribute__((visibility("default")))
#endif

using namespace nZU7461_14_0;

namespace {

// Runs one call with its own status record and hands the host only the code. Nothing can throw
// here: the module-level operations are noexcept and report every failure, memory included, in
// the record, and the check below keeps it that way at compile time.
template <class tOperation> std::int32_t withStatus(tOperation a_Operation) noexcept {
    static_assert(std::is_nothrow_invocable_v<tOperation, tStatus*>,
                  "an exported function must not be able to throw");
    tStatus l_Status = makeStatus();
    a_Operation(&l_Status);
    return l_Status.code;
}

} // namespace

extern "C" {

ZU7461_EXPORT int32_t nZUPXIFINDER100_openList(uint32_t* a_pCount, void** a_pListHandle) {
    if (a_pListHandle == nullptr || a_pCount == nullptr) {
        return kStatusInvalidParameter;
    }
    return withStatus([&](tStatus* a_pStatus) noexcept {
        openList(a_pListHandle, a_pCount, a_pStatus);
        if (!isFailed(a_pStatus) && *a_pCount == 0) {
            // A search that found nothing leaves no list behind. Only a list this call created
            // is closed: a failed call created none.
            closeList(*a_pListHandle);
            *a_pListHandle = nullptr;
        }
    });
}

ZU7461_EXPORT void nZUPXIFINDER100_closeList(void* a_ListHandle) {
    closeList(a_ListHandle);
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getNthItem(void* a_ListHandle, uint32_t a_Index,
                                                 void** a_pItemHandle) {
    if (a_pItemHandle == nullptr) {
        return kStatusInvalidParameter;
    }
    return withStatus([&](tStatus* a_pStatus) noexcept {
        getNthItem(a_ListHandle, a_Index, a_pItemHandle, a_pStatus);
    });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getU32Attribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                                      uint32_t* a_pValue) {
    if (a_pValue == nullptr) {
        return kStatusInvalidParameter;
    }
    return withStatus([&](tStatus* a_pStatus) noexcept {
        getU32Attribute(a_ItemHandle, a_AttributeId, a_pValue, a_pStatus);
    });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getStringAttribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                                         const char** a_pValue) {
    if (a_pValue == nullptr) {
        return kStatusInvalidParameter;
    }
    return withStatus([&](tStatus* a_pStatus) noexcept {
        getStringAttribute(a_ItemHandle, a_AttributeId, a_pValue, a_pStatus);
    });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getControllerIDSELMap(void) {
    return kStatusControllerMapNotProvided;
}

} // extern "C"
