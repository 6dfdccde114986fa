// Many host threads at once: eight threads open, walk, query and close lists back to back while
// one list stays open and another thread keeps querying it. Every answer must be right, and the
// held list must outlive all of it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/listCheck.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSimCallLog.h"

namespace {

constexpr int kThreads = 8;
constexpr int kCyclesPerThread = 10000;
const std::vector<std::uint32_t> kBridgeValues = {1, 2};

zuTest::tExports exportsOf(const zuTest::tFinderModule& a_rFinder) {
    return zuTest::tExports{a_rFinder.openList, a_rFinder.closeList, a_rFinder.getNthItem,
                            a_rFinder.getU32Attribute, a_rFinder.getStringAttribute};
}

// What one thread saw; only its own thread writes it until the thread is joined.
struct tThreadReport {
    long rounds = 0;
    long faults = 0;
    std::string firstFault;

    void note(const std::string& a_rFault) {
        if (a_rFault.empty()) {
            return;
        }
        if (faults++ == 0) {
            firstFault = a_rFault;
        }
    }
};

void cycle(const zuTest::tExports& a_rExports, tThreadReport& a_rReport) {
    std::uint32_t l_Count = 0;
    void* l_pList = nullptr;
    const std::int32_t l_Code = a_rExports.openList(&l_Count, &l_pList);
    if (l_Code != 0 || l_pList == nullptr) {
        a_rReport.note("openList answered " + std::to_string(l_Code));
    } else {
        a_rReport.note(zuTest::checkList(a_rExports, l_pList, l_Count, kBridgeValues));
    }
    a_rExports.closeList(l_pList);
    ++a_rReport.rounds;
}

TEST(Concurrency, EightThreadsCycleListsWhileAHeldListKeepsAnswering) {
    // Held by full path, the simulator stays loaded for every thread's openList instead of
    // being loaded from disk each time; its built-in machine holds these two chassis.
    const zuTest::cHeldSimulator l_Simulator;
    const zuTest::tFinderModule l_Finder;
    const zuTest::tExports l_Exports = exportsOf(l_Finder);

    std::uint32_t l_HeldCount = 0;
    void* l_pHeld = nullptr;
    ASSERT_EQ(l_Exports.openList(&l_HeldCount, &l_pHeld), 0);
    ASSERT_EQ(zuTest::checkList(l_Exports, l_pHeld, l_HeldCount, kBridgeValues), "");

    std::atomic<bool> l_Done{false};
    tThreadReport l_HolderReport;
    std::thread l_Holder([&] {
        // At least one round even if the cyclers are done before this thread starts.
        do {
            l_HolderReport.note(zuTest::checkList(l_Exports, l_pHeld, l_HeldCount, kBridgeValues));
            ++l_HolderReport.rounds;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (!l_Done.load());
    });

    std::vector<tThreadReport> l_Reports(kThreads);
    std::vector<std::thread> l_Cyclers;
    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        l_Cyclers.emplace_back([&, l_Thread] {
            for (int l_Cycle = 0; l_Cycle < kCyclesPerThread; ++l_Cycle) {
                cycle(l_Exports, l_Reports[l_Thread]);
            }
        });
    }
    for (std::thread& l_Cycler : l_Cyclers) {
        l_Cycler.join();
    }
    l_Done = true;
    l_Holder.join();

    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        EXPECT_EQ(l_Reports[l_Thread].rounds, kCyclesPerThread) << "thread " << l_Thread;
        EXPECT_EQ(l_Reports[l_Thread].faults, 0)
            << "thread " << l_Thread << ", first: " << l_Reports[l_Thread].firstFault;
    }
    EXPECT_EQ(l_HolderReport.faults, 0) << "held list, first: " << l_HolderReport.firstFault;
    std::cout << "held list read " << l_HolderReport.rounds << " times meanwhile\n";

    // The held list still answers after everyone else is gone, and closing it really closes it.
    EXPECT_EQ(zuTest::checkList(l_Exports, l_pHeld, l_HeldCount, kBridgeValues), "");
    void* l_pHeldItem = nullptr;
    ASSERT_EQ(l_Exports.getNthItem(l_pHeld, 0, &l_pHeldItem), 0);
    l_Exports.closeList(l_pHeld);
    void* l_pItem = &l_pItem;
    EXPECT_EQ(l_Exports.getNthItem(l_pHeld, 0, &l_pItem), ZU7461_STATUS_INVALID_PARAMETER);
    std::uint32_t l_Value = 7;
    EXPECT_EQ(l_Exports.getU32Attribute(l_pHeldItem, ZU7461_ATTR_U32_KIND, &l_Value),
              ZU7461_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(l_Value, 7u);
}

} // namespace
