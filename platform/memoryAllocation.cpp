#include "platform/memoryAllocation.h"

namespace nZU7461_14_0 {

namespace {
constexpr const char kFile[] = "memoryAllocation";
constexpr std::uint32_t kLineAllocation = 291;
} // namespace

void* allocateWithStatus(std::size_t a_Size, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return nullptr;
    }
    void* l_pMemory = rawAllocate(a_Size);
    if (l_pMemory == nullptr) {
        raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineAllocation);
    }
    return l_pMemory;
}

} // namespace nZU7461_14_0
