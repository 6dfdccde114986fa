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

// Short names for the tables of calls below.
using tW = cPciBrdWrapper_sc;
using tS = tDetailedStatus;

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
         [](tW& a_rW, tS* a_pS) { a_rW.OpenSession(5, a_pS); },
         "m_PciBrdDynLib.OpenSession( a_Flags, &m_Session )", 64,
         "CloseSession(31)\nOpenSession(5,out)\n"},
        {"FindBridgeByAddress", ZuTestEntry_FindBridgeByAddress,
         [](tW& a_rW, tS* a_pS) { a_rW.FindBridgeByAddress(1, 2, 3, g_Bridge, a_pS); },
         "m_PciBrdDynLib.FindBridgeByAddress( m_Session, a_Bus, a_Dev, a_Func, &a_rBridgeRef )",
         164, "FindBridgeByAddress(31,1,2,3,out)\n"},
        {"FindBridgeBySlotPath", ZuTestEntry_FindBridgeBySlotPath,
         [](tW& a_rW, tS* a_pS) {
             cSlotPath l_Path;
             tStatus l_Status = makeStatus();
             l_Path.Parse("MR02:1C", &l_Status);
             a_rW.FindBridgeBySlotPath(l_Path, g_Bridge, a_pS);
         },
         "m_PciBrdDynLib.FindBridgeBySlotPath( m_Session, a_rSlotPath, &a_rBridgeRef )", 185,
         "FindBridgeBySlotPath(31,\"MR02:1C\",out)\n"},
        {"FindParentBridgeForBus", ZuTestEntry_FindParentBridgeForBus,
         [](tW& a_rW, tS* a_pS) { a_rW.FindParentBridgeForBus(4, g_Bridge, a_pS); },
         "m_PciBrdDynLib.FindParentBridgeForBus( m_Session, a_Bus, &a_rBridgeRef )", 206,
         "FindParentBridgeForBus(31,4,out)\n"},
        {"GetBridgeParent", ZuTestEntry_GetBridgeParent,
         [](tW& a_rW, tS* a_pS) { a_rW.GetBridgeParent(5, g_Bridge, a_pS); },
         "m_PciBrdDynLib.GetBridgeParent( m_Session, a_Child, &a_rBridgeRef )", 227,
         "GetBridgeParent(31,5,out)\n"},
        {"GetBridgeAddress", ZuTestEntry_GetBridgeAddress,
         [](tW& a_rW, tS* a_pS) {
             a_rW.GetBridgeAddress(6, &g_Address[0], &g_Address[1], &g_Address[2], a_pS);
         },
         "m_PciBrdDynLib.GetBridgeAddress( m_Session, a_BridgeRef, a_pBus, a_pDev, a_pFunc )", 390,
         "GetBridgeAddress(31,6,out,out,out)\n"},
        {"GetBridgeSlotPath", ZuTestEntry_GetBridgeSlotPath,
         [](tW& a_rW, tS* a_pS) {
             cSlotPath l_Path;
             a_rW.GetBridgeSlotPath(7, l_Path, a_pS);
         },
         "m_PciBrdDynLib.GetBridgeSlotPath( m_Session, a_BridgeRef, a_rSlotPath )", 411,
         "GetBridgeSlotPath(31,7,null,0)\n"},
        {"GetBridgeIds", ZuTestEntry_GetBridgeIds,
         [](tW& a_rW, tS* a_pS) {
             a_rW.GetBridgeIds(8, &g_Ids[0], &g_Ids[1], &g_Ids[2], &g_Ids[3], a_pS);
         },
         "m_PciBrdDynLib.GetBridgeIds( m_Session, a_BridgeRef, a_pVid, a_pPid, a_pSsVid, "
         "a_pSsPid )",
         438, "GetBridgeIds(31,8,out,out,out,out)\n"},
        {"SetAttributeU32", ZuTestEntry_SetAttributeU32,
         [](tW& a_rW, tS* a_pS) { a_rW.SetAttributeU32(9, 10, 11, a_pS); },
         "m_PciBrdDynLib.SetAttributeU32( m_Session, a_BridgeRef, a_AttributeId, a_Value )", 461,
         "SetAttributeU32(31,9,10,11)\n"},
        {"GetAttributeU32", ZuTestEntry_GetAttributeU32,
         [](tW& a_rW, tS* a_pS) { a_rW.GetAttributeU32(12, 13, g_Bridge, a_pS); },
         "m_PciBrdDynLib.GetAttributeU32( m_Session, a_BridgeRef, a_AttributeId, "
         "&a_rAttributeBuffer )",
         484, "GetAttributeU32(31,12,13,out)\n"},
        {"OpenBridge", ZuTestEntry_OpenBridge,
         [](tW& a_rW, tS* a_pS) { a_rW.OpenBridge(14, a_pS); },
         "m_PciBrdDynLib.OpenBridge( m_Session, a_BridgeRef )", 503, "OpenBridge(31,14)\n"},
        {"EepromUpdate", ZuTestEntry_EepromUpdate,
         [](tW& a_rW, tS* a_pS) { a_rW.EepromUpdate(15, 0xAAAA, 0xBBBB, 1, 0, 2, g_Image, a_pS); },
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
         [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
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
         [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
             a_rW.GetBridgeChildren(9, a_rOut, a_pS);
         },
         "m_PciBrdDynLib.GetBridgeChildren( m_Session, a_Parent, 0, &l_ChildrenCount )", 251,
         "m_PciBrdDynLib.GetBridgeChildren( m_Session, a_Parent, &l_Child[0], &l_ChildrenCount )",
         268, 260, 4},
        {"GetBusChildren", ZuTestEntry_GetBusChildren,
         [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
             a_rW.GetBusChildren(9, a_rOut, a_pS);
         },
         "m_PciBrdDynLib.GetBusChildren( m_Session, a_Bus, 0, &l_ChildrenCount )", 298,
         "m_PciBrdDynLib.GetBusChildren( m_Session, a_Bus, &l_Child[0], &l_ChildrenCount )", 315,
         307, 4},
        {"GetRootBuses", ZuTestEntry_GetRootBuses,
         [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
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

// The document a count-then-fill leaves: none, "{}" from the consumed count answer, the count
// call's, the fill call's, or the one there before.
enum tDocument { kNone, kEmpty, kCount, kFill, kEarlier };

// One scripted pair of calls and what the caller must see afterwards.
struct tExchange {
    const char* what;
    std::vector<std::uint32_t> array, arrayLater; // held by the library; from the 2nd call on
    std::uint32_t scriptedCall;                   // the call (1 or 2) answering scriptedCode
    std::int32_t scriptedCode;
    std::int32_t before; // the status on entry: 0, a warning with a document, or -1 alone
    std::vector<std::uint32_t> output; // empty: the caller's array left alone
    std::int32_t code;
    tDocument document;
    std::uint32_t calls;
};

const tExchange kExchanges[] = {
    {"fills", {3, 1, 2}, {}, 0, 0, 0, {3, 1, 2}, 0, kEmpty, 2},
    {"first answer zero", {}, {}, 0, 0, 0, {}, 0, kNone, 1},
    // Only the elements the fill reports: a bus 0 or bridge 0 the library never gave is none.
    {"shorter fill", {3, 1, 2}, {0, 9}, 0, 0, 0, {0, 9}, 0, kEmpty, 2},
    {"too small twice", {3, 1, 2}, {3, 1, 2, 4}, 0, 0, 0, {}, kStatusBufferTooSmall, kFill, 2},
    // A fill answering success with a count beyond the buffer did not fit either.
    {"fill claims more", {3, 1, 2}, {3, 1, 2, 4}, 2, 0, 0, {}, kStatusBufferTooSmall, kFill, 2},
    {"warning dropped", {5}, {}, 0, 0, 5, {5}, 0, kEmpty, 2},
    {"warning kept, none", {}, {}, 0, 0, 5, {}, 5, kEarlier, 1},
    {"count fails", {3}, {}, 1, -7, 0, {}, -7, kCount, 1},
    {"fill warns", {6, 7}, {}, 2, 9, 0, {6, 7}, 9, kFill, 2},
    {"negative status", {1}, {}, 0, 0, -1, {}, -1, kNone, 0},
};

TEST_P(CountThenFill, ScriptedExchanges) {
    for (const tExchange& l_Case : kExchanges) {
        SCOPED_TRACE(l_Case.what);
        ZuTest_Reset();
        m_Output = m_Before;
        if (!l_Case.array.empty()) {
            setArray(l_Case.array);
        }
        if (!l_Case.arrayLater.empty()) {
            setArrayAfterFirstCall(l_Case.arrayLater);
        }
        if (l_Case.scriptedCall != 0) {
            ZuTest_SetResult(GetParam().entry, l_Case.scriptedCall, l_Case.scriptedCode);
        }
        cDetailedStatus l_Status;
        if (l_Case.before > 0) {
            nTest::presetStatus(l_Status.get(), l_Case.before, "warning");
        } else {
            l_Status->code = l_Case.before;
        }
        const std::string l_Earlier = l_Status->json != nullptr ? l_Status->json : "";
        run(l_Status.get());
        EXPECT_EQ(m_Output, l_Case.output.empty() ? m_Before : l_Case.output);
        EXPECT_EQ(l_Status->code, l_Case.code);
        EXPECT_EQ(calls(), l_Case.calls);
        switch (l_Case.document) {
        case kNone:
            EXPECT_EQ(l_Status->json, nullptr);
            break;
        case kEmpty:
            // The consumed count answer leaves an empty document behind.
            EXPECT_STREQ(l_Status->json, "{}");
            break;
        case kCount:
            EXPECT_EQ(detailsOf(*l_Status),
                      callMembers(GetParam().countText, GetParam().countLine));
            break;
        case kFill:
            EXPECT_EQ(detailsOf(*l_Status), callMembers(GetParam().fillText, GetParam().fillLine));
            break;
        case kEarlier:
            EXPECT_STREQ(l_Status->json, l_Earlier.c_str());
            break;
        }
    }
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
    std::uint32_t l_Bridge = 5;
    m_pWrapper->FindBridgeBySlotPath(l_Path, l_Bridge, l_FindStatus.get());
    EXPECT_EQ(l_FindStatus->code, kStatusMemoryFull);
    EXPECT_EQ(l_Bridge, 5u);
    EXPECT_EQ(detailsOf(*l_FindStatus)["line"], 185);
    EXPECT_EQ(ZuTest_CallCount(ZuTestEntry_FindBridgeBySlotPath), 0u);
}

// ---- Sessions ------------------------------------------------------------------------------

TEST_F(WrapperTest, OpeningAgainClosesFirstAndClosingWithNoneOpenStillCallsTheLibrary) {
    ZuTest_SetOutValue(ZuTestEntry_OpenSession, 32);
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, l_Status.get());
    EXPECT_TRUE(m_pWrapper->IsSessionOpen());
    EXPECT_EQ(m_pWrapper->Session(), 32u);
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    m_pWrapper->CloseSession();
    EXPECT_EQ(nZuTest::callLog(), "CloseSession(31)\nOpenSession(0,out)\nCloseSession(32)\n"
                                  "CloseSession(4294967295)\n");
}

TEST_F(WrapperTest, DestructorClosesTheSessionBeforeUnloading) {
    m_Held.Release();
    m_pWrapper.reset();
    EXPECT_EQ(nZuTest::callLog(), "CloseSession(31)\n<unload>\n");
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
