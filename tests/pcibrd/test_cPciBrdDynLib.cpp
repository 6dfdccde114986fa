#include "pcibrd/cPciBrdDynLib.h"

#include <cstdint>
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
using nTest::cSimBridge;
using nTest::detailsOf;

std::vector<std::uint8_t> elementsOf(const cSlotPath& a_rPath) {
    return std::vector<std::uint8_t>(a_rPath.begin(), a_rPath.end());
}

// Every entry point in the table's order, as each operation below calls it.
const char* const kEveryCall[] = {
    "OpenSession(0,out)\n",
    "CloseSession(11)\n",
    "FindBridgesByPciIds(12,null,null,0x1F3C,0x5C2E,null,0)\n",
    "FindBridgeByAddress(13,1,2,3,out)\n",
    "FindBridgeBySlotPath(14,\"MR02:\",out)\n",
    "FindParentBridgeForBus(15,4,out)\n",
    "GetBridgeParent(16,5,out)\n",
    "GetBridgeChildren(17,6,null,0)\n",
    "GetBusChildren(18,7,null,0)\n",
    "GetRootBuses(19,null,0)\n",
    "GetBridgeAddress(20,8,out,out,out)\n",
    "GetBridgeSlotPath(21,9,null,0)\n",
    "GetBridgeIds(22,10,out,out,out,out)\n",
    "SetAttributeU32(23,11,0x20000300,0x0000004D)\n",
    "GetAttributeU32(24,11,0x20000300,out)\n",
    "OpenBridge(25,12)\n",
    "CloseBridge(26,13)\n",
    "EepromUpdate(27,14,0x1234,0x5678,1,2,3,[01 02 FF])\n",
};
constexpr std::size_t kEntryCount = sizeof kEveryCall / sizeof kEveryCall[0];
constexpr std::size_t kCloseSession = 1, kOpenBridge = 15, kCloseBridge = 16;

// Calls every operation once, with the arguments above; the results of those that have one.
std::vector<std::int32_t> callEveryOperation(cPciBrdDynLib& a_rTable) {
    const std::uint16_t l_SsVid = 0x1F3C, l_SsPid = 0x5C2E;
    std::uint32_t l_Value = 0, l_Count = 0;
    std::uint8_t l_Bytes[3] = {};
    std::uint16_t l_Ids[4] = {};
    const std::uint8_t l_Image[3] = {1, 2, 0xFF};
    cSlotPath l_Path;
    l_Path.SetRootBus(2);
    return {a_rTable.OpenSession(0, &l_Value),
            (a_rTable.CloseSession(11), a_rTable.FindBridgesByPciIds(12, nullptr, nullptr, &l_SsVid,
                                                                     &l_SsPid, nullptr, &l_Count)),
            a_rTable.FindBridgeByAddress(13, 1, 2, 3, &l_Value),
            a_rTable.FindBridgeBySlotPath(14, l_Path, &l_Value),
            a_rTable.FindParentBridgeForBus(15, 4, &l_Value),
            a_rTable.GetBridgeParent(16, 5, &l_Value),
            a_rTable.GetBridgeChildren(17, 6, nullptr, &(l_Count = 0)),
            a_rTable.GetBusChildren(18, 7, nullptr, &(l_Count = 0)),
            a_rTable.GetRootBuses(19, nullptr, &(l_Count = 0)),
            a_rTable.GetBridgeAddress(20, 8, &l_Bytes[0], &l_Bytes[1], &l_Bytes[2]),
            a_rTable.GetBridgeSlotPath(21, 9, l_Path),
            a_rTable.GetBridgeIds(22, 10, &l_Ids[0], &l_Ids[1], &l_Ids[2], &l_Ids[3]),
            a_rTable.SetAttributeU32(23, 11, 0x20000300u, 77),
            a_rTable.GetAttributeU32(24, 11, 0x20000300u, &l_Value),
            a_rTable.OpenBridge(25, 12),
            (a_rTable.CloseBridge(26, 13),
             a_rTable.EepromUpdate(27, 14, 0x1234, 0x5678, 1, 2, 3, l_Image))};
}

TEST(PciBrdDynLib, EntryPointsUpToTheFirstMissingOneForwardEveryCallAndItsCodeUnchanged) {
    const struct {
        const char* lacking; // the variant's missing entry point, or "" for none
        std::int32_t before; // the record on entry
        std::size_t usable;  // entry points before the first missing one
    } l_Cases[] = {{"", 0, kEntryCount},
                   {"GetBridgeIds", 0, 12},
                   {"OpenSession", 0, 0},
                   {"EepromUpdate", 0, 17},
                   {"", -1, 0}};
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(std::string(l_Case.lacking) + " " + std::to_string(l_Case.before));
        cSimBridge l_Sim(l_Case.lacking);
        // Warnings and errors alike come back as the library gave them.
        l_Sim.script(R"({"entry":"*","answer":-44},{"entry":"OpenBridge","answer":9})");
        cDetailedStatus l_Status;
        l_Status->code = l_Case.before;
        cPciBrdDynLib l_Table(l_Status.get());
        EXPECT_EQ(l_Table.IsLoaded(), l_Case.before == 0);
        if (*l_Case.lacking != '\0') {
            EXPECT_EQ(l_Status->code, kStatusInvalidParameter);
            EXPECT_EQ(detailsOf(*l_Status)["zudynlib_debug"]["zudynlib_symbol"],
                      std::string("ZuPciBrd_") + l_Case.lacking);
            EXPECT_EQ(detailsOf(*l_Status)["line"], 177);
        } else {
            EXPECT_EQ(l_Status->code, l_Case.before);
            EXPECT_EQ(l_Status->json, nullptr);
        }
        std::vector<std::int32_t> l_Results;
        std::string l_Calls;
        for (std::size_t l_Entry = 0; l_Entry < kEntryCount; ++l_Entry) {
            if (l_Entry != kCloseSession && l_Entry != kCloseBridge) {
                l_Results.push_back(l_Entry >= l_Case.usable ? kStatusEntryPointNotLoaded
                                    : l_Entry == kOpenBridge ? 9
                                                             : -44);
            }
            l_Calls += l_Entry < l_Case.usable ? kEveryCall[l_Entry] : "";
        }
        EXPECT_EQ(callEveryOperation(l_Table), l_Results);
        EXPECT_EQ(l_Sim.calls(), l_Calls);
        // An absent entry point answers before a slot path is even looked at.
        cSlotPath l_Broken;
        setStatus(&l_Broken.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 3);
        std::uint32_t l_Bridge = 0;
        EXPECT_EQ(l_Table.FindBridgeBySlotPath(1, l_Broken, &l_Bridge),
                  l_Case.usable > 4 ? kStatusMemoryFull : kStatusEntryPointNotLoaded);
        EXPECT_EQ(l_Sim.calls(), "");
    }
}

TEST(PciBrdDynLib, SlotPathTextIsFetchedParsedOrLeftAlone) {
    const struct {
        const char* rules; // for GetBridgeSlotPath of bridge 2, "MR00:01" unless they say
        std::int32_t code;
        const char* path; // the path afterwards: "MR07:05" left alone
        const char* calls;
    } l_Cases[] = {
        {R"({"entry":"E","text":"MR02:1C,00"})", 0, "MR02:1C,00", "null,0|buf,11"},
        // Without a terminator the text must stay inside the buffer.
        {R"({"entry":"E","text":"MR02:1C,00","terminated":false})", 0, "MR02:1C,00",
         "null,0|buf,10"},
        {R"({"entry":"E","text":"","terminated":false},{"entry":"E","call":1,"answer":-313002})",
         kStatusMalformedSlotPath, "MR07:05", "null,0|buf,0"},
        {R"({"entry":"E","text":"MR00:1C,ZZ"})", kStatusMalformedSlotPath, "MR07:05",
         "null,0|buf,11"},
        // Larger than announced: five bytes and no terminator among them.
        {R"({"entry":"E","call":1,"count":5},{"entry":"E","call":2,"truncate":true})",
         kStatusMalformedSlotPath, "MR07:05", "null,0|buf,5"},
        // A warning of the fill is not passed on.
        {R"({"entry":"E","text":"MR03:0A"},{"entry":"E","call":2,"answer":6})", 0, "MR03:0A",
         "null,0|buf,8"},
        // Answers other than buffer-too-small leave the path alone.
        {R"({"entry":"E","call":1,"answer":0})", 0, "MR07:05", "null,0"},
        {R"({"entry":"E","call":1,"answer":4})", 4, "MR07:05", "null,0"},
        {R"({"entry":"E","call":2,"answer":-31})", -31, "MR07:05", "null,0|buf,8"},
        // No slot path comes near this size.
        {R"({"entry":"E","count":65537})", kStatusMemoryFull, "MR07:05", "null,0"},
    };
    cSimBridge l_Sim;
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.rules);
        l_Sim.script(l_Case.rules, "GetBridgeSlotPath");
        cDetailedStatus l_Status;
        cPciBrdDynLib l_Table(l_Status.get());
        std::uint32_t l_Session = 0;
        ASSERT_EQ(l_Table.OpenSession(0, &l_Session), 0);
        cSlotPath l_Path;
        tStatus l_ParseStatus = makeStatus();
        l_Path.Parse("MR07:05", &l_ParseStatus);
        l_Sim.calls();
        EXPECT_EQ(l_Table.GetBridgeSlotPath(l_Session, 2, l_Path), l_Case.code);
        cCheckedString l_Text;
        l_Path.Format(l_Text, &l_ParseStatus);
        EXPECT_STREQ(l_Text.CStr(), l_Case.path);
        std::string l_Calls = "GetBridgeSlotPath(S,2," + std::string(l_Case.calls) + ")\n";
        if (l_Calls.find('|') != std::string::npos) {
            l_Calls.replace(l_Calls.find('|'), 1, ")\nGetBridgeSlotPath(S,2,");
        }
        EXPECT_EQ(l_Sim.calls(l_Session), l_Calls);
        l_Table.CloseSession(l_Session);
    }
}

TEST(PciBrdDynLib, SlotPathBufferMemoryFailureAnswersMemoryFull) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    cSimBridge l_Sim;
    // An unusual size, so that only the text buffer (one byte more) is that large.
    l_Sim.script(R"({"entry":"GetBridgeSlotPath","answer":-313002,"count":5000})");
    cDetailedStatus l_Status;
    cPciBrdDynLib l_Table(l_Status.get());
    cSlotPath l_Path;
    tStatus l_ParseStatus = makeStatus();
    l_Path.Parse("MR07:05", &l_ParseStatus);
    // The buffer refused, then had but not its owner's bookkeeping (it must still be freed).
    for (auto l_pArm : {&zuTest::failAllocationsOfSize, &zuTest::failAllocationsAfterSize}) {
        std::int32_t l_Result = 0;
        long l_Failed = 0;
        {
            // Checks wait until the failing scope ends: a failing check allocates.
            zuTest::cFailingAllocationScope l_Scope;
            l_pArm(5001);
            l_Result = l_Table.GetBridgeSlotPath(1, 2, l_Path);
            l_Failed = zuTest::disarmAllocationFailure().failed;
        }
        EXPECT_EQ(l_Result, kStatusMemoryFull);
        EXPECT_GE(l_Failed, 1);
        EXPECT_EQ(l_Path.RootBus(), 0x07);
        EXPECT_EQ(elementsOf(l_Path), (std::vector<std::uint8_t>{0x05}));
    }
    EXPECT_EQ(l_Sim.calls(), "GetBridgeSlotPath(1,2,null,0)\nGetBridgeSlotPath(1,2,null,0)\n");
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
