// The stack protector's guard value and failure routine for the Windows modules.
//
// The compiler's own support library seeds its guard from a constructor that acquires a
// cryptographic provider, which loads a library while the host's loader lock is held by our
// attach. A module that a host loads must not do that, so the guard is seeded here from what
// KERNEL32 hands out without loading anything: the counters, the clock, the process and thread
// IDs and the addresses that address space randomisation moves. Defining both symbols in the
// module keeps the support library's copy (and its import of the crypto API) out of the link.
#ifdef _WIN32

#include <cstdint>

#include "platform/win32/zuPlatform.h"

extern "C" {

// Used by protected code that runs before the seed below; any value works as long as it does
// not change while a protected frame is live.
std::uintptr_t __stack_chk_guard = 0x2F8A41C93B7D5E00u;

[[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail(void);

} // extern "C"

namespace {

// What Windows reports for a stack buffer overrun caught by a guard.
constexpr unsigned int kStackBufferOverrun = 0xC0000409u;

__attribute__((no_stack_protector)) std::uint64_t mix(std::uint64_t a_State,
                                                      std::uint64_t a_Value) {
    // A splitmix64 step per input, so every input bit reaches every output bit.
    std::uint64_t l_Mixed = a_State + a_Value + 0x9E3779B97F4A7C15u;
    l_Mixed = (l_Mixed ^ (l_Mixed >> 30)) * 0xBF58476D1CE4E5B9u;
    l_Mixed = (l_Mixed ^ (l_Mixed >> 27)) * 0x94D049BB133111EBu;
    return l_Mixed ^ (l_Mixed >> 31);
}

// Runs from the runtime's constructor loop, before any code of ours: no protected frame of the
// module is live while the guard changes. It must not be protected itself, since it changes the
// guard its own frame would be checked against.
__attribute__((constructor(101), no_stack_protector)) void seedStackGuard() {
    LARGE_INTEGER l_Counter;
    QueryPerformanceCounter(&l_Counter);
    FILETIME l_Time;
    GetSystemTimeAsFileTime(&l_Time);

    std::uint64_t l_Seed = mix(0, static_cast<std::uint64_t>(l_Counter.QuadPart));
    l_Seed = mix(l_Seed,
                 (static_cast<std::uint64_t>(l_Time.dwHighDateTime) << 32) | l_Time.dwLowDateTime);
    l_Seed = mix(l_Seed,
                 (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) | GetCurrentThreadId());
    l_Seed = mix(l_Seed, GetTickCount64());
    l_Seed = mix(l_Seed, reinterpret_cast<std::uintptr_t>(&l_Seed));
    l_Seed = mix(l_Seed, reinterpret_cast<std::uintptr_t>(&__stack_chk_guard));
    // A zero low byte stops string copies, which end at a zero, from writing a matching guard.
    l_Seed &= ~static_cast<std::uint64_t>(0xFF);
    if (l_Seed != 0) {
        __stack_chk_guard = static_cast<std::uintptr_t>(l_Seed);
    }
}

} // namespace

extern "C" void __stack_chk_fail(void) {
    // The stack is corrupt: no unwinding, no handlers and nothing that needs the heap.
    TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    __builtin_trap();
}

#endif // _WIN32
