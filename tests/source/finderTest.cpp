// The finder linked in, as the module runs it: lists, handles, failure places and the module's
// start and stop, with discovery going to the simulated bridge driver beside the program.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/synchronization.h"
#include "sim/zupcibrdSim.h"
#include "source/finder.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuSim.h"
#include "zu7461/zu7461.h"

using namespace nZU7461_14_0;

namespace {

constexpr std::int32_t kInvalid = ZU7461_STATUS_INVALID_PARAMETER;

// The finder attached for one test over a machine of chassis with these bridge values.
class cAttachedFinder {
public:
    explicit cAttachedFinder(const zuTest::tBridgeValues& a_rValues) : m_Topology(a_rValues) {
        moduleAttach();
    }
    ~cAttachedFinder() { moduleDetach(); }
    cAttachedFinder(const cAttachedFinder&) = delete;
    cAttachedFinder& operator=(const cAttachedFinder&) = delete;

    zuTest::cTopologyFile m_Topology;
};

struct tOpened {
    tStatus status;
    std::uint32_t count;
    void* list;
};

// The module-level openList, so that the place of a failure can be checked.
tOpened openList() {
    tOpened l_Opened{makeStatus(), 0xDEADu, &l_Opened};
    nZU7461_14_0::openList(&l_Opened.list, &l_Opened.count, &l_Opened.status);
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
    std::uint32_t l_Value = 0xBAD;
    EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(a_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value), 0);
    return l_Value;
}

void expectPlace(const tStatus& a_rStatus, std::int32_t a_Code, const char* a_pFile,
                 std::uint32_t a_Line) {
    EXPECT_EQ(a_rStatus.code, a_Code);
    EXPECT_STREQ(a_rStatus.file, a_pFile);
    EXPECT_EQ(a_rStatus.line, a_Line);
}

TEST(FinderLists, ManagerLivesExactlyWhileListsAreOpenAndRecordsKeepDiscoveryOrder) {
    // Duplicates stay, and only the low 16 bits of the value tell chassis apart.
    cAttachedFinder l_Finder({3, 0xFFFF, 0x12340003, 0});
    zuTest::cFailingAllocationScope l_Scope;
    zuTest::armAllocationFailure(0);
    const tOpened l_First = openList();
    const tOpened l_Second = openList();
    ASSERT_EQ(l_First.status.code, 0);
    ASSERT_EQ(l_Second.status.code, 0);
    const std::uint32_t l_Expected[] = {3, 0xFFFF, 3, 0};
    ASSERT_EQ(l_First.count, 4u);
    for (std::uint32_t l_Index = 0; l_Index < 4; ++l_Index) {
        EXPECT_EQ(bridgeValueOf(itemsOf(l_First)[l_Index]), l_Expected[l_Index]);
    }
    nZUPXIFINDER100_closeList(l_First.list);
    EXPECT_EQ(bridgeValueOf(itemsOf(l_Second)[1]), 0xFFFFu);
    nZUPXIFINDER100_closeList(l_Second.list);
    void* l_pOut = nullptr;
    EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_Second.list, 0, &l_pOut), kInvalid);
    // Everything the two lists and their manager took is given back with the last close.
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
    const tOpened l_Again = openList();
    EXPECT_EQ(l_Again.count, 4u);
    nZUPXIFINDER100_closeList(l_Again.list);
}

// Every handle that names no open list or item is refused at the operation's own place, and
// nothing is written; closing one changes nothing.
TEST(FinderHandles, UnknownHandlesAreRefusedWhereTheOperationIs) {
    cAttachedFinder l_Finder({5, 6});
    const tOpened l_Closed = openList();
    const std::vector<void*> l_ClosedItems = itemsOf(l_Closed);
    nZUPXIFINDER100_closeList(l_Closed.list);
    const tOpened l_Open = openList();
    void* const l_pItem = itemsOf(l_Open)[0];
    char* const l_pItemBytes = static_cast<char*>(l_pItem);
    char* const l_pListBytes = static_cast<char*>(l_Open.list);

    const std::vector<void*> l_Lists = {nullptr,
                                        reinterpret_cast<void*>(std::uintptr_t{1}),
                                        reinterpret_cast<void*>(~std::uintptr_t{0}),
                                        l_pListBytes + 8,
                                        l_Closed.list,
                                        l_pItem};
    const std::vector<void*> l_Items = {nullptr, reinterpret_cast<void*>(0xDEADBEEF),
                                        l_pItemBytes + 1, l_ClosedItems[0], l_Open.list};
    for (void* l_pHandle : l_Lists) {
        void* l_pOut = &l_pOut;
        tStatus l_Status = makeStatus();
        getNthItem(l_pHandle, 0, &l_pOut, &l_Status);
        expectPlace(l_Status, kInvalid, "cSessionManager", 163);
        EXPECT_EQ(l_pOut, &l_pOut);
        nZUPXIFINDER100_closeList(l_pHandle);
    }
    for (void* l_pHandle : l_Items) {
        std::uint32_t l_Value = 42;
        const char* l_pText = "untouched";
        tStatus l_Numeric = makeStatus();
        tStatus l_String = makeStatus();
        getU32Attribute(l_pHandle, ZU7461_ATTR_U32_KIND, &l_Value, &l_Numeric);
        getStringAttribute(l_pHandle, ZU7461_ATTR_STRING_MODEL, &l_pText, &l_String);
        expectPlace(l_Numeric, kInvalid, "cSessionManager", 192);
        expectPlace(l_String, kInvalid, "cSessionManager", 228);
        EXPECT_EQ(l_Value, 42u);
        EXPECT_STREQ(l_pText, "untouched");
    }
    // Index bounds, then the open list is untouched by all of the above.
    for (const std::uint32_t l_Index : {2u, 0x80000000u, 0xFFFFFFFFu}) {
        void* l_pOut = &l_pOut;
        EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_Open.list, l_Index, &l_pOut), kInvalid);
        EXPECT_EQ(l_pOut, &l_pOut);
    }
    EXPECT_EQ(bridgeValueOf(itemsOf(l_Open)[1]), 6u);
    nZUPXIFINDER100_closeList(l_Open.list);
    // With no list open at all the answer and its place are the same.
    std::uint32_t l_Value = 42;
    tStatus l_Status = makeStatus();
    getU32Attribute(l_pItem, ZU7461_ATTR_U32_KIND, &l_Value, &l_Status);
    expectPlace(l_Status, kInvalid, "cSessionManager", 192);
}

// A bridge the simulator has no value for fails discovery: nothing of that search stays, and
// a list held open meanwhile keeps answering.
TEST(FinderFailures, AFailedSearchLeavesNothingBehind) {
    cAttachedFinder l_Finder({1, 2, std::nullopt});
    zuTest::cFailingAllocationScope l_Scope;
    for (const bool l_HoldOne : {false, true}) {
        SCOPED_TRACE(l_HoldOne ? "with a list held open" : "alone");
        tOpened l_Held{};
        if (l_HoldOne) {
            l_Finder.m_Topology.use(zuTest::tBridgeValues{9});
            l_Held = openList();
            ASSERT_EQ(l_Held.count, 1u);
            l_Finder.m_Topology.use(zuTest::tBridgeValues{1, 2, std::nullopt});
        }
        zuTest::armAllocationFailure(0);
        const tOpened l_Failed = openList();
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
        EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
        EXPECT_EQ(l_Failed.status.code, ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE);
        EXPECT_EQ(l_Failed.list, nullptr);
        EXPECT_EQ(l_Failed.count, 0u);
        if (l_HoldOne) {
            EXPECT_EQ(bridgeValueOf(itemsOf(l_Held)[0]), 9u);
            nZUPXIFINDER100_closeList(l_Held.list);
        }
    }
}

TEST(FinderFailures, AnEmptySearchLeavesNoListAndNoManager) {
    cAttachedFinder l_Finder({});
    std::uint32_t l_Count = 3;
    void* l_pList = &l_Count;
    zuTest::cFailingAllocationScope l_Scope;
    zuTest::armAllocationFailure(0);
    EXPECT_EQ(nZUPXIFINDER100_openList(&l_Count, &l_pList), 0);
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(l_pList, nullptr);
}

// A host that detaches the module with a list open and calls again: nothing is searched, and
// nothing reaches the list's records or the lock torn down with the module.
TEST(FinderLifecycle, CallsAfterDetachAreRefused) {
    cAttachedFinder l_Finder({7});
#ifdef __SANITIZE_ADDRESS__
    // The list stays open on purpose: detach releases nothing.
    __lsan_disable();
#endif
    const tOpened l_Left = openList();
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
    ASSERT_EQ(l_Left.count, 1u);
    void* const l_pItem = itemsOf(l_Left)[0];
    moduleDetach();

    const tOpened l_After = openList();
    expectPlace(l_After.status, ZU7461_STATUS_SESSION_MANAGER_MISSING, "cSessionManager", 72);
    EXPECT_EQ(l_After.list, nullptr);
    EXPECT_EQ(l_After.count, 0u);
    std::uint32_t l_Value = 99;
    EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(l_pItem, ZU7461_ATTR_U32_KIND, &l_Value), kInvalid);
    EXPECT_EQ(l_Value, 99u);
    nZUPXIFINDER100_closeList(l_Left.list);
}

BOOL failLockCreation(LPCRITICAL_SECTION, DWORD) {
    return FALSE;
}

// A lock that cannot be created is reported where the lock object reports it. Without the
// finder lock no openList can run; without the manager's lock only that openList fails.
TEST(FinderLockCreation, FailsOpenListWhereTheLockIsMade) {
    for (const bool l_FinderLock : {true, false}) {
        SCOPED_TRACE(l_FinderLock ? "finder lock" : "manager's lock");
        // The finder lock is made at attach, the manager's lock by the first openList.
        setLockInitializer(l_FinderLock ? &failLockCreation : nullptr);
        cAttachedFinder l_Finder({1});
        setLockInitializer(l_FinderLock ? nullptr : &failLockCreation);
        zuTest::cFailingAllocationScope l_Scope;
        zuTest::armAllocationFailure(0);
        const tOpened l_Failed = openList();
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
        setLockInitializer(nullptr);
        EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
        expectPlace(l_Failed.status, ZU7461_STATUS_MEMORY_FULL, "synchronization", 881);
        EXPECT_EQ(l_Failed.list, nullptr);
        EXPECT_EQ(l_Failed.count, 0u);

        const tOpened l_Next = openList();
        EXPECT_EQ(l_Next.status.code, l_FinderLock ? ZU7461_STATUS_MEMORY_FULL : 0);
        nZUPXIFINDER100_closeList(l_Next.list);
    }
}

} // namespace
