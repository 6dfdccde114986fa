// openList against seeded chaos, checked against its call log; a failing run names its replay.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "source/finder.h"
#include "tests/support/zuListCheck.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSim.h"

namespace {

// The test program's registration sets the count; 10,000 when run by hand.
const long kRuns = std::getenv("ZU_CHAOS_RUNS") ? std::atol(std::getenv("ZU_CHAOS_RUNS")) : 10000;
// The simulator hashes its seed, so neighbouring seeds give unrelated runs.
constexpr std::uint64_t kFirstSeed = 7461000000;
constexpr long kVariantEvery = 40;
const char* const kVariants[] = {"OpenSession",  "CloseSession",    "FindBridgesByPciIds",
                                 "GetBridgeIds", "GetAttributeU32", "EepromUpdate"};
constexpr std::int32_t kTooSmall = ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL;
const std::string kNoSession = "4294967295";

// The first error stands; an error replaces a warning; a warning never replaces one.
std::int32_t recorded(std::int32_t a_Current, std::int32_t a_Result) {
    return (a_Current == 0 && a_Result != 0) || (a_Current > 0 && a_Result < 0) ? a_Result
                                                                                : a_Current;
}

// A logged call's answer, and what it wrote under a name ("" when nothing).
std::int32_t codeOf(const std::string& a_rLine) {
    const std::size_t l_At = a_rLine.find(") -> ");
    return l_At == std::string::npos ? 0 : std::stoi(a_rLine.substr(l_At + 5));
}
std::string outputOf(const std::string& a_rLine, const std::string& a_rName) {
    const std::size_t l_At = a_rLine.find(" " + a_rName + "=");
    const std::size_t l_From = l_At + a_rName.size() + 2;
    return l_At == std::string::npos ? ""
                                     : a_rLine.substr(l_From, a_rLine.find(' ', l_From) - l_From);
}
std::uint32_t numberOf(const std::string& a_rLine, const char* a_pName, std::uint32_t a_Unwritten) {
    const std::string l_Text = outputOf(a_rLine, a_pName);
    return l_Text.empty() ? a_Unwritten : std::uint32_t(std::stoul(l_Text, nullptr, 0));
}

struct tPrediction {
    std::int32_t code = ZU7461_STATUS_INVALID_PARAMETER;
    std::vector<std::uint32_t> bridgeValues;
    std::string fault;
};

// Discovery's calls: session, count-then-fill, one read a bridge to the first error, close.
tPrediction predict(const std::vector<std::string>& a_rCalls, const std::string& a_rMissing) {
    tPrediction l_Prediction;
    std::size_t l_Next = 0;
    // The next call's line if it is a_rCall ("Name(arguments)"); null, the fault noted, if not.
    const auto l_Take = [&](const std::string& a_rCall) -> const std::string* {
        if (l_Prediction.fault.empty() &&
            (l_Next == a_rCalls.size() ||
             a_rCalls[l_Next].compare(0, a_rCall.size() + 1, a_rCall + " ") != 0)) {
            l_Prediction.fault = "call " + std::to_string(l_Next) + " is " +
                                 (l_Next < a_rCalls.size() ? a_rCalls[l_Next] : "missing") +
                                 ", expected " + a_rCall;
        }
        return l_Prediction.fault.empty() ? &a_rCalls[l_Next++] : nullptr;
    };
    std::int32_t l_Code = -1;
    std::string l_Session = kNoSession;
    const std::string* l_pOpen = a_rMissing.empty() ? l_Take("OpenSession(0,out)") : nullptr;
    if (l_pOpen != nullptr) {
        // What a failing library wrote is no session: the close names none.
        l_Code = codeOf(*l_pOpen);
        l_Session = outputOf(*l_pOpen, "session").empty() || l_Code < 0
                        ? kNoSession
                        : outputOf(*l_pOpen, "session");
    }
    const std::string l_Find = "FindBridgesByPciIds(" + l_Session + ",null,null,0x1F3C,0x5C2E,";
    const std::string* l_pQuery = l_Code >= 0 ? l_Take(l_Find + "null,0)") : nullptr;
    l_Code = l_pQuery ? recorded(l_Code, codeOf(*l_pQuery)) : l_Code;
    std::vector<std::uint32_t> l_Bridges;
    if (l_pQuery != nullptr && l_Code == kTooSmall) {
        const std::uint32_t l_Announced = numberOf(*l_pQuery, "count", 0);
        const std::string* l_pFill =
            l_Take(l_Find + (l_Announced ? "buf," : "null,") + std::to_string(l_Announced) + ")");
        l_Code = l_pFill ? codeOf(*l_pFill) : -1;
        // More than there was room for is too small; elements never written stay 0.
        const std::uint32_t l_Reported = l_pFill ? numberOf(*l_pFill, "count", l_Announced) : 0;
        l_Code = recorded(l_Code, l_Code >= 0 && l_Reported > l_Announced ? kTooSmall : 0);
        std::istringstream l_Items(l_pFill ? outputOf(*l_pFill, "bridges") + "]" : "");
        for (std::uint32_t l_Item = 0; l_Code >= 0 && l_Bridges.size() < l_Reported;) {
            l_Items.ignore(1);
            l_Bridges.push_back(l_Items >> l_Item ? l_Item : 0);
        }
    }
    for (std::size_t l_Index = 0; l_Code >= 0 && l_Index < l_Bridges.size(); ++l_Index) {
        const std::string* l_pRead =
            l_Take("GetAttributeU32(" + l_Session + "," + std::to_string(l_Bridges[l_Index]) +
                   ",0x20000300,out)");
        l_Code = l_pRead ? recorded(l_Code, codeOf(*l_pRead)) : -1;
        if (l_Code >= 0) {
            l_Prediction.bridgeValues.push_back(numberOf(*l_pRead, "value", 0) & 0xFFFFu);
        }
    }
    if (a_rMissing != "OpenSession" && a_rMissing != "CloseSession") {
        l_Take("CloseSession(" + l_Session + ")");
    }
    if (l_Prediction.fault.empty() && l_Next != a_rCalls.size()) {
        l_Prediction.fault = "more calls than expected";
    }
    l_Prediction.code = a_rMissing.empty() ? l_Code : ZU7461_STATUS_INVALID_PARAMETER;
    l_Prediction.bridgeValues.resize(l_Prediction.code < 0 ? 0 : l_Prediction.bridgeValues.size());
    return l_Prediction;
}

const struct {
    tZU7461_openList openList = nZUPXIFINDER100_openList;
    tZU7461_closeList closeList = nZUPXIFINDER100_closeList;
    tZU7461_getNthItem getNthItem = nZUPXIFINDER100_getNthItem;
    tZU7461_getU32Attribute getU32Attribute = nZUPXIFINDER100_getU32Attribute;
    tZU7461_getStringAttribute getStringAttribute = nZUPXIFINDER100_getStringAttribute;
} kExports;

TEST(HostileBridgeLibrary, EveryRunFollowsTheRulesAndLeavesNothingBehind) {
    nZU7461_14_0::moduleAttach();
    zuTest::cTopologyFile l_Topology("");
    const zuTest::cCallLog l_Log;
    long l_Tally[4] = {0, 0, 0, 0}; // errors, warnings, lists with chassis, lists without
    long l_Faults = 0;
    std::string l_FirstFault;
    for (long l_Run = 0; l_Run < kRuns && l_Faults <= 20; ++l_Run) {
        const std::string l_Replay = zuTest::chassisTopology(
            {0x10001, 2, 0xFFFF0003},
            "{\"chaos\":{\"seed\":" + std::to_string(kFirstSeed + l_Run) + ",\"quiet\":true}}");
        const std::string l_Missing =
            l_Run % kVariantEvery != kVariantEvery - 1
                ? ""
                : kVariants[(l_Run / kVariantEvery) % (sizeof kVariants / sizeof *kVariants)];
        l_Topology.use(l_Replay);
        l_Log.clear();
        // The library's blocks count too, so a held variant lives inside the counted span.
        zuTest::armAllocationFailure(0);
        std::unique_ptr<zuTest::cHeldSimulator> l_pHeld(
            l_Missing.empty() ? nullptr : new zuTest::cHeldSimulator("no-" + l_Missing));
        std::uint32_t l_Count = 0xC0FFEEu;
        void* l_pList = &l_Count;
        const std::int32_t l_Code = nZUPXIFINDER100_openList(&l_Count, &l_pList);
        std::string l_Fault;
        {
            // Released before the counting stops.
            std::vector<std::string> l_Calls;
            int l_Loads = 0, l_Unloads = 0;
            std::istringstream l_Lines(l_Log.text());
            for (std::string l_Line; std::getline(l_Lines, l_Line);) {
                l_Loads += l_Line == "# loaded";
                l_Unloads += l_Line == "# unloaded";
                if (l_Line[0] != '#') {
                    l_Calls.push_back(l_Line.substr(0, l_Line.find(" [")) + " ");
                }
            }
            const tPrediction l_Expected = predict(l_Calls, l_Missing);
            l_Fault = !l_Expected.fault.empty() ? l_Expected.fault
                      : l_Code != l_Expected.code
                          ? "code " + std::to_string(l_Code) + ", expected " +
                                std::to_string(l_Expected.code)
                      : (l_pList == nullptr) != (l_Count == 0)
                          ? "a handle must come exactly with chassis"
                          : zuTest::checkList(kExports, l_pList, l_Count, l_Expected.bridgeValues);
            if (l_Fault.empty() && (l_Loads != 1 || l_Unloads != (l_pHeld ? 0 : 1))) {
                l_Fault = "not loaded and unloaded once";
            }
        }
        nZUPXIFINDER100_closeList(l_pList);
        l_pHeld.reset();
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
        if (l_Fault.empty() && l_Counters.allocations != l_Counters.releases) {
            l_Fault = std::to_string(l_Counters.allocations - l_Counters.releases) + " blocks kept";
        }
        if (l_Fault.empty() && zuTest::isModuleLoaded("zupcibrd.dll")) {
            l_Fault = "the bridge driver library stayed loaded";
        }
        if (!l_Fault.empty() && l_Faults++ == 0) {
            l_FirstFault = "run " + std::to_string(l_Run) + ": " + l_Fault + "; replay with " +
                           (l_Missing.empty() ? "" : "the variant no-" + l_Missing + " and ") +
                           "the topology file " + l_Replay;
        }
        l_Tally[0] += l_Code < 0;
        l_Tally[1] += l_Code > 0;
        l_Tally[2] += l_Count != 0;
        l_Tally[3] += l_Code >= 0 && l_Count == 0;
    }
    nZU7461_14_0::moduleDetach();
    EXPECT_EQ(l_Faults, 0) << l_FirstFault;
    std::cout << kRuns << " runs: " << l_Tally[0] << " errors, " << l_Tally[1] << " warnings, "
              << l_Tally[2] << " lists with chassis, " << l_Tally[3] << " without\n";
    // The library must have driven the finder down each road, or the figure means little.
    EXPECT_GT(l_Tally[0], kRuns / 10);
    EXPECT_GT(l_Tally[1], kRuns / 100);
    EXPECT_GT(l_Tally[2], kRuns / 10);
    EXPECT_GT(l_Tally[3], kRuns / 100);
}

} // namespace
