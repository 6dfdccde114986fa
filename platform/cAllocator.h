// Byte storage for growable texts; failures become -52000 (cAllocator, 51).
#pragma once

#include <cstddef>

#include "status/tStatus.h"

namespace nZU7461_14_0 {

class cAllocator {
public:
    // A request for 0 bytes asks for 1. Allocates nothing while the status holds an error.
    static char* allocate(std::size_t a_Size, tStatus* a_pStatus) noexcept;
    static void release(char* a_pMemory) noexcept;
    // Records the failure of a size computation that overflowed.
    static void recordFailure(tStatus* a_pStatus) noexcept;
};

} // namespace nZU7461_14_0
