// Host threads and handle lifetimes; races run two seconds at most (sanitizers report a lost one).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/zuListCheck.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSim.h"

namespace {

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
                                   : zuTest::checkList(m_Finder, l_pList, l_Count, kOneChassis);
        }
        return l_pList;
    }
    // A list and an item handle that name nothing open are refused without a write.
    bool refused(void* a_pList, void* a_pItem) const {
        void* l_pOut = &l_pOut;
        std::uint32_t l_Value = 5;
        return m_Finder.getNthItem(a_pList, 0, &l_pOut) == ZU7461_STATUS_INVALID_PARAMETER &&
               m_Finder.getU32Attribute(a_pItem, ZU7461_ATTR_U32_KIND, &l_Value) ==
                   ZU7461_STATUS_INVALID_PARAMETER &&
               l_pOut == &l_pOut && l_Value == 5;
    }

    // Held by full path: the finder's loads cost little, and chaos draws from one sequence.
    const zuTest::cHeldSimulator m_Simulator;
    zuTest::cTopologyFile m_Machine{zuTest::chassisTopology({kOneChassis[0]})};
    const zuTest::tFinderModule m_Finder;
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
    std::thread l_Holder([&] {
        do { // at least once, even if the cyclers are done before this thread starts
            l_Faults[kThreads] = zuTest::checkList(m_Finder, l_pHeld, 1, kOneChassis);
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
    EXPECT_EQ(zuTest::checkList(m_Finder, l_pHeld, 1, kOneChassis), "");
    m_Finder.closeList(l_pHeld);
}

// Calls with closed or forged handles meet the manager while the last close destroys it.
TEST_F(Lifetime, StaleHandlesRaceTheCloseOfTheLastList) {
    std::atomic<void*> l_StaleList{nullptr}, l_StaleItem{nullptr};
    std::atomic<bool> l_Done{false};
    std::string l_OwnerFault;
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
    long l_Query = 0;
    for (; !l_Done; ++l_Query) {
        void* const l_pList = l_Query % 2 == 0 ? l_StaleList.load() : &l_Forged;
        if (!refused(l_pList, l_Query % 2 == 0 ? l_StaleItem.load() : &l_Forged)) {
            break;
        }
        m_Finder.closeList(l_pList);
    }
    l_Owner.join();
    EXPECT_EQ(l_OwnerFault, "");
    EXPECT_TRUE(l_Done) << "query " << l_Query << " of a stale handle was answered";
}

// Failed openLists (half the sessions fail) meet closes of the last list, and close nothing.
TEST_F(Lifetime, FailedOpenListsRaceTheCloseOfTheLastList) {
    m_Machine.use(zuTest::chassisTopology(
        {kOneChassis[0]},
        R"({"chaos":{"seed":7461,"rate":50,"entries":["OpenSession"],"quiet":true}})"));
    long l_Calls[2][2] = {{0, 0}, {0, 0}}; // [thread][opened]
    std::string l_Faults[2];
    auto l_Run = [&](int a_Thread) {
        while (more(l_Calls[a_Thread][0] + l_Calls[a_Thread][1]) && l_Faults[a_Thread].empty()) {
            std::uint32_t l_Count = 9;
            void* l_pList = &l_Count;
            const bool l_Opened = m_Finder.openList(&l_Count, &l_pList) >= 0;
            ++l_Calls[a_Thread][l_Opened];
            l_Faults[a_Thread] =
                l_Opened ? zuTest::checkList(m_Finder, l_pList, l_Count, kOneChassis)
                         : (l_pList != nullptr || l_Count != 0 ? "a failed call wrote" : "");
            m_Finder.closeList(l_Opened ? l_pList : nullptr);
        }
    };
    std::thread l_Other(l_Run, 1);
    l_Run(0);
    l_Other.join();
    EXPECT_EQ(l_Faults[0] + l_Faults[1], "");
    EXPECT_GT(l_Calls[0][0] + l_Calls[1][0], 0);
    EXPECT_GT(l_Calls[0][1] + l_Calls[1][1], 0);
}

// With the manager kept, freed memory is reused at once: still no handle may come back.
TEST_F(Lifetime, AStaleHandleNeverNamesANewerList) {
    std::string l_Fault;
    void* const l_pHeld = openChecked(l_Fault);
    std::set<void*> l_Seen = {l_pHeld};
    for (int l_Round = 0; l_Round < 2000 && l_Fault.empty(); ++l_Round) {
        void* l_Handles[4] = {openChecked(l_Fault), nullptr, nullptr, nullptr}; // list, item ×2
        m_Finder.getNthItem(l_Handles[0], 0, &l_Handles[1]);
        m_Finder.closeList(l_Handles[0]);
        l_Handles[2] = openChecked(l_Fault);
        m_Finder.getNthItem(l_Handles[2], 0, &l_Handles[3]);
        for (void* l_pHandle : l_Handles) {
            l_Fault += l_Seen.insert(l_pHandle).second ? "" : "a handle came back; ";
        }
        l_Fault += refused(l_Handles[0], l_Handles[1]) && refused(l_Handles[1], l_Handles[2])
                       ? ""
                       : "a stale handle or one of the other kind was answered";
        m_Finder.closeList(l_Handles[0]);
        m_Finder.closeList(l_Handles[1]);
        if (l_Fault.empty()) {
            l_Fault = zuTest::checkList(m_Finder, l_Handles[2], 1, kOneChassis);
        }
        m_Finder.closeList(l_Handles[2]);
    }
    EXPECT_EQ(l_Fault, "");
    EXPECT_EQ(zuTest::checkList(m_Finder, l_pHeld, 1, kOneChassis), "");
    m_Finder.closeList(l_pHeld);
}

} // namespace
