// Fails every allocation of openList in turn: each run must end in -52000 with nothing open,
// nothing allocated and no manager left, until a run succeeds without an injected failure.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "source/finder.h"
#include "tests/support/zuSeamChassis.h"
#include "tests/sweep/failingAllocator.h"
#include "zu7461/zu7461.h"

using namespace nZU7461_14_0;

namespace {

struct tSweepResult {
    long failedPoints = 0;
    std::set<std::string> places;
};

// a_HeldLists lists stay open across the sweep, so the manager must survive every failure.
tSweepResult sweepOpenList(std::size_t a_HeldLists) {
    tSweepResult l_Result;
    std::vector<void*> l_Held;
    for (std::size_t l_Index = 0; l_Index < a_HeldLists; ++l_Index) {
        std::uint32_t l_Count = 0;
        void* l_pList = nullptr;
        EXPECT_EQ(nZUPXIFINDER100_openList(&l_Count, &l_pList), 0);
        l_Held.push_back(l_pList);
    }
    for (long l_FailAt = 1;; ++l_FailAt) {
        void* l_pList = &l_Result;
        std::uint32_t l_Count = 99;
        tStatus l_Status = makeStatus();
        zuTest::armAllocationFailure(l_FailAt);
        nZU7461_14_0::openList(&l_pList, &l_Count, &l_Status);
        const bool l_Opened = !isFailed(&l_Status);
        if (l_Opened) {
            closeList(l_pList);
        }
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();

        if (!l_Counters.injected) {
            EXPECT_EQ(l_Status.code, 0);
            EXPECT_EQ(l_Count, 3u);
            break;
        }
        SCOPED_TRACE("allocation " + std::to_string(l_FailAt));
        ++l_Result.failedPoints;
        EXPECT_EQ(l_Status.code, -52000);
        EXPECT_EQ(l_pList, nullptr);
        EXPECT_EQ(l_Count, 0u);
        EXPECT_EQ(openListCount(), a_HeldLists);
        EXPECT_EQ(currentSessionManager() != nullptr, a_HeldLists != 0);
        EXPECT_EQ(l_Counters.allocations, l_Counters.releases) << "a failed openList leaked";
        l_Result.places.insert(std::string(l_Status.file) + ":" + std::to_string(l_Status.line));
        if (l_FailAt > 10000) {
            ADD_FAILURE() << "the sweep does not end";
            break;
        }
    }
    for (void* l_pList : l_Held) {
        nZUPXIFINDER100_closeList(l_pList);
    }
    EXPECT_EQ(currentSessionManager(), nullptr);
    return l_Result;
}

TEST(AllocationSweep, EveryFailedAllocationOfOpenListEndsInMemoryFull) {
    zuTest::tSeamedFinder l_Finder({1, 2, 3});
    const tSweepResult l_Result = sweepOpenList(0);
    std::cout << "allocation points failed: " << l_Result.failedPoints << "\n";
    for (const char* l_Place :
         {"memoryAllocation:291", "cSessionManager:276", "cSessionManager:285",
          "cSessionManager:296", "cSessionManager:435"}) {
        EXPECT_EQ(l_Result.places.count(l_Place), 1u) << l_Place << " never failed";
    }
}

TEST(AllocationSweep, WithAnotherListOpenTheManagerSurvives) {
    zuTest::tSeamedFinder l_Finder({1, 2, 3});
    const tSweepResult l_Result = sweepOpenList(1);
    EXPECT_GT(l_Result.failedPoints, 0);
}

} // namespace
