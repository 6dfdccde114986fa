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
// The simulator reads its machine afresh at every openList: 2000 keep TSan and Wine runs short.
constexpr int kCyclesPerThread = 2000;
// The simulator's built-in machine holds these two chassis.
const std::vector<std::uint32_t> kBridgeValues = {1, 2};

TEST(Concurrency, EightThreadsCycleListsWhileAHeldListKeepsAnswering) {
    // Held by full path, the simulator is not loaded from disk for every openList.
    const zuTest::cHeldSimulator l_Simulator;
    const zuTest::tFinderModule l_Finder;
    const zuTest::tExports l_Exports{l_Finder.openList, l_Finder.closeList, l_Finder.getNthItem,
                                     l_Finder.getU32Attribute, l_Finder.getStringAttribute};
    std::uint32_t l_HeldCount = 0;
    void* l_pHeld = nullptr;
    ASSERT_EQ(l_Exports.openList(&l_HeldCount, &l_pHeld), 0);

    // The first fault each thread saw; only that thread writes its own until joined.
    std::vector<std::string> l_Faults(kThreads + 1);
    std::atomic<bool> l_Done{false};
    long l_HeldReads = 0;
    std::thread l_Holder([&] {
        // At least one round even if the cyclers are done before this thread starts.
        do {
            l_Faults[kThreads] = zuTest::checkList(l_Exports, l_pHeld, l_HeldCount, kBridgeValues);
            ++l_HeldReads;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (!l_Done && l_Faults[kThreads].empty());
    });
    std::vector<std::thread> l_Cyclers;
    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        l_Cyclers.emplace_back([&, l_Thread] {
            for (int l_Cycle = 0; l_Cycle < kCyclesPerThread && l_Faults[l_Thread].empty();
                 ++l_Cycle) {
                std::uint32_t l_Count = 0;
                void* l_pList = nullptr;
                const std::int32_t l_Code = l_Exports.openList(&l_Count, &l_pList);
                l_Faults[l_Thread] =
                    l_Code != 0 ? "openList answered " + std::to_string(l_Code)
                                : zuTest::checkList(l_Exports, l_pList, l_Count, kBridgeValues);
                l_Exports.closeList(l_pList);
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
