// The exports as a host sees them, the finder and the simulator both loaded by the real loader.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/zuFinderModule.h"
#include "tests/support/zuListCheck.h"
#include "tests/support/zuSim.h"

namespace {

using zuTest::chassisTopology;

std::string withRules(const zuTest::tBridgeValues& a_rValues, const std::string& a_rRules) {
    return chassisTopology(a_rValues, R"({"rules":[)" + a_rRules + "]}");
}

TEST(Discovery, HostSeesTheCodeTheChassisAndTheCalls) {
    const std::string l_Open = "# loaded\nOpenSession(0,out) -> 0 session=1\n";
    const std::string l_Close = "CloseSession(1)\n# unloaded\n";
    const std::string l_Find = "FindBridgesByPciIds(1,null,null,0x1F3C,0x5C2E,";
    const std::string l_Get = "GetAttributeU32(1,";
    // clang-format off
    const struct {
        std::int32_t code;
        std::vector<std::uint32_t> bridgeValues;
        std::string topology;
        const char* variant; // held by full path; "": the finder loads the simulator itself
        std::string calls;   // "": not compared
    } l_Cases[] = {
        {0, {}, chassisTopology({}), "", l_Open + l_Find + "null,0) -> 0 count=0\n" + l_Close},
        // In the library's order, with only the low 16 bits.
        {0, {0x0001, 0x5678, 0xFFFF, 0x0001}, withRules({0x12345678, 0xFFFF0001, 1, 0x0001FFFF},
         R"({"entry":"FindBridgesByPciIds","call":2,"items":[2,1,4,3]})"), "", ""},
        // One failing bridge fails the list and stops the walk.
        {-313700, {}, withRules({1, 2, 3}, R"({"entry":"GetAttributeU32","bridge":2,"answer":-313700})"), "",
         l_Open + l_Find + "null,0) -> -313002 count=3\n" + l_Find + "buf,3) -> 0 count=3 bridges=[1,2,3]\n" +
         l_Get + "1,0x20000300,out) -> 0 value=0x00000001\n" + l_Get + "2,0x20000300,out) -> -313700 [rules[0]]\n" + l_Close},
        // A bridge's warning comes with the list; the session's goes unless no bridge is found.
        {5, {1, 2}, withRules({1, 2}, R"({"entry":"GetAttributeU32","bridge":1,"answer":5},{"entry":"GetAttributeU32","bridge":2,"answer":7})"), "", ""},
        {9, {}, withRules({}, R"({"entry":"OpenSession","answer":9})"), "", ""},
        {-313700, {}, withRules({1, 2, 3}, R"({"entry":"OpenSession","answer":-313700})"), "",
         "# loaded\nOpenSession(0,out) -> -313700 [rules[0]]\nCloseSession(4294967295)\n# unloaded\n"},
        // What a failing open wrote is not a session of the finder's to close.
        {-313700, {}, withRules({1}, R"({"entry":"OpenSession","answer":-313700,"writes":true})"), "",
         "# loaded\nOpenSession(0,out) -> -313700 session=1 [rules[0]]\nCloseSession(4294967295)\n# unloaded\n"},
        {-52005, {}, chassisTopology({1, 2, 3}), "no-GetAttributeU32", "# loaded\nCloseSession(4294967295)\n"},
        {-52005, {}, chassisTopology({1, 2, 3}), "no-OpenSession", "# loaded\n"},
    };
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.topology + l_Case.variant);
        const zuTest::cTopologyFile l_Topology(l_Case.topology);
        const zuTest::cCallLog l_Log;
        const std::unique_ptr<zuTest::cHeldSimulator> l_pHeld(
            *l_Case.variant != '\0' ? new zuTest::cHeldSimulator(l_Case.variant) : nullptr);
        const zuTest::tFinderModule l_Finder;
        std::uint32_t l_Count = 7;
        void* l_pList = &l_Count;
        EXPECT_EQ(l_Finder.openList(&l_Count, &l_pList), l_Case.code);
        EXPECT_EQ(l_pList == nullptr, l_Case.bridgeValues.empty());
        EXPECT_EQ(zuTest::checkList(l_Finder, l_pList, l_Count, l_Case.bridgeValues), "");
        l_Finder.closeList(l_pList);
        if (!l_Case.calls.empty()) {
            EXPECT_EQ(l_Log.text(), l_Case.calls);
        }
    }
}

// Ordering, not timing: a second openList waits at a gate while the first one's list is walked.
TEST(Discovery, QueriesProceedWhileAnotherOpenListIsInsideDiscovery) {
    const zuTest::cHeldSimulator l_Simulator;
    zuTest::cTopologyFile l_Topology(
        withRules({0x42}, R"({"entry":"GetAttributeU32","call":2,"gate":"reading"})"));
    l_Simulator.armGate("reading");
    const zuTest::tFinderModule l_Finder;
    std::uint32_t l_Count = 0;
    void* l_pHeld = nullptr;
    ASSERT_EQ(l_Finder.openList(&l_Count, &l_pHeld), 0);
    std::string l_Blocked = "not run";
    std::thread l_Opener([&] {
        std::uint32_t l_BlockedCount = 0;
        void* l_pList = nullptr;
        const std::int32_t l_Code = l_Finder.openList(&l_BlockedCount, &l_pList);
        l_Blocked =
            std::to_string(l_Code) + zuTest::checkList(l_Finder, l_pList, l_BlockedCount, {0x42});
        l_Finder.closeList(l_pList);
    });
    ASSERT_EQ(l_Simulator.waitAtGate("reading", 1), 1u);
    const std::string l_Held = zuTest::checkList(l_Finder, l_pHeld, l_Count, {0x42});
    EXPECT_EQ(l_Simulator.waitAtGate("reading", 0), 1u) << "discovery finished before the query";
    l_Simulator.openGate("reading");
    l_Opener.join();
    EXPECT_EQ(l_Held, "");
    EXPECT_EQ(l_Blocked, "0");
    l_Finder.closeList(l_pHeld);
}

// With no list open every handle is refused, a missing output before the handle is seen.
TEST(HostContract, RefusedCallsWriteNothingAcrossLoadsAndUnloads) {
    for (int l_Cycle = 0; l_Cycle < 3; ++l_Cycle) {
        const zuTest::tFinderModule l_Exports;
        std::uint32_t l_Count = 77, l_Value = 5;
        void *l_pList = &l_Count, *l_pItem = &l_Value;
        const char* l_pText = "untouched";
        std::vector<std::int32_t> l_Codes = {l_Exports.openList(nullptr, &l_pList),
                                             l_Exports.openList(&l_Count, nullptr),
                                             l_Exports.openList(nullptr, nullptr)};
        for (const std::uintptr_t l_Handle :
             {std::uintptr_t{0}, std::uintptr_t{0xDEADBEEF}, ~std::uintptr_t{0}}) {
            void* const l_pHandle = reinterpret_cast<void*>(l_Handle);
            l_Codes.insert(l_Codes.end(), {l_Exports.getNthItem(l_pHandle, 0, nullptr),
                                           l_Exports.getU32Attribute(l_pHandle, 0, nullptr),
                                           l_Exports.getStringAttribute(l_pHandle, 0, nullptr),
                                           l_Exports.getNthItem(l_pHandle, 0, &l_pItem),
                                           l_Exports.getU32Attribute(l_pHandle, 0, &l_Value),
                                           l_Exports.getStringAttribute(l_pHandle, 1, &l_pText)});
            l_Exports.closeList(l_pHandle);
        }
        EXPECT_EQ(l_Codes, std::vector<std::int32_t>(21, -52005));
        EXPECT_TRUE(l_pList == &l_Count && l_Count == 77 && l_pItem == &l_Value && l_Value == 5);
        EXPECT_STREQ(l_pText, "untouched");
        EXPECT_EQ(l_Exports.getControllerIDSELMap(), -52002); // never provided
    }
}

} // namespace
