// A host that opens and closes lists for as long as the process lives must not make it grow.
// 100,000 cycles against the simulator, which every openList loads and unloads:
// - every allocation made through operator new after the first cycle (the component's, the
//   simulator's, this program's) has been released again at the end;
// - the heap of the whole process, the dynamic loader's own records included, is the same at
//   the end as at every checkpoint on the way.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstddef>
#include <string>
#include <vector>

#include "tests/stress/listCheck.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/failingAllocator.h"

namespace {

constexpr long kCycles = 100000;
constexpr long kCheckpointEvery = 10000;
// glibc's loader keeps a few hundred bytes more over its first loads of a library and then
// settles; when it settles depends on the lengths of the paths it records (a one-off 464 bytes
// after cycle 100 in one checkout, none in another). The process heap is compared from the first
// checkpoint on: a leak of even one byte a cycle still shows as 10,000 bytes a checkpoint.
constexpr long kLoaderWarmUp = kCheckpointEvery;
// The simulator's built-in machine holds these two chassis.
const std::vector<std::uint32_t> kBridgeValues = {1, 2};

// Bytes the whole process has allocated from malloc and not released.
std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

// One host cycle; returns what went wrong, without allocating anything that outlives it.
std::string cycle(const zuTest::tExports& a_rExports) {
    std::uint32_t l_Count = 0;
    void* l_pList = nullptr;
    const std::int32_t l_Code = a_rExports.openList(&l_Count, &l_pList);
    std::string l_Fault = l_Code != 0
                              ? "openList answered " + std::to_string(l_Code)
                              : zuTest::checkList(a_rExports, l_pList, l_Count, kBridgeValues);
    a_rExports.closeList(l_pList);
    return l_Fault;
}

TEST(NoGrowth, OpenCloseCyclesLeaveTheHeapAsTheFirstCycleLeftIt) {
    const zuTest::tFinderModule l_Finder;
    const zuTest::tExports l_Exports{l_Finder.openList, l_Finder.closeList, l_Finder.getNthItem,
                                     l_Finder.getU32Attribute, l_Finder.getStringAttribute};
    ASSERT_EQ(cycle(l_Exports), "");
    ASSERT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll")) << "the simulator must not be held";

    long l_Faults = 0;
    std::string l_FirstFault;
    std::size_t l_AfterWarmUp = 0;
    std::vector<std::size_t> l_Checkpoints;
    l_Checkpoints.reserve(kCycles / kCheckpointEvery);
    zuTest::armAllocationFailure(0);
    for (long l_Cycle = 2; l_Cycle <= kCycles; ++l_Cycle) {
        std::string l_Fault = cycle(l_Exports);
        if (!l_Fault.empty() && l_Faults++ == 0) {
            l_FirstFault = l_Fault + " in cycle " + std::to_string(l_Cycle);
        }
        if (l_Cycle == kLoaderWarmUp) {
            l_AfterWarmUp = heapInUse();
        } else if (l_Cycle % kCheckpointEvery == 0) {
            l_Checkpoints.push_back(heapInUse());
        }
    }
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();

    EXPECT_EQ(l_Faults, 0) << l_FirstFault;
    EXPECT_GT(l_Counters.allocations, kCycles) << "the cycles allocated nothing: counter broken?";
    EXPECT_EQ(l_Counters.allocations, l_Counters.releases) << "blocks kept after the first cycle";
    ASSERT_EQ(l_Checkpoints.size(), static_cast<std::size_t>(kCycles / kCheckpointEvery - 1));
    for (std::size_t l_Index = 0; l_Index < l_Checkpoints.size(); ++l_Index) {
        EXPECT_EQ(l_Checkpoints[l_Index], l_AfterWarmUp)
            << "process heap after " << (l_Index + 2) * kCheckpointEvery << " cycles";
    }
    std::cout << "process heap in use after cycle " << kLoaderWarmUp << ": " << l_AfterWarmUp
              << " bytes, after cycle " << kCycles << ": " << l_Checkpoints.back() << " bytes; "
              << l_Counters.allocations << " blocks allocated and released\n";
    EXPECT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
}

} // namespace
