#include "pcibrd/cPciBrdWrapper_sc.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detailsCheck.h"
#include "simBridge.h"
#include "tests/support/failingAllocator.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {
namespace {

using nTest::cDetailedStatus;
using nTest::tJson;
using tW = cPciBrdWrapper_sc;
using tS = tDetailedStatus;

// A failure as the wrapper records it: the code, and the call (its text begins with a_rCall)
// and line it came from.
void expectRecorded(const tS& a_rStatus, std::int32_t a_Code, const std::string& a_rCall,
                    int a_Line) {
    EXPECT_EQ(a_rStatus.code, a_Code);
    tJson l_Document = nTest::detailsOf(a_rStatus);
    if (l_Document.is_object() && l_Document.value("error_constant", "").rfind(a_rCall, 0) == 0) {
        l_Document["error_constant"] = a_rCall;
    }
    EXPECT_EQ(l_Document, nTest::errorMembers(a_rCall, "cPciBrdWrapper_sc", a_Line));
}

// A wrapper over the simulator, with a session open on a machine scripted afresh.
class Wrapper : public ::testing::Test {
protected:
    void open(const std::string& a_rRules, const std::string& a_rEntry = "") {
        m_Sim.script(a_rRules, a_rEntry);
        m_pWrapper = m_pWrapper ? std::move(m_pWrapper) : std::make_unique<tW>(m_Built.get());
        cDetailedStatus l_Open;
        m_pWrapper->OpenSession(0, l_Open.get());
        ASSERT_TRUE(m_pWrapper->IsSessionOpen());
        m_Session = m_pWrapper->Session();
        m_Sim.calls();
    }
    std::string calls() { return m_Sim.calls(m_Session); }

    nTest::cSimBridge m_Sim;
    cDetailedStatus m_Built;
    std::unique_ptr<tW> m_pWrapper;
    std::uint32_t m_Session = 0;
};

std::uint32_t g_Out = 0;
std::uint8_t g_Bytes[3] = {};
std::uint16_t g_Ids[4] = {};
const std::uint8_t g_Image[2] = {7, 8};

const struct {
    const char* entry;
    std::function<void(tW&, tS*)> call;
    int line;
    const char* calls;
} kSingleCalls[] = {
    {"OpenSession", [](tW& a_rW, tS* a_pS) { a_rW.OpenSession(5, a_pS); }, 64,
     "CloseSession(S)\nOpenSession(5,out)\n"},
    {"FindBridgeByAddress",
     [](tW& a_rW, tS* a_pS) { a_rW.FindBridgeByAddress(1, 2, 3, g_Out, a_pS); }, 164,
     "FindBridgeByAddress(S,1,2,3,out)\n"},
    {"FindBridgeBySlotPath",
     [](tW& a_rW, tS* a_pS) {
         cSlotPath l_Path;
         tStatus l_Status = makeStatus();
         l_Path.Parse("MR02:1C", &l_Status);
         a_rW.FindBridgeBySlotPath(l_Path, g_Out, a_pS);
     },
     185, "FindBridgeBySlotPath(S,\"MR02:1C\",out)\n"},
    {"FindParentBridgeForBus",
     [](tW& a_rW, tS* a_pS) { a_rW.FindParentBridgeForBus(4, g_Out, a_pS); }, 206,
     "FindParentBridgeForBus(S,4,out)\n"},
    {"GetBridgeParent", [](tW& a_rW, tS* a_pS) { a_rW.GetBridgeParent(5, g_Out, a_pS); }, 227,
     "GetBridgeParent(S,5,out)\n"},
    {"GetBridgeAddress",
     [](tW& a_rW, tS* a_pS) {
         a_rW.GetBridgeAddress(6, &g_Bytes[0], &g_Bytes[1], &g_Bytes[2], a_pS);
     },
     390, "GetBridgeAddress(S,6,out,out,out)\n"},
    {"GetBridgeSlotPath",
     [](tW& a_rW, tS* a_pS) {
         cSlotPath l_Path;
         a_rW.GetBridgeSlotPath(7, l_Path, a_pS);
     },
     411, "GetBridgeSlotPath(S,7,null,0)\n"},
    {"GetBridgeIds",
     [](tW& a_rW, tS* a_pS) {
         a_rW.GetBridgeIds(8, &g_Ids[0], &g_Ids[1], &g_Ids[2], &g_Ids[3], a_pS);
     },
     438, "GetBridgeIds(S,8,out,out,out,out)\n"},
    {"SetAttributeU32", [](tW& a_rW, tS* a_pS) { a_rW.SetAttributeU32(9, 10, 11, a_pS); }, 461,
     "SetAttributeU32(S,9,0x0000000A,0x0000000B)\n"},
    {"GetAttributeU32", [](tW& a_rW, tS* a_pS) { a_rW.GetAttributeU32(12, 13, g_Out, a_pS); }, 484,
     "GetAttributeU32(S,12,0x0000000D,out)\n"},
    {"OpenBridge", [](tW& a_rW, tS* a_pS) { a_rW.OpenBridge(14, a_pS); }, 503,
     "OpenBridge(S,14)\n"},
    {"EepromUpdate",
     [](tW& a_rW, tS* a_pS) { a_rW.EepromUpdate(15, 0xAAAA, 0xBBBB, 1, 0, 2, g_Image, a_pS); }, 545,
     "EepromUpdate(S,15,0xAAAA,0xBBBB,1,0,2,[07 08])\n"},
};

TEST_F(Wrapper, EachCallRecordsAFailureWithWhereItWasMadeAndNothingElse) {
    for (const auto& l_Call : kSingleCalls) {
        SCOPED_TRACE(l_Call.entry);
        // The session's own OpenSession is call 1.
        const std::string l_From = std::string(l_Call.entry) == "OpenSession" ? "2" : "1";
        for (const std::int32_t l_Answer : {-20, 0}) {
            open(R"({"entry":"E","from":)" + l_From + R"(,"answer":)" + std::to_string(l_Answer) +
                     "}",
                 l_Call.entry);
            cDetailedStatus l_Status;
            l_Call.call(*m_pWrapper, l_Status.get());
            if (l_Answer == 0) {
                EXPECT_EQ(l_Status->code, 0);
                EXPECT_EQ(l_Status->json, nullptr);
            } else {
                expectRecorded(*l_Status, l_Answer,
                               std::string("m_PciBrdDynLib.") + l_Call.entry + "( ", l_Call.line);
            }
            EXPECT_EQ(calls(), l_Call.calls);
        }
        // A failure recorded before: no call, the record and the session kept.
        open("");
        cDetailedStatus l_Status;
        nTest::presetStatus(l_Status.get(), -1, "earlier");
        const std::string l_Document = l_Status->json;
        l_Call.call(*m_pWrapper, l_Status.get());
        EXPECT_EQ(l_Status->json, l_Document);
        EXPECT_EQ(calls(), "");
        EXPECT_EQ(m_pWrapper->Session(), m_Session);
    }
}

TEST_F(Wrapper, TheFirstWarningStaysUntilAnErrorReplacesIt) {
    open(R"({"entry":"GetAttributeU32","answer":5},{"entry":"OpenBridge","answer":7},
            {"entry":"SetAttributeU32","answer":-10})");
    cDetailedStatus l_Status;
    for (int l_Call : {9, 10, 8, 4}) {
        kSingleCalls[l_Call].call(*m_pWrapper, l_Status.get());
        m_pWrapper->CloseBridge(1);
        if (l_Call == 8 || l_Call == 4) {
            expectRecorded(*l_Status, -10, "m_PciBrdDynLib.SetAttributeU32( ", 461);
        } else {
            expectRecorded(*l_Status, 5, "m_PciBrdDynLib.GetAttributeU32( ", 484);
        }
    }
    EXPECT_EQ(calls(), "GetAttributeU32(S,12,0x0000000D,out)\nCloseBridge(S,1)\nOpenBridge(S,14)\n"
                       "CloseBridge(S,1)\nSetAttributeU32(S,9,0x0000000A,0x0000000B)\n"
                       "CloseBridge(S,1)\nCloseBridge(S,1)\n");
}

const struct tArrayOperation {
    const char* entry;
    // Runs the operation on an array given and returned as 32-bit values.
    std::function<void(tW&, std::vector<std::uint32_t>&, tS*)> call;
    const char* firstCall; // as logged, up to its buffer and count
    int countLine, fillLine, memoryLine;
    std::size_t elementSize;
} kArrayOperations[] = {
    {"FindBridgesByPciIds",
     [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
         const std::uint16_t l_Vid = 0x10B5, l_SsPid = 0x5C2E;
         a_rW.FindBridgesByPciIds(&l_Vid, nullptr, nullptr, &l_SsPid, a_rOut, a_pS);
     },
     "FindBridgesByPciIds(S,0x10B5,null,null,0x5C2E,", 113, 133, 123, 4},
    {"GetBridgeChildren",
     [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
         a_rW.GetBridgeChildren(9, a_rOut, a_pS);
     },
     "GetBridgeChildren(S,9,", 251, 268, 260, 4},
    {"GetBusChildren",
     [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
         a_rW.GetBusChildren(9, a_rOut, a_pS);
     },
     "GetBusChildren(S,9,", 298, 315, 307, 4},
    {"GetRootBuses",
     [](tW& a_rW, std::vector<std::uint32_t>& a_rOut, tS* a_pS) {
         std::vector<std::uint8_t> l_Buses(a_rOut.begin(), a_rOut.end());
         a_rW.GetRootBuses(l_Buses, a_pS);
         a_rOut.assign(l_Buses.begin(), l_Buses.end());
     },
     "GetRootBuses(S,", 343, 359, 351, 1},
};

// The document a count-then-fill leaves: none, "{}" from the consumed count answer, the count
// call's, the fill call's, the memory failure's (kRefused: with the temporary array refused by
// the allocator), or the one there before.
enum tDocument { kNone, kEmpty, kCount, kFill, kMemory, kRefused, kEarlier };

TEST_F(Wrapper, CountThenFillHandsOnOnlyWhatTheFillReports) {
    const std::string l_Three = R"({"entry":"E","items":[3,1,2]},)";
    const struct {
        std::string rules;
        std::int32_t before; // the status on entry: 0, a warning with a document, or -1 alone
        std::vector<std::uint32_t> output; // empty: the caller's array left alone
        std::int32_t code;
        tDocument document;
        std::size_t calls;
    } l_Cases[] = {
        {R"({"entry":"E","items":[3,1,2]})", 0, {3, 1, 2}, 0, kEmpty, 2},
        {R"({"entry":"E","items":[]})", 0, {}, 0, kNone, 1},
        // A bus 0 or bridge 0 the library never gave is none.
        {l_Three + R"({"entry":"E","call":2,"items":[0,9]})", 0, {0, 9}, 0, kEmpty, 2},
        // The count grew between the calls.
        {l_Three + R"({"entry":"E","call":2,"items":[3,1,2,4]})",
         0,
         {},
         kStatusBufferTooSmall,
         kFill,
         2},
        // A fill answering success with a count beyond its buffer did not fit either.
        {l_Three + R"({"entry":"E","call":2,"count":4})", 0, {}, kStatusBufferTooSmall, kFill, 2},
        {R"({"entry":"E","items":[5]})", 5, {5}, 0, kEmpty, 2},
        {R"({"entry":"E","items":[]})", 5, {}, 5, kEarlier, 1},
        {R"({"entry":"E","call":1,"answer":-7})", 0, {}, -7, kCount, 1},
        {R"({"entry":"E","items":[6,7]},{"entry":"E","call":2,"answer":9})",
         0,
         {6, 7},
         9,
         kFill,
         2},
        {R"({"entry":"E","items":[1]})", -1, {}, -1, kNone, 0},
        // 256 buses of 32 devices with 8 functions hold 65536 functions at most.
        {R"({"entry":"E","items":[],"count":65536},{"entry":"E","call":1,"answer":-313002})", 0,
         std::vector<std::uint32_t>(65536), 0, kEmpty, 2},
        {R"({"entry":"E","call":1,"answer":-313002,"count":65537})",
         0,
         {},
         kStatusMemoryFull,
         kMemory,
         1},
    };
    const std::vector<std::uint32_t> l_Before{0xEE, 0xDD};
    for (const tArrayOperation& l_Operation : kArrayOperations) {
        for (const auto& l_Case : l_Cases) {
            SCOPED_TRACE(std::string(l_Operation.entry) + " " + l_Case.rules);
            open(l_Case.rules, l_Operation.entry);
            cDetailedStatus l_Status;
            if (l_Case.before > 0) {
                nTest::presetStatus(l_Status.get(), l_Case.before, "warning");
            } else {
                l_Status->code = l_Case.before;
            }
            const std::string l_Earlier = l_Status->json != nullptr ? l_Status->json : "";
            std::vector<std::uint32_t> l_Output = l_Before;
            const bool l_Refuse = l_Case.document == kRefused;
            if (l_Refuse && !zuTest::canFailAllocations()) {
                continue;
            }
            long l_Failed = 0;
            {
                // Checks wait until the failing scope ends: a failing check allocates.
                zuTest::cFailingAllocationScope l_Scope;
                l_Refuse ? zuTest::failAllocationsOfSize(12345 * l_Operation.elementSize)
                         : zuTest::armAllocationFailure(0);
                l_Operation.call(*m_pWrapper, l_Output, l_Status.get());
                l_Failed = zuTest::disarmAllocationFailure().failed;
            }
            EXPECT_EQ(l_Failed, l_Refuse ? 1 : 0);
            EXPECT_EQ(l_Output, l_Case.output.empty() ? l_Before : l_Case.output);
            const std::string l_Call = std::string("m_PciBrdDynLib.") + l_Operation.entry + "( ";
            switch (l_Case.document) {
            case kNone:
            case kEmpty:
            case kEarlier:
                EXPECT_EQ(l_Status->code, l_Case.code);
                EXPECT_STREQ(l_Status->json, l_Case.document == kNone    ? nullptr
                                             : l_Case.document == kEmpty ? "{}"
                                                                         : l_Earlier.c_str());
                break;
            case kCount:
            case kFill:
                expectRecorded(*l_Status, l_Case.code, l_Call,
                               l_Case.document == kCount ? l_Operation.countLine
                                                         : l_Operation.fillLine);
                break;
            case kMemory:
            case kRefused:
                expectRecorded(*l_Status, l_Case.code, "zuoskaerr_memoryFull",
                               l_Operation.memoryLine);
            }
            const std::string l_Calls = calls();
            EXPECT_EQ(static_cast<std::size_t>(std::count(l_Calls.begin(), l_Calls.end(), '\n')),
                      l_Case.calls);
            EXPECT_EQ(l_Calls.rfind(std::string(l_Operation.firstCall) + "null,0)\n", 0),
                      l_Case.calls == 0 ? std::string::npos : 0u)
                << l_Calls;
        }
    }
}

TEST_F(Wrapper, SlotPathFailuresOfOurOwnAreRecordedWithTheCall) {
    open(R"({"entry":"GetBridgeSlotPath","text":"MR00:1C,ZZ"})");
    cSlotPath l_Path;
    cDetailedStatus l_Status;
    m_pWrapper->GetBridgeSlotPath(2, l_Path, l_Status.get());
    expectRecorded(*l_Status, kStatusMalformedSlotPath, "m_PciBrdDynLib.GetBridgeSlotPath( ", 411);
    cDetailedStatus l_FindStatus;
    setStatus(&l_Path.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 1);
    std::uint32_t l_Bridge = 5;
    m_pWrapper->FindBridgeBySlotPath(l_Path, l_Bridge, l_FindStatus.get());
    expectRecorded(*l_FindStatus, kStatusMemoryFull, "m_PciBrdDynLib.FindBridgeBySlotPath( ", 185);
    EXPECT_EQ(l_Bridge, 5u);
    EXPECT_EQ(calls(), "GetBridgeSlotPath(S,2,null,0)\nGetBridgeSlotPath(S,2,buf,11)\n");
}

TEST_F(Wrapper, SessionsAreClosedBeforeAnotherOpensAndBeforeTheLibraryGoes) {
    open("");
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, l_Status.get());
    const std::string l_Second = std::to_string(m_pWrapper->Session());
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    // With none open the library is still told.
    m_pWrapper->CloseSession();
    m_pWrapper->OpenSession(0, l_Status.get());
    const std::string l_Third = std::to_string(m_pWrapper->Session());
    m_Sim.release();
    m_pWrapper.reset();
    EXPECT_EQ(calls(), "CloseSession(S)\nOpenSession(0,out)\nCloseSession(" + l_Second +
                           ")\nCloseSession(4294967295)\nOpenSession(0,out)\nCloseSession(" +
                           l_Third + ")\n# unloaded\n");
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
