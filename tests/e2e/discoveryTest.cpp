// Discovery end to end: the finder module and a bridge driver library, both loaded by the real
// loader. The test bridge library is held by full path so that the finder's load by bare name
// gets it; the simulator is found beside the program as a host would find a real library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/zuEnvironment.h"
#include "tests/support/zuFinderModule.h"
#include "tests/testlibs/zuTestLibrary.h"

namespace {

using zuTest::tFinderModule;

constexpr std::int32_t kLibraryFailure = -313700;

std::size_t countOf(const std::string& a_rText, const std::string& a_rPart) {
    std::size_t l_Count = 0;
    for (std::size_t l_At = a_rText.find(a_rPart); l_At != std::string::npos;
         l_At = a_rText.find(a_rPart, l_At + 1)) {
        ++l_Count;
    }
    return l_Count;
}

// ---- Against the scriptable test library -------------------------------------------------

class DiscoveryScripted : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_Library.IsLoaded()) << m_Library.Path(); }
    void setBridges(const std::vector<std::uint32_t>& a_rBridges) {
        ZuTest_SetArray(ZuTestEntry_FindBridgesByPciIds, a_rBridges.data(),
                        static_cast<std::uint32_t>(a_rBridges.size()));
    }

    nZuTest::cTestBridgeLibrary m_Library{"scriptable"};
    tFinderModule m_Finder;
};

TEST_F(DiscoveryScripted, AsksForTheChassisSubsystemIdsAndClosesTheSession) {
    setBridges({});
    std::int32_t l_Code = 1;
    EXPECT_TRUE(m_Finder.bridgeValues(&l_Code).empty());
    EXPECT_EQ(l_Code, 0);
    // No bridge: no second search call, no attribute read, and the session is closed.
    EXPECT_EQ(nZuTest::callLog(), "OpenSession(0,out)\n"
                                  "FindBridgesByPciIds(1,null,null,0x1f3c,0x5c2e,null,0)\n"
                                  "CloseSession(1)\n");
}

TEST_F(DiscoveryScripted, RecordsFollowTheLibraryOrderWithOnlyTheLow16Bits) {
    setBridges({30, 10, 20, 40});
    ZuTest_SetAttribute(30, 0x20000300, 0x12345678);
    ZuTest_SetAttribute(10, 0x20000300, 0xFFFF0001);
    ZuTest_SetAttribute(20, 0x20000300, 0x00000001); // the same value twice: two chassis
    ZuTest_SetAttribute(40, 0x20000300, 0x0001FFFF);
    std::uint32_t l_Count = 0;
    void* l_pList = nullptr;
    ASSERT_EQ(m_Finder.openList(&l_Count, &l_pList), 0);
    const std::vector<zuTest::tChassisSeen> l_Seen = m_Finder.walk(l_pList, l_Count);
    m_Finder.closeList(l_pList);
    ASSERT_EQ(l_Seen.size(), 4u);
    const std::uint32_t l_Expected[] = {0x5678, 0x0001, 0x0001, 0xFFFF};
    for (std::size_t l_Index = 0; l_Index < l_Seen.size(); ++l_Index) {
        EXPECT_EQ(l_Seen[l_Index].bridgeValue, l_Expected[l_Index]) << l_Index;
        EXPECT_EQ(l_Seen[l_Index].kind, 2u);
        EXPECT_EQ(l_Seen[l_Index].maker, "Velmora");
        EXPECT_EQ(l_Seen[l_Index].model, "ZU PXI-7461");
    }
    const std::string l_Log = nZuTest::callLog();
    EXPECT_EQ(countOf(l_Log, "FindBridgesByPciIds(1,null,null,0x1f3c,0x5c2e,"), 2u) << l_Log;
    EXPECT_NE(l_Log.find("GetAttributeU32(1,30,536871680,out)\nGetAttributeU32(1,10,"),
              std::string::npos)
        << l_Log;
}

TEST_F(DiscoveryScripted, OneFailingBridgeFailsTheListAndStopsTheWalk) {
    setBridges({1, 2, 3});
    ZuTest_SetAttribute(1, 0x20000300, 1);
    ZuTest_SetAttribute(3, 0x20000300, 3);
    ZuTest_SetResult(ZuTestEntry_GetAttributeU32, 2, kLibraryFailure);
    std::uint32_t l_Count = 7;
    void* l_pList = &l_Count;
    EXPECT_EQ(m_Finder.openList(&l_Count, &l_pList), kLibraryFailure);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(l_pList, nullptr);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_GetAttributeU32), 2u) << "the third bridge was read";
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_CloseSession), 1u);
}

TEST_F(DiscoveryScripted, WarningOfOneBridgeIsReturnedWithTheWholeList) {
    setBridges({1, 2});
    ZuTest_SetAttribute(1, 0x20000300, 1);
    ZuTest_SetAttribute(2, 0x20000300, 2);
    ZuTest_SetResult(ZuTestEntry_GetAttributeU32, 1, 5);
    ZuTest_SetResult(ZuTestEntry_GetAttributeU32, 2, 7); // a later warning does not replace it
    std::int32_t l_Code = 0;
    EXPECT_EQ(m_Finder.bridgeValues(&l_Code), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(l_Code, 5);
}

TEST_F(DiscoveryScripted, SessionWarningSurvivesOnlyWhenNoBridgeIsFound) {
    ZuTest_SetResult(ZuTestEntry_OpenSession, 0, 9);
    setBridges({1, 2});
    ZuTest_SetAttribute(1, 0x20000300, 1);
    ZuTest_SetAttribute(2, 0x20000300, 2);
    std::int32_t l_Code = -1;
    // The count query's "buffer too small" clears the run's status before the fill.
    EXPECT_EQ(m_Finder.bridgeValues(&l_Code).size(), 2u);
    EXPECT_EQ(l_Code, 0);

    setBridges({});
    std::uint32_t l_Count = 5;
    void* l_pList = &l_Count;
    EXPECT_EQ(m_Finder.openList(&l_Count, &l_pList), 9);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(l_pList, nullptr);
}

TEST_F(DiscoveryScripted, FailedSessionStillClosesAndReadsNothing) {
    ZuTest_SetResult(ZuTestEntry_OpenSession, 0, kLibraryFailure);
    setBridges({1});
    std::int32_t l_Code = 0;
    EXPECT_TRUE(m_Finder.bridgeValues(&l_Code).empty());
    EXPECT_EQ(l_Code, kLibraryFailure);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_FindBridgesByPciIds), 0u);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_CloseSession), 1u);
}

TEST(DiscoveryMissingEntryPoint, IsReportedAsInvalidParameter) {
    nZuTest::cTestBridgeLibrary l_Library("no-GetAttributeU32");
    ASSERT_TRUE(l_Library.IsLoaded());
    tFinderModule l_Finder;
    std::int32_t l_Code = 0;
    EXPECT_TRUE(l_Finder.bridgeValues(&l_Code).empty());
    EXPECT_EQ(l_Code, -52005);
    // Nothing of the library is called once an entry point is missing.
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_OpenSession), 0u);
}

TEST(DiscoveryConcurrency, QueriesProceedWhileAnotherOpenListIsInsideDiscovery) {
    nZuTest::cTestBridgeLibrary l_Library("scriptable");
    tFinderModule l_Finder;
    const std::uint32_t l_Bridges[] = {1};
    ZuTest_SetArray(ZuTestEntry_FindBridgesByPciIds, l_Bridges, 1);
    ZuTest_SetAttribute(1, 0x20000300, 0x42);
    std::uint32_t l_Count = 0;
    void* l_pHeld = nullptr;
    ASSERT_EQ(l_Finder.openList(&l_Count, &l_pHeld), 0);
    ASSERT_EQ(l_Count, 1u);

    ZuTest_SetBlocking(ZuTestEntry_GetAttributeU32, 1);
    std::int32_t l_BlockedCode = 1;
    std::uint32_t l_BlockedCount = 0;
    std::thread l_Opener([&] {
        void* l_pList = nullptr;
        l_BlockedCode = l_Finder.openList(&l_BlockedCount, &l_pList);
        l_Finder.closeList(l_pList);
    });
    ASSERT_EQ(ZuTest_WaitForBlockedCalls(1, 60000), 1u);
    // Discovery is stuck inside the library now; the open list must still answer.
    const std::vector<zuTest::tChassisSeen> l_Seen = l_Finder.walk(l_pHeld, l_Count);
    ASSERT_EQ(l_Seen.size(), 1u);
    EXPECT_EQ(l_Seen[0].bridgeValue, 0x42u);
    EXPECT_EQ(ZuTest_WaitForBlockedCalls(1, 0), 1u) << "discovery finished before the query";
    ZuTest_SetBlocking(ZuTestEntry_GetAttributeU32, 0);
    ZuTest_ReleaseBlockedCalls();
    l_Opener.join();
    EXPECT_EQ(l_BlockedCode, 0);
    EXPECT_EQ(l_BlockedCount, 1u);
    l_Finder.closeList(l_pHeld);
}

// ---- Against the simulator ---------------------------------------------------------------

class DiscoverySimulated : public ::testing::Test {
protected:
    void TearDown() override {
        zuTest::setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", "");
        for (const std::string& l_File : m_Files) {
            std::remove(l_File.c_str());
        }
    }
    void useTopology(const std::string& a_rJson) {
        // Named after the test: the test runner may run several of them at once here.
        const std::string l_File = std::string("e2e-topology-") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                   "-" + std::to_string(m_Files.size()) + ".json";
        std::ofstream(l_File) << a_rJson;
        m_Files.push_back(l_File);
        zuTest::setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", l_File);
    }

    std::vector<std::string> m_Files;
};

TEST_F(DiscoverySimulated, DefaultMachineHasTwoChassisAndTheLibraryIsUnloadedAfterwards) {
    tFinderModule l_Finder;
    for (int l_Round = 0; l_Round < 3; ++l_Round) {
        std::int32_t l_Code = 1;
        EXPECT_EQ(l_Finder.bridgeValues(&l_Code), (std::vector<std::uint32_t>{1, 2}));
        EXPECT_EQ(l_Code, 0);
        EXPECT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
    }
}

TEST_F(DiscoverySimulated, TopologyFileDecidesWhatIsFound) {
    useTopology(R"({"rootBuses":[0],"bridges":[
        {"bus":0,"device":1,"function":0,"secondaryBus":1,"vendorId":1,"deviceId":2,
         "subsystemVendorId":"0x1F3C","subsystemId":"0x5C2E",
         "attributes":{"0x20000300":"0xABCD0007"}},
        {"bus":0,"device":2,"function":0,"secondaryBus":2,"vendorId":1,"deviceId":2,
         "subsystemVendorId":"0x1F3C","subsystemId":"0x5C2F",
         "attributes":{"0x20000300":9}},
        {"bus":0,"device":3,"function":0,"secondaryBus":3,"vendorId":1,"deviceId":2,
         "subsystemVendorId":"0x1F3C","subsystemId":"0x5C2E",
         "attributes":{"0x20000300":7}}]})");
    tFinderModule l_Finder;
    std::int32_t l_Code = 1;
    EXPECT_EQ(l_Finder.bridgeValues(&l_Code), (std::vector<std::uint32_t>{7, 7}));
    EXPECT_EQ(l_Code, 0);

    useTopology(R"({"rootBuses":[0],"bridges":[]})");
    std::uint32_t l_Count = 3;
    void* l_pList = &l_Count;
    EXPECT_EQ(l_Finder.openList(&l_Count, &l_pList), 0);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(l_pList, nullptr);

    useTopology("{ not json");
    l_Count = 3;
    const std::int32_t l_BadFile = l_Finder.openList(&l_Count, &l_pList);
    EXPECT_LT(l_BadFile, 0);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(l_pList, nullptr);
    EXPECT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
}

} // namespace
