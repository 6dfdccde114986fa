// Replaces the global allocation functions of a test program with ones that can fail the Nth
// allocation and that count what is allocated and released while armed.
#pragma once

#include <atomic>
#include <cstddef>

namespace zuTest {

struct tAllocationCounters {
    long allocations;
    long releases;
    bool injected; // the armed countdown reached its allocation
};

// From now on, allocation number a_FailAt (1-based) fails; 0 counts without failing.
void armAllocationFailure(long a_FailAt);
tAllocationCounters disarmAllocationFailure();

// Allocations and releases made from inside the named module (a part of its file name) are
// neither failed nor counted: the sweep is about our code, not about a library we load.
void ignoreAllocationsFrom(const char* a_pModuleName);

} // namespace zuTest
