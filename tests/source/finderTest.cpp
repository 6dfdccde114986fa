#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/synchronization.h"
#include "source/finder.h"
#include "tests/support/zuSeamChassis.h"
#include "zu7461/zu7461.h"

using namespace nZU7461_14_0;
using zuTest::tSeamedFinder;

namespace {

// Allocations made while it lives are left out of the leak check.
struct tLeakedOnPurpose {
#ifdef __SANITIZE_ADDRESS__
    tLeakedOnPurpose() {
        __lsan_disable();
    }
    ~tLeakedOnPurpose() {
        __lsan_enable();
    }
#endif
};

struct tOpened {
    std::int32_t code;
    std::uint32_t count;
    void* list;
};

tOpened openList() {
    tOpened l_Opened{0, 0xDEADu, reinterpret_cast<void*>(0x1)};
    l_Opened.code = nZUPXIFINDER100_openList(&l_Opened.count, &l_Opened.list);
    return l_Opened;
}

std::vector<void*> itemsOf(const tOpened& a_rOpened) {
    std::vector<void*> l_Items;
    for (std::uint32_t l_Index = 0; l_Index < a_rOpened.count; ++l_Index) {
        void* l_pItem = nullptr;
        EXPECT_EQ(nZUPXIFINDER100_getNthItem(a_rOpened.list, l_Index, &l_pItem), 0);
        l_Items.push_back(l_pItem);
    }
    return l_Items;
}

std::uint32_t bridgeValueOf(void* a_pItem) {
    std::uint32_t l_Value = 0;
    EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(a_pItem, 0x20000, &l_Value), 0);
    return l_Value;
}

// Runs the module-level openList so that the place of a failure can be checked.
tStatus openListWithStatus(void** a_ppList, std::uint32_t* a_pCount) {
    tStatus l_Status = makeStatus();
    nZU7461_14_0::openList(a_ppList, a_pCount, &l_Status);
    return l_Status;
}

TEST(FinderLifecycle, ManagerLivesExactlyWhileListsAreOpen) {
    tSeamedFinder l_Finder({7});
    EXPECT_EQ(currentSessionManager(), nullptr);
    const tOpened l_First = openList();
    ASSERT_EQ(l_First.code, 0);
    EXPECT_NE(currentSessionManager(), nullptr);
    const tOpened l_Second = openList();
    ASSERT_EQ(l_Second.code, 0);
    EXPECT_EQ(openListCount(), 2u);

    nZUPXIFINDER100_closeList(l_First.list);
    EXPECT_NE(currentSessionManager(), nullptr);
    nZUPXIFINDER100_closeList(l_Second.list);
    EXPECT_EQ(currentSessionManager(), nullptr);
    EXPECT_EQ(openListCount(), 0u);

    const tOpened l_Again = openList();
    ASSERT_EQ(l_Again.code, 0);
    EXPECT_NE(currentSessionManager(), nullptr);
    nZUPXIFINDER100_closeList(l_Again.list);
    EXPECT_EQ(currentSessionManager(), nullptr);
}

// A host that detaches the module with a list open and calls again: nothing is searched, and
// nothing reaches the list's records or the lock torn down with the module.
TEST(FinderLifecycle, CallsAfterDetachAreRefused) {
    tSeamedFinder l_Finder({7});
    tOpened l_Left;
    {
        // The list stays open on purpose: detach releases nothing.
        [[maybe_unused]] const tLeakedOnPurpose l_Leaked{};
        l_Left = openList();
    }
    ASSERT_EQ(l_Left.count, 1u);
    void* const l_pItem = itemsOf(l_Left)[0];
    moduleDetach();

    void* l_pList = &l_Left;
    std::uint32_t l_Count = 5;
    const tStatus l_Status = openListWithStatus(&l_pList, &l_Count);
    EXPECT_EQ(l_Status.code, -52003);
    EXPECT_STREQ(l_Status.file, "cSessionManager");
    EXPECT_EQ(l_Status.line, 72u);
    EXPECT_EQ(l_pList, nullptr);
    EXPECT_EQ(l_Count, 0u);
    std::uint32_t l_Value = 99;
    EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(l_pItem, 0x20000, &l_Value), -52005);
    EXPECT_EQ(l_Value, 99u);
    nZUPXIFINDER100_closeList(l_Left.list);
}

TEST(FinderLists, RecordsKeepDiscoveryOrderAndDuplicates) {
    tSeamedFinder l_Finder({0x0003, 0xFFFF, 0x0003, 0x0000});
    const tOpened l_Opened = openList();
    ASSERT_EQ(l_Opened.code, 0);
    ASSERT_EQ(l_Opened.count, 4u);
    std::vector<std::uint32_t> l_Values;
    for (void* l_pItem : itemsOf(l_Opened)) {
        l_Values.push_back(bridgeValueOf(l_pItem));
    }
    EXPECT_EQ(l_Values, (std::vector<std::uint32_t>{3, 65535, 3, 0}));
    nZUPXIFINDER100_closeList(l_Opened.list);
}

TEST(FinderLists, ClosingOneListKeepsTheOtherAnswering) {
    tSeamedFinder l_Finder({1, 2});
    const tOpened l_First = openList();
    const tOpened l_Second = openList();
    ASSERT_EQ(l_First.count, 2u);
    ASSERT_EQ(l_Second.count, 2u);
    const std::vector<void*> l_FirstItems = itemsOf(l_First);
    const std::vector<void*> l_SecondItems = itemsOf(l_Second);
    // Any open item answers, whichever list it came from.
    EXPECT_EQ(bridgeValueOf(l_FirstItems[1]), 2u);
    EXPECT_EQ(bridgeValueOf(l_SecondItems[0]), 1u);

    nZUPXIFINDER100_closeList(l_First.list);
    std::uint32_t l_Value = 99;
    tStatus l_Status = makeStatus();
    getU32Attribute(l_FirstItems[0], 0, &l_Value, &l_Status);
    EXPECT_EQ(l_Status.code, -52005);
    EXPECT_EQ(l_Status.line, 192u);
    const char* l_pText = "untouched";
    l_Status = makeStatus();
    getStringAttribute(l_FirstItems[0], 1, &l_pText, &l_Status);
    EXPECT_EQ(l_Status.line, 228u);
    void* l_pItem = &l_Value;
    l_Status = makeStatus();
    getNthItem(l_First.list, 0, &l_pItem, &l_Status);
    EXPECT_EQ(l_Status.line, 163u);
    EXPECT_EQ(l_Value, 99u);
    EXPECT_STREQ(l_pText, "untouched");
    EXPECT_EQ(l_pItem, &l_Value);

    EXPECT_EQ(bridgeValueOf(l_SecondItems[1]), 2u);
    nZUPXIFINDER100_closeList(l_First.list); // closed before: harmless
    EXPECT_EQ(openListCount(), 1u);
    nZUPXIFINDER100_closeList(l_Second.list);
}

TEST(FinderHandles, ForgedHandlesAreRefusedWithoutBeingRead) {
    tSeamedFinder l_Finder({5, 6});
    const tOpened l_Opened = openList();
    ASSERT_EQ(l_Opened.count, 2u);
    void* l_pItem = itemsOf(l_Opened)[0];
    char* l_pItemBytes = static_cast<char*>(l_pItem);
    char* l_pListBytes = static_cast<char*>(l_Opened.list);
    // Reading any of these would crash or give nonsense; all must be answered from the sets.
    const std::vector<void*> l_Forged = {
        nullptr,
        reinterpret_cast<void*>(std::uintptr_t{1}),
        reinterpret_cast<void*>(std::uintptr_t{0xDEADBEEF}),
        reinterpret_cast<void*>(~std::uintptr_t{0}),
        l_pItemBytes + 1,
        l_pListBytes + 8,
    };
    for (void* l_pHandle : l_Forged) {
        void* l_pOut = &l_Finder;
        EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_pHandle, 0, &l_pOut), -52005);
        EXPECT_EQ(l_pOut, &l_Finder);
        std::uint32_t l_Value = 42;
        EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(l_pHandle, 0, &l_Value), -52005);
        EXPECT_EQ(l_Value, 42u);
        const char* l_pText = "untouched";
        EXPECT_EQ(nZUPXIFINDER100_getStringAttribute(l_pHandle, 0, &l_pText), -52005);
        EXPECT_STREQ(l_pText, "untouched");
        nZUPXIFINDER100_closeList(l_pHandle);
    }
    // A list handle is no item, and an item handle is no list.
    std::uint32_t l_Value = 42;
    EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(l_Opened.list, 0, &l_Value), -52005);
    void* l_pOut = nullptr;
    EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_pItem, 0, &l_pOut), -52005);
    nZUPXIFINDER100_closeList(l_pItem);
    EXPECT_EQ(openListCount(), 1u);

    // Index bounds.
    EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_Opened.list, 1, &l_pOut), 0);
    l_pOut = &l_Value;
    EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_Opened.list, 2, &l_pOut), -52005);
    EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_Opened.list, 0xFFFFFFFF, &l_pOut), -52005);
    EXPECT_EQ(l_pOut, &l_Value);
    nZUPXIFINDER100_closeList(l_Opened.list);
}

TEST(FinderFailures, DiscoveryFailureLeavesNothingBehind) {
    tSeamedFinder l_Finder({1, 2, 3});
    zuTest::seamScript().failAfter = 2;
    zuTest::seamScript().failCode = -313099;
    void* l_pList = &l_Finder;
    std::uint32_t l_Count = 9;
    const tStatus l_Status = openListWithStatus(&l_pList, &l_Count);
    EXPECT_EQ(l_Status.code, -313099);
    EXPECT_EQ(l_pList, nullptr);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(currentSessionManager(), nullptr);
    EXPECT_EQ(openListCount(), 0u);
}

TEST(FinderFailures, FailureWhileAnotherListIsOpenKeepsThatList) {
    tSeamedFinder l_Finder({1});
    const tOpened l_Held = openList();
    ASSERT_EQ(l_Held.count, 1u);
    zuTest::seamScript().failCode = -5;
    const tOpened l_Failed = openList();
    EXPECT_EQ(l_Failed.code, -5);
    EXPECT_EQ(l_Failed.list, nullptr);
    EXPECT_EQ(l_Failed.count, 0u);
    EXPECT_NE(currentSessionManager(), nullptr);
    EXPECT_EQ(bridgeValueOf(itemsOf(l_Held)[0]), 1u);
    nZUPXIFINDER100_closeList(l_Held.list);
    EXPECT_EQ(currentSessionManager(), nullptr);
}

TEST(FinderFailures, WarningIsReturnedWithTheList) {
    tSeamedFinder l_Finder({1, 2});
    zuTest::seamScript().failAfter = 1;
    zuTest::seamScript().failCode = 17;
    const tOpened l_Opened = openList();
    EXPECT_EQ(l_Opened.code, 17);
    EXPECT_EQ(l_Opened.count, 2u);
    nZUPXIFINDER100_closeList(l_Opened.list);
}

TEST(FinderEmptySearch, ReturnsNoListAndLeavesNoManager) {
    tSeamedFinder l_Finder({});
    const tOpened l_Opened = openList();
    EXPECT_EQ(l_Opened.code, 0);
    EXPECT_EQ(l_Opened.count, 0u);
    EXPECT_EQ(l_Opened.list, nullptr);
    EXPECT_EQ(currentSessionManager(), nullptr);
    EXPECT_EQ(openListCount(), 0u);
}

TEST(FinderEmptySearch, WarningWithoutChassisStillClosesTheList) {
    tSeamedFinder l_Finder({});
    zuTest::seamScript().bridgeValues = {1};
    zuTest::seamScript().failCode = 4;
    zuTest::seamScript().failAfter = 0;
    // The warning comes before the first record, then the record is still made.
    const tOpened l_WithRecord = openList();
    EXPECT_EQ(l_WithRecord.code, 4);
    EXPECT_EQ(l_WithRecord.count, 1u);
    nZUPXIFINDER100_closeList(l_WithRecord.list);
}

BOOL failLockCreation(LPCRITICAL_SECTION, DWORD) {
    return FALSE;
}

class LockCreationFailure : public ::testing::Test {
protected:
    void TearDown() override { setLockInitializer(nullptr); }
};

// A lock that could not be created is recorded where the lock object makes it.
void expectLockCreationFailure(const tStatus& a_rStatus) {
    EXPECT_EQ(a_rStatus.code, -52000);
    EXPECT_STREQ(a_rStatus.file, "synchronization");
    EXPECT_EQ(a_rStatus.line, 881u);
}

TEST_F(LockCreationFailure, OfTheFinderLockFailsEveryOpenList) {
    setLockInitializer(&failLockCreation);
    tSeamedFinder l_Finder({1});
    setLockInitializer(nullptr);
    expectLockCreationFailure(staticStatus());

    void* l_pList = &l_Finder;
    std::uint32_t l_Count = 3;
    const tStatus l_Status = openListWithStatus(&l_pList, &l_Count);
    expectLockCreationFailure(l_Status);
    EXPECT_EQ(l_pList, nullptr);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(currentSessionManager(), nullptr);
    EXPECT_EQ(openList().code, -52000);
    nZUPXIFINDER100_closeList(nullptr);
}

TEST_F(LockCreationFailure, OfTheManagerLockFailsThatOpenListOnly) {
    tSeamedFinder l_Finder({1});
    setLockInitializer(&failLockCreation);
    void* l_pList = &l_Finder;
    std::uint32_t l_Count = 3;
    const tStatus l_Status = openListWithStatus(&l_pList, &l_Count);
    expectLockCreationFailure(l_Status);
    EXPECT_EQ(l_pList, nullptr);
    EXPECT_EQ(currentSessionManager(), nullptr);

    setLockInitializer(nullptr);
    const tOpened l_Opened = openList();
    EXPECT_EQ(l_Opened.code, 0);
    EXPECT_EQ(l_Opened.count, 1u);
    nZUPXIFINDER100_closeList(l_Opened.list);
}

TEST(FinderConcurrency, ListsOpenWalkAndCloseFromManyThreadsWhileOneStaysOpen) {
    tSeamedFinder l_Finder({10, 20, 30});
    const tOpened l_Held = openList();
    ASSERT_EQ(l_Held.count, 3u);
    const std::vector<void*> l_HeldItems = itemsOf(l_Held);

    constexpr int kThreads = 4;
    constexpr int kCycles = 300;
    std::atomic<int> l_WrongAnswers{0};
    std::vector<std::thread> l_Threads;
    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        l_Threads.emplace_back([&] {
            for (int l_Cycle = 0; l_Cycle < kCycles; ++l_Cycle) {
                std::uint32_t l_Count = 0;
                void* l_pList = nullptr;
                if (nZUPXIFINDER100_openList(&l_Count, &l_pList) != 0 || l_Count != 3) {
                    ++l_WrongAnswers;
                    continue;
                }
                for (std::uint32_t l_Index = 0; l_Index < l_Count; ++l_Index) {
                    void* l_pItem = nullptr;
                    std::uint32_t l_Value = 0;
                    const char* l_pModel = nullptr;
                    if (nZUPXIFINDER100_getNthItem(l_pList, l_Index, &l_pItem) != 0 ||
                        nZUPXIFINDER100_getU32Attribute(l_pItem, 0x20000, &l_Value) != 0 ||
                        l_Value != 10 * (l_Index + 1) ||
                        nZUPXIFINDER100_getStringAttribute(l_pItem, 1, &l_pModel) != 0) {
                        ++l_WrongAnswers;
                    }
                    std::uint32_t l_HeldValue = 0;
                    if (nZUPXIFINDER100_getU32Attribute(l_HeldItems[l_Index], 0x20000,
                                                        &l_HeldValue) != 0 ||
                        l_HeldValue != 10 * (l_Index + 1)) {
                        ++l_WrongAnswers;
                    }
                }
                nZUPXIFINDER100_closeList(l_pList);
            }
        });
    }
    for (std::thread& l_Thread : l_Threads) {
        l_Thread.join();
    }
    EXPECT_EQ(l_WrongAnswers.load(), 0);
    EXPECT_EQ(openListCount(), 1u);
    EXPECT_EQ(bridgeValueOf(l_HeldItems[2]), 30u);
    nZUPXIFINDER100_closeList(l_Held.list);
    EXPECT_EQ(currentSessionManager(), nullptr);
}

} // namespace
