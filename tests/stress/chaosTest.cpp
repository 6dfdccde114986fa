// A hostile bridge driver library: many openList runs against the simulator's chaos, each run
// with a seed of its own, and now and then against a variant that lacks an entry point (held by
// full path for that run). Each run is checked against what the rules make of the answers the
// call log records: the code, the count, the handle and every chassis value; and after each run
// nothing of it is left: no list, no manager, no heap block, no library, one load and one unload.
// A failing run prints its topology file, which replays it exactly.
#include <gtest/gtest.h>

#include <cstdint>
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
#include "zu7461/zu7461.h"

namespace {

constexpr long kRuns = 100000;
// One run in this many holds a variant that lacks an entry point.
constexpr long kVariantEvery = 40;
const char* const kVariants[] = {"OpenSession",  "CloseSession",     "FindBridgesByPciIds",
                                 "GetBridgeIds", "GetAttributeU32",  "EepromUpdate",
                                 "CloseBridge",  "GetBridgeSlotPath"};
constexpr std::int32_t kTooSmall = ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL;
const std::string kNoSession = "4294967295";

std::uint64_t runSeed(long a_Run) {
    // splitmix64 of the run number: neighbouring runs get unrelated answers.
    std::uint64_t l_Value = 0x7461C4A0500001ull + 0x9E3779B97F4A7C15ull * std::uint64_t(a_Run);
    l_Value = (l_Value ^ (l_Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    l_Value = (l_Value ^ (l_Value >> 27)) * 0x94D049BB133111EBull;
    return l_Value ^ (l_Value >> 31);
}

// The first error stands; an error replaces a warning; a warning never replaces one.
std::int32_t recorded(std::int32_t a_Current, std::int32_t a_Result) {
    return (a_Current == 0 && a_Result != 0) || (a_Current > 0 && a_Result < 0) ? a_Result
                                                                                : a_Current;
}

// One line of the call log: "Name(arguments) -> code out=value ... [cause]".
struct tCall {
    std::string entry, arguments;
    std::int32_t code = 0;
    std::string output(const std::string& a_rName) const {
        const std::size_t l_At = m_Outputs.find(" " + a_rName + "=");
        return l_At == std::string::npos
                   ? std::string()
                   : m_Outputs.substr(l_At + a_rName.size() + 2,
                                      m_Outputs.find(' ', l_At + 1) - l_At - a_rName.size() - 2);
    }
    std::uint32_t number(const std::string& a_rName, std::uint32_t a_Unwritten) const {
        const std::string l_Text = output(a_rName);
        return l_Text.empty() ? a_Unwritten : std::uint32_t(std::stoul(l_Text, nullptr, 0));
    }
    std::string m_Outputs;
};

// Reads the calls in order, noting the first one the rules do not allow.
class cCallReader {
public:
    explicit cCallReader(const std::string& a_rLog) {
        std::istringstream l_Lines(a_rLog);
        for (std::string l_Line; std::getline(l_Lines, l_Line);) {
            m_Loads += l_Line == "# loaded";
            m_Unloads += l_Line == "# unloaded";
            const std::size_t l_Open = l_Line.find('('), l_Close = l_Line.find(')');
            if (l_Line[0] == '#' || l_Open == std::string::npos || l_Close == std::string::npos) {
                continue;
            }
            tCall l_Call{l_Line.substr(0, l_Open), l_Line.substr(l_Open + 1, l_Close - l_Open - 1)};
            std::string l_Rest = l_Line.substr(l_Close + 1);
            l_Rest = l_Rest.substr(0, l_Rest.find(" ["));
            if (l_Rest.compare(0, 4, " -> ") == 0) {
                l_Call.code = std::stoi(l_Rest.substr(4));
                l_Rest = l_Rest.substr(l_Rest.find(' ', 4));
            }
            l_Call.m_Outputs = l_Rest + " ";
            m_Calls.push_back(l_Call);
        }
    }
    const tCall* take(const char* a_pEntry, const std::string& a_rArguments) {
        if (m_Fault.empty() && m_Next >= m_Calls.size()) {
            m_Fault = std::string("expected ") + a_pEntry + "(" + a_rArguments + "), none came";
        } else if (m_Fault.empty() && (m_Calls[m_Next].entry != a_pEntry ||
                                       m_Calls[m_Next].arguments != a_rArguments)) {
            m_Fault = "call " + std::to_string(m_Next) + ": " + m_Calls[m_Next].entry + "(" +
                      m_Calls[m_Next].arguments + "), expected " + a_pEntry + "(" + a_rArguments +
                      ")";
        }
        return m_Fault.empty() ? &m_Calls[m_Next++] : nullptr;
    }
    std::string finish() {
        if (m_Fault.empty() && m_Next != m_Calls.size()) {
            m_Fault = std::to_string(m_Calls.size() - m_Next) + " calls after the last expected";
        }
        return m_Fault;
    }
    int m_Loads = 0, m_Unloads = 0;

private:
    std::vector<tCall> m_Calls;
    std::size_t m_Next = 0;
    std::string m_Fault;
};

struct tPrediction {
    std::int32_t code = ZU7461_STATUS_INVALID_PARAMETER;
    std::vector<std::uint32_t> bridgeValues;
    bool reachedFill = false;
    std::string fault;
};

// What discovery must make of the library's answers: one session, count-then-fill over the
// chassis's subsystem IDs, one attribute read per bridge until the first error, and the session
// closed whatever happened. A variant lacking an entry point is resolved up to the missing name
// only, and only the session close (without a session) may be called.
tPrediction predict(cCallReader& a_rCalls, const char* a_pMissing) {
    tPrediction l_Prediction;
    if (a_pMissing != nullptr) {
        if (std::string(a_pMissing) != "OpenSession" && std::string(a_pMissing) != "CloseSession") {
            a_rCalls.take("CloseSession", kNoSession);
        }
        l_Prediction.fault = a_rCalls.finish();
        return l_Prediction;
    }
    std::int32_t l_Code = 0;
    std::string l_Session = kNoSession;
    std::vector<std::uint32_t> l_Bridges;
    const std::string l_Search = ",null,null,0x1F3C,0x5C2E,";
    if (const tCall* l_pOpen = a_rCalls.take("OpenSession", "0,out")) {
        // The session variable keeps whatever the library wrote, even with a failure.
        l_Session = l_pOpen->output("session").empty() ? kNoSession : l_pOpen->output("session");
        l_Code = l_pOpen->code;
    }
    const tCall* l_pQuery =
        l_Code >= 0 ? a_rCalls.take("FindBridgesByPciIds", l_Session + l_Search + "null,0")
                    : nullptr;
    if (l_pQuery != nullptr && recorded(l_Code, l_pQuery->code) == kTooSmall) {
        l_Code = 0;
        l_Prediction.reachedFill = true;
        const std::uint32_t l_Announced = l_pQuery->number("count", 0);
        const std::string l_Room =
            (l_Announced != 0 ? "buf," : "null,") + std::to_string(l_Announced);
        if (const tCall* l_pFill =
                a_rCalls.take("FindBridgesByPciIds", l_Session + l_Search + l_Room)) {
            l_Code = l_pFill->code;
            // More reported than there was room for is the buffer-too-small answer; reported
            // elements the library never wrote stay 0.
            const std::uint32_t l_Reported = l_pFill->number("count", l_Announced);
            l_Code = recorded(l_Code, l_Code >= 0 && l_Reported > l_Announced ? kTooSmall : 0);
            std::istringstream l_Items(l_pFill->output("bridges") + "]");
            for (std::uint32_t l_Item = 0; l_Code >= 0 && l_Bridges.size() < l_Reported;) {
                l_Items.ignore(1);
                l_Bridges.push_back(l_Items >> l_Item ? l_Item : 0);
            }
        }
    } else if (l_pQuery != nullptr) {
        l_Code = recorded(l_Code, l_pQuery->code);
    }
    for (std::size_t l_Index = 0; l_Code >= 0 && l_Index < l_Bridges.size(); ++l_Index) {
        const tCall* l_pRead =
            a_rCalls.take("GetAttributeU32",
                          l_Session + "," + std::to_string(l_Bridges[l_Index]) + ",0x20000300,out");
        l_Code = l_pRead != nullptr ? recorded(l_Code, l_pRead->code) : -1;
        if (l_Code >= 0) {
            l_Prediction.bridgeValues.push_back(l_pRead->number("value", 0) & 0xFFFFu);
        }
    }
    a_rCalls.take("CloseSession", l_Session);
    l_Prediction.fault = a_rCalls.finish();
    l_Prediction.code = l_Code;
    if (l_Code < 0) {
        l_Prediction.bridgeValues.clear();
    }
    return l_Prediction;
}

struct tTally {
    long errors = 0, warnings = 0, emptyLists = 0, lists = 0, chassis = 0, fills = 0, missing = 0;
    long faults = 0;
    std::string firstFault;
};

const zuTest::tExports kExports{nZUPXIFINDER100_openList, nZUPXIFINDER100_closeList,
                                nZUPXIFINDER100_getNthItem, nZUPXIFINDER100_getU32Attribute,
                                nZUPXIFINDER100_getStringAttribute};

// One openList as a host makes it, checked against the prediction and closed again.
std::string openCheckAndClose(const zuTest::cCallLog& a_rLog, const char* a_pMissing,
                              tTally& a_rTally) {
    std::uint32_t l_Count = 0xC0FFEEu;
    void* l_pList = &l_Count;
    const std::int32_t l_Code = nZUPXIFINDER100_openList(&l_Count, &l_pList);
    cCallReader l_Calls(a_rLog.text());
    const tPrediction l_Expected = predict(l_Calls, a_pMissing);
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
    if (l_Fault.empty() && (l_Calls.m_Loads != 1 || l_Calls.m_Unloads != (a_pMissing ? 0 : 1))) {
        l_Fault = "the finder did not load and unload the library exactly once";
    }
    if (l_pList != &l_Count) {
        nZUPXIFINDER100_closeList(l_pList);
    }
    a_rTally.fills += l_Expected.reachedFill;
    a_rTally.errors += l_Code < 0;
    a_rTally.warnings += l_Code > 0;
    a_rTally.emptyLists += l_Code >= 0 && l_Count == 0;
    a_rTally.lists += l_Code >= 0 && l_Count != 0;
    a_rTally.chassis += l_Count;
    return l_Fault;
}

class HostileBridgeLibrary : public ::testing::Test {
protected:
    void SetUp() override { nZU7461_14_0::moduleAttach(); }
    void TearDown() override { nZU7461_14_0::moduleDetach(); }
};

TEST_F(HostileBridgeLibrary, EveryRunFollowsTheRulesAndLeavesNothingBehind) {
    const std::string l_Machine = zuTest::chassisTopology({0x10001, 2, 0xFFFF0003});
    zuTest::cTopologyFile l_Topology(l_Machine);
    const zuTest::cCallLog l_Log;
    ASSERT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
    tTally l_Tally;
    for (long l_Run = 0; l_Run < kRuns && l_Tally.faults <= 20; ++l_Run) {
        const std::string l_Replay =
            zuTest::withFaults(l_Machine, "{\"chaos\":{\"seed\":" + std::to_string(runSeed(l_Run)) +
                                              ",\"quiet\":true}}");
        l_Topology.use(l_Replay);
        const char* l_pMissing = nullptr;
        if (l_Run % kVariantEvery == kVariantEvery - 1) {
            l_pMissing =
                kVariants[(l_Run / kVariantEvery) % (sizeof kVariants / sizeof *kVariants)];
            ++l_Tally.missing;
        }
        l_Log.clear();
        std::unique_ptr<zuTest::cHeldSimulator> l_pHeld(
            l_pMissing ? new zuTest::cHeldSimulator(std::string("no-") + l_pMissing) : nullptr);

        zuTest::armAllocationFailure(0);
        std::string l_Fault = openCheckAndClose(l_Log, l_pMissing, l_Tally);
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
        l_pHeld.reset();

        if (l_Fault.empty() && l_Counters.allocations != l_Counters.releases) {
            l_Fault = std::to_string(l_Counters.allocations - l_Counters.releases) + " blocks kept";
        }
        if (l_Fault.empty() && (nZU7461_14_0::currentSessionManager() != nullptr ||
                                nZU7461_14_0::openListCount() != 0)) {
            l_Fault = "a list or the session manager outlived the run";
        }
        if (l_Fault.empty() && zuTest::isModuleLoaded("zupcibrd.dll")) {
            l_Fault = "the bridge driver library stayed loaded";
        }
        if (!l_Fault.empty() && l_Tally.faults++ == 0) {
            l_Tally.firstFault = "run " + std::to_string(l_Run) + (l_pMissing ? " (no-" : " (") +
                                 (l_pMissing ? l_pMissing : "") + "): " + l_Fault +
                                 "; replay with the topology file " + l_Replay;
        }
    }

    EXPECT_EQ(l_Tally.faults, 0) << l_Tally.firstFault;
    std::cout << kRuns << " runs: " << l_Tally.errors << " errors (" << l_Tally.missing
              << " with an entry point missing), " << l_Tally.warnings << " warnings, "
              << l_Tally.lists << " lists with " << l_Tally.chassis << " chassis, "
              << l_Tally.emptyLists << " empty; " << l_Tally.fills << " reached the fill\n";
    // The library must have driven the finder down each road, or the figure means little.
    EXPECT_GT(l_Tally.errors, kRuns / 10);
    EXPECT_GT(l_Tally.warnings, kRuns / 100);
    EXPECT_GT(l_Tally.lists, kRuns / 10);
    EXPECT_GT(l_Tally.emptyLists, kRuns / 100);
}

} // namespace
