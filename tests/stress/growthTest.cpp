// Open and close cycles must not grow the process. The heap is compared from the first
// checkpoint: glibc's loader settles over its first loads, when depending on its paths.
#include <gtest/gtest.h>

#include <malloc.h>

#include "tests/support/zuListCheck.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuFinderModule.h"

namespace {

constexpr long kCycles = 100000;
constexpr long kCheckpointEvery = 10000;

TEST(NoGrowth, OpenCloseCyclesLeaveTheHeapAsTheFirstCheckpointLeftIt) {
    const zuTest::tFinderModule l_Finder;
    std::string l_Fault;
    std::size_t l_Settled = 0;
    for (long l_Cycle = 1; l_Cycle <= kCycles && l_Fault.empty(); ++l_Cycle) {
        if (l_Cycle == 2) {
            zuTest::armAllocationFailure(0);
        }
        std::uint32_t l_Count = 0;
        void* l_pList = nullptr;
        const std::int32_t l_Code = l_Finder.openList(&l_Count, &l_pList);
        // The simulator's built-in machine holds two chassis.
        l_Fault = l_Code != 0 ? "openList answered " + std::to_string(l_Code)
                              : zuTest::checkList(l_Finder, l_pList, l_Count, {1, 2});
        l_Finder.closeList(l_pList);
        if (l_Cycle % kCheckpointEvery == 0) {
            const std::size_t l_InUse = mallinfo2().uordblks;
            l_Settled = l_Settled ? l_Settled : l_InUse;
            EXPECT_EQ(l_InUse, l_Settled) << "process heap after " << l_Cycle << " cycles";
        }
    }
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    EXPECT_EQ(l_Fault, "");
    EXPECT_GT(l_Counters.allocations, kCycles) << "the cycles allocated nothing: counter broken?";
    EXPECT_EQ(l_Counters.allocations, l_Counters.releases) << "blocks kept after the first cycle";
    EXPECT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
}

} // namespace
