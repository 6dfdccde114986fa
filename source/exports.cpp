// The six functions the resource host calls. Each checks its output pointer, builds a fresh
// status record for the call and returns only the record's code.
#include "zu7461/zu7461.h"

#include <exception>

#include "source/finder.h"

#ifdef _WIN32
// The module definition file exports these, with their ordinals.
#define ZU7461_EXPORT
#else
#define ZU7461_EXPORT __attribute__((visibility("default")))
#endif

using namespace nZU7461_14_0;

namespace {

// Component code reports failures through status records; this only guards the module
// boundary against an exception that slipped through, which must never reach the host.
template <class tOperation> std::int32_t guarded(tOperation a_Operation) noexcept {
    tStatus l_Status = makeStatus();
    try {
        a_Operation(&l_Status);
    } catch (...) {
        l_Status.code = kStatusMemoryFull;
    }
    return l_Status.code;
}

} // namespace

extern "C" {

ZU7461_EXPORT int32_t nZUPXIFINDER100_openList(uint32_t* a_pCount, void** a_pListHandle) {
    if (a_pListHandle == nullptr || a_pCount == nullptr) {
        return kStatusInvalidParameter;
    }
    return guarded([&](tStatus* a_pStatus) {
        openList(a_pListHandle, a_pCount, a_pStatus);
        if (*a_pCount == 0) {
            // A search that found nothing leaves no list behind.
            closeList(*a_pListHandle);
            *a_pListHandle = nullptr;
        }
    });
}

ZU7461_EXPORT void nZUPXIFINDER100_closeList(void* a_ListHandle) {
    guarded([&](tStatus*) { closeList(a_ListHandle); });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getNthItem(void* a_ListHandle, uint32_t a_Index,
                                                 void** a_pItemHandle) {
    if (a_pItemHandle == nullptr) {
        return kStatusInvalidParameter;
    }
    return guarded([&](tStatus* a_pStatus) {
        queryNthItem(currentSessionManager(), a_ListHandle, a_Index, a_pItemHandle, a_pStatus);
    });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getU32Attribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                                      uint32_t* a_pValue) {
    if (a_pValue == nullptr) {
        return kStatusInvalidParameter;
    }
    return guarded([&](tStatus* a_pStatus) {
        queryU32Attribute(currentSessionManager(), a_ItemHandle, a_AttributeId, a_pValue,
                          a_pStatus);
    });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getStringAttribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                                         const char** a_pValue) {
    if (a_pValue == nullptr) {
        return kStatusInvalidParameter;
    }
    return guarded([&](tStatus* a_pStatus) {
        queryStringAttribute(currentSessionManager(), a_ItemHandle, a_AttributeId, a_pValue,
                             a_pStatus);
    });
}

ZU7461_EXPORT int32_t nZUPXIFINDER100_getControllerIDSELMap(void) {
    return kStatusControllerMapNotProvided;
}

} // extern "C"
