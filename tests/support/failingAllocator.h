// Replaces the global allocation functions of a test program. While armed they count what is
// allocated and released and fail the allocations chosen; while disarmed they only allocate.
#pragma once

#include <cstddef>

namespace zuTest {

struct tAllocationCounters {
    long allocations; // successful ones only
    long releases;
    long failed; // allocations failed on purpose
};

// False where the allocation functions cannot be replaced (a sanitizer runtime that defines
// them itself); arming then neither fails nor counts anything.
bool canFailAllocations();

// From now on, allocation number a_FailAt (1 = the next one) fails; 0 counts without failing.
void armAllocationFailure(long a_FailAt);
// Every allocation of exactly a_Size bytes fails.
void failAllocationsOfSize(std::size_t a_Size);
// Once an allocation of exactly a_Size bytes has succeeded, every later one fails.
void failAllocationsAfterSize(std::size_t a_Size);
tAllocationCounters disarmAllocationFailure();

#ifndef _WIN32
// Allocations and releases made from inside the named module (a part of its file name) are
// neither failed nor counted: a sweep is about our code, not about a library we load.
void ignoreAllocationsFrom(const char* a_pModuleName);
#endif

// Disarms at the end of a scope, so that a failing check cannot leave the program crippled.
class cFailingAllocationScope {
public:
    cFailingAllocationScope() = default;
    ~cFailingAllocationScope() { disarmAllocationFailure(); }
    cFailingAllocationScope(const cFailingAllocationScope&) = delete;
    cFailingAllocationScope& operator=(const cFailingAllocationScope&) = delete;
};

} // namespace zuTest

// Skips the current test where allocations cannot be made to fail.
#define ZU_REQUIRE_FAILING_ALLOCATIONS()                                                           \
    do {                                                                                           \
        if (!::zuTest::canFailAllocations()) {                                                     \
            GTEST_SKIP() << "allocation functions cannot be replaced in this build";               \
        }                                                                                          \
    } while (false)
