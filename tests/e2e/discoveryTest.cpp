// Discovery end to end: the finder module and the simulated bridge driver library, both loaded by
// the real loader. Each case is a machine with its faults, or a variant lacking an entry point,
// and what the host sees: the code, the chassis, and every call the finder made (the call log).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSim.h"

namespace {

using zuTest::chassisTopology;
using zuTest::withFaults;

struct tDiscoveryCase {
    const char* name;
    std::string topology;
    const char* variant; // held by full path; empty: the finder loads the simulator itself
    std::int32_t code;
    std::vector<std::uint32_t> bridgeValues;
    const char* calls; // the call log, load and unload included
};

const std::string kThree = chassisTopology({1, 2, 3});

// clang-format off
const tDiscoveryCase kCases[] = {
    {"NoBridgeAsksOnceAndClosesTheSession", chassisTopology({}), "", 0, {}, R"(# loaded
OpenSession(0,out) -> 0 session=1
FindBridgesByPciIds(1,null,null,0x1F3C,0x5C2E,null,0) -> 0 count=0
CloseSession(1)
# unloaded
)"},
    {"RecordsFollowTheLibraryOrderWithOnlyTheLow16Bits",
        withFaults(chassisTopology({0x12345678, 0xFFFF0001, 1, 0x0001FFFF}),
        R"({"rules":[{"entry":"FindBridgesByPciIds","call":2,"items":[2,1,4,3]}]})"), "", 0,
        {0x0001, 0x5678, 0xFFFF, 0x0001}, R"(# loaded
OpenSession(0,out) -> 0 session=1
FindBridgesByPciIds(1,null,null,0x1F3C,0x5C2E,null,0) -> -313002 count=4
FindBridgesByPciIds(1,null,null,0x1F3C,0x5C2E,buf,4) -> 0 count=4 bridges=[2,1,4,3] [rules[0]]
GetAttributeU32(1,2,0x20000300,out) -> 0 value=0xFFFF0001
GetAttributeU32(1,1,0x20000300,out) -> 0 value=0x12345678
GetAttributeU32(1,4,0x20000300,out) -> 0 value=0x0001FFFF
GetAttributeU32(1,3,0x20000300,out) -> 0 value=0x00000001
CloseSession(1)
# unloaded
)"},
    {"OneFailingBridgeFailsTheListAndStopsTheWalk", withFaults(kThree,
        R"({"rules":[{"entry":"GetAttributeU32","bridge":2,"answer":-313700}]})"), "", -313700, {},
        R"(# loaded
OpenSession(0,out) -> 0 session=1
FindBridgesByPciIds(1,null,null,0x1F3C,0x5C2E,null,0) -> -313002 count=3
FindBridgesByPciIds(1,null,null,0x1F3C,0x5C2E,buf,3) -> 0 count=3 bridges=[1,2,3]
GetAttributeU32(1,1,0x20000300,out) -> 0 value=0x00000001
GetAttributeU32(1,2,0x20000300,out) -> -313700 [rules[0]]
CloseSession(1)
# unloaded
)"},
    {"FirstBridgeWarningIsReturnedWithTheWholeList",
        withFaults(chassisTopology({1, 2}), R"({"rules":[
        {"entry":"GetAttributeU32","bridge":1,"answer":5},
        {"entry":"GetAttributeU32","bridge":2,"answer":7}]})"), "", 5, {1, 2}, nullptr},
    {"SessionWarningIsClearedByTheCountQuery", withFaults(chassisTopology({1, 2}),
        R"({"rules":[{"entry":"OpenSession","answer":9}]})"), "", 0, {1, 2}, nullptr},
    {"SessionWarningSurvivesWhenNoBridgeIsFound", withFaults(chassisTopology({}),
        R"({"rules":[{"entry":"OpenSession","answer":9}]})"), "", 9, {}, nullptr},
    {"FailedSessionIsStillClosedAndNothingIsRead", withFaults(kThree,
        R"({"rules":[{"entry":"OpenSession","answer":-313700}]})"), "", -313700, {}, R"(# loaded
OpenSession(0,out) -> -313700 [rules[0]]
CloseSession(4294967295)
# unloaded
)"},
    {"MissingEntryPointIsInvalidParameterAndNothingIsAsked", kThree, "no-GetAttributeU32", -52005,
        {}, "# loaded\nCloseSession(4294967295)\n"},
    {"MissingOpenSessionLeavesTheLibraryUncalled", kThree, "no-OpenSession", -52005, {},
        "# loaded\n"},
};
// clang-format on

void PrintTo(const tDiscoveryCase& a_rCase, std::ostream* a_pOut) {
    *a_pOut << a_rCase.name;
}

class Discovery : public ::testing::TestWithParam<tDiscoveryCase> {};

TEST_P(Discovery, HostSeesTheCodeTheChassisAndTheCalls) {
    const tDiscoveryCase& l_rCase = GetParam();
    const zuTest::cTopologyFile l_Topology(l_rCase.topology);
    const zuTest::cCallLog l_Log;
    std::unique_ptr<zuTest::cHeldSimulator> l_pHeld;
    if (*l_rCase.variant != '\0') {
        l_pHeld.reset(new zuTest::cHeldSimulator(l_rCase.variant));
    }
    const zuTest::tFinderModule l_Finder;
    std::uint32_t l_Count = 7;
    void* l_pList = &l_Count;
    EXPECT_EQ(l_Finder.openList(&l_Count, &l_pList), l_rCase.code);
    EXPECT_EQ(l_pList == nullptr, l_rCase.bridgeValues.empty());
    EXPECT_EQ(l_Count, l_rCase.bridgeValues.size());
    std::vector<std::uint32_t> l_Values;
    for (const zuTest::tChassisSeen& l_rSeen : l_Finder.walk(l_pList, l_Count)) {
        l_Values.push_back(l_rSeen.bridgeValue);
        EXPECT_EQ(l_rSeen.kind, 2u);
        EXPECT_EQ(l_rSeen.maker, "Velmora");
        EXPECT_EQ(l_rSeen.model, "ZU PXI-7461");
    }
    l_Finder.closeList(l_pList);
    EXPECT_EQ(l_Values, l_rCase.bridgeValues);
    if (l_rCase.calls != nullptr) {
        EXPECT_EQ(l_Log.text(), l_rCase.calls);
    }
    EXPECT_EQ(zuTest::isModuleLoaded("zupcibrd.dll"), l_pHeld != nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, Discovery, ::testing::ValuesIn(kCases),
                         [](const auto& a_rInfo) { return std::string(a_rInfo.param.name); });

// Ordering, not timing: the second openList is held at a gate inside its attribute read while
// the list the first one opened is walked.
TEST(DiscoveryConcurrency, QueriesProceedWhileAnotherOpenListIsInsideDiscovery) {
    const zuTest::cHeldSimulator l_Simulator;
    zuTest::cTopologyFile l_Topology(
        withFaults(chassisTopology({0x42}),
                   R"({"rules":[{"entry":"GetAttributeU32","call":2,"gate":"reading"}]})"));
    const zuTest::tFinderModule l_Finder;
    std::uint32_t l_Count = 0;
    void* l_pHeld = nullptr;
    ASSERT_EQ(l_Finder.openList(&l_Count, &l_pHeld), 0);
    ASSERT_EQ(l_Count, 1u);

    std::int32_t l_BlockedCode = 1;
    std::vector<std::uint32_t> l_BlockedValues;
    std::thread l_Opener([&] { l_BlockedValues = l_Finder.bridgeValues(&l_BlockedCode); });
    ASSERT_EQ(l_Simulator.waitAtGate("reading", 1), 1u);
    const std::vector<zuTest::tChassisSeen> l_Seen = l_Finder.walk(l_pHeld, l_Count);
    EXPECT_EQ(l_Simulator.waitAtGate("reading", 0), 1u) << "discovery finished before the query";
    l_Simulator.openGate("reading");
    l_Opener.join();
    ASSERT_EQ(l_Seen.size(), 1u);
    EXPECT_EQ(l_Seen[0].bridgeValue, 0x42u);
    EXPECT_EQ(l_BlockedCode, 0);
    EXPECT_EQ(l_BlockedValues, std::vector<std::uint32_t>{0x42});
    l_Finder.closeList(l_pHeld);
}

} // namespace
