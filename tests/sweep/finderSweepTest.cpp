// Fails every allocation of openList in turn, with discovery running against the simulator
// (whose own allocations are neither failed nor counted): each run must end in -52000 with
// nothing written, nothing kept and the library unloaded, until a run succeeds untouched.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "source/finder.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSim.h"

using namespace nZU7461_14_0;

namespace {

// a_HeldLists lists stay open across the sweep, so the manager must survive every failure.
std::set<std::string> sweepOpenList(std::size_t a_HeldLists) {
    moduleAttach();
    zuTest::ignoreAllocationsFrom("zupcibrd");
    const zuTest::cTopologyFile l_Topology(zuTest::tBridgeValues{1, 2, 3});
    std::vector<void*> l_Held(a_HeldLists);
    std::uint32_t l_Count = 0;
    for (void*& l_pHeld : l_Held) {
        EXPECT_EQ(nZUPXIFINDER100_openList(&l_Count, &l_pHeld), 0);
    }
    std::set<std::string> l_Places;
    for (long l_FailAt = 1; l_FailAt < 10000; ++l_FailAt) {
        SCOPED_TRACE("allocation " + std::to_string(l_FailAt));
        void* l_pList = &l_Count;
        l_Count = 99;
        tStatus l_Status = makeStatus();
        zuTest::armAllocationFailure(l_FailAt);
        openList(&l_pList, &l_Count, &l_Status);
        const bool l_Opened = !isFailed(&l_Status);
        if (l_Opened) {
            // A failure that cost only the details of a status on the way: the answer is whole.
            EXPECT_EQ(l_Count, 3u);
            closeList(l_pList);
        }
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
        EXPECT_EQ(l_Counters.allocations, l_Counters.releases) << "openList kept memory";
        EXPECT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
        if (l_Counters.failed == 0) {
            EXPECT_EQ(l_Status.code, 0);
            break;
        }
        if (!l_Opened) {
            const std::string l_Place =
                std::string(l_Status.file) + ":" + std::to_string(l_Status.line);
            // Our loader stand-in may run out of memory too: that is a library not found.
            EXPECT_TRUE(l_Status.code == -52000 ||
                        (l_Status.code == -52005 && l_Place == "dynload:94"))
                << l_Status.code << " at " << l_Place;
            EXPECT_EQ(l_pList, nullptr);
            EXPECT_EQ(l_Count, 0u);
            l_Places.insert(l_Place);
        }
    }
    // The held lists survived every failure whole.
    for (void* l_pHeld : l_Held) {
        void* l_pItem = nullptr;
        EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_pHeld, 2, &l_pItem), 0);
        nZUPXIFINDER100_closeList(l_pHeld);
    }
    zuTest::ignoreAllocationsFrom(nullptr);
    moduleDetach();
    return l_Places;
}

TEST(AllocationSweep, EveryFailedAllocationOfOpenListEndsInMemoryFull) {
    // Path, manager, list, the wrapper's array, the records and the sets.
    const std::set<std::string> l_Places = sweepOpenList(0);
    for (const char* l_Place :
         {"Allocator:32", "memoryAllocation:291", "cSessionManager:276", "cSessionManager:285",
          "cSessionManager:296", "cSessionManager:435"}) {
        EXPECT_EQ(l_Places.count(l_Place), 1u) << l_Place << " never failed";
    }
    EXPECT_FALSE(sweepOpenList(1).empty());
}

} // namespace
