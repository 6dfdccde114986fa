// Fails every allocation of openList in turn: each run must end in -52000 with nothing open,
// nothing allocated and no manager left, until a run succeeds without an injected failure.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <set>
#include <string>

#include "source/finder.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuSimTopology.h"
#include "zu7461/zu7461.h"

using namespace nZU7461_14_0;

namespace {

struct tSweepResult {
    long failedPoints = 0;
    // Failures that cost only the details of a status on the way, and not the answer.
    long absorbed = 0;
    std::set<std::string> places;
};

bool isBridgeLibraryLoaded() {
    void* l_pModule = dlopen("zupcibrd.so", RTLD_NOW | RTLD_NOLOAD);
    if (l_pModule != nullptr) {
        dlclose(l_pModule);
    }
    return l_pModule != nullptr;
}

// a_HeldLists lists stay open across the sweep, so the manager must survive every failure.
tSweepResult sweepOpenList(std::size_t a_HeldLists, std::uint32_t a_ExpectedCount = 3) {
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

        if (l_Counters.failed == 0) {
            EXPECT_EQ(l_Status.code, 0);
            EXPECT_EQ(l_Count, a_ExpectedCount);
            break;
        }
        SCOPED_TRACE("allocation " + std::to_string(l_FailAt));
        ++l_Result.failedPoints;
        EXPECT_EQ(l_Counters.allocations, l_Counters.releases) << "openList leaked";
        EXPECT_FALSE(isBridgeLibraryLoaded()) << "the bridge driver library stayed loaded";
        if (l_Opened) {
            // Only details of a status were lost, which is no failure: the answer must be whole.
            EXPECT_EQ(l_Count, a_ExpectedCount);
            ++l_Result.absorbed;
            continue;
        }
        const std::string l_Place =
            std::string(l_Status.file) + ":" + std::to_string(l_Status.line);
        // Our stand-in for the system loader may itself run out of memory; like the system
        // loader it then fails the load, which the finder reports as a library not found.
        EXPECT_TRUE(l_Status.code == -52000 || (l_Status.code == -52005 && l_Place == "dynload:94"))
            << l_Status.code << " at " << l_Place;
        EXPECT_EQ(l_pList, nullptr);
        EXPECT_EQ(l_Count, 0u);
        EXPECT_EQ(openListCount(), a_HeldLists);
        EXPECT_EQ(currentSessionManager() != nullptr, a_HeldLists != 0);
        l_Result.places.insert(l_Place);
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

// Discovery runs for real against the simulator, whose own allocations are not failed: the
// sweep is about the finder's.
class AllocationSweep : public ::testing::Test {
protected:
    void SetUp() override {
        moduleAttach();
        zuTest::ignoreAllocationsFrom("zupcibrd");
    }
    void TearDown() override {
        zuTest::ignoreAllocationsFrom(nullptr);
        moduleDetach();
    }

    zuTest::cTopologyFile m_Topology{zuTest::tBridgeValues{1, 2, 3}};
};

TEST_F(AllocationSweep, EveryFailedAllocationOfOpenListEndsInMemoryFull) {
    const tSweepResult l_Result = sweepOpenList(0);
    std::cout << "allocation points failed: " << l_Result.failedPoints << " (" << l_Result.absorbed
              << " cost only details)\n";
    // The component's own places on the way: the wide library path, the manager, the list,
    // the wrapper's temporary array, the records and the sets.
    for (const char* l_Place :
         {"Allocator:32", "memoryAllocation:291", "cSessionManager:276", "cSessionManager:285",
          "cSessionManager:296", "cSessionManager:435"}) {
        EXPECT_EQ(l_Result.places.count(l_Place), 1u) << l_Place << " never failed";
    }
}

TEST_F(AllocationSweep, WithAnotherListOpenTheManagerSurvives) {
    EXPECT_GT(sweepOpenList(1).failedPoints, 0);
}

} // namespace
