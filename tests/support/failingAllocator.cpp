#include "tests/support/failingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#ifndef _WIN32
#include <dlfcn.h>
#include <execinfo.h>
#endif

// The thread sanitizer's runtime brings its own allocation functions.
#if defined(__SANITIZE_THREAD__)
#define ZU_TEST_KEEP_ALLOCATION_FUNCTIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZU_TEST_KEEP_ALLOCATION_FUNCTIONS 1
#endif
#endif

namespace {

enum tMode : int { kOff, kNth, kSize, kAfterSize };

std::atomic<int> g_Mode{kOff};
std::atomic<long> g_Countdown{0}, g_Allocations{0}, g_Releases{0}, g_Failed{0};
std::atomic<std::size_t> g_Size{0};
std::atomic<bool> g_Tripped{false};
std::atomic<const char*> g_pIgnoredModule{nullptr};

void arm(int a_Mode, long a_Countdown, std::size_t a_Size) {
    g_Mode = kOff;
    g_Countdown = a_Countdown;
    g_Size = a_Size;
    g_Tripped = false;
    g_Allocations = g_Releases = g_Failed = 0;
    g_Mode = a_Mode;
}

} // namespace

namespace zuTest {

bool canFailAllocations() {
#ifdef ZU_TEST_KEEP_ALLOCATION_FUNCTIONS
    return false;
#else
    return true;
#endif
}

void armAllocationFailure(long a_FailAt) {
    arm(kNth, a_FailAt, 0);
}
void failAllocationsOfSize(std::size_t a_Size) {
    arm(kSize, 0, a_Size);
}
void failAllocationsAfterSize(std::size_t a_Size) {
    arm(kAfterSize, 0, a_Size);
}
tAllocationCounters disarmAllocationFailure() {
    g_Mode = kOff;
    return tAllocationCounters{g_Allocations.load(), g_Releases.load(), g_Failed.load()};
}

#ifndef _WIN32
void ignoreAllocationsFrom(const char* a_pModuleName) {
    if (a_pModuleName != nullptr) {
        // The first backtrace loads the unwinder, which must not happen inside the hook.
        void* l_Frame[1];
        backtrace(l_Frame, 1);
    }
    g_pIgnoredModule = a_pModuleName;
}
#endif

} // namespace zuTest

#ifndef ZU_TEST_KEEP_ALLOCATION_FUNCTIONS

namespace {

bool calledFromIgnoredModule() {
#ifdef _WIN32
    return false;
#else
    static thread_local bool t_InHook = false;
    const char* l_pIgnored = g_pIgnoredModule.load();
    if (l_pIgnored == nullptr || t_InHook) {
        return false;
    }
    t_InHook = true;
    void* l_Frames[16];
    const int l_Count = backtrace(l_Frames, 16);
    bool l_Ignored = false;
    for (int l_Index = 1; l_Index < l_Count && !l_Ignored; ++l_Index) {
        Dl_info l_Info;
        l_Ignored = dladdr(l_Frames[l_Index], &l_Info) != 0 && l_Info.dli_fname != nullptr &&
                    std::strstr(l_Info.dli_fname, l_pIgnored) != nullptr;
    }
    t_InHook = false;
    return l_Ignored;
#endif
}

bool shouldFail(int a_Mode, std::size_t a_Size) {
    switch (a_Mode) {
    case kNth:
        return g_Countdown.load() > 0 && g_Countdown.fetch_sub(1) == 1;
    case kSize:
        return a_Size == g_Size.load();
    case kAfterSize:
        // The allocation of that size itself succeeds; every later one fails.
        return g_Tripped.exchange(g_Tripped.load() || a_Size == g_Size.load());
    default:
        return false;
    }
}

void* allocate(std::size_t a_Size) noexcept {
    const int l_Mode = g_Mode.load();
    if (l_Mode != kOff && !calledFromIgnoredModule()) {
        if (shouldFail(l_Mode, a_Size)) {
            ++g_Failed;
            return nullptr;
        }
        ++g_Allocations;
    }
    return std::malloc(a_Size == 0 ? 1 : a_Size);
}

void* allocateOrThrow(std::size_t a_Size) {
    void* l_pMemory = allocate(a_Size);
    return l_pMemory != nullptr ? l_pMemory : throw std::bad_alloc();
}

void release(void* a_pMemory) noexcept {
    if (a_pMemory != nullptr && g_Mode.load() != kOff && !calledFromIgnoredModule()) {
        ++g_Releases;
    }
    std::free(a_pMemory);
}

} // namespace

// Every form, so that no sanitizer runtime's own form meets a block of ours.
void* operator new(std::size_t a_Size) {
    return allocateOrThrow(a_Size);
}
void* operator new[](std::size_t a_Size) {
    return allocateOrThrow(a_Size);
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

#endif
