#include "status/tDetailedStatus.h"

#include <cstring>
#include <new>

namespace nZU7461_14_0 {

namespace {

// A first buffer takes this much, enough for every document this component writes.
constexpr std::uint32_t kFirstDetailsCapacity = 512;

// The global allocation functions directly: status records sit below the platform code (whose
// allocation reports through them), and a test that replaces these functions still reaches
// every details buffer.
char* allocateDetails(std::uint32_t a_Size) noexcept {
    return static_cast<char*>(::operator new(a_Size, std::nothrow));
}
void releaseDetails(char* a_pBuffer) noexcept {
    ::operator delete(a_pBuffer);
}
constexpr std::uint32_t kLargestDetailsRequest = 0x7FFFFFFFU;
// Growth doubles; beyond this the doubled request would not fit a capacity.
constexpr std::uint32_t kLargestGrowableCapacity = 0x40000000U;
// Room for "file" (100 characters), "line" and "component" (9 characters).
constexpr std::uint32_t kStatusMembersCapacity = 258;
// Everything of "{}" with "file", "line" (10 digits), "component", the separators, the
// terminator and the end mark, but the two escaped texts.
constexpr std::size_t kStatusMembersFrame = 46;
constexpr std::size_t kComponentChars = kStatusComponentSize - 1;
constexpr std::size_t kFileChars = kStatusFileSize - 1;

bool ensureCapacity(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    if (a_pDetailed->capacity >= a_Capacity) {
        return true;
    }
    return a_pDetailed->reallocate != nullptr && a_pDetailed->reallocate(a_pDetailed, a_Capacity);
}

// Decodes the last a_MaxChars bytes of a string value's decoded text into a_pOut (a_MaxChars + 1
// bytes). The text is measured first and the cut made between escapes, so that a text with
// escapes loses only its head, never characters there is room for, and a cut never falls inside
// an escape, where the rest would decode differently or not at all. A cut inside a UTF-8
// sequence moves on to the next character. Undecodable text leaves a_pOut empty.
void decodeTail(const tJsonValue& a_rString, std::size_t a_MaxChars, char* a_pOut) {
    const char* l_pRaw = a_rString.start;
    const std::size_t l_Length = static_cast<std::size_t>(a_rString.length);
    a_pOut[0] = '\0';
    std::size_t l_Decoded = 0;
    for (std::size_t l_At = 0; l_At < l_Length;) {
        const tDecodedUnit l_Unit = decodeUnit(l_pRaw + l_At, l_Length - l_At);
        if (l_Unit.rawLength == 0) {
            return;
        }
        l_Decoded += l_Unit.byteCount;
        l_At += l_Unit.rawLength;
    }
    std::size_t l_At = 0;
    if (l_Decoded > a_MaxChars) {
        while (l_Decoded > a_MaxChars) {
            const tDecodedUnit l_Unit = decodeUnit(l_pRaw + l_At, l_Length - l_At);
            l_Decoded -= l_Unit.byteCount;
            l_At += l_Unit.rawLength;
        }
        for (int l_Skipped = 0; l_Skipped < 3 && l_At < l_Length &&
                                (static_cast<unsigned char>(l_pRaw[l_At]) & 0xC0) == 0x80;
             ++l_Skipped) {
            ++l_At;
        }
    }
    // Never more than a_MaxChars bytes are decoded: each unit yields at most what was counted.
    if (unescapeString(l_pRaw + l_At, l_Length - l_At, a_pOut) == nullptr) {
        a_pOut[0] = '\0';
    }
}

// The value of a root member, parsed, or kind kJsonError when it is missing or malformed.
tJsonValue memberValue(const char* a_pDocument, const char* a_pKey) {
    tJsonValue l_Value{};
    l_Value.kind = kJsonError;
    // findMember answers the value's first byte, past any whitespace.
    const char* l_pAt = findMember(a_pDocument, a_pKey);
    if (l_pAt == nullptr) {
        return l_Value;
    }
    if (parseValue(l_pAt, &l_Value) == nullptr) {
        l_Value.kind = kJsonError;
    }
    return l_Value;
}

char* growDetailsCallback(char* a_pCursor, void* a_pContext) {
    return growDetails(a_pCursor, static_cast<tDetailedStatus*>(a_pContext));
}

} // namespace

void restartDocument(tDetailedStatus* a_pDetailed) {
    if (a_pDetailed->json == nullptr ||
        !ensureCapacity(a_pDetailed, static_cast<std::uint32_t>(kSmallestDocumentCapacity))) {
        return;
    }
    initDocument(a_pDetailed->json, a_pDetailed->capacity, "{}");
}

bool reallocateDetails(tDetailedStatus* a_pDetailed, std::uint32_t a_NewCapacity) {
    if (a_pDetailed == nullptr) {
        return false;
    }
    if (a_NewCapacity == 0) {
        releaseDetails(a_pDetailed->json);
        a_pDetailed->json = nullptr;
        a_pDetailed->capacity = 0;
        return true;
    }
    if (a_NewCapacity <= a_pDetailed->capacity) {
        return true;
    }
    if (a_NewCapacity > kLargestDetailsRequest) {
        return false;
    }
    std::uint32_t l_Size = kFirstDetailsCapacity;
    while (l_Size < a_NewCapacity) {
        l_Size <<= 1;
    }
    char* l_pBuffer = allocateDetails(l_Size);
    if (l_pBuffer == nullptr) {
        return false;
    }
    // Only a text that ends inside the old buffer is carried over; anything else was never a
    // document of this buffer.
    const char* l_pOld = a_pDetailed->json;
    const bool l_KeepOld = l_pOld != nullptr && a_pDetailed->capacity >= 2 &&
                           strnlen(l_pOld, a_pDetailed->capacity) + 2 <= a_pDetailed->capacity;
    initDocument(l_pBuffer, l_Size, l_KeepOld ? l_pOld : "{}");
    releaseDetails(a_pDetailed->json);
    a_pDetailed->json = l_pBuffer;
    a_pDetailed->capacity = l_Size;
    return true;
}

char* growDetails(char* a_pCursor, tDetailedStatus* a_pDetailed) {
    if (a_pCursor == nullptr || a_pDetailed == nullptr || a_pDetailed->json == nullptr) {
        return nullptr;
    }
    const std::uint32_t l_Capacity = a_pDetailed->capacity;
    if (l_Capacity < 2 || l_Capacity > kLargestGrowableCapacity) {
        return nullptr;
    }
    const std::ptrdiff_t l_Distance = a_pCursor - a_pDetailed->json;
    // Growth that does not grow (a capacity of 2 asks for 2, or a reallocate that answers true
    // without growing) is a failure: the builder would retry it for ever.
    const std::uint32_t l_Request = 2 * l_Capacity - 2;
    if (!ensureCapacity(a_pDetailed, l_Request) || a_pDetailed->capacity <= l_Capacity) {
        return nullptr;
    }
    if (findDocumentEnd(a_pDetailed->json) == nullptr) {
        return nullptr;
    }
    return a_pDetailed->json + l_Distance;
}

tDetailedStatus makeDetailedStatus() {
    return tDetailedStatus{0, 0, &reallocateDetails, nullptr};
}

void releaseDetailedStatus(tDetailedStatus* a_pDetailed) {
    if (a_pDetailed == nullptr) {
        return;
    }
    a_pDetailed->code = 0;
    if (a_pDetailed->reallocate != nullptr) {
        a_pDetailed->reallocate(a_pDetailed, 0);
    }
}

bool statusToDetailed(const tStatus* a_pStatus, tDetailedStatus* a_pDetailed) {
    if (a_pStatus == nullptr || a_pDetailed == nullptr) {
        return false;
    }
    if (a_pStatus->code == 0 || !statusCodeReplaces(a_pDetailed->code, a_pStatus->code)) {
        return true;
    }
    a_pDetailed->code = a_pStatus->code;
    restartDocument(a_pDetailed);
    if (a_pStatus->structureSize < kStatusFullSize) {
        return true;
    }
    // The record's texts are copied bounded: a record filled by someone else may lack its zero.
    char l_File[kStatusFileSize];
    const std::size_t l_FileLength = strnlen(a_pStatus->file, kFileChars);
    std::memcpy(l_File, a_pStatus->file, l_FileLength);
    l_File[l_FileLength] = '\0';
    char l_Component[kStatusComponentSize];
    const std::size_t l_ComponentLength = strnlen(a_pStatus->component, kComponentChars);
    std::memcpy(l_Component, a_pStatus->component, l_ComponentLength);
    l_Component[l_ComponentLength] = '\0';

    // Texts full of escapes take more than the usual 258 bytes; the buffer is sized for the
    // actual members so that none of them is lost.
    const std::size_t l_Need =
        kStatusMembersFrame + escapedLength(l_File) + escapedLength(l_Component);
    const std::uint32_t l_Capacity = l_Need > kStatusMembersCapacity
                                         ? static_cast<std::uint32_t>(l_Need)
                                         : kStatusMembersCapacity;
    bool l_LineAdded = false;
    if (l_FileLength != 0 && ensureCapacity(a_pDetailed, l_Capacity)) {
        char* l_pCursor = addString(findDocumentEnd(a_pDetailed->json), "file", l_File);
        l_LineAdded = addUInt(l_pCursor, "line", a_pStatus->line) != nullptr;
    }
    if (l_ComponentLength == 0) {
        return l_FileLength == 0 || l_LineAdded;
    }
    if (!ensureCapacity(a_pDetailed, l_Capacity)) {
        return false;
    }
    char* l_pEnd = findDocumentEnd(a_pDetailed->json);
    return l_pEnd != nullptr && addString(l_pEnd, "component", l_Component) != nullptr;
}

bool detailedToStatus(const tDetailedStatus* a_pDetailed, tStatus* a_pStatus) {
    if (a_pDetailed == nullptr || a_pStatus == nullptr || a_pDetailed->code == 0 ||
        a_pStatus->code < 0) {
        return true;
    }
    char l_Component[kStatusComponentSize] = {};
    char l_File[kStatusFileSize] = {};
    std::uint32_t l_Line = 0;
    // The whole document is validated first: findMember stops at the first match and would
    // take members out of a document that turns out broken further on.
    if (a_pDetailed->json != nullptr && findDocumentEnd(a_pDetailed->json) != nullptr) {
        const tJsonValue l_ComponentValue = memberValue(a_pDetailed->json, "component");
        if (l_ComponentValue.kind == kJsonString && l_ComponentValue.length != 0) {
            decodeTail(l_ComponentValue, kComponentChars, l_Component);
        }
        const tJsonValue l_FileValue = memberValue(a_pDetailed->json, "file");
        if (l_FileValue.kind == kJsonString && l_FileValue.length != 0) {
            decodeTail(l_FileValue, kFileChars, l_File);
        }
        const tJsonValue l_LineValue = memberValue(a_pDetailed->json, "line");
        if (l_LineValue.kind == kJsonNumber &&
            !numberToInt32(l_LineValue.start, static_cast<std::size_t>(l_LineValue.length),
                           l_LineValue.hasFraction, &l_Line)) {
            l_Line = 0;
        }
    }
    setStatus(a_pStatus, a_pDetailed->code, l_Component, l_File, l_Line);
    return true;
}

tGrowth detailsGrowth(tDetailedStatus* a_pDetailed) {
    return tGrowth{&growDetailsCallback, a_pDetailed};
}

bool setDetailedError(tDetailedStatus* a_pDetailed, std::int32_t a_Code, char** a_ppCursor) {
    if (a_ppCursor != nullptr) {
        *a_ppCursor = nullptr;
    }
    if (a_pDetailed == nullptr || !statusCodeReplaces(a_pDetailed->code, a_Code)) {
        return false;
    }
    a_pDetailed->code = a_Code;
    restartDocument(a_pDetailed);
    char* l_pCursor = nullptr;
    if (ensureCapacity(a_pDetailed, static_cast<std::uint32_t>(kSmallestDocumentCapacity))) {
        l_pCursor = findDocumentEnd(a_pDetailed->json);
    }
    if (a_ppCursor != nullptr) {
        *a_ppCursor = l_pCursor;
    }
    return true;
}

char* addErrorMembers(char* a_pCursor, const tGrowth& a_rGrowth, const char* a_pErrorConstant,
                      const char* a_pFile, std::int32_t a_Line) {
    a_pCursor = addStringGrowing(a_pCursor, "error_constant", a_pErrorConstant, a_rGrowth);
    a_pCursor = addStringGrowing(a_pCursor, "file", a_pFile, a_rGrowth);
    a_pCursor = addIntGrowing(a_pCursor, "line", a_Line, a_rGrowth);
    return addStringGrowing(a_pCursor, "component", kComponentName, a_rGrowth);
}

tDetailedStatusScope::tDetailedStatusScope(tStatus* a_pTarget)
    : m_pTarget(a_pTarget), m_Own(makeDetailedStatus()) {
    statusToDetailed(m_pTarget, &m_Own);
}

tDetailedStatusScope::~tDetailedStatusScope() {
    detailedToStatus(&m_Own, m_pTarget);
    releaseDetailedStatus(&m_Own);
}

tStatusScope::tStatusScope(tDetailedStatus* a_pSource) : m_pSource(a_pSource), m_Own(makeStatus()) {
    detailedToStatus(m_pSource, &m_Own);
}

tStatusScope::~tStatusScope() {
    statusToDetailed(&m_Own, m_pSource);
}

} // namespace nZU7461_14_0
