#include "pcibrd/cPciBrdDynLib.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detailsCheck.h"
#include "tests/support/failingAllocator.h"
#include "zuTestLibrary.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {
namespace {

using nTest::cDetailedStatus;
using nTest::detailsOf;

std::vector<std::uint8_t> elementsOf(const cSlotPath& a_rPath) {
    return std::vector<std::uint8_t>(a_rPath.begin(), a_rPath.end());
}

// Calls every operation once with distinct arguments and returns their results in order.
std::vector<std::int32_t> callEveryOperation(cPciBrdDynLib& a_rTable) {
    const std::uint16_t l_SsVid = 0x1F3C;
    const std::uint16_t l_SsPid = 0x5C2E;
    std::uint32_t l_Value = 0;
    std::uint32_t l_Count = 0;
    std::uint8_t l_Bytes[3] = {};
    std::uint16_t l_Ids[4] = {};
    const std::uint8_t l_Image[3] = {1, 2, 0xFF};
    cSlotPath l_SlotPath;
    l_SlotPath.SetRootBus(2);
    std::vector<std::int32_t> l_Results;
    l_Results.push_back(a_rTable.OpenSession(0, &l_Value));
    a_rTable.CloseSession(11);
    l_Results.push_back(
        a_rTable.FindBridgesByPciIds(12, nullptr, nullptr, &l_SsVid, &l_SsPid, nullptr, &l_Count));
    l_Results.push_back(a_rTable.FindBridgeByAddress(13, 1, 2, 3, &l_Value));
    l_Results.push_back(a_rTable.FindBridgeBySlotPath(14, l_SlotPath, &l_Value));
    l_Results.push_back(a_rTable.FindParentBridgeForBus(15, 4, &l_Value));
    l_Results.push_back(a_rTable.GetBridgeParent(16, 5, &l_Value));
    l_Count = 0;
    l_Results.push_back(a_rTable.GetBridgeChildren(17, 6, nullptr, &l_Count));
    l_Results.push_back(a_rTable.GetBusChildren(18, 7, nullptr, &l_Count));
    l_Results.push_back(a_rTable.GetRootBuses(19, nullptr, &l_Count));
    l_Results.push_back(a_rTable.GetBridgeAddress(20, 8, &l_Bytes[0], &l_Bytes[1], &l_Bytes[2]));
    l_Results.push_back(a_rTable.GetBridgeSlotPath(21, 9, l_SlotPath));
    l_Results.push_back(a_rTable.GetBridgeIds(22, 10, &l_Ids[0], &l_Ids[1], &l_Ids[2], &l_Ids[3]));
    l_Results.push_back(a_rTable.SetAttributeU32(23, 11, 0x20000300u, 77));
    l_Results.push_back(a_rTable.GetAttributeU32(24, 11, 0x20000300u, &l_Value));
    l_Results.push_back(a_rTable.OpenBridge(25, 12));
    a_rTable.CloseBridge(26, 13);
    l_Results.push_back(a_rTable.EepromUpdate(27, 14, 0x1234, 0x5678, 1, 2, 3, l_Image));
    return l_Results;
}

const char* const kEveryCallLog = "OpenSession(0,out)\n"
                                  "CloseSession(11)\n"
                                  "FindBridgesByPciIds(12,null,null,0x1f3c,0x5c2e,null,0)\n"
                                  "FindBridgeByAddress(13,1,2,3,out)\n"
                                  "FindBridgeBySlotPath(14,\"MR02:\",out)\n"
                                  "FindParentBridgeForBus(15,4,out)\n"
                                  "GetBridgeParent(16,5,out)\n"
                                  "GetBridgeChildren(17,6,null,0)\n"
                                  "GetBusChildren(18,7,null,0)\n"
                                  "GetRootBuses(19,null,0)\n"
                                  "GetBridgeAddress(20,8,out,out,out)\n"
                                  "GetBridgeSlotPath(21,9,null,0)\n"
                                  "GetBridgeSlotPath(21,9,buf,8)\n"
                                  "GetBridgeIds(22,10,out,out,out,out)\n"
                                  "SetAttributeU32(23,11,536871680,77)\n"
                                  "GetAttributeU32(24,11,536871680,out)\n"
                                  "OpenBridge(25,12)\n"
                                  "CloseBridge(26,13)\n"
                                  "EepromUpdate(27,14,0x1234,0x5678,1,2,3,[01 02 ff])\n";

TEST(PciBrdDynLib, ReadyTableForwardsEveryOperationUnchanged) {
    nZuTest::cTestBridgeLibrary l_Held;
    ASSERT_TRUE(l_Held.IsLoaded());
    ZuTest_SetResult(ZuTestEntry_OpenBridge, 0, 9);
    ZuTest_SetResult(ZuTestEntry_FindBridgeByAddress, 0, -44);
    cDetailedStatus l_Status;
    cPciBrdDynLib l_Table(l_Status.get());
    EXPECT_TRUE(l_Table.IsLoaded());
    EXPECT_EQ(l_Status->code, 0);
    const std::vector<std::int32_t> l_Results = callEveryOperation(l_Table);
    EXPECT_EQ(nZuTest::callLog(), kEveryCallLog);
    // Library codes come back unchanged, warnings and errors alike.
    EXPECT_EQ(l_Results,
              (std::vector<std::int32_t>{0, 0, -44, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0}));
}

TEST(PciBrdDynLib, MissingEntryPointDisablesItAndTheOnesAfterIt) {
    nZuTest::cTestBridgeLibrary l_Held("no-GetBridgeIds");
    ASSERT_TRUE(l_Held.IsLoaded());
    cDetailedStatus l_Status;
    cPciBrdDynLib l_Table(l_Status.get());
    EXPECT_TRUE(l_Table.IsLoaded());
    EXPECT_EQ(l_Status->code, kStatusInvalidParameter);
    EXPECT_EQ(detailsOf(*l_Status)["zudynlib_debug"]["zudynlib_symbol"], "ZuPciBrd_GetBridgeIds");
    EXPECT_EQ(detailsOf(*l_Status)["line"], 177);

    const std::vector<std::int32_t> l_Results = callEveryOperation(l_Table);
    const std::int32_t l_Absent = kStatusEntryPointNotLoaded;
    EXPECT_EQ(l_Results, (std::vector<std::int32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, l_Absent,
                                                    l_Absent, l_Absent, l_Absent, l_Absent}));
    const std::string l_Log = nZuTest::callLog();
    EXPECT_NE(l_Log.find("GetBridgeSlotPath(21,9,buf,8)\n"), std::string::npos);
    for (const char* l_pSkipped : {"GetBridgeIds(", "SetAttributeU32(", "GetAttributeU32(",
                                   "OpenBridge(", "CloseBridge(", "EepromUpdate("}) {
        EXPECT_EQ(l_Log.find(l_pSkipped), std::string::npos) << l_pSkipped;
    }
}

TEST(PciBrdDynLib, FirstEntryPointMissingLeavesNothingUsable) {
    nZuTest::cTestBridgeLibrary l_Held("no-OpenSession");
    ASSERT_TRUE(l_Held.IsLoaded());
    cDetailedStatus l_Status;
    cPciBrdDynLib l_Table(l_Status.get());
    EXPECT_EQ(detailsOf(*l_Status)["zudynlib_debug"]["zudynlib_symbol"], "ZuPciBrd_OpenSession");
    for (std::int32_t l_Result : callEveryOperation(l_Table)) {
        EXPECT_EQ(l_Result, kStatusEntryPointNotLoaded);
    }
    // The absent entry point answers before a slot path is even looked at.
    cSlotPath l_Broken;
    setStatus(&l_Broken.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 3);
    std::uint32_t l_Bridge = 0;
    EXPECT_EQ(l_Table.FindBridgeBySlotPath(1, l_Broken, &l_Bridge), kStatusEntryPointNotLoaded);
    EXPECT_EQ(l_Table.GetBridgeSlotPath(1, 2, l_Broken), kStatusEntryPointNotLoaded);
    EXPECT_EQ(nZuTest::callLog(), "");
}

TEST(PciBrdDynLib, NegativeRecordLeavesTheTableInert) {
    nZuTest::cTestBridgeLibrary l_Held;
    cDetailedStatus l_Status;
    l_Status->code = -1;
    cPciBrdDynLib l_Table(l_Status.get());
    EXPECT_FALSE(l_Table.IsLoaded());
    EXPECT_EQ(l_Status->code, -1);
    EXPECT_EQ(l_Status->json, nullptr);
    for (std::int32_t l_Result : callEveryOperation(l_Table)) {
        EXPECT_EQ(l_Result, kStatusEntryPointNotLoaded);
    }
    EXPECT_EQ(nZuTest::callLog(), "");
}

// ---- Slot paths ----------------------------------------------------------------------------

class PciBrdDynLibSlotPath : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Held.IsLoaded());
        m_Table = new cPciBrdDynLib(m_Status.get());
        ASSERT_EQ(m_Status->code, 0);
        setPath();
    }
    void TearDown() override { delete m_Table; }

    // A value the library's answer either replaces or leaves alone.
    void setPath() {
        tStatus l_Status = makeStatus();
        m_Path.Parse("MR07:05", &l_Status);
    }
    void setText(const std::string& a_rBytes) {
        ZuTest_SetSlotPathBytes(a_rBytes.data(), static_cast<std::uint32_t>(a_rBytes.size()));
    }
    void expectUntouched() {
        EXPECT_EQ(m_Path.RootBus(), 0x07);
        EXPECT_EQ(elementsOf(m_Path), (std::vector<std::uint8_t>{0x05}));
    }

    nZuTest::cTestBridgeLibrary m_Held;
    cDetailedStatus m_Status;
    cPciBrdDynLib* m_Table = nullptr;
    cSlotPath m_Path;
};

TEST_F(PciBrdDynLibSlotPath, TextIsFetchedParsedOrLeftAlone) {
    using namespace std::string_literals;
    const struct {
        std::string bytes; // exactly what the library hands out
        std::uint32_t scriptedCall;
        std::int32_t scriptedCode, code;
        std::uint8_t rootBus;
        std::vector<std::uint8_t> elements;
        std::uint32_t calls;
    } l_Cases[] = {
        {"MR02:1C,00\0"s, 0, 0, 0, 0x02, {0x1C, 0x00}, 2},
        // Without a terminator the text must stay inside the buffer.
        {"MR02:1C,00", 0, 0, 0, 0x02, {0x1C, 0x00}, 2},
        // A malformed text (an empty one too) leaves the path alone.
        {"", 0, 0, kStatusMalformedSlotPath, 0x07, {0x05}, 2},
        // A warning of the fill is not passed on.
        {"MR03:0A\0"s, 2, 6, 0, 0x03, {0x0A}, 2},
        {"MR00:1C,ZZ\0"s, 0, 0, kStatusMalformedSlotPath, 0x07, {0x05}, 2},
        // Answers other than buffer-too-small leave the path alone.
        {"MR09:09\0"s, 1, 0, 0, 0x07, {0x05}, 1},
        {"MR09:09\0"s, 1, 4, 4, 0x07, {0x05}, 1},
        {"MR09:09\0"s, 2, -31, -31, 0x07, {0x05}, 2},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.bytes + " answering " + std::to_string(l_Case.scriptedCode));
        ZuTest_Reset();
        setPath();
        setText(l_Case.bytes);
        if (l_Case.scriptedCall != 0) {
            ZuTest_SetResult(ZuTestEntry_GetBridgeSlotPath, l_Case.scriptedCall,
                             l_Case.scriptedCode);
        }
        EXPECT_EQ(m_Table->GetBridgeSlotPath(1, 2, m_Path), l_Case.code);
        EXPECT_EQ(m_Path.RootBus(), l_Case.rootBus);
        EXPECT_EQ(elementsOf(m_Path), l_Case.elements);
        std::string l_Log = "GetBridgeSlotPath(1,2,null,0)\n";
        if (l_Case.calls == 2) {
            l_Log += "GetBridgeSlotPath(1,2,buf," + std::to_string(l_Case.bytes.size()) + ")\n";
        }
        EXPECT_EQ(nZuTest::callLog(), l_Log);
    }
}

TEST_F(PciBrdDynLibSlotPath, TextBufferMemoryFailureAnswersMemoryFull) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    // An unusual size, so that only the text buffer (one byte more) is refused.
    setText(std::string(4999, '0') + '\0');
    // Checks wait until the failing scope ends: a failing check allocates.
    std::int32_t l_Result = 0;
    long l_Failed = 0;
    {
        zuTest::cFailingAllocationScope l_Scope;
        zuTest::failAllocationsOfSize(5001);
        l_Result = m_Table->GetBridgeSlotPath(1, 2, m_Path);
        l_Failed = zuTest::disarmAllocationFailure().failed;
    }
    EXPECT_EQ(l_Result, kStatusMemoryFull);
    EXPECT_EQ(l_Failed, 1);
    expectUntouched();
    {
        // The buffer is had, its owner's bookkeeping is not: the buffer must still be freed.
        zuTest::cFailingAllocationScope l_Scope;
        zuTest::failAllocationsAfterSize(5001);
        l_Result = m_Table->GetBridgeSlotPath(1, 2, m_Path);
        l_Failed = zuTest::disarmAllocationFailure().failed;
    }
    EXPECT_EQ(l_Result, kStatusMemoryFull);
    EXPECT_GE(l_Failed, 1);
    expectUntouched();
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_GetBridgeSlotPath), 2u);
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
