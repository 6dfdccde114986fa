#include "pcibrd/dynload.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace nZU7461_14_0 {

namespace {

constexpr const char kFile[] = "dynload";
constexpr std::int32_t kLineLoad = 94;
constexpr std::int32_t kLineLookup = 177;
// The wide path's storage is charged to the allocator, where the growth happens.
constexpr const char kFileAllocator[] = "Allocator";
constexpr std::int32_t kLineAllocator = 32;

constexpr const char* kInvalidParameter = statusCodeName(kStatusInvalidParameter);
constexpr const char* kMemoryFull = statusCodeName(kStatusMemoryFull);
constexpr const char kLoadDebugText[] = "failed to zudynlib_load library";

constexpr std::size_t kMinimumUnits = 127;

// The smallest code point a sequence of 1, 2, 3 or 4 bytes may carry; U+FFFD for those below.
constexpr std::uint32_t kSmallestOfLength[4] = {0, 0x80, 0x800, 0x10000};
constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM
constexpr DWORD kMessageFlags = 0x1300;
// Neutral language, default sublanguage.
constexpr DWORD kMessageLanguage = 0x400;

const WCHAR kEmptyWide[1] = {0};

void recordMemoryFull(tDetailedStatus* a_pStatus) {
    char* l_pCursor = nullptr;
    if (!setDetailedError(a_pStatus, kStatusMemoryFull, &l_pCursor)) {
        return;
    }
    addErrorMembers(l_pCursor, detailsGrowth(a_pStatus), kMemoryFull, kFileAllocator,
                    kLineAllocator);
}

// Makes room for a_Units units and the terminator; false when memory ran out now or before.
bool makeRoom(tWidePath* a_pWide, std::size_t a_Units, tDetailedStatus* a_pStatus,
              tUnitAllocate a_Allocate) {
    if (a_Units <= a_pWide->capacity && a_pWide->data != nullptr) {
        return true;
    }
    if (a_pStatus->code < 0) {
        return false;
    }
    std::size_t l_NewCapacity = a_Units < kMinimumUnits ? kMinimumUnits : a_Units;
    const std::size_t l_Grown = a_pWide->capacity + a_pWide->capacity / 2;
    if (l_Grown > a_pWide->capacity && l_Grown >= l_NewCapacity) {
        l_NewCapacity = l_Grown;
    }
    const std::size_t l_MaxUnits = std::numeric_limits<std::size_t>::max() / sizeof(WCHAR);
    void* l_pMemory = nullptr;
    if (l_NewCapacity < l_MaxUnits) {
        l_pMemory = a_Allocate((l_NewCapacity + 1) * sizeof(WCHAR));
    }
    if (l_pMemory == nullptr) {
        recordMemoryFull(a_pStatus);
        return false;
    }
    WCHAR* l_pNew = static_cast<WCHAR*>(l_pMemory);
    if (a_pWide->length != 0) {
        std::memcpy(l_pNew, a_pWide->data, a_pWide->length * sizeof(WCHAR));
    }
    l_pNew[a_pWide->length] = 0;
    rawRelease(a_pWide->data);
    a_pWide->data = l_pNew;
    a_pWide->capacity = l_NewCapacity;
    return true;
}

void appendUnit(tWidePath* a_pWide, std::uint32_t a_Unit, tDetailedStatus* a_pStatus,
                tUnitAllocate a_Allocate) {
    if (a_pWide->length == std::numeric_limits<std::size_t>::max() ||
        !makeRoom(a_pWide, a_pWide->length + 1, a_pStatus, a_Allocate) || a_pStatus->code < 0) {
        return;
    }
    a_pWide->data[a_pWide->length] = static_cast<WCHAR>(a_Unit & 0xFFFFu);
    ++a_pWide->length;
    a_pWide->data[a_pWide->length] = 0;
}

void appendCodePoint(tWidePath* a_pWide, std::uint32_t a_CodePoint, tDetailedStatus* a_pStatus,
                     tUnitAllocate a_Allocate) {
    if (a_CodePoint <= 0xFFFFu) {
        appendUnit(a_pWide, a_CodePoint, a_pStatus, a_Allocate);
        return;
    }
    // High surrogate: 0xD800 + ((code point - 0x10000) >> 10), folded into one constant.
    appendUnit(a_pWide, (a_CodePoint >> 10) + 0xD7C0u, a_pStatus, a_Allocate);
    appendUnit(a_pWide, (a_CodePoint & 0x3FFu) + 0xDC00u, a_pStatus, a_Allocate);
}

// Some system texts name the file as the insert "%1" ("%1 is not a valid Win32 application."),
// which ignore-inserts leaves as it is: yields the text with every "%1" replaced by a_pName,
// null when there is none to replace. Without memory for that, the inserts are dropped from
// a_pMessage itself, which only shortens it.
char* fillInsert(char* a_pMessage, const char* a_pName) {
    static const char kInsert[] = "%1";
    const std::size_t l_InsertLength = sizeof kInsert - 1;
    std::size_t l_Count = 0;
    for (const char* l_pAt = std::strstr(a_pMessage, kInsert); l_pAt != nullptr;
         l_pAt = std::strstr(l_pAt + l_InsertLength, kInsert)) {
        ++l_Count;
    }
    if (l_Count == 0) {
        return nullptr;
    }
    const std::size_t l_MessageLength = std::strlen(a_pMessage);
    const std::size_t l_NameLength = std::strlen(a_pName);
    const std::size_t l_Max = std::numeric_limits<std::size_t>::max();
    char* l_pFilled = nullptr;
    if (l_NameLength <= (l_Max - l_MessageLength - 1) / l_Count) {
        l_pFilled = static_cast<char*>(rawAllocate(l_MessageLength + l_Count * l_NameLength + 1));
    }
    char* l_pOut = l_pFilled != nullptr ? l_pFilled : a_pMessage;
    for (const char* l_pIn = a_pMessage; *l_pIn != '\0';) {
        if (std::strncmp(l_pIn, kInsert, l_InsertLength) == 0) {
            if (l_pFilled != nullptr) {
                l_pOut = std::copy(a_pName, a_pName + l_NameLength, l_pOut);
            }
            l_pIn += l_InsertLength;
        } else {
            *l_pOut++ = *l_pIn++;
        }
    }
    *l_pOut = '\0';
    return l_pFilled;
}

// Appends the "zudynlib_debug" and "internal_error" objects of a load or lookup failure.
void addLoaderDetails(char* a_pCursor, const tGrowth& a_rGrowth, const char* a_pKey,
                      const char* a_pValue, DWORD a_Error) {
    char* l_pCursor = enterObject(addObjectGrowing(a_pCursor, "zudynlib_debug", a_rGrowth));
    l_pCursor = addStringGrowing(l_pCursor, "debug", kLoadDebugText, a_rGrowth);
    l_pCursor = leaveObject(addStringGrowing(l_pCursor, a_pKey, a_pValue, a_rGrowth));
    l_pCursor = enterObject(addObjectGrowing(l_pCursor, "internal_error", a_rGrowth));
    l_pCursor = addStringGrowing(l_pCursor, "api", "win32", a_rGrowth);
    l_pCursor = addUIntGrowing(l_pCursor, "code", static_cast<std::uint32_t>(a_Error), a_rGrowth);

    char* l_pMessage = nullptr;
    const DWORD l_Length = FormatMessageA(kMessageFlags, nullptr, a_Error, kMessageLanguage,
                                          reinterpret_cast<LPSTR>(&l_pMessage), 0, nullptr);
    if (l_Length != 0 && l_pMessage != nullptr) {
        char* l_pFilled = fillInsert(l_pMessage, a_pValue);
        addStringGrowing(l_pCursor, "string", l_pFilled != nullptr ? l_pFilled : l_pMessage,
                         a_rGrowth);
        rawRelease(l_pFilled);
    }
    LocalFree(l_pMessage);
}

void recordLoaderFailure(std::int32_t a_Line, const char* a_pKey, const char* a_pValue,
                         DWORD a_Error, tDetailedStatus* a_pStatus) {
    char* l_pCursor = nullptr;
    if (!setDetailedError(a_pStatus, kStatusInvalidParameter, &l_pCursor)) {
        return;
    }
    const tGrowth l_Growth = detailsGrowth(a_pStatus);
    l_pCursor = addErrorMembers(l_pCursor, l_Growth, kInvalidParameter, kFile, a_Line);
    addLoaderDetails(l_pCursor, l_Growth, a_pKey, a_pValue != nullptr ? a_pValue : "", a_Error);
}

} // namespace

void releaseWidePath(tWidePath* a_pWide) noexcept {
    rawRelease(a_pWide->data);
    *a_pWide = makeWidePath();
}

void utf8ToWide(const char* a_pPath, tWidePath* a_pWide, tDetailedStatus* a_pStatus,
                tUnitAllocate a_Allocate) noexcept {
    if (a_pPath == nullptr) {
        return;
    }
    const unsigned char* l_pByte = reinterpret_cast<const unsigned char*>(a_pPath);
    while (*l_pByte != 0) {
        const std::uint32_t l_Lead = *l_pByte;
        std::size_t l_Bytes = 1;
        std::uint32_t l_CodePoint = l_Lead;
        if ((l_Lead & 0xE0u) == 0xC0u) {
            l_Bytes = 2;
            l_CodePoint = l_Lead & 0x1Fu;
        } else if ((l_Lead & 0xF0u) == 0xE0u) {
            l_Bytes = 3;
            l_CodePoint = l_Lead & 0x0Fu;
        } else if ((l_Lead & 0xF8u) == 0xF0u) {
            l_Bytes = 4;
            l_CodePoint = l_Lead & 0x07u;
        }
        // Bytes that cannot lead (0x80 to 0xBF, 0xF8 to 0xFF) stand for themselves.
        std::size_t l_Taken = 1;
        while (l_Taken < l_Bytes && l_pByte[l_Taken] != 0) {
            l_CodePoint = (l_CodePoint << 6) | (l_pByte[l_Taken] & 0x3Fu);
            ++l_Taken;
        }
        if (l_Taken < l_Bytes) {
            for (std::size_t l_Index = 0; l_Index < l_Taken; ++l_Index) {
                appendUnit(a_pWide, l_pByte[l_Index], a_pStatus, a_Allocate);
            }
            return;
        }
        // An overlong form (C0 80 for 0, say) stands for nothing: it becomes the replacement
        // character, so that no 0 unit ends the name early inside.
        if (l_CodePoint < kSmallestOfLength[l_Bytes - 1]) {
            l_CodePoint = kReplacementCharacter;
        }
        appendCodePoint(a_pWide, l_CodePoint, a_pStatus, a_Allocate);
        l_pByte += l_Bytes;
    }
}

HMODULE loadLibraryUsing(const char* a_pPath, tDetailedStatus* a_pStatus,
                         tUnitAllocate a_Allocate) noexcept {
    if (a_pStatus->code < 0) {
        return nullptr;
    }
    tWidePath l_Wide = makeWidePath();
    utf8ToWide(a_pPath, &l_Wide, a_pStatus, a_Allocate);
    // A conversion that ran out of memory still gets its attempt with what was converted.
    HMODULE l_Module =
        LoadLibraryExW(l_Wide.data != nullptr ? l_Wide.data : kEmptyWide, nullptr, 0);
    if (l_Module == nullptr) {
        const DWORD l_Error = GetLastError();
        recordLoadFailure(a_pPath, l_Error, a_pStatus);
    }
    releaseWidePath(&l_Wide);
    return l_Module;
}

HMODULE loadLibrary(const char* a_pPath, tDetailedStatus* a_pStatus) noexcept {
    return loadLibraryUsing(a_pPath, a_pStatus, &rawAllocate);
}

FARPROC findSymbol(HMODULE a_Module, const char* a_pName, tDetailedStatus* a_pStatus) noexcept {
    if (a_pStatus->code < 0) {
        return nullptr;
    }
    FARPROC l_pEntry = GetProcAddress(a_Module, a_pName);
    if (l_pEntry == nullptr) {
        const DWORD l_Error = GetLastError();
        recordLookupFailure(a_pName, l_Error, a_pStatus);
    }
    return l_pEntry;
}

void recordLoadFailure(const char* a_pPath, DWORD a_Error, tDetailedStatus* a_pStatus) noexcept {
    recordLoaderFailure(kLineLoad, "path", a_pPath, a_Error, a_pStatus);
}

void recordLookupFailure(const char* a_pName, DWORD a_Error, tDetailedStatus* a_pStatus) noexcept {
    recordLoaderFailure(kLineLookup, "zudynlib_symbol", a_pName, a_Error, a_pStatus);
}

} // namespace nZU7461_14_0
