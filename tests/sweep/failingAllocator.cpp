#include "tests/sweep/failingAllocator.h"

#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_Armed{false};
std::atomic<long> g_Countdown{0};
std::atomic<long> g_Allocations{0};
std::atomic<long> g_Releases{0};
std::atomic<bool> g_Injected{false};

void* allocate(std::size_t a_Size) noexcept {
    if (g_Armed.load()) {
        if (g_Countdown.load() > 0 && g_Countdown.fetch_sub(1) == 1) {
            g_Injected = true;
            return nullptr;
        }
        ++g_Allocations;
    }
    return std::malloc(a_Size == 0 ? 1 : a_Size);
}

void release(void* a_pMemory) noexcept {
    if (a_pMemory != nullptr && g_Armed.load()) {
        ++g_Releases;
    }
    std::free(a_pMemory);
}

} // namespace

namespace zuTest {

void armAllocationFailure(long a_FailAt) {
    g_Allocations = 0;
    g_Releases = 0;
    g_Injected = false;
    g_Countdown = a_FailAt;
    g_Armed = true;
}

tAllocationCounters disarmAllocationFailure() {
    g_Armed = false;
    return tAllocationCounters{g_Allocations.load(), g_Releases.load(), g_Injected.load()};
}

} // namespace zuTest

void* operator new(std::size_t a_Size) {
    if (void* l_pMemory = allocate(a_Size)) {
        return l_pMemory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t a_Size) {
    if (void* l_pMemory = allocate(a_Size)) {
        return l_pMemory;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t a_Size, const std::nothrow_t&) noexcept {
    return allocate(a_Size);
}
void* operator new[](std::size_t a_Size, const std::nothrow_t&) noexcept {
    return allocate(a_Size);
}
void operator delete(void* a_pMemory) noexcept {
    release(a_pMemory);
}
void operator delete[](void* a_pMemory) noexcept {
    release(a_pMemory);
}
void operator delete(void* a_pMemory, std::size_t) noexcept {
    release(a_pMemory);
}
void operator delete[](void* a_pMemory, std::size_t) noexcept {
    release(a_pMemory);
}
void operator delete(void* a_pMemory, const std::nothrow_t&) noexcept {
    release(a_pMemory);
}
void operator delete[](void* a_pMemory, const std::nothrow_t&) noexcept {
    release(a_pMemory);
}
