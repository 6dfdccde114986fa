// Many host threads get right answers, a handle names one list or item for as long as the module
// is loaded, and no call reaches a manager being destroyed. Races run two seconds at most; the
// sanitizer builds report a lost race, the plain builds check every answer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/listCheck.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSim.h"

namespace {

constexpr std::int32_t kInvalid = ZU7461_STATUS_INVALID_PARAMETER;
const std::vector<std::uint32_t> kOneChassis = {7};

class Lifetime : public ::testing::Test {
protected:
    // Enough rounds, or the deadline that keeps the slow sanitizer builds affordable.
    bool more(long a_Done) const {
        return a_Done < 200000 && std::chrono::steady_clock::now() < m_Deadline;
    }
    // Opens a list that must hold the one chassis; notes the first fault.
    void* openChecked(std::string& a_rFault) const {
        std::uint32_t l_Count = 0;
        void* l_pList = nullptr;
        const std::int32_t l_Code = m_Finder.openList(&l_Count, &l_pList);
        if (a_rFault.empty()) {
            a_rFault = l_Code != 0 ? "openList answered " + std::to_string(l_Code)
                                   : zuTest::checkList(m_Exports, l_pList, l_Count, kOneChassis);
        }
        return l_pList;
    }

    // Held by full path: the finder's loads cost little, and chaos draws from one sequence.
    const zuTest::cHeldSimulator m_Simulator;
    zuTest::cTopologyFile m_Machine{zuTest::tBridgeValues{kOneChassis[0]}};
    const zuTest::tFinderModule m_Finder;
    const zuTest::tExports m_Exports{m_Finder.openList, m_Finder.closeList, m_Finder.getNthItem,
                                     m_Finder.getU32Attribute, m_Finder.getStringAttribute};
    const std::chrono::steady_clock::time_point m_Deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(2);
};

// Eight threads cycle lists while one list stays open and another thread keeps reading it.
using Concurrency = Lifetime;
TEST_F(Concurrency, EightThreadsCycleListsWhileAHeldListKeepsAnswering) {
    constexpr int kThreads = 8;
    std::string l_Faults[kThreads + 1];
    void* const l_pHeld = openChecked(l_Faults[kThreads]);
    std::atomic<bool> l_Done{false};
    long l_HeldReads = 0;
    std::thread l_Holder([&] {
        // At least one round even if the cyclers are done before this thread starts.
        do {
            l_Faults[kThreads] = zuTest::checkList(m_Exports, l_pHeld, 1, kOneChassis);
            ++l_HeldReads;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (!l_Done && l_Faults[kThreads].empty());
    });
    std::vector<std::thread> l_Cyclers;
    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        l_Cyclers.emplace_back([&, l_Thread] {
            for (int l_Cycle = 0; l_Cycle < 2000 && l_Faults[l_Thread].empty(); ++l_Cycle) {
                m_Finder.closeList(openChecked(l_Faults[l_Thread]));
            }
        });
    }
    for (std::thread& l_Cycler : l_Cyclers) {
        l_Cycler.join();
    }
    l_Done = true;
    l_Holder.join();
    for (int l_Thread = 0; l_Thread <= kThreads; ++l_Thread) {
        EXPECT_EQ(l_Faults[l_Thread], "") << "thread " << l_Thread << " (" << kThreads << ": held)";
    }
    std::cout << "held list read " << l_HeldReads << " times meanwhile\n";
    EXPECT_EQ(zuTest::checkList(m_Exports, l_pHeld, 1, kOneChassis), "");
    m_Finder.closeList(l_pHeld);
}

// One thread opens and closes the only list; another queries and closes handles that name no
// open list, so its calls meet the manager while the last close destroys it.
TEST_F(Lifetime, StaleHandlesRaceTheCloseOfTheLastList) {
    std::atomic<void*> l_StaleList{nullptr}, l_StaleItem{nullptr};
    std::atomic<bool> l_Done{false};
    std::string l_OwnerFault, l_QueryFault;
    std::thread l_Owner([&] {
        for (long l_Round = 0; more(l_Round) && l_OwnerFault.empty(); ++l_Round) {
            void* const l_pList = openChecked(l_OwnerFault);
            void* l_pItem = nullptr;
            m_Finder.getNthItem(l_pList, 0, &l_pItem);
            m_Finder.closeList(l_pList);
            l_StaleList = l_pList;
            l_StaleItem = l_pItem;
        }
        l_Done = true;
    });
    int l_Forged = 0;
    for (long l_Query = 0; !l_Done && l_QueryFault.empty(); ++l_Query) {
        // A handle the owner closed, or one no list ever had.
        void* const l_pList = l_Query % 2 == 0 ? l_StaleList.load() : &l_Forged;
        void* const l_pItem = l_Query % 2 == 0 ? l_StaleItem.load() : &l_Forged;
        void* l_pOut = &l_pOut;
        std::uint32_t l_Value = 5;
        const std::int32_t l_Nth = m_Finder.getNthItem(l_pList, 0, &l_pOut);
        const std::int32_t l_U32 =
            m_Finder.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value);
        m_Finder.closeList(l_pList);
        if (l_Nth != kInvalid || l_U32 != kInvalid || l_pOut != &l_pOut || l_Value != 5) {
            l_QueryFault = "query " + std::to_string(l_Query) + " of a stale handle answered " +
                           std::to_string(l_Nth) + "/" + std::to_string(l_U32);
        }
    }
    l_Owner.join();
    EXPECT_EQ(l_OwnerFault, "");
    EXPECT_EQ(l_QueryFault, "");
}

// Both threads only open lists while the simulator fails half the OpenSession calls at random,
// so failed openList calls meet successful ones that close the last list. A failed call must
// close nothing and write no list; any other answer is the one chassis.
TEST_F(Lifetime, FailedOpenListsRaceTheCloseOfTheLastList) {
    m_Machine.use(zuTest::withFaults(
        zuTest::chassisTopology({kOneChassis[0]}),
        R"({"chaos":{"seed":7461,"rate":50,"entries":["OpenSession"],"quiet":true}})"));
    long l_Opened[2] = {0, 0}, l_Failed[2] = {0, 0};
    std::string l_Faults[2];
    auto l_Run = [&](int a_Thread) {
        while (more(l_Opened[a_Thread] + l_Failed[a_Thread]) && l_Faults[a_Thread].empty()) {
            std::uint32_t l_Count = 9;
            void* l_pList = &l_Count;
            if (m_Finder.openList(&l_Count, &l_pList) < 0) {
                ++l_Failed[a_Thread];
                l_Faults[a_Thread] =
                    l_pList != nullptr || l_Count != 0 ? "a failed call wrote" : "";
            } else {
                ++l_Opened[a_Thread];
                l_Faults[a_Thread] = zuTest::checkList(m_Exports, l_pList, l_Count, kOneChassis);
                m_Finder.closeList(l_pList);
            }
        }
    };
    std::thread l_Other(l_Run, 1);
    l_Run(0);
    l_Other.join();
    EXPECT_EQ(l_Faults[0] + l_Faults[1], "");
    EXPECT_GT(l_Failed[0] + l_Failed[1], 0);
    EXPECT_GT(l_Opened[0] + l_Opened[1], 0);
}

// With one list held open the manager stays, so freed lists and records are reused at once. A
// handle must still never come back, and a stale one must reach nothing that was opened since.
TEST_F(Lifetime, AStaleHandleNeverNamesANewerList) {
    std::string l_Fault;
    void* const l_pHeld = openChecked(l_Fault);
    ASSERT_EQ(l_Fault, "");
    std::set<void*> l_Seen = {l_pHeld};
    for (int l_Round = 0; l_Round < 2000 && l_Fault.empty(); ++l_Round) {
        void* const l_pOld = openChecked(l_Fault);
        void* l_pOldItem = nullptr;
        ASSERT_EQ(m_Finder.getNthItem(l_pOld, 0, &l_pOldItem), 0);
        m_Finder.closeList(l_pOld);
        void* const l_pNew = openChecked(l_Fault);
        void* l_pNewItem = nullptr;
        ASSERT_EQ(m_Finder.getNthItem(l_pNew, 0, &l_pNewItem), 0);
        for (void* l_pHandle : {l_pOld, l_pOldItem, l_pNew, l_pNewItem}) {
            EXPECT_TRUE(l_Seen.insert(l_pHandle).second) << "round " << l_Round;
        }
        // The stale handles are refused, and closing the old list leaves the new one alone.
        std::uint32_t l_Value = 5;
        void* l_pOut = &l_pOut;
        EXPECT_EQ(m_Finder.getU32Attribute(l_pOldItem, ZU7461_ATTR_U32_KIND, &l_Value), kInvalid);
        EXPECT_EQ(m_Finder.getNthItem(l_pOld, 0, &l_pOut), kInvalid);
        EXPECT_EQ(m_Finder.getNthItem(l_pOldItem, 0, &l_pOut), kInvalid) << "an item as a list";
        EXPECT_EQ(m_Finder.getU32Attribute(l_pNew, ZU7461_ATTR_U32_KIND, &l_Value), kInvalid)
            << "a list as an item";
        EXPECT_EQ(l_Value, 5u);
        EXPECT_EQ(l_pOut, &l_pOut);
        m_Finder.closeList(l_pOld);
        m_Finder.closeList(l_pOldItem);
        if (l_Fault.empty()) {
            l_Fault = zuTest::checkList(m_Exports, l_pNew, 1, kOneChassis);
        }
        m_Finder.closeList(l_pNew);
    }
    EXPECT_EQ(l_Fault, "");
    EXPECT_EQ(zuTest::checkList(m_Exports, l_pHeld, 1, kOneChassis), "");
    m_Finder.closeList(l_pHeld);
}

} // namespace
