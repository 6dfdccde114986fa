// The bridge-side status record: a code with a growable JSON details document.
#pragma once

#include <cstdint>

#include "status/detailsDocument.h"
#include "status/tStatus.h"

namespace nZU7461_14_0 {

struct tDetailedStatus;
using tReallocateDetails = bool (*)(tDetailedStatus* a_pDetailed, std::uint32_t a_NewCapacity);

struct tDetailedStatus {
    std::int32_t code;
    std::uint32_t capacity;
    tReallocateDetails reallocate;
    char* json;
};

// The default reallocate callback: 0 frees, otherwise at least 512 bytes, then powers of two.
bool reallocateDetails(tDetailedStatus* a_pDetailed, std::uint32_t a_NewCapacity);
// tGrowth callback for producers; a_pContext is the tDetailedStatus.
char* growDetails(char* a_pCursor, tDetailedStatus* a_pDetailed);

// Code 0, no buffer, reallocateDetails.
tDetailedStatus makeDetailedStatus();
// Sets the code to 0 and frees the buffer through the reallocate callback.
void releaseDetailedStatus(tDetailedStatus* a_pDetailed);

bool statusToDetailed(const tStatus* a_pStatus, tDetailedStatus* a_pDetailed);
bool detailedToStatus(const tDetailedStatus* a_pDetailed, tStatus* a_pStatus);

// The growth that producers pass to the growing builders: growDetails over a_pDetailed.
tGrowth detailsGrowth(tDetailedStatus* a_pDetailed);

// Starts the document again as "{}", growing a buffer too small for it first; a record without a
// buffer keeps none.
void restartDocument(tDetailedStatus* a_pDetailed);

// Stores a_Code by the precedence rule and restarts the document as "{}". Returns false (and
// changes nothing) when the code is refused. Otherwise *a_ppCursor receives the cursor at which
// the producer appends its members, or null when no room could be made.
bool setDetailedError(tDetailedStatus* a_pDetailed, std::int32_t a_Code, char** a_ppCursor);

// Appends the four members every producer starts with: "error_constant", "file", "line" (signed)
// and "component" ("zu7461"). Returns the cursor after them, or null.
char* addErrorMembers(char* a_pCursor, const tGrowth& a_rGrowth, const char* a_pErrorConstant,
                      const char* a_pFile, std::int32_t a_Line);

// Lends a tStatus to code that takes a tDetailedStatus, and writes the outcome back.
class tDetailedStatusScope {
public:
    explicit tDetailedStatusScope(tStatus* a_pTarget);
    ~tDetailedStatusScope();
    tDetailedStatusScope(const tDetailedStatusScope&) = delete;
    tDetailedStatusScope& operator=(const tDetailedStatusScope&) = delete;
    tDetailedStatus* get() { return &m_Own; }

private:
    tStatus* m_pTarget;
    tDetailedStatus m_Own;
};

// Lends a tDetailedStatus to code that takes a tStatus, and writes the outcome back.
class tStatusScope {
public:
    explicit tStatusScope(tDetailedStatus* a_pSource);
    ~tStatusScope();
    tStatusScope(const tStatusScope&) = delete;
    tStatusScope& operator=(const tStatusScope&) = delete;
    tStatus* get() { return &m_Own; }

private:
    tDetailedStatus* m_pSource;
    tStatus m_Own;
};

} // namespace nZU7461_14_0
