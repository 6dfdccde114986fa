#include "tests/sweep/failingAllocator.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <new>

namespace {

std::atomic<bool> g_Armed{false};
std::atomic<long> g_Countdown{0};
std::atomic<long> g_Allocations{0};
std::atomic<long> g_Releases{0};
std::atomic<bool> g_Injected{false};
std::atomic<const char*> g_pIgnoredModule{nullptr};
thread_local bool t_InHook = false;

bool calledFromIgnoredModule() {
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
        if (dladdr(l_Frames[l_Index], &l_Info) != 0 && l_Info.dli_fname != nullptr &&
            std::strstr(l_Info.dli_fname, l_pIgnored) != nullptr) {
            l_Ignored = true;
        }
    }
    t_InHook = false;
    return l_Ignored;
}

void* allocate(std::size_t a_Size) noexcept {
    if (g_Armed.load() && !calledFromIgnoredModule()) {
        if (g_Countdown.load() > 0 && g_Countdown.fetch_sub(1) == 1) {
            g_Injected = true;
            return nullptr;
        }
        ++g_Allocations;
    }
    return std::malloc(a_Size == 0 ? 1 : a_Size);
}

void release(void* a_pMemory) noexcept {
    if (a_pMemory != nullptr && g_Armed.load() && !calledFromIgnoredModule()) {
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

void ignoreAllocationsFrom(const char* a_pModuleName) {
    if (a_pModuleName != nullptr) {
        // The first backtrace loads the unwinder, which must not happen inside the hook.
        void* l_Frame[1];
        backtrace(l_Frame, 1);
    }
    g_pIgnoredModule = a_pModuleName;
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
