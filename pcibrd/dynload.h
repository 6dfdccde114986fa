// Loading a dynamic library by a UTF-8 path and looking up its entry points, with every failure
// recorded in a tDetailedStatus together with the system's error number and message text.
#pragma once

#include <cstddef>

#include "platform/memoryAllocation.h"
#include "platform/win32/zuPlatform.h"
#include "status/tDetailedStatus.h"

namespace nZU7461_14_0 {

// UTF-16 text that exists only while a library is being loaded. Whenever data is set, the unit
// after the last one is 0.
struct tWidePath {
    WCHAR* data;
    std::size_t capacity; // units, not counting the terminator
    std::size_t length;   // units
};

// Where a wide path's storage comes from; yields null when memory runs out. The storage is
// given back with rawRelease.
using tUnitAllocate = void* (*)(std::size_t a_Bytes);

inline tWidePath makeWidePath() {
    return tWidePath{nullptr, 0, 0};
}
void releaseWidePath(tWidePath* a_pWide) noexcept;

// Appends the UTF-16 form of a_pPath to a_pWide. Running out of memory records -52000
// (Allocator, 32), after which nothing more is appended. A multi-byte sequence that the
// terminator cuts short gives each of its bytes as a unit of its own, so no byte after the
// terminator is ever read.
void utf8ToWide(const char* a_pPath, tWidePath* a_pWide, tDetailedStatus* a_pStatus,
                tUnitAllocate a_Allocate = &rawAllocate) noexcept;

// Loads the library with the system's default search order, or records -52005 (dynload, 94)
// and yields null. Nothing is done while the status holds an error.
HMODULE loadLibrary(const char* a_pPath, tDetailedStatus* a_pStatus) noexcept;
// loadLibrary with the wide path's storage taken from a_Allocate, so that tests can make the
// conversion run out of memory without touching every other allocation.
HMODULE loadLibraryUsing(const char* a_pPath, tDetailedStatus* a_pStatus,
                         tUnitAllocate a_Allocate) noexcept;

// Looks up an exported entry point, or records -52005 (dynload, 177) and yields null. Nothing
// is done while the status holds an error.
FARPROC findSymbol(HMODULE a_Module, const char* a_pName, tDetailedStatus* a_pStatus) noexcept;

// The failure documents, given the system's error number. The message text for the number is
// added under "internal_error"/"string" only when the system has one.
void recordLoadFailure(const char* a_pPath, DWORD a_Error, tDetailedStatus* a_pStatus) noexcept;
void recordLookupFailure(const char* a_pName, DWORD a_Error, tDetailedStatus* a_pStatus) noexcept;

} // namespace nZU7461_14_0
