#include "platform/cAllocator.h"

#include "platform/memoryAllocation.h"

namespace nZU7461_14_0 {

namespace {
constexpr const char kFile[] = "cAllocator";
constexpr std::uint32_t kLineAllocation = 51;
} // namespace

char* cAllocator::allocate(std::size_t a_Size, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus)) {
        return nullptr;
    }
    char* l_pMemory = static_cast<char*>(rawAllocate(a_Size == 0 ? 1 : a_Size));
    if (l_pMemory == nullptr) {
        recordFailure(a_pStatus);
    }
    return l_pMemory;
}

void cAllocator::release(char* a_pMemory) noexcept {
    rawRelease(a_pMemory);
}

void cAllocator::recordFailure(tStatus* a_pStatus) noexcept {
    raiseStatus(a_pStatus, kStatusMemoryFull, kFile, kLineAllocation);
}

} // namespace nZU7461_14_0
