// A hostile bridge driver library: openList runs against the simulator's chaos, a seed for each
// run, and now and then against a variant lacking an entry point (held by full path for that
// run). Each run is checked against what the rules make of the answers its call log records:
// the calls, the code, the count, the handle and every chassis value. After each run nothing of
// it is left: no list, no manager, no heap block, no library, and it was loaded and unloaded
// once. A failing run prints its topology file, which replays it.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "source/finder.h"
#include "tests/stress/listCheck.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuFinderModule.h"
#include "tests/support/zuSimCallLog.h"
#include "tests/support/zuSimTopology.h"

namespace {

// A run costs about 8 ms of a core under AddressSanitizer, nearly all of it the loader relocating
// the instrumented simulator: this many fit in about two minutes, 100,000 would take fifteen.
constexpr long kRuns = 10000;
constexpr long kVariantEvery = 40;
const char* const kVariants[] = {"OpenSession",  "CloseSession",    "FindBridgesByPciIds",
                                 "GetBridgeIds", "GetAttributeU32", "EepromUpdate"};
constexpr std::int32_t kTooSmall = ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL;
const std::string kNoSession = "4294967295";

std::uint64_t runSeed(long a_Run) {
    // splitmix64 of the run number: neighbouring runs get unrelated answers.
    std::uint64_t l_Value = 0x7461C4A0500001ull + 0x9E3779B97F4A7C15ull * std::uint64_t(a_Run);
    l_Value = (l_Value ^ (l_Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    l_Value = (l_Value ^ (l_Value >> 27)) * 0x94D049BB133111EBull;
    return (l_Value ^ (l_Value >> 31)) >> 1; // the simulator takes seeds up to 2^63 - 1
}

// The first error stands; an error replaces a warning; a warning never replaces one.
std::int32_t recorded(std::int32_t a_Current, std::int32_t a_Result) {
    return (a_Current == 0 && a_Result != 0) || (a_Current > 0 && a_Result < 0) ? a_Result
                                                                                : a_Current;
}

// What a logged call answered, and what it wrote under a name ("" when it wrote nothing).
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

// One run's calls, read in order against the calls the rules expect.
class cCalls {
public:
    explicit cCalls(const std::string& a_rLog) {
        std::istringstream l_Lines(a_rLog);
        for (std::string l_Line; std::getline(l_Lines, l_Line);) {
            m_Loads += l_Line == "# loaded";
            m_Unloads += l_Line == "# unloaded";
            if (l_Line[0] != '#') {
                m_Lines.push_back(l_Line.substr(0, l_Line.find(" [")) + " ");
            }
        }
    }
    // The next call's line if it is a_rCall ("Name(arguments)"); null, the fault noted, if not.
    const std::string* next(const std::string& a_rCall) {
        if (m_Fault.empty() && (m_Next == m_Lines.size() ||
                                m_Lines[m_Next].compare(0, a_rCall.size() + 1, a_rCall + " "))) {
            m_Fault = "call " + std::to_string(m_Next) + " is " +
                      (m_Next < m_Lines.size() ? m_Lines[m_Next] : "missing") + ", expected " +
                      a_rCall;
        }
        return m_Fault.empty() ? &m_Lines[m_Next++] : nullptr;
    }
    std::string finish() {
        return m_Fault.empty() && m_Next != m_Lines.size() ? "more calls than expected" : m_Fault;
    }
    int m_Loads = 0, m_Unloads = 0;

private:
    std::vector<std::string> m_Lines;
    std::size_t m_Next = 0;
    std::string m_Fault;
};

struct tPrediction {
    std::int32_t code = ZU7461_STATUS_INVALID_PARAMETER;
    std::vector<std::uint32_t> bridgeValues;
    std::string fault;
};

// What discovery must make of the library's answers: one session, count-then-fill over the
// chassis's subsystem IDs, one attribute read per bridge until the first error, and the session
// closed whatever happened. Entry points are resolved in order up to a missing one; then only
// the session close (of no session) may be called.
tPrediction predict(cCalls& a_rCalls, const std::string& a_rMissing) {
    tPrediction l_Prediction;
    if (!a_rMissing.empty()) {
        if (a_rMissing != "OpenSession" && a_rMissing != "CloseSession") {
            a_rCalls.next("CloseSession(" + kNoSession + ")");
        }
        l_Prediction.fault = a_rCalls.finish();
        return l_Prediction;
    }
    std::int32_t l_Code = -1;
    std::string l_Session = kNoSession;
    if (const std::string* l_pOpen = a_rCalls.next("OpenSession(0,out)")) {
        // The session variable keeps whatever the library wrote, even with a failure.
        l_Session =
            outputOf(*l_pOpen, "session").empty() ? kNoSession : outputOf(*l_pOpen, "session");
        l_Code = codeOf(*l_pOpen);
    }
    const std::string l_Find = "FindBridgesByPciIds(" + l_Session + ",null,null,0x1F3C,0x5C2E,";
    const std::string* l_pQuery = l_Code >= 0 ? a_rCalls.next(l_Find + "null,0)") : nullptr;
    l_Code = l_pQuery ? recorded(l_Code, codeOf(*l_pQuery)) : l_Code;
    std::vector<std::uint32_t> l_Bridges;
    if (l_pQuery != nullptr && l_Code == kTooSmall) {
        const std::uint32_t l_Announced = numberOf(*l_pQuery, "count", 0);
        const std::string* l_pFill = a_rCalls.next(l_Find + (l_Announced ? "buf," : "null,") +
                                                   std::to_string(l_Announced) + ")");
        l_Code = l_pFill ? codeOf(*l_pFill) : -1;
        // More reported than there was room for is the buffer-too-small answer; reported
        // elements the library never wrote stay 0.
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
            a_rCalls.next("GetAttributeU32(" + l_Session + "," +
                          std::to_string(l_Bridges[l_Index]) + ",0x20000300,out)");
        l_Code = l_pRead ? recorded(l_Code, codeOf(*l_pRead)) : -1;
        if (l_Code >= 0) {
            l_Prediction.bridgeValues.push_back(numberOf(*l_pRead, "value", 0) & 0xFFFFu);
        }
    }
    a_rCalls.next("CloseSession(" + l_Session + ")");
    l_Prediction.fault = a_rCalls.finish();
    l_Prediction.code = l_Code;
    l_Prediction.bridgeValues.resize(l_Code < 0 ? 0 : l_Prediction.bridgeValues.size());
    return l_Prediction;
}

const zuTest::tExports kExports{nZUPXIFINDER100_openList, nZUPXIFINDER100_closeList,
                                nZUPXIFINDER100_getNthItem, nZUPXIFINDER100_getU32Attribute,
                                nZUPXIFINDER100_getStringAttribute};

// One openList as a host makes it, checked against the prediction and closed again; the
// library's blocks count too, so a held variant lives inside the counted span.
std::string runOnce(const zuTest::cCallLog& a_rLog, const std::string& a_rMissing,
                    long (&a_rTally)[4]) {
    zuTest::armAllocationFailure(0);
    std::unique_ptr<zuTest::cHeldSimulator> l_pHeld(
        a_rMissing.empty() ? nullptr : new zuTest::cHeldSimulator("no-" + a_rMissing));
    std::uint32_t l_Count = 0xC0FFEEu;
    void* l_pList = &l_Count;
    const std::int32_t l_Code = nZUPXIFINDER100_openList(&l_Count, &l_pList);
    cCalls l_Calls(a_rLog.text());
    const tPrediction l_Expected = predict(l_Calls, a_rMissing);
    std::string l_Fault = l_Expected.fault;
    if (l_Fault.empty() && l_Code != l_Expected.code) {
        l_Fault =
            "code " + std::to_string(l_Code) + ", expected " + std::to_string(l_Expected.code);
    }
    if (l_Fault.empty() && (l_pList == nullptr) != (l_Count == 0)) {
        l_Fault = "a handle must come exactly with chassis";
    }
    if (l_Fault.empty()) {
        l_Fault = zuTest::checkList(kExports, l_pList, l_Count, l_Expected.bridgeValues);
    }
    if (l_Fault.empty() && (l_Calls.m_Loads != 1 || l_Calls.m_Unloads != (l_pHeld ? 0 : 1))) {
        l_Fault = "the library was not loaded and unloaded exactly once";
    }
    nZUPXIFINDER100_closeList(l_pList);
    l_pHeld.reset();
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    if (l_Fault.empty() && l_Counters.allocations != l_Counters.releases) {
        l_Fault = std::to_string(l_Counters.allocations - l_Counters.releases) + " blocks kept";
    }
    if (l_Fault.empty() &&
        (nZU7461_14_0::currentSessionManager() != nullptr || nZU7461_14_0::openListCount() != 0)) {
        l_Fault = "a list or the session manager outlived the run";
    }
    if (l_Fault.empty() && zuTest::isModuleLoaded("zupcibrd.dll")) {
        l_Fault = "the bridge driver library stayed loaded";
    }
    // Errors, warnings, lists and empty lists.
    ++a_rTally[l_Code < 0 ? 0 : l_Code > 0 ? 1 : l_Count != 0 ? 2 : 3];
    return l_Fault;
}

TEST(HostileBridgeLibrary, EveryRunFollowsTheRulesAndLeavesNothingBehind) {
    nZU7461_14_0::moduleAttach();
    const std::string l_Machine = zuTest::chassisTopology({0x10001, 2, 0xFFFF0003});
    zuTest::cTopologyFile l_Topology(l_Machine);
    const zuTest::cCallLog l_Log;
    long l_Tally[4] = {0, 0, 0, 0};
    long l_Faults = 0;
    std::string l_FirstFault;
    for (long l_Run = 0; l_Run < kRuns && l_Faults <= 20; ++l_Run) {
        const std::string l_Replay =
            zuTest::withFaults(l_Machine, "{\"chaos\":{\"seed\":" + std::to_string(runSeed(l_Run)) +
                                              ",\"quiet\":true}}");
        const std::string l_Missing =
            l_Run % kVariantEvery != kVariantEvery - 1
                ? ""
                : kVariants[(l_Run / kVariantEvery) % (sizeof kVariants / sizeof *kVariants)];
        l_Topology.use(l_Replay);
        l_Log.clear();
        const std::string l_Fault = runOnce(l_Log, l_Missing, l_Tally);
        if (!l_Fault.empty() && l_Faults++ == 0) {
            l_FirstFault = "run " + std::to_string(l_Run) + " " + l_Missing + ": " + l_Fault +
                           "; replay with the topology file " + l_Replay;
        }
    }
    nZU7461_14_0::moduleDetach();
    EXPECT_EQ(l_Faults, 0) << l_FirstFault;
    std::cout << kRuns << " runs: " << l_Tally[0] << " errors, " << l_Tally[1] << " warnings, "
              << l_Tally[2] << " lists, " << l_Tally[3] << " empty\n";
    // The library must have driven the finder down each road, or the figure means little.
    EXPECT_GT(l_Tally[0], kRuns / 10);
    EXPECT_GT(l_Tally[1], kRuns / 100);
    EXPECT_GT(l_Tally[2], kRuns / 10);
    EXPECT_GT(l_Tally[3], kRuns / 100);
}

} // namespace
