#include "failingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The thread sanitizer's runtime brings its own allocation functions.
#if defined(__SANITIZE_THREAD__)
#define ZU_TEST_KEEP_ALLOCATION_FUNCTIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZU_TEST_KEEP_ALLOCATION_FUNCTIONS 1
#endif
#endif

namespace nZU7461_14_0 {
namespace nTest {

namespace {

enum tMode : int { kOff, kNth, kSize, kAfterSize };

std::atomic<int> g_Mode{kOff};
std::atomic<long> g_Countdown{0};
std::atomic<std::size_t> g_Size{0};
std::atomic<bool> g_Tripped{false};
std::atomic<long> g_Failed{0};

void arm(int a_Mode, long a_Countdown, std::size_t a_Size) {
    g_Mode = kOff;
    g_Countdown = a_Countdown;
    g_Size = a_Size;
    g_Tripped = false;
    g_Failed = 0;
    g_Mode = a_Mode;
}

} // namespace

bool canFailAllocations() {
#ifdef ZU_TEST_KEEP_ALLOCATION_FUNCTIONS
    return false;
#else
    return true;
#endif
}

void failNthAllocation(long a_Nth) {
    arm(kNth, a_Nth, 0);
}
void failAllocationsOfSize(std::size_t a_Size) {
    arm(kSize, 0, a_Size);
}
void failAllocationsAfterSize(std::size_t a_Size) {
    arm(kAfterSize, 0, a_Size);
}
void stopFailingAllocations() {
    g_Mode = kOff;
}
long failedAllocations() {
    return g_Failed.load();
}

} // namespace nTest
} // namespace nZU7461_14_0

#ifndef ZU_TEST_KEEP_ALLOCATION_FUNCTIONS

namespace nZU7461_14_0 {
namespace nTest {
namespace {

bool shouldFail(std::size_t a_Size) {
    switch (g_Mode.load()) {
    case kNth:
        return g_Countdown.fetch_sub(1) == 1;
    case kSize:
        return a_Size == g_Size.load();
    case kAfterSize:
        if (g_Tripped.load()) {
            return true;
        }
        if (a_Size == g_Size.load()) {
            g_Tripped = true;
        }
        return false;
    default:
        return false;
    }
}

void* allocate(std::size_t a_Size) noexcept {
    if (shouldFail(a_Size)) {
        ++g_Failed;
        return nullptr;
    }
    return std::malloc(a_Size == 0 ? 1 : a_Size);
}
} // namespace
} // namespace nTest
} // namespace nZU7461_14_0

void* operator new(std::size_t a_Size) {
    void* l_pMemory = nZU7461_14_0::nTest::allocate(a_Size);
    if (l_pMemory == nullptr) {
        throw std::bad_alloc();
    }
    return l_pMemory;
}
void* operator new[](std::size_t a_Size) {
    void* l_pMemory = nZU7461_14_0::nTest::allocate(a_Size);
    if (l_pMemory == nullptr) {
        throw std::bad_alloc();
    }
    return l_pMemory;
}
void* operator new(std::size_t a_Size, const std::nothrow_t&) noexcept {
    return nZU7461_14_0::nTest::allocate(a_Size);
}
void* operator new[](std::size_t a_Size, const std::nothrow_t&) noexcept {
    return nZU7461_14_0::nTest::allocate(a_Size);
}
void operator delete(void* a_pMemory) noexcept {
    std::free(a_pMemory);
}
void operator delete[](void* a_pMemory) noexcept {
    std::free(a_pMemory);
}
void operator delete(void* a_pMemory, std::size_t) noexcept {
    std::free(a_pMemory);
}
void operator delete[](void* a_pMemory, std::size_t) noexcept {
    std::free(a_pMemory);
}
void operator delete(void* a_pMemory, const std::nothrow_t&) noexcept {
    std::free(a_pMemory);
}
void operator delete[](void* a_pMemory, const std::nothrow_t&) noexcept {
    std::free(a_pMemory);
}

#endif
