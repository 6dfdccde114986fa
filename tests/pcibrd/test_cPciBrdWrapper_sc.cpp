#include "pcibrd/cPciBrdWrapper_sc.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
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
using nTest::tJson;

constexpr std::uint32_t kSession = 31;

tJson callMembers(const char* a_pText, int a_Line) {
    return nTest::errorMembers(a_pText, "cPciBrdWrapper_sc", a_Line);
}

// A wrapper over the scriptable library with a session open (handle kSession) and an empty
// call log.
class WrapperTest : public ::testing::Test {
protected:
    explicit WrapperTest(const char* a_pVariant = "scriptable") : m_Held(a_pVariant) {}

    void SetUp() override {
        ASSERT_TRUE(m_Held.IsLoaded());
        ZuTest_SetOutValue(ZuTestEntry_OpenSession, kSession);
        m_pWrapper.reset(new cPciBrdWrapper_sc(m_Construction.get()));
        // Construction may have recorded a missing entry point; opening needs a clean status.
        cDetailedStatus l_Open;
        m_pWrapper->OpenSession(0, l_Open.get());
        ASSERT_TRUE(m_pWrapper->IsSessionOpen());
        ZuTest_Reset();
        ZuTest_SetOutValue(ZuTestEntry_OpenSession, kSession);
    }
    void TearDown() override {
        m_pWrapper.reset();
        m_Held.Release();
    }

    nZuTest::cTestBridgeLibrary m_Held;
    cDetailedStatus m_Construction;
    std::unique_ptr<cPciBrdWrapper_sc> m_pWrapper;
};

// ---- Single checked calls ------------------------------------------------------------------

struct tSingleCall {
    const char* name;
    std::uint32_t entry;
    std::function<void(cPciBrdWrapper_sc&, tDetailedStatus*)> call;
    const char* text;
    int line;
    const char* log;
};

void PrintTo(const tSingleCall& a_rCall, std::ostream* a_pOut) {
    *a_pOut << a_rCall.name;
}

std::uint32_t g_Bridge = 0;
std::uint8_t g_Address[3] = {};
std::uint16_t g_Ids[4] = {};
const std::uint8_t g_Image[2] = {7, 8};

std::vector<tSingleCall> singleCalls() {
    return {
        {"OpenSession", ZuTestEntry_OpenSession,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) { a_rW.OpenSession(5, a_pS); },
         "m_PciBrdDynLib.OpenSession( a_Flags, &m_Session )", 64,
         "CloseSession(31)\nOpenSession(5,out)\n"},
        {"FindBridgeByAddress", ZuTestEntry_FindBridgeByAddress,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.FindBridgeByAddress(1, 2, 3, g_Bridge, a_pS);
         },
         "m_PciBrdDynLib.FindBridgeByAddress( m_Session, a_Bus, a_Dev, a_Func, &a_rBridgeRef )",
         164, "FindBridgeByAddress(31,1,2,3,out)\n"},
        {"FindBridgeBySlotPath", ZuTestEntry_FindBridgeBySlotPath,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             cSlotPath l_Path;
             tStatus l_Status = makeStatus();
             l_Path.Parse("MR02:1C", &l_Status);
             a_rW.FindBridgeBySlotPath(l_Path, g_Bridge, a_pS);
         },
         "m_PciBrdDynLib.FindBridgeBySlotPath( m_Session, a_rSlotPath, &a_rBridgeRef )", 185,
         "FindBridgeBySlotPath(31,\"MR02:1C\",out)\n"},
        {"FindParentBridgeForBus", ZuTestEntry_FindParentBridgeForBus,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.FindParentBridgeForBus(4, g_Bridge, a_pS);
         },
         "m_PciBrdDynLib.FindParentBridgeForBus( m_Session, a_Bus, &a_rBridgeRef )", 206,
         "FindParentBridgeForBus(31,4,out)\n"},
        {"GetBridgeParent", ZuTestEntry_GetBridgeParent,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.GetBridgeParent(5, g_Bridge, a_pS);
         },
         "m_PciBrdDynLib.GetBridgeParent( m_Session, a_Child, &a_rBridgeRef )", 227,
         "GetBridgeParent(31,5,out)\n"},
        {"GetBridgeAddress", ZuTestEntry_GetBridgeAddress,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.GetBridgeAddress(6, &g_Address[0], &g_Address[1], &g_Address[2], a_pS);
         },
         "m_PciBrdDynLib.GetBridgeAddress( m_Session, a_BridgeRef, a_pBus, a_pDev, a_pFunc )", 390,
         "GetBridgeAddress(31,6,out,out,out)\n"},
        {"GetBridgeSlotPath", ZuTestEntry_GetBridgeSlotPath,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             cSlotPath l_Path;
             a_rW.GetBridgeSlotPath(7, l_Path, a_pS);
         },
         "m_PciBrdDynLib.GetBridgeSlotPath( m_Session, a_BridgeRef, a_rSlotPath )", 411,
         "GetBridgeSlotPath(31,7,null,0)\n"},
        {"GetBridgeIds", ZuTestEntry_GetBridgeIds,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.GetBridgeIds(8, &g_Ids[0], &g_Ids[1], &g_Ids[2], &g_Ids[3], a_pS);
         },
         "m_PciBrdDynLib.GetBridgeIds( m_Session, a_BridgeRef, a_pVid, a_pPid, a_pSsVid, "
         "a_pSsPid )",
         438, "GetBridgeIds(31,8,out,out,out,out)\n"},
        {"SetAttributeU32", ZuTestEntry_SetAttributeU32,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.SetAttributeU32(9, 10, 11, a_pS);
         },
         "m_PciBrdDynLib.SetAttributeU32( m_Session, a_BridgeRef, a_AttributeId, a_Value )", 461,
         "SetAttributeU32(31,9,10,11)\n"},
        {"GetAttributeU32", ZuTestEntry_GetAttributeU32,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.GetAttributeU32(12, 13, g_Bridge, a_pS);
         },
         "m_PciBrdDynLib.GetAttributeU32( m_Session, a_BridgeRef, a_AttributeId, "
         "&a_rAttributeBuffer )",
         484, "GetAttributeU32(31,12,13,out)\n"},
        {"OpenBridge", ZuTestEntry_OpenBridge,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) { a_rW.OpenBridge(14, a_pS); },
         "m_PciBrdDynLib.OpenBridge( m_Session, a_BridgeRef )", 503, "OpenBridge(31,14)\n"},
        {"EepromUpdate", ZuTestEntry_EepromUpdate,
         [](cPciBrdWrapper_sc& a_rW, tDetailedStatus* a_pS) {
             a_rW.EepromUpdate(15, 0xAAAA, 0xBBBB, 1, 0, 2, g_Image, a_pS);
         },
         "m_PciBrdDynLib.EepromUpdate( m_Session, a_Bridge, a_Vid, a_Pid, a_AlwaysOverwrite, "
         "a_UpdateMethod, a_ByteCount, a_pBuffer )",
         545, "EepromUpdate(31,15,0xaaaa,0xbbbb,1,0,2,[07 08])\n"},
    };
}

class SingleCall : public WrapperTest, public ::testing::WithParamInterface<tSingleCall> {};

TEST_P(SingleCall, FailureIsRecordedWithTheCallTextAndLine) {
    const tSingleCall& l_Call = GetParam();
    ZuTest_SetResult(l_Call.entry, 0, -20);
    cDetailedStatus l_Status;
    l_Call.call(*m_pWrapper, l_Status.get());
    EXPECT_EQ(l_Status->code, -20);
    EXPECT_EQ(detailsOf(*l_Status), callMembers(l_Call.text, l_Call.line));
    EXPECT_EQ(nZuTest::callLog(), l_Call.log);
}

TEST_P(SingleCall, NegativeStatusMakesNoCallAndKeepsTheSession) {
    const tSingleCall& l_Call = GetParam();
    cDetailedStatus l_Status;
    nTest::presetStatus(l_Status.get(), -1, "earlier");
    const std::string l_Document = l_Status->json;
    l_Call.call(*m_pWrapper, l_Status.get());
    EXPECT_EQ(l_Status->code, -1);
    EXPECT_EQ(l_Status->json, l_Document);
    EXPECT_EQ(nZuTest::callLog(), "");
    EXPECT_TRUE(m_pWrapper->IsSessionOpen());
    EXPECT_EQ(m_pWrapper->Session(), kSession);
}

TEST_P(SingleCall, SuccessLeavesTheStatusAlone) {
    const tSingleCall& l_Call = GetParam();
    ZuTest_SetAttribute(12, 13, 1);
    cDetailedStatus l_Status;
    l_Call.call(*m_pWrapper, l_Status.get());
    EXPECT_EQ(l_Status->code, 0);
    EXPECT_EQ(l_Status->json, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Operations, SingleCall, ::testing::ValuesIn(singleCalls()),
                         [](const ::testing::TestParamInfo<tSingleCall>& a_rInfo) {
                             return std::string(a_rInfo.param.name);
                         });

TEST_F(WrapperTest, RecordingKeepsTheFirstWarningAndLetsAnErrorReplaceIt) {
    ZuTest_SetResult(ZuTestEntry_GetAttributeU32, 0, 5);
    ZuTest_SetResult(ZuTestEntry_OpenBridge, 0, 7);
    ZuTest_SetResult(ZuTestEntry_SetAttributeU32, 0, -10);
    ZuTest_SetResult(ZuTestEntry_GetBridgeParent, 0, -11);
    const tJson l_Warning = callMembers("m_PciBrdDynLib.GetAttributeU32( m_Session, a_BridgeRef, "
                                        "a_AttributeId, &a_rAttributeBuffer )",
                                        484);
    cDetailedStatus l_Status;
    std::uint32_t l_Value = 0;
    m_pWrapper->GetAttributeU32(1, 2, l_Value, l_Status.get());
    EXPECT_EQ(l_Status->code, 5);
    EXPECT_EQ(detailsOf(*l_Status), l_Warning);

    m_pWrapper->OpenBridge(1, l_Status.get());
    m_pWrapper->CloseBridge(1);
    EXPECT_EQ(l_Status->code, 5);
    EXPECT_EQ(detailsOf(*l_Status), l_Warning);

    m_pWrapper->SetAttributeU32(1, 2, 3, l_Status.get());
    EXPECT_EQ(l_Status->code, -10);
    EXPECT_EQ(detailsOf(*l_Status),
              callMembers("m_PciBrdDynLib.SetAttributeU32( m_Session, a_BridgeRef, "
                          "a_AttributeId, a_Value )",
                          461));

    m_pWrapper->GetBridgeParent(1, l_Value, l_Status.get());
    EXPECT_EQ(l_Status->code, -10);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_GetBridgeParent), 0u);
}

// ---- Count-then-fill -----------------------------------------------------------------------

struct tArrayOperation {
    const char* name;
    std::uint32_t entry;
    // Runs the operation; its output array is given and returned as 32-bit values.
    std::function<void(cPciBrdWrapper_sc&, std::vector<std::uint32_t>&, tDetailedStatus*)> call;
    const char* countText;
    int countLine;
    const char* fillText;
    int fillLine;
    int memoryLine;
    std::size_t elementSize;
};

void PrintTo(const tArrayOperation& a_rOperation, std::ostream* a_pOut) {
    *a_pOut << a_rOperation.name;
}

std::vector<tArrayOperation> arrayOperations() {
    return {
        {"FindBridgesByPciIds", ZuTestEntry_FindBridgesByPciIds,
         [](cPciBrdWrapper_sc& a_rW, std::vector<std::uint32_t>& a_rOut, tDetailedStatus* a_pS) {
             const std::uint16_t l_SsVid = 0x1F3C;
             const std::uint16_t l_SsPid = 0x5C2E;
             a_rW.FindBridgesByPciIds(nullptr, nullptr, &l_SsVid, &l_SsPid, a_rOut, a_pS);
         },
         "m_PciBrdDynLib.FindBridgesByPciIds( m_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, 0, "
         "&l_BridgeCount )",
         113,
         "m_PciBrdDynLib.FindBridgesByPciIds( m_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, "
         "&l_Bridges[0], &l_BridgeCount )",
         133, 123, 4},
        {"GetBridgeChildren", ZuTestEntry_GetBridgeChildren,
         [](cPciBrdWrapper_sc& a_rW, std::vector<std::uint32_t>& a_rOut, tDetailedStatus* a_pS) {
             a_rW.GetBridgeChildren(9, a_rOut, a_pS);
         },
         "m_PciBrdDynLib.GetBridgeChildren( m_Session, a_Parent, 0, &l_ChildrenCount )", 251,
         "m_PciBrdDynLib.GetBridgeChildren( m_Session, a_Parent, &l_Child[0], &l_ChildrenCount )",
         268, 260, 4},
        {"GetBusChildren", ZuTestEntry_GetBusChildren,
         [](cPciBrdWrapper_sc& a_rW, std::vector<std::uint32_t>& a_rOut, tDetailedStatus* a_pS) {
             a_rW.GetBusChildren(9, a_rOut, a_pS);
         },
         "m_PciBrdDynLib.GetBusChildren( m_Session, a_Bus, 0, &l_ChildrenCount )", 298,
         "m_PciBrdDynLib.GetBusChildren( m_Session, a_Bus, &l_Child[0], &l_ChildrenCount )", 315,
         307, 4},
        {"GetRootBuses", ZuTestEntry_GetRootBuses,
         [](cPciBrdWrapper_sc& a_rW, std::vector<std::uint32_t>& a_rOut, tDetailedStatus* a_pS) {
             std::vector<std::uint8_t> l_Buses(a_rOut.begin(), a_rOut.end());
             a_rW.GetRootBuses(l_Buses, a_pS);
             a_rOut.assign(l_Buses.begin(), l_Buses.end());
         },
         "m_PciBrdDynLib.GetRootBuses( m_Session, 0, &l_RootBusCount )", 343,
         "m_PciBrdDynLib.GetRootBuses( m_Session, &l_RootBuses[0], &l_RootBusCount )", 359, 351, 1},
    };
}

class CountThenFill : public WrapperTest, public ::testing::WithParamInterface<tArrayOperation> {
protected:
    void setArray(const std::vector<std::uint32_t>& a_rValues) {
        ZuTest_SetArray(GetParam().entry, a_rValues.data(),
                        static_cast<std::uint32_t>(a_rValues.size()));
    }
    void setArrayAfterFirstCall(const std::vector<std::uint32_t>& a_rValues) {
        ZuTest_SetArrayAfterCall(GetParam().entry, 1, a_rValues.data(),
                                 static_cast<std::uint32_t>(a_rValues.size()));
    }
    void run(tDetailedStatus* a_pStatus) { GetParam().call(*m_pWrapper, m_Output, a_pStatus); }
    std::uint32_t calls() const { return ZuTest_CallCount(GetParam().entry); }

    // What the caller had before: left exactly so unless the operation succeeds.
    const std::vector<std::uint32_t> m_Before{0xEE, 0xDD};
    std::vector<std::uint32_t> m_Output{m_Before};
};

TEST_P(CountThenFill, FillsTheArray) {
    setArray({3, 1, 2});
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(m_Output, (std::vector<std::uint32_t>{3, 1, 2}));
    EXPECT_EQ(l_Status->code, 0);
    // The consumed count answer leaves an empty document behind.
    EXPECT_STREQ(l_Status->json, "{}");
    EXPECT_EQ(calls(), 2u);
}

TEST_P(CountThenFill, FirstAnswerZeroMakesNoSecondCall) {
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(calls(), 1u);
    EXPECT_EQ(m_Output, m_Before);
    EXPECT_EQ(l_Status->code, 0);
    EXPECT_EQ(l_Status->json, nullptr);
}

TEST_P(CountThenFill, ShorterFillKeepsTheFirstCountWithZeros) {
    setArray({3, 1, 2});
    setArrayAfterFirstCall({8, 9});
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(m_Output, (std::vector<std::uint32_t>{8, 9, 0}));
    EXPECT_EQ(l_Status->code, 0);
    EXPECT_STREQ(l_Status->json, "{}");
}

TEST_P(CountThenFill, BufferTooSmallTwiceIsRecordedAndNothingReplaced) {
    setArray({3, 1, 2});
    setArrayAfterFirstCall({3, 1, 2, 4});
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(m_Output, m_Before);
    EXPECT_EQ(l_Status->code, kStatusBufferTooSmall);
    EXPECT_EQ(detailsOf(*l_Status), callMembers(GetParam().fillText, GetParam().fillLine));
    EXPECT_EQ(calls(), 2u);
}

TEST_P(CountThenFill, EarlierWarningIsDroppedWithTheCountAnswer) {
    setArray({5});
    cDetailedStatus l_Status;
    nTest::presetStatus(l_Status.get(), 5, "warning");
    run(l_Status.get());
    EXPECT_EQ(l_Status->code, 0);
    EXPECT_STREQ(l_Status->json, "{}");
    EXPECT_EQ(m_Output, (std::vector<std::uint32_t>{5}));
}

TEST_P(CountThenFill, EarlierWarningStaysWhenThereIsNothingToFetch) {
    cDetailedStatus l_Status;
    nTest::presetStatus(l_Status.get(), 5, "warning");
    run(l_Status.get());
    EXPECT_EQ(l_Status->code, 5);
    EXPECT_EQ(m_Output, m_Before);
}

TEST_P(CountThenFill, FailedCountQueryIsRecordedWithTheFirstCall) {
    setArray({3});
    ZuTest_SetResult(GetParam().entry, 1, -7);
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(l_Status->code, -7);
    EXPECT_EQ(detailsOf(*l_Status), callMembers(GetParam().countText, GetParam().countLine));
    EXPECT_EQ(m_Output, m_Before);
    EXPECT_EQ(calls(), 1u);
}

TEST_P(CountThenFill, WarningOfTheFillIsKeptWithTheArray) {
    setArray({6, 7});
    ZuTest_SetResult(GetParam().entry, 2, 9);
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(l_Status->code, 9);
    EXPECT_EQ(detailsOf(*l_Status), callMembers(GetParam().fillText, GetParam().fillLine));
    EXPECT_EQ(m_Output, (std::vector<std::uint32_t>{6, 7}));
}

TEST_P(CountThenFill, TemporaryArrayMemoryFailureIsRecorded) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    // An unusual count, so that only the temporary array has this size.
    const std::uint32_t l_Count = 12345;
    setArray(std::vector<std::uint32_t>(l_Count, 1));
    cDetailedStatus l_Status;
    long l_Failed = 0;
    {
        zuTest::cFailingAllocationScope l_Scope;
        zuTest::failAllocationsOfSize(l_Count * GetParam().elementSize);
        run(l_Status.get());
        l_Failed = zuTest::disarmAllocationFailure().failed;
    }
    EXPECT_EQ(l_Failed, 1);
    EXPECT_EQ(l_Status->code, kStatusMemoryFull);
    EXPECT_EQ(detailsOf(*l_Status), callMembers("zuoskaerr_memoryFull", GetParam().memoryLine));
    EXPECT_EQ(m_Output, m_Before);
    EXPECT_EQ(calls(), 1u);
}

TEST_P(CountThenFill, CountBeyondAnyPciHierarchyIsRefusedWithoutAllocating) {
    // 256 buses of 32 devices with 8 functions hold 65536 functions at most.
    setArray(std::vector<std::uint32_t>(65536, 1));
    cDetailedStatus l_Status;
    run(l_Status.get());
    EXPECT_EQ(l_Status->code, 0);
    EXPECT_EQ(m_Output.size(), 65536u);

    setArray(std::vector<std::uint32_t>(65537, 1));
    m_Output = m_Before;
    cDetailedStatus l_Refused;
    run(l_Refused.get());
    EXPECT_EQ(l_Refused->code, kStatusMemoryFull);
    EXPECT_EQ(detailsOf(*l_Refused), callMembers("zuoskaerr_memoryFull", GetParam().memoryLine));
    EXPECT_EQ(m_Output, m_Before);
    EXPECT_EQ(calls(), 3u) << "no fill call after the refused count";
}

TEST_P(CountThenFill, NegativeStatusMakesNoCall) {
    setArray({1});
    cDetailedStatus l_Status;
    l_Status->code = -1;
    run(l_Status.get());
    EXPECT_EQ(calls(), 0u);
    EXPECT_EQ(m_Output, m_Before);
}

INSTANTIATE_TEST_SUITE_P(Operations, CountThenFill, ::testing::ValuesIn(arrayOperations()),
                         [](const ::testing::TestParamInfo<tArrayOperation>& a_rInfo) {
                             return std::string(a_rInfo.param.name);
                         });

TEST_F(WrapperTest, IdFiltersReachTheLibraryAsGiven) {
    const std::uint16_t l_Vid = 0x10B5;
    const std::uint16_t l_SsPid = 0x5C2E;
    std::vector<std::uint32_t> l_Bridges;
    cDetailedStatus l_Status;
    m_pWrapper->FindBridgesByPciIds(&l_Vid, nullptr, nullptr, &l_SsPid, l_Bridges, l_Status.get());
    EXPECT_EQ(nZuTest::callLog(), "FindBridgesByPciIds(31,0x10b5,null,null,0x5c2e,null,0)\n");
}

// ---- Slot paths ----------------------------------------------------------------------------

TEST_F(WrapperTest, SlotPathTextWithoutTerminatorIsParsed) {
    const std::string l_Text = "MR02:1C,00";
    ZuTest_SetSlotPathBytes(l_Text.data(), static_cast<std::uint32_t>(l_Text.size()));
    cSlotPath l_Path;
    cDetailedStatus l_Status;
    m_pWrapper->GetBridgeSlotPath(4, l_Path, l_Status.get());
    EXPECT_EQ(l_Status->code, 0);
    EXPECT_EQ(l_Path.RootBus(), 0x02);
    EXPECT_EQ(std::vector<std::uint8_t>(l_Path.begin(), l_Path.end()),
              (std::vector<std::uint8_t>{0x1C, 0x00}));
}

TEST_F(WrapperTest, SlotPathSizeBeyondAnyPathIsRefused) {
    const std::string l_Huge(64 * 1024 + 1, 'A');
    ZuTest_SetSlotPathBytes(l_Huge.data(), static_cast<std::uint32_t>(l_Huge.size()));
    cSlotPath l_Path;
    cDetailedStatus l_Status;
    m_pWrapper->GetBridgeSlotPath(4, l_Path, l_Status.get());
    EXPECT_EQ(l_Status->code, kStatusMemoryFull);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_GetBridgeSlotPath), 1u);
}

TEST_F(WrapperTest, SlotPathConversionFailuresAreRecordedWithTheCall) {
    const std::string l_Text("MR00:1C,ZZ", 11);
    ZuTest_SetSlotPathBytes(l_Text.data(), static_cast<std::uint32_t>(l_Text.size()));
    cSlotPath l_Path;
    cDetailedStatus l_Status;
    m_pWrapper->GetBridgeSlotPath(4, l_Path, l_Status.get());
    EXPECT_EQ(l_Status->code, kStatusMalformedSlotPath);
    EXPECT_EQ(detailsOf(*l_Status),
              callMembers("m_PciBrdDynLib.GetBridgeSlotPath( m_Session, a_BridgeRef, "
                          "a_rSlotPath )",
                          411));

    cDetailedStatus l_FindStatus;
    setStatus(&l_Path.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 1);
    std::uint32_t l_Bridge = 0;
    m_pWrapper->FindBridgeBySlotPath(l_Path, l_Bridge, l_FindStatus.get());
    EXPECT_EQ(l_FindStatus->code, kStatusMemoryFull);
    EXPECT_EQ(detailsOf(*l_FindStatus)["line"], 185);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_FindBridgeBySlotPath), 0u);
}

// ---- Sessions ------------------------------------------------------------------------------

TEST_F(WrapperTest, OpeningAgainClosesTheSessionFirst) {
    ZuTest_SetOutValue(ZuTestEntry_OpenSession, 32);
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, l_Status.get());
    EXPECT_TRUE(m_pWrapper->IsSessionOpen());
    EXPECT_EQ(m_pWrapper->Session(), 32u);
    EXPECT_EQ(nZuTest::callLog(), "CloseSession(31)\nOpenSession(0,out)\n");
}

TEST_F(WrapperTest, FailedOpenLeavesNoSessionOpen) {
    ZuTest_SetResult(ZuTestEntry_OpenSession, 0, -3);
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, l_Status.get());
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    EXPECT_EQ(l_Status->code, -3);
    // Nothing to close at the end.
    m_pWrapper.reset();
    EXPECT_EQ(nZuTest::callLog(), "CloseSession(31)\nOpenSession(0,out)\n");
}

TEST_F(WrapperTest, OpenWithAWarningIsOpen) {
    ZuTest_SetResult(ZuTestEntry_OpenSession, 0, 2);
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, l_Status.get());
    EXPECT_TRUE(m_pWrapper->IsSessionOpen());
    EXPECT_EQ(l_Status->code, 2);
}

TEST_F(WrapperTest, CloseWithNoSessionStillCallsTheLibrary) {
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    m_pWrapper->CloseSession();
    EXPECT_EQ(nZuTest::callLog(), "CloseSession(31)\nCloseSession(4294967295)\n");
}

TEST_F(WrapperTest, DestructorClosesTheSessionBeforeUnloading) {
    m_Held.Release();
    m_pWrapper.reset();
    EXPECT_EQ(nZuTest::callLog(), "CloseSession(31)\n<unload>\n");
}

// ---- Libraries lacking entry points --------------------------------------------------------

class WrapperWithoutGetAttribute : public WrapperTest {
protected:
    WrapperWithoutGetAttribute() : WrapperTest("no-GetAttributeU32") {}
};

TEST_F(WrapperWithoutGetAttribute, AbsentEntryPointIsRecordedAsNotLoaded) {
    EXPECT_EQ(m_Construction->code, kStatusInvalidParameter);
    cDetailedStatus l_Status;
    std::uint32_t l_Value = 17;
    m_pWrapper->GetAttributeU32(1, 2, l_Value, l_Status.get());
    EXPECT_EQ(l_Status->code, kStatusEntryPointNotLoaded);
    EXPECT_EQ(detailsOf(*l_Status),
              callMembers("m_PciBrdDynLib.GetAttributeU32( m_Session, a_BridgeRef, "
                          "a_AttributeId, &a_rAttributeBuffer )",
                          484));
    EXPECT_EQ(l_Value, 17u);
    // Entry points before the missing one still work; the Close ones after it do nothing.
    m_pWrapper->CloseBridge(3);
    std::uint32_t l_Bridge = 0;
    cDetailedStatus l_Working;
    m_pWrapper->GetBridgeParent(4, l_Bridge, l_Working.get());
    EXPECT_EQ(l_Working->code, 0);
    EXPECT_EQ(nZuTest::callLog(), "GetBridgeParent(31,4,out)\n");
}

class WrapperWithoutCloseSession : public WrapperTest {
protected:
    WrapperWithoutCloseSession() : WrapperTest("no-CloseSession") {}
};

TEST_F(WrapperWithoutCloseSession, SessionsStillOpenAndClose) {
    EXPECT_TRUE(m_pWrapper->IsSessionOpen());
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, l_Status.get());
    EXPECT_TRUE(m_pWrapper->IsSessionOpen());
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    EXPECT_EQ(nZuTest::callLog(), "OpenSession(0,out)\n");
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
