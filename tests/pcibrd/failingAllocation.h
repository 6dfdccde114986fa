// Makes chosen allocations of this test program fail. The program replaces the global
// allocation functions; while nothing is armed they only count.
#pragma once

#include <cstddef>

namespace nZU7461_14_0 {
namespace nTest {

// False where the allocation functions cannot be replaced (a sanitizer runtime that defines
// them itself); the failing modes below then do nothing.
bool canFailAllocations();

// The a_Nth allocation from now (1 = the next one) fails; the others succeed.
void failNthAllocation(long a_Nth);
// Every allocation of exactly a_Size bytes fails.
void failAllocationsOfSize(std::size_t a_Size);
// Once an allocation of exactly a_Size bytes has succeeded, every later one fails.
void failAllocationsAfterSize(std::size_t a_Size);
void stopFailingAllocations();
// Allocations that failed on purpose since the last arming.
long failedAllocations();

// Disarms at the end of a scope, so that a failing check cannot leave the program crippled.
class cFailingAllocationScope {
public:
    cFailingAllocationScope() = default;
    ~cFailingAllocationScope() { stopFailingAllocations(); }
    cFailingAllocationScope(const cFailingAllocationScope&) = delete;
    cFailingAllocationScope& operator=(const cFailingAllocationScope&) = delete;
};

} // namespace nTest
} // namespace nZU7461_14_0

// Skips the current test where allocations cannot be made to fail.
#define ZU_REQUIRE_FAILING_ALLOCATIONS()                                                           \
    do {                                                                                           \
        if (!::nZU7461_14_0::nTest::canFailAllocations()) {                                        \
            GTEST_SKIP() << "allocation functions cannot be replaced in this build";               \
        }                                                                                          \
    } while (false)
