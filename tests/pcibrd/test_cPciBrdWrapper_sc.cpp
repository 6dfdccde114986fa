#include "pcibrd/cPciBrdWrapper_sc.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "simBridge.h"
#include "tests/support/failingAllocator.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {
namespace {

using nTest::cDetailedStatus;
using tW = cPciBrdWrapper_sc;
using tS = tDetailedStatus;

// The code and document: for a_Line 0 the document a_Text ("" for none), else the one recorded at
// a_Line for the library call of entry a_Text (its text begins with it), or for a_Text itself.
void expectStatus(const tS& a_rStatus, std::int32_t a_Code, std::string a_Text, int a_Line) {
    EXPECT_EQ(a_rStatus.code, a_Code);
    if (a_Line == 0) {
        EXPECT_EQ(a_rStatus.json == nullptr ? "" : a_rStatus.json, a_Text);
        return;
    }
    a_Text = a_Text.rfind("zuoskaerr_", 0) == 0 ? a_Text : "m_PciBrdDynLib." + a_Text + "( ";
    nTest::tJson l_Document = nTest::detailsOf(a_rStatus);
    if (l_Document.is_object() && l_Document.value("error_constant", "").rfind(a_Text, 0) == 0) {
        l_Document["error_constant"] = a_Text;
    }
    EXPECT_EQ(l_Document, nTest::errorMembers(a_Text, "cPciBrdWrapper_sc", a_Line));
}

std::uint32_t g_Out = 0;
std::uint8_t g_Bytes[3] = {};
std::uint16_t g_Ids[4] = {};
const std::uint8_t g_Image[2] = {7, 8};
const std::uint16_t g_Vid = 0x10B5, g_SsPid = 0x5C2E;
std::vector<std::uint32_t> g_Array; // what the array operations hand on

void rootBuses(tW& a_rW, tS* a_pS) {
    std::vector<std::uint8_t> l_Buses(g_Array.begin(), g_Array.end());
    a_rW.GetRootBuses(l_Buses, a_pS);
    g_Array.assign(l_Buses.begin(), l_Buses.end());
}

void findBySlotPath(tW& a_rW, tS* a_pS) {
    cSlotPath l_Path;
    tStatus l_Status = makeStatus();
    l_Path.Parse("MR02:1C", &l_Status);
    a_rW.FindBridgeBySlotPath(l_Path, g_Out, a_pS);
}

#define ZU_CALL(a_Call) [](tW& a_rW, tS* a_pS) { a_rW.a_Call; }
// In the entry table's order; for arrays the line of the count call, then of the fill and of the
// memory failure.
// clang-format off
const struct tOperation {
    int line;
    const char* call; // as logged
    std::function<void(tW&, tS*)> run;
    int fillLine = 0, memoryLine = 0;
    std::string entry() const { return std::string(call, std::strchr(call, '(')); }
} kOperations[] = {
    {64, "OpenSession(5,out)", ZU_CALL(OpenSession(5, a_pS))},
    {113, "FindBridgesByPciIds(S,0x10B5,null,null,0x5C2E,null,0)",
     ZU_CALL(FindBridgesByPciIds(&g_Vid, nullptr, nullptr, &g_SsPid, g_Array, a_pS)), 133, 123},
    {164, "FindBridgeByAddress(S,1,2,3,out)", ZU_CALL(FindBridgeByAddress(1, 2, 3, g_Out, a_pS))},
    {185, "FindBridgeBySlotPath(S,\"MR02:1C\",out)", findBySlotPath},
    {206, "FindParentBridgeForBus(S,4,out)", ZU_CALL(FindParentBridgeForBus(4, g_Out, a_pS))},
    {227, "GetBridgeParent(S,5,out)", ZU_CALL(GetBridgeParent(5, g_Out, a_pS))},
    {251, "GetBridgeChildren(S,9,null,0)", ZU_CALL(GetBridgeChildren(9, g_Array, a_pS)), 268, 260},
    {298, "GetBusChildren(S,9,null,0)", ZU_CALL(GetBusChildren(9, g_Array, a_pS)), 315, 307},
    {343, "GetRootBuses(S,null,0)", rootBuses, 359, 351},
    {390, "GetBridgeAddress(S,6,out,out,out)",
     ZU_CALL(GetBridgeAddress(6, g_Bytes, g_Bytes + 1, g_Bytes + 2, a_pS))},
    {411, "GetBridgeSlotPath(S,7,null,0)",
     [](tW& a_rW, tS* a_pS) { cSlotPath l_Path; a_rW.GetBridgeSlotPath(7, l_Path, a_pS); }},
    {438, "GetBridgeIds(S,8,out,out,out,out)",
     ZU_CALL(GetBridgeIds(8, g_Ids, g_Ids + 1, g_Ids + 2, g_Ids + 3, a_pS))},
    {461, "SetAttributeU32(S,9,0x0000000A,0x0000000B)", ZU_CALL(SetAttributeU32(9, 10, 11, a_pS))},
    {484, "GetAttributeU32(S,12,0x0000000D,out)", ZU_CALL(GetAttributeU32(12, 13, g_Out, a_pS))},
    {503, "OpenBridge(S,14)", ZU_CALL(OpenBridge(14, a_pS))},
    {545, "EepromUpdate(S,15,0xAAAA,0xBBBB,1,0,2,[07 08])",
     ZU_CALL(EepromUpdate(15, 0xAAAA, 0xBBBB, 1, 0, 2, g_Image, a_pS))},
};
// clang-format on

// Entry points up to the first missing one forward each call and record its answer at the call's
// site; the missing one and all after it answer "not loaded" without reaching the library.
TEST(EntryTable, EachOperationForwardsOrIsDisabledAndRecordsItsOwnSite) {
    // The missing entry point, the status the table is built with, the operations still usable.
    const std::tuple<const char*, std::int32_t, std::size_t> l_Variants[] = {
        {"", 0, 16},
        {"OpenSession", 0, 0},
        {"FindBridgesByPciIds", 0, 1},
        {"GetBridgeIds", 0, 11},
        {"CloseBridge", 0, 15},
        {"", -1, 0}};
    for (const auto& [l_pLacking, l_Before, l_Usable] : l_Variants) {
        for (const std::int32_t l_Answer : {-44, 0}) {
            SCOPED_TRACE(std::string(l_pLacking) + " " + std::to_string(l_Answer));
            nTest::cSimBridge l_Sim(l_pLacking);
            l_Sim.script(R"({"entry":"*","answer":)" + std::to_string(l_Answer) + "}");
            cDetailedStatus l_Built;
            l_Built.code = l_Before;
            tW l_Wrapper(&l_Built);
            EXPECT_EQ(l_Built.code, *l_pLacking != '\0' ? kStatusInvalidParameter : l_Before);
            EXPECT_EQ(nTest::detailsOf(l_Built)["zudynlib_debug"]["zudynlib_symbol"],
                      *l_pLacking != '\0' ? nTest::tJson("ZuPciBrd_" + std::string(l_pLacking))
                                          : nTest::tJson());
            for (std::size_t l_Index = 0; l_Index < 16; ++l_Index) {
                const tOperation& l_Operation = kOperations[l_Index];
                SCOPED_TRACE(l_Operation.call);
                const std::uint32_t l_Session = l_Wrapper.Session();
                cDetailedStatus l_Status;
                l_Operation.run(l_Wrapper, &l_Status);
                const bool l_Forwarded = l_Index < l_Usable, l_Fine = l_Forwarded && l_Answer == 0;
                expectStatus(l_Status, l_Forwarded ? l_Answer : kStatusEntryPointNotLoaded,
                             l_Fine ? "" : l_Operation.entry(), l_Fine ? 0 : l_Operation.line);
                EXPECT_EQ(l_Sim.calls(l_Session),
                          l_Forwarded ? l_Operation.call + std::string("\n") : "");
                // An error recorded before: no call, the record and the session kept.
                nTest::presetStatus(&l_Status, -1);
                const std::string l_Document = l_Status.json;
                const std::uint32_t l_Opened = l_Wrapper.Session();
                l_Operation.run(l_Wrapper, &l_Status);
                EXPECT_EQ(l_Status.json, l_Document);
                EXPECT_EQ(l_Sim.calls(), "");
                EXPECT_EQ(l_Wrapper.Session(), l_Opened);
            }
        }
    }
}

// A wrapper over the simulator, with a session open on a machine scripted afresh.
class Wrapper : public ::testing::Test {
protected:
    void open(const std::string& a_rRules, const std::string& a_rEntry = "") {
        m_Sim.script(a_rRules, a_rEntry);
        cDetailedStatus l_Open;
        m_pWrapper->OpenSession(0, &l_Open);
        ASSERT_TRUE(m_pWrapper->IsSessionOpen());
        m_Session = m_pWrapper->Session();
        m_Sim.calls();
    }
    std::string calls() { return m_Sim.calls(m_Session); }

    nTest::cSimBridge m_Sim;
    cDetailedStatus m_Built;
    std::unique_ptr<tW> m_pWrapper = std::make_unique<tW>(&m_Built);
    std::uint32_t m_Session = 0;
};

TEST_F(Wrapper, CountThenFillHandsOnOnlyWhatTheFillReports) {
    const std::string l_Three = R"({"entry":"E","items":[3,1,2]},{"entry":"E","call":2,)";
    // clang-format off
    const struct {
        std::string rules;
        std::int32_t before;               // on entry: 0, a warning with a document, or -1 alone
        std::vector<std::uint32_t> output; // empty: the caller's array left alone
        std::int32_t code;
        char document; // none, "{}", the count call's, the fill call's, memory's or the earlier one
        const char* fill; // the fill call's buffer and room; "": none made, null: no call at all
    } l_Cases[] = {
        {R"({"entry":"E","items":[3,1,2]})", 0, {3, 1, 2}, 0, '{', "buf,3"},
        {R"({"entry":"E","items":[]})", 0, {}, 0, 'n', ""},
        {l_Three + R"("items":[0,9]})", 0, {0, 9}, 0, '{', "buf,3"}, // 0 is a bus, or a bridge
        // The count grew between the calls, or a fill answers success beyond its buffer.
        {l_Three + R"("items":[3,1,2,4]})", 0, {}, -313002, 'f', "buf,3"},
        {l_Three + R"("count":4})", 0, {}, -313002, 'f', "buf,3"},
        {R"({"entry":"E","items":[5]})", 5, {5}, 0, '{', "buf,1"},
        {R"({"entry":"E","items":[]})", 5, {}, 5, 'w', ""},
        {R"({"entry":"E","call":1,"answer":-7})", 0, {}, -7, 'c', ""},
        {R"({"entry":"E","items":[6,7]},{"entry":"E","call":2,"answer":9})", 0, {6, 7}, 9, 'f', "buf,2"},
        {R"({"entry":"E","items":[1]})", -1, {}, -1, 'n', nullptr},
        // 256 buses of 32 devices with 8 functions hold 65536 functions at most.
        {R"({"entry":"E","items":[],"count":65536},{"entry":"E","call":1,"answer":-313002})", 0,
         std::vector<std::uint32_t>(65536), 0, '{', "buf,65536"},
        {R"({"entry":"E","call":1,"answer":-313002,"count":65537})", 0, {}, kStatusMemoryFull, 'm', ""},
    };
    // clang-format on
    const std::vector<std::uint32_t> l_Kept{0xEE, 0xDD};
    for (const tOperation& l_Operation : kOperations) {
        for (const auto& l_Case : l_Cases) {
            if (l_Operation.fillLine == 0) {
                break;
            }
            SCOPED_TRACE(l_Operation.entry() + " " + l_Case.rules);
            open(l_Case.rules, l_Operation.entry());
            cDetailedStatus l_Status;
            nTest::presetStatus(&l_Status, l_Case.before > 0 ? l_Case.before : 0);
            l_Status.code = l_Case.before;
            const std::string l_Earlier = l_Status.json != nullptr ? l_Status.json : "";
            g_Array = l_Kept;
            l_Operation.run(*m_pWrapper, &l_Status);
            EXPECT_EQ(g_Array, l_Case.output.empty() ? l_Kept : l_Case.output);
            const char l_Kind = l_Case.document;
            expectStatus(l_Status, l_Case.code,
                         l_Kind == 'n'   ? ""
                         : l_Kind == '{' ? "{}"
                         : l_Kind == 'w' ? l_Earlier
                         : l_Kind == 'm' ? "zuoskaerr_memoryFull"
                                         : l_Operation.entry(),
                         l_Kind == 'c'   ? l_Operation.line
                         : l_Kind == 'f' ? l_Operation.fillLine
                         : l_Kind == 'm' ? l_Operation.memoryLine
                                         : 0);
            std::string l_Calls =
                l_Case.fill == nullptr ? "" : l_Operation.call + std::string("\n");
            if (l_Case.fill != nullptr && *l_Case.fill != '\0') {
                l_Calls += l_Calls;
                l_Calls.replace(l_Calls.rfind("null,0"), 6, l_Case.fill);
            }
            EXPECT_EQ(calls(), l_Calls);
        }
    }
}

TEST_F(Wrapper, SessionsAreClosedBeforeAnotherOpensAndBeforeTheLibraryGoes) {
    open("");
    cDetailedStatus l_Status;
    m_pWrapper->OpenSession(0, &l_Status);
    const std::string l_Second = std::to_string(m_pWrapper->Session());
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    m_pWrapper->CloseSession(); // with none open the library is still told
    m_pWrapper->OpenSession(0, &l_Status);
    const std::string l_Third = std::to_string(m_pWrapper->Session());
    m_Sim.release();
    m_pWrapper.reset();
    EXPECT_EQ(calls(), "CloseSession(S)\nOpenSession(0,out)\nCloseSession(" + l_Second +
                           ")\nCloseSession(4294967295)\nOpenSession(0,out)\nCloseSession(" +
                           l_Third + ")\n# unloaded\n");
}

TEST_F(Wrapper, SlotPathTextIsFetchedParsedOrLeftAlone) {
    // clang-format off
    const struct {
        const char* rules; // for GetBridgeSlotPath of bridge 2
        std::int32_t code;
        const char* path; // afterwards: "MR07:05" is left alone
        const char* fill; // the room of the second call, if one is made
    } l_Cases[] = {
        {R"({"entry":"E","text":"MR02:1C,00"})", 0, "MR02:1C,00", "11"},
        // Without a terminator the text must stay inside the buffer.
        {R"({"entry":"E","text":"MR02:1C,00","terminated":false})", 0, "MR02:1C,00", "10"},
        {R"({"entry":"E","text":"","terminated":false},{"entry":"E","call":1,"answer":-313002})", -313325, "MR07:05", "0"},
        {R"({"entry":"E","text":"MR00:1C,ZZ"})", -313325, "MR07:05", "11"},
        // Larger than announced: five bytes and no terminator among them.
        {R"({"entry":"E","call":1,"count":5},{"entry":"E","call":2,"truncate":true})", -313325, "MR07:05", "5"},
        {R"({"entry":"E","text":"MR03:0A"},{"entry":"E","call":2,"answer":6})", 0, "MR03:0A", "8"}, // a fill's warning is dropped
        // Answers other than buffer-too-small leave the path alone.
        {R"({"entry":"E","call":1,"answer":0})", 0, "MR07:05", ""},
        {R"({"entry":"E","call":1,"answer":4})", 4, "MR07:05", ""},
        {R"({"entry":"E","call":2,"answer":-31})", -31, "MR07:05", "8"},
        {R"({"entry":"E","count":65537})", kStatusMemoryFull, "MR07:05", ""}, // no path is that long
    };
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.rules);
        open(l_Case.rules, "GetBridgeSlotPath");
        cSlotPath l_Path;
        tStatus l_ParseStatus = makeStatus();
        l_Path.Parse("MR07:05", &l_ParseStatus);
        cDetailedStatus l_Status;
        m_pWrapper->GetBridgeSlotPath(2, l_Path, &l_Status);
        expectStatus(l_Status, l_Case.code, l_Case.code == 0 ? "" : "GetBridgeSlotPath",
                     l_Case.code == 0 ? 0 : 411);
        cCheckedString l_Text;
        l_Path.Format(l_Text, &l_ParseStatus);
        EXPECT_STREQ(l_Text.CStr(), l_Case.path);
        EXPECT_EQ(calls(), "GetBridgeSlotPath(S,2,null,0)\n" +
                               (*l_Case.fill == '\0' ? std::string()
                                                     : "GetBridgeSlotPath(S,2,buf," +
                                                           std::string(l_Case.fill) + ")\n"));
    }
}

TEST_F(Wrapper, SlotPathBufferMemoryFailureAnswersMemoryFull) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    // An unusual size, so that only the text buffer (one byte more) is that large.
    open(R"({"entry":"GetBridgeSlotPath","answer":-313002,"count":5000})");
    cSlotPath l_Path;
    tStatus l_ParseStatus = makeStatus();
    l_Path.Parse("MR07:05", &l_ParseStatus);
    // The buffer refused, then had but not its owner's bookkeeping (it must still be freed).
    for (auto l_pArm : {&zuTest::failAllocationsOfSize, &zuTest::failAllocationsAfterSize}) {
        cDetailedStatus l_Status;
        long l_Failed = 0;
        {
            zuTest::cFailingAllocationScope l_Scope; // a failing check would allocate
            l_pArm(5001);
            m_pWrapper->GetBridgeSlotPath(2, l_Path, &l_Status);
            l_Failed = zuTest::disarmAllocationFailure().failed;
        }
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_GE(l_Failed, 1);
        EXPECT_EQ(l_Path.RootBus(), 0x07);
        EXPECT_EQ(l_Path.ElementCount(), 1u);
    }
    // A path failed on its own is that failure, recorded where it is handed to the library.
    cDetailedStatus l_FindStatus;
    setStatus(&l_Path.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 1);
    m_pWrapper->FindBridgeBySlotPath(l_Path, g_Out = 5, &l_FindStatus);
    expectStatus(l_FindStatus, kStatusMemoryFull, "FindBridgeBySlotPath", 185);
    EXPECT_EQ(g_Out, 5u);
    EXPECT_EQ(calls(), "GetBridgeSlotPath(S,2,null,0)\nGetBridgeSlotPath(S,2,null,0)\n");
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
