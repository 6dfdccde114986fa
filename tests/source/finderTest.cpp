// The finder linked in, so that failure places and allocations can be seen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/synchronization.h"
#include "platform/trace.h"
#include "sim/zupcibrdSim.h"
#include "source/finder.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSim.h"
#include "zu7461/zu7461.h"

using namespace nZU7461_14_0;

namespace {

constexpr std::int32_t kInvalid = ZU7461_STATUS_INVALID_PARAMETER;

// The finder attached for one test over a machine of chassis with these bridge values.
struct cAttachedFinder {
    explicit cAttachedFinder(const zuTest::tBridgeValues& a_rValues)
        : m_Topology(zuTest::chassisTopology(a_rValues)) {
        moduleAttach();
    }
    ~cAttachedFinder() { moduleDetach(); }

    zuTest::cTopologyFile m_Topology;
};

struct tOpened {
    tStatus status;
    std::uint32_t count;
    void* list;
    void* items[4]; // no allocation: the counters must balance while a list is held
};

// The module-level openList, so that the place of a failure can be checked.
tOpened openList() {
    tOpened l_Opened{makeStatus(), 0xDEADu, &l_Opened, {}};
    nZU7461_14_0::openList(&l_Opened.list, &l_Opened.count, &l_Opened.status);
    for (std::uint32_t l_Index = 0; l_Index < l_Opened.count && l_Index < 4; ++l_Index) {
        EXPECT_EQ(nZUPXIFINDER100_getNthItem(l_Opened.list, l_Index, &l_Opened.items[l_Index]), 0);
    }
    return l_Opened;
}

// Every allocation a_rCall makes is counted, and all must be given back by its end.
template <typename tCall> void expectBalanced(const tCall& a_rCall) {
    zuTest::cFailingAllocationScope l_Scope;
    zuTest::armAllocationFailure(0);
    a_rCall();
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
}

// A failure with a_Code at a_pFile:a_Line, or success (a_Code 0) with no place.
void expectPlace(const tStatus& a_rStatus, std::int32_t a_Code, std::uint32_t a_Line,
                 const char* a_pFile = "cSessionManager") {
    EXPECT_EQ(a_rStatus.code, a_Code);
    EXPECT_STREQ(a_rStatus.file, a_Code == 0 ? "" : a_pFile);
    EXPECT_EQ(a_rStatus.line, a_Code == 0 ? 0 : a_Line);
}

// Optimised, the simulator may release as a tail call, leaving no frame of its own for the
// allocator to tell its blocks apart by: the sweep runs in the unoptimised sanitizer build.
#if !defined(_WIN32) && !defined(__OPTIMIZE__)
std::uint32_t bridgeValueOf(void* a_pItem) {
    std::uint32_t l_Value = 0xBAD;
    EXPECT_EQ(nZUPXIFINDER100_getU32Attribute(a_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value), 0);
    return l_Value;
}

// Every allocation of openList failed in turn, discovery against the simulator (whose own are
// neither failed nor counted): -52000 with nothing written or kept and the library unloaded,
// until a run succeeds untouched. Held lists keep the manager through every failure.
TEST(FinderSweep, EveryFailedAllocationOfOpenListEndsInMemoryFull) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    cAttachedFinder l_Finder({3, 0xFFFF, 0x12340003}); // records keep only the low 16 bits
    zuTest::ignoreAllocationsFrom("zupcibrd");
    for (const int l_Held : {0, 2}) {
        std::vector<tOpened> l_HeldLists(l_Held);
        std::generate(l_HeldLists.begin(), l_HeldLists.end(), openList);
        std::set<std::string> l_Places;
        for (long l_FailAt = 1; l_FailAt < 10000; ++l_FailAt) {
            SCOPED_TRACE(testing::Message() << l_Held << " held, allocation " << l_FailAt);
            zuTest::armAllocationFailure(l_FailAt);
            const tOpened l_Opened = openList();
            const bool l_Failed = isFailed(&l_Opened.status);
            if (!l_Failed) { // a failure that cost only a status's details: the answer is whole
                EXPECT_EQ(bridgeValueOf(l_Opened.items[0]) + bridgeValueOf(l_Opened.items[2]), 6u);
                EXPECT_EQ(bridgeValueOf(l_Opened.items[1]), 0xFFFFu);
                nZUPXIFINDER100_closeList(l_Opened.list);
            }
            const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
            EXPECT_EQ(l_Counters.allocations, l_Counters.releases);
            EXPECT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
            if (l_Counters.failed == 0) {
                break;
            }
            if (l_Failed) {
                const std::string l_Place =
                    std::string(l_Opened.status.file) + ":" + std::to_string(l_Opened.status.line);
                // Our loader stand-in may run out of memory too: that is a library not found.
                EXPECT_TRUE(l_Opened.status.code == -52000 || l_Place == "dynload:94") << l_Place;
                EXPECT_EQ(std::tie(l_Opened.list, l_Opened.count), std::make_tuple(nullptr, 0u));
                l_Places.insert(l_Place);
            }
        }
        // Path, manager, list, the wrapper's array, the records and the sets.
        for (const char* l_Place :
             {"Allocator:32", "memoryAllocation:291", "cSessionManager:276", "cSessionManager:285",
              "cSessionManager:296", "cSessionManager:435"}) {
            EXPECT_TRUE(l_Held != 0 || l_Places.count(l_Place) == 1) << l_Place;
        }
        for (const tOpened& l_List : l_HeldLists) {
            EXPECT_EQ(bridgeValueOf(l_List.items[2]), 3u);
            nZUPXIFINDER100_closeList(l_List.list);
        }
    }
    zuTest::ignoreAllocationsFrom(nullptr);
}
#endif

// Only open lists and their items answer; anything else is refused at its place, unwritten.
TEST(FinderHandles, OnlyOpenListsAndTheirItemsAnswer) {
    cAttachedFinder l_Finder({5, 6});
    const tOpened l_Closed = openList();
    nZUPXIFINDER100_closeList(l_Closed.list);
    tOpened l_Open{};
    for (const int l_Phase : {0, 1, 2}) { // none open, one open, detached
        if (l_Phase == 1) {
#ifdef __SANITIZE_ADDRESS__
            const __lsan::ScopedDisabler l_Leaks; // detach releases nothing of a list left open
#endif
            l_Open = openList();
        } else if (l_Phase == 2) {
            moduleDetach();
            const tOpened l_After = openList();
            expectPlace(l_After.status, ZU7461_STATUS_SESSION_MANAGER_MISSING, 72);
            EXPECT_EQ(std::tie(l_After.list, l_After.count), std::make_tuple(nullptr, 0u));
        }
        char* const l_pItemBytes =
            static_cast<char*>(l_Open.list == nullptr ? l_Closed.items[1] : l_Open.items[0]);
        const struct {
            void* handle;
            std::uint32_t index, value; // the item at that index of a list, an item's value
        } l_Cases[] = {                 // clang-format off
            {nullptr, 0, 0}, {reinterpret_cast<void*>(std::uintptr_t{1}), 0, 0}, {reinterpret_cast<void*>(~std::uintptr_t{0}), 0, 0},
            {l_Closed.list, 0, 0}, {l_Closed.items[0], 0, 0}, {l_pItemBytes + 1, 0, 0}, {l_pItemBytes - 8, 0, 0},
            {l_Open.list, 2, 0}, {l_Open.list, 0xFFFFFFFFu, 0}, {l_Open.list, 0, 0}, {l_Open.list, 1, 0}, {l_pItemBytes, 0, 5}, {l_Open.items[1], 1, 6}};
        // clang-format on
        for (const auto& l_Case : l_Cases) {
            SCOPED_TRACE(testing::Message() << l_Phase << ", row " << &l_Case - l_Cases);
            const bool l_List = l_Phase == 1 && l_Case.handle == l_Open.list && l_Case.index < 2;
            const bool l_Item = l_Phase == 1 && l_Case.value != 0;
            void* l_pOut = &l_pOut;
            std::uint32_t l_Value = 42;
            const char* l_pText = "untouched";
            tStatus l_Nth = makeStatus(), l_Numeric = makeStatus(), l_String = makeStatus();
            getNthItem(l_Case.handle, l_Case.index, &l_pOut, &l_Nth);
            getU32Attribute(l_Case.handle, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value, &l_Numeric);
            getStringAttribute(l_Case.handle, ZU7461_ATTR_STRING_MODEL, &l_pText, &l_String);
            expectPlace(l_Nth, l_List ? 0 : kInvalid, 163);
            expectPlace(l_Numeric, l_Item ? 0 : kInvalid, 192);
            expectPlace(l_String, l_Item ? 0 : kInvalid, 228);
            EXPECT_EQ(l_pOut, l_List ? l_Open.items[l_Case.index] : &l_pOut);
            EXPECT_EQ(l_Value, l_Item ? l_Case.value : 42u);
            EXPECT_STREQ(l_pText, l_Item ? "ZU PXI-7461" : "untouched");
            if (l_Case.handle != l_Open.list) {
                nZUPXIFINDER100_closeList(l_Case.handle);
            }
        }
    }
}

// A lock that cannot be made fails openList where the lock object reports it.
TEST(FinderLockCreation, FailsOpenListWhereTheLockIsMade) {
    const auto l_pFail = +[](LPCRITICAL_SECTION, DWORD) -> BOOL { return FALSE; };
    for (const bool l_FinderLock : {true, false}) {
        SCOPED_TRACE(l_FinderLock);
        setLockInitializer(l_FinderLock ? l_pFail : nullptr);
        cAttachedFinder l_Finder({1});
        setLockInitializer(l_FinderLock ? nullptr : l_pFail);
        tOpened l_Failed{};
        expectBalanced([&] { l_Failed = openList(); });
        setLockInitializer(nullptr);
        expectPlace(l_Failed.status, ZU7461_STATUS_MEMORY_FULL, 881, "synchronization");
        EXPECT_EQ(std::tie(l_Failed.list, l_Failed.count), std::make_tuple(nullptr, 0u));
        const tOpened l_Next = openList();
        EXPECT_EQ(l_Next.status.code, l_FinderLock ? ZU7461_STATUS_MEMORY_FULL : 0);
        nZUPXIFINDER100_closeList(l_Next.list);
    }
}

std::string g_Captured; // what the trace sent to the debugger output

// The module's trace lives from attach to detach; its destination writes and describes itself.
TEST(Trace, ConsoleDestinationWritesAndDescribesWithinItsBuffers) {
    using namespace nZUOSKA000;
    const tDebugOutput l_Previous =
        setDebugOutputForTesting([](const char* a_pText) { g_Captured += a_pText; });
    for (int l_Round = 0; l_Round < 2; ++l_Round) {
        moduleAttach();
        ASSERT_TRUE(moduleTrace() != nullptr && moduleTrace()->isActive());
        ASSERT_NE(moduleTrace()->destination(), nullptr);
        moduleTrace()->destination()->writeText("attached");
        moduleDetach();
        EXPECT_EQ(moduleTrace(), nullptr);
    }
    tConsoleTraceDestination l_Destination;
    const std::string l_Long(600, 'q');
    l_Destination.writeTextN("abcdef", 3);
    l_Destination.writeTextN("xy", 5);
    l_Destination.writeText(l_Long.c_str());
    l_Destination.writeTextN(l_Long.c_str(), 0xFFFFFFFF);
    setDebugOutputForTesting(l_Previous);
    EXPECT_EQ(g_Captured, "attachedattachedabcxy" + std::string(1022, 'q'));
    // The buffer's size, what it receives (the rest of it untouched) and where the copy stopped.
    // clang-format off
    const std::tuple<std::uint32_t, const char*, long> l_Cases[] = {{10, " --destin", 10},
        {20, " --destination oska", 20}, {64, " --destination oska", 20}, {1, "", 1}, {0, "", 0}};
    // clang-format on
    for (const auto& [l_Size, l_pExpected, l_Stop] : l_Cases) {
        SCOPED_TRACE(l_Size);
        std::vector<char> l_Buffer(l_Size + 4, 'Z');
        l_Buffer[0] = '\0';
        std::uint32_t l_Needed = 0;
        const long l_At =
            l_Destination.describeDestination(l_Buffer.data(), l_Size, &l_Needed) - l_Buffer.data();
        EXPECT_EQ(std::make_tuple(std::string(l_Buffer.data()), l_Needed, l_At,
                                  l_Buffer[l_Size + (l_Size == 0)]),
                  std::make_tuple(std::string(l_pExpected), 20u, l_Stop, 'Z'));
    }
    EXPECT_EQ(l_Destination.describeDestination(nullptr, 0, nullptr), nullptr);
}

} // namespace
