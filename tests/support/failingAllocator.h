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

// False where a sanitizer runtime keeps its own allocation functions: arming then does nothing.
bool canFailAllocations();

// Allocation number a_FailAt (1 = the next one) fails; 0 counts without failing.
void armAllocationFailure(long a_FailAt);
// Every allocation of exactly a_Size bytes fails.
void failAllocationsOfSize(std::size_t a_Size);
// Once an allocation of exactly a_Size bytes has succeeded, every later one fails.
void failAllocationsAfterSize(std::size_t a_Size);
tAllocationCounters disarmAllocationFailure();

#ifndef _WIN32
// Allocations from inside the named module are neither failed nor counted.
void ignoreAllocationsFrom(const char* a_pModuleName);
#endif

// Disarms at the end of a scope, so that a failing check cannot leave the program crippled.
struct cFailingAllocationScope {
    ~cFailingAllocationScope() { disarmAllocationFailure(); }
};

} // namespace zuTest

#define ZU_REQUIRE_FAILING_ALLOCATIONS()                                                           \
    if (!::zuTest::canFailAllocations())                                                           \
    GTEST_SKIP() << "allocation functions cannot be replaced in this build"
