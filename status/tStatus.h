// Fixed-size status record carried by pointer through every finder-side operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zu7461/zu7461.h"

namespace nZU7461_14_0 {

// Codes this component raises itself; library codes pass through unchanged.
enum : std::int32_t {
    kStatusMemoryFull = ZU7461_STATUS_MEMORY_FULL,
    kStatusControllerMapNotProvided = ZU7461_STATUS_CONTROLLER_MAP_NOT_PROVIDED,
    kStatusSessionManagerMissing = ZU7461_STATUS_SESSION_MANAGER_MISSING,
    kStatusInvalidParameter = ZU7461_STATUS_INVALID_PARAMETER,
    kStatusBufferTooSmall = ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL,
    kStatusEntryPointNotLoaded = ZU7461_STATUS_BRIDGE_ENTRY_POINT_NOT_LOADED,
    kStatusMalformedSlotPath = ZU7461_STATUS_MALFORMED_SLOT_PATH,
};

// The symbolic name of a_Code, or null when it has none.
constexpr const char* statusCodeName(std::int32_t a_Code) {
#define ZU_STATUS_NAME_CASE(a_Code_, a_Name_)                                                      \
    if (a_Code == (a_Code_)) {                                                                     \
        return a_Name_;                                                                            \
    }
    ZU7461_STATUS_NAMES(ZU_STATUS_NAME_CASE)
#undef ZU_STATUS_NAME_CASE
    return nullptr;
}

constexpr std::uint32_t kStatusFullSize = 208;
constexpr std::size_t kStatusComponentSize = 10;
constexpr std::size_t kStatusFileSize = 101;
constexpr std::size_t kStatusExtensionWords = 10;

// The one component name this module ever records.
constexpr const char kComponentName[] = "zu7461";

struct tStatus {
    std::uint32_t structureSize;
    std::int32_t code;
    char component[kStatusComponentSize];
    char file[kStatusFileSize];
    std::uint32_t line;
    std::uint64_t extension[kStatusExtensionWords];
};

static_assert(offsetof(tStatus, code) == 4, "tStatus layout");
static_assert(offsetof(tStatus, component) == 8, "tStatus layout");
static_assert(offsetof(tStatus, file) == 18, "tStatus layout");
static_assert(offsetof(tStatus, line) == 120, "tStatus layout");
static_assert(offsetof(tStatus, extension) == 128, "tStatus layout");
static_assert(sizeof(tStatus) == kStatusFullSize, "tStatus must stay 208 bytes");

// A full-size record with code 0 and every text empty. Every exported call makes one, so only
// what makes it empty is written: clearing all 208 bytes cost more than the rest of a query.
inline tStatus makeStatus() {
    tStatus l_Status;
    l_Status.structureSize = kStatusFullSize;
    l_Status.code = 0;
    l_Status.component[0] = '\0';
    l_Status.file[0] = '\0';
    l_Status.line = 0;
    l_Status.extension[0] = 0;
    return l_Status;
}

// The single precedence rule: the first error wins, an error replaces a warning, a warning
// never replaces a warning and 0 never clears anything.
inline bool statusCodeReplaces(std::int32_t a_Stored, std::int32_t a_New) {
    return (a_Stored == 0 && a_New != 0) || (a_Stored > 0 && a_New < 0);
}

bool setStatus(tStatus* a_pStatus, std::int32_t a_Code, const char* a_pComponent,
               const char* a_pFile, std::uint32_t a_Line);
bool mergeStatus(tStatus* a_pTarget, const tStatus* a_pSource);

// Records a_Code with this module's component name.
inline bool raiseStatus(tStatus* a_pStatus, std::int32_t a_Code, const char* a_pFile,
                        std::uint32_t a_Line) {
    return setStatus(a_pStatus, a_Code, kComponentName, a_pFile, a_Line);
}

inline bool isFailed(const tStatus* a_pStatus) {
    return a_pStatus->code < 0;
}

} // namespace nZU7461_14_0
