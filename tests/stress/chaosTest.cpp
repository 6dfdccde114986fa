// A hostile bridge driver library: 100,000 openList runs against the chaos front end (found by
// name beside this program, never held), and now and then against a front end that lacks an
// entry point (held by full path for that run). Each run is checked against what the rules make
// of the library's recorded answers: the code, the count, the handle and every chassis value;
// and after each run nothing of it is left: no list, no manager, no heap block, no library.
//
// A failing run names its seed; ZuTestChaos_BeginRun with that seed replays it exactly.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "source/finder.h"
#include "tests/stress/listCheck.h"
#include "tests/support/failingAllocator.h"
#include "tests/testlibs/zuTestBridgeChaos.h"
#include "tests/testlibs/zuTestLibrary.h"
#include "zu7461/zu7461.h"

namespace {

constexpr long kRuns = 100000;
constexpr std::uint64_t kBaseSeed = 0x7461C4A0500001ull;
// One run in this many holds a front end that lacks an entry point.
constexpr long kMissingEntryEvery = 40;
constexpr std::uint32_t kBridgeValueAttribute = 0x20000300;
constexpr std::uint32_t kNoSession = 0xFFFFFFFFu;

struct tVariant {
    const char* folder;
    std::uint32_t missingEntry;
};
const tVariant kMissingEntryVariants[] = {
    {"chaos-no-OpenSession", ZuTestEntry_OpenSession},
    {"chaos-no-CloseSession", ZuTestEntry_CloseSession},
    {"chaos-no-FindBridgesByPciIds", ZuTestEntry_FindBridgesByPciIds},
    {"chaos-no-GetAttributeU32", ZuTestEntry_GetAttributeU32},
    {"chaos-no-EepromUpdate", ZuTestEntry_EepromUpdate},
};

std::uint64_t runSeed(long a_Run) {
    // splitmix64 of the run number: neighbouring runs get unrelated answers.
    std::uint64_t l_Value = kBaseSeed + 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(a_Run);
    l_Value = (l_Value ^ (l_Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    l_Value = (l_Value ^ (l_Value >> 27)) * 0x94D049BB133111EBull;
    return l_Value ^ (l_Value >> 31);
}

// The first error stands; an error replaces a warning; a warning never replaces one.
std::int32_t recorded(std::int32_t a_Current, std::int32_t a_Result) {
    return (a_Current == 0 && a_Result != 0) || (a_Current > 0 && a_Result < 0) ? a_Result
                                                                                : a_Current;
}

// Reads the library's record in call order, noting the first call the rules do not allow.
class cCallReader {
public:
    explicit cCallReader(const tZuTestChaosRun& a_rRun) : m_rRun(a_rRun) {}

    const tZuTestChaosCall* Take(std::uint32_t a_Entry, std::uint32_t a_Session) {
        if (!m_Fault.empty()) {
            return nullptr;
        }
        if (m_Next >= m_rRun.callCount || m_Next >= ZUTEST_CHAOS_MAX_CALLS) {
            m_Fault = "call " + std::to_string(m_Next) + " of entry " + std::to_string(a_Entry) +
                      " never came";
            return nullptr;
        }
        const tZuTestChaosCall& l_rCall = m_rRun.calls[m_Next];
        if (l_rCall.entry != a_Entry || l_rCall.session != a_Session) {
            m_Fault = "call " + std::to_string(m_Next) + ": entry " +
                      std::to_string(l_rCall.entry) + " with session " +
                      std::to_string(l_rCall.session) + ", expected entry " +
                      std::to_string(a_Entry) + " with session " + std::to_string(a_Session);
            return nullptr;
        }
        ++m_Next;
        return &l_rCall;
    }
    void Expect(bool a_Holds, const char* a_pWhat) {
        if (m_Fault.empty() && !a_Holds) {
            m_Fault = "call " + std::to_string(m_Next - 1) + ": " + a_pWhat;
        }
    }
    std::string Finish() {
        if (m_Fault.empty() && m_Next != m_rRun.callCount) {
            m_Fault = std::to_string(m_rRun.callCount - m_Next) + " calls after the last expected";
        }
        return m_Fault;
    }

private:
    const tZuTestChaosRun& m_rRun;
    std::uint32_t m_Next = 0;
    std::string m_Fault;
};

struct tPrediction {
    std::int32_t code = 0;
    std::vector<std::uint32_t> bridgeValues;
    bool secondFill = false;
    std::string fault;
};

// What discovery must make of the library's answers: one session, count-then-fill over the
// chassis's subsystem IDs, one attribute read per bridge until the first error, and the session
// closed whatever happened.
tPrediction predict(const tZuTestChaosRun& a_rRun, const tVariant* a_pMissing) {
    tPrediction l_Prediction;
    cCallReader l_Calls(a_rRun);
    if (a_pMissing != nullptr) {
        // Resolving stops at the missing name; only entry points before it may be called.
        l_Prediction.code = ZU7461_STATUS_INVALID_PARAMETER;
        if (a_pMissing->missingEntry > ZuTestEntry_CloseSession) {
            l_Calls.Take(ZuTestEntry_CloseSession, kNoSession);
        }
        l_Prediction.fault = l_Calls.Finish();
        return l_Prediction;
    }

    std::int32_t l_Code = 0;
    std::uint32_t l_Session = kNoSession;
    std::vector<std::uint32_t> l_Bridges;
    if (const tZuTestChaosCall* l_pOpen = l_Calls.Take(ZuTestEntry_OpenSession, 0)) {
        // The session variable keeps whatever the library wrote, even with a failure.
        l_Session = l_pOpen->wrote ? l_pOpen->written : kNoSession;
        l_Code = recorded(l_Code, l_pOpen->code);
    }
    if (l_Code >= 0) {
        if (const tZuTestChaosCall* l_pQuery =
                l_Calls.Take(ZuTestEntry_FindBridgesByPciIds, l_Session)) {
            l_Calls.Expect(l_pQuery->bufferGiven == 0 && l_pQuery->countIn == 0,
                           "the count query must pass no buffer and a count of 0");
            const std::uint32_t l_Announced = l_pQuery->wrote ? l_pQuery->written : 0;
            l_Code = recorded(l_Code, l_pQuery->code);
            if (l_Code == ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL) {
                l_Code = 0;
                l_Prediction.secondFill = true;
                if (const tZuTestChaosCall* l_pFill =
                        l_Calls.Take(ZuTestEntry_FindBridgesByPciIds, l_Session)) {
                    l_Calls.Expect(l_pFill->countIn == l_Announced &&
                                       (l_pFill->bufferGiven != 0) == (l_Announced != 0),
                                   "the fill must get room for exactly the announced count");
                    l_Code = recorded(0, l_pFill->code);
                    // The count written back says how many were filled; more than there was
                    // room for is the buffer-too-small answer.
                    const std::uint32_t l_Reported =
                        l_pFill->wrote ? l_pFill->written : l_Announced;
                    if (l_Code >= 0 && l_Reported > l_Announced) {
                        l_Code = recorded(l_Code, ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL);
                    }
                    if (l_Code >= 0) {
                        // Elements reported but not written stay 0.
                        l_Bridges.assign(l_Reported, 0);
                        for (std::uint32_t l_Index = 0;
                             l_Index < l_pFill->filled && l_Index < l_Reported; ++l_Index) {
                            l_Bridges[l_Index] = a_rRun.fill[l_Index];
                        }
                    }
                }
            }
        }
    }
    if (l_Code >= 0) {
        for (const std::uint32_t l_Bridge : l_Bridges) {
            const tZuTestChaosCall* l_pRead = l_Calls.Take(ZuTestEntry_GetAttributeU32, l_Session);
            if (l_pRead == nullptr) {
                break;
            }
            l_Calls.Expect(l_pRead->bridge == l_Bridge &&
                               l_pRead->attribute == kBridgeValueAttribute,
                           "attribute read of the wrong bridge or attribute");
            l_Code = recorded(l_Code, l_pRead->code);
            if (l_Code < 0) {
                break;
            }
            const std::uint32_t l_Value = l_pRead->wrote ? l_pRead->written : 0;
            l_Prediction.bridgeValues.push_back(l_Value & 0xFFFFu);
        }
    }
    l_Calls.Take(ZuTestEntry_CloseSession, l_Session);
    l_Prediction.fault = l_Calls.Finish();
    if (l_Code < 0) {
        l_Prediction.bridgeValues.clear();
    }
    l_Prediction.code = l_Code;
    return l_Prediction;
}

struct tTally {
    long errors = 0;
    long warnings = 0;
    long emptyLists = 0;
    long lists = 0;
    long chassis = 0;
    long secondFills = 0;
    long missingEntry = 0;
    long faults = 0;
    std::string firstFault;

    void Note(const std::string& a_rFault, long a_Run, std::uint64_t a_Seed) {
        if (a_rFault.empty()) {
            return;
        }
        if (faults++ == 0) {
            firstFault = "run " + std::to_string(a_Run) + " (seed " + std::to_string(a_Seed) +
                         "): " + a_rFault;
        }
    }
};

const zuTest::tExports kExports{nZUPXIFINDER100_openList, nZUPXIFINDER100_closeList,
                                nZUPXIFINDER100_getNthItem, nZUPXIFINDER100_getU32Attribute,
                                nZUPXIFINDER100_getStringAttribute};

bool isBridgeLibraryLoaded() {
    void* l_pModule = dlopen("zupcibrd.so", RTLD_NOW | RTLD_NOLOAD);
    if (l_pModule != nullptr) {
        dlclose(l_pModule);
    }
    return l_pModule != nullptr;
}

// One openList as a host makes it, checked against the prediction and closed again.
std::string openCheckAndClose(tZuTestChaosRun& a_rRun, const tVariant* a_pMissing,
                              tTally& a_rTally) {
    std::uint32_t l_Count = 0xC0FFEEu;
    void* l_pList = &l_Count;
    const std::int32_t l_Code = nZUPXIFINDER100_openList(&l_Count, &l_pList);
    ZuTestChaos_GetRun(&a_rRun);
    const tPrediction l_Expected = predict(a_rRun, a_pMissing);
    std::string l_Fault = l_Expected.fault;
    if (a_rRun.oversizedBuffer != 0) {
        l_Fault = "a fill was given more room than was announced";
    }
    if (l_Fault.empty() && l_Code != l_Expected.code) {
        l_Fault =
            "code " + std::to_string(l_Code) + ", expected " + std::to_string(l_Expected.code);
    }
    if (l_Fault.empty() && l_Code < 0 && (l_Count != 0 || l_pList != nullptr)) {
        l_Fault = "an error must come with count 0 and a null handle";
    }
    if (l_Fault.empty() && (l_pList == nullptr) != (l_Count == 0)) {
        l_Fault = "a handle must come exactly with chassis";
    }
    if (l_Fault.empty()) {
        l_Fault = zuTest::checkList(kExports, l_pList, l_Count, l_Expected.bridgeValues);
    }
    if (l_pList != nullptr && l_pList != &l_Count) {
        nZUPXIFINDER100_closeList(l_pList);
    }

    a_rTally.secondFills += l_Expected.secondFill ? 1 : 0;
    if (l_Code < 0) {
        ++a_rTally.errors;
    } else {
        a_rTally.warnings += l_Code > 0 ? 1 : 0;
        a_rTally.emptyLists += l_Count == 0 ? 1 : 0;
        a_rTally.lists += l_Count != 0 ? 1 : 0;
        a_rTally.chassis += l_Count;
    }
    return l_Fault;
}

class HostileBridgeLibrary : public ::testing::Test {
protected:
    void SetUp() override { nZU7461_14_0::moduleAttach(); }
    void TearDown() override { nZU7461_14_0::moduleDetach(); }
};

TEST_F(HostileBridgeLibrary, EveryRunFollowsTheRulesAndLeavesNothingBehind) {
    // Allocated once, before any counting: the record is large.
    const std::unique_ptr<tZuTestChaosRun> l_pRun(new tZuTestChaosRun());
    ASSERT_FALSE(isBridgeLibraryLoaded());
    tTally l_Tally;
    for (long l_Run = 0; l_Run < kRuns; ++l_Run) {
        const std::uint64_t l_Seed = runSeed(l_Run);
        const tVariant* l_pMissing = nullptr;
        void* l_pHeld = nullptr;
        if (l_Run % kMissingEntryEvery == kMissingEntryEvery - 1) {
            const std::size_t l_Count = sizeof kMissingEntryVariants / sizeof(tVariant);
            l_pMissing = &kMissingEntryVariants[(l_Run / kMissingEntryEvery) % l_Count];
            l_pHeld = nZuTest::loadByPath(nZuTest::bridgeLibraryPath(l_pMissing->folder));
            if (l_pHeld == nullptr) {
                l_Tally.Note(std::string("cannot hold ") + l_pMissing->folder, l_Run, l_Seed);
                continue;
            }
            ++l_Tally.missingEntry;
        }
        ZuTestChaos_BeginRun(l_Seed);
        const std::uint32_t l_Loads = ZuTestChaos_LoadCount();
        const std::uint32_t l_Unloads = ZuTestChaos_UnloadCount();

        zuTest::armAllocationFailure(0);
        std::string l_Fault = openCheckAndClose(*l_pRun, l_pMissing, l_Tally);
        const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
        nZuTest::unloadByHandle(l_pHeld);

        if (l_Fault.empty() && l_Counters.allocations != l_Counters.releases) {
            l_Fault =
                std::to_string(l_Counters.allocations - l_Counters.releases) + " heap blocks kept";
        }
        if (l_Fault.empty() && (nZU7461_14_0::currentSessionManager() != nullptr ||
                                nZU7461_14_0::openListCount() != 0)) {
            l_Fault = "a list or the session manager outlived the run";
        }
        if (l_Fault.empty() && isBridgeLibraryLoaded()) {
            l_Fault = "the bridge driver library stayed loaded";
        }
        // The held front end was loaded by this test, every other one by the finder.
        if (l_Fault.empty() && (ZuTestChaos_LoadCount() != l_Loads + (l_pHeld ? 0 : 1) ||
                                ZuTestChaos_UnloadCount() != l_Unloads + 1)) {
            l_Fault = "the finder did not load and unload the library exactly once";
        }
        l_Tally.Note(l_Fault, l_Run, l_Seed);
        if (l_Tally.faults > 20) {
            break;
        }
    }

    EXPECT_EQ(l_Tally.faults, 0) << l_Tally.firstFault;
    std::cout << kRuns << " runs: " << l_Tally.errors << " errors (" << l_Tally.missingEntry
              << " with an entry point missing), " << l_Tally.warnings << " warnings, "
              << l_Tally.lists << " lists with " << l_Tally.chassis << " chassis, "
              << l_Tally.emptyLists << " empty; " << l_Tally.secondFills << " reached the fill\n";
    // The library must have driven the finder down each road, or the figure means little.
    EXPECT_GT(l_Tally.errors, kRuns / 10);
    EXPECT_GT(l_Tally.warnings, kRuns / 100);
    EXPECT_GT(l_Tally.lists, kRuns / 10);
    EXPECT_GT(l_Tally.emptyLists, kRuns / 100);
    EXPECT_GT(l_Tally.missingEntry, 0);
}

} // namespace
