// State of the chaos test bridge library: the seeded answers and the record of one run. Nothing
// here allocates once the process runs, so tests can count the heap around a run.
#include "zuTestBridgeChaosNames.h"

#include "zuTestBridgeChaos.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>

namespace {

constexpr std::int32_t kBufferTooSmall = -313002;

struct tChaosState {
    std::mutex mutex;
    std::uint64_t sequence = 0;
    // Chance, out of 256, that a call answers something other than plain success.
    std::uint32_t offPer256 = 0;
    tZuTestChaosRun run = {};
    std::atomic<std::uint32_t> loads{0};
    std::atomic<std::uint32_t> unloads{0};
};

// Constructed on first use and never destroyed: a front end may log its unload at exit.
tChaosState& chaos() {
    static tChaosState* s_pState = new tChaosState;
    return *s_pState;
}

// splitmix64: tiny, seedable with any value, and the same on every platform.
std::uint64_t next(tChaosState& a_rState) {
    std::uint64_t l_Value = (a_rState.sequence += 0x9E3779B97F4A7C15ull);
    l_Value = (l_Value ^ (l_Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    l_Value = (l_Value ^ (l_Value >> 27)) * 0x94D049BB133111EBull;
    return l_Value ^ (l_Value >> 31);
}

std::uint32_t below(tChaosState& a_rState, std::uint32_t a_Bound) {
    return a_Bound == 0 ? 0 : static_cast<std::uint32_t>(next(a_rState) % a_Bound);
}

bool oneIn(tChaosState& a_rState, std::uint32_t a_Odds) {
    return below(a_rState, a_Odds) == 0;
}

bool answersOff(tChaosState& a_rState) {
    return below(a_rState, 256) < a_rState.offPer256;
}

// An answer other than success: errors of every size, warnings, and "buffer too small" where no
// buffer was involved.
std::int32_t offCode(tChaosState& a_rState) {
    switch (below(a_rState, 8)) {
    case 0:
        return kBufferTooSmall;
    case 1:
        return INT_MIN;
    case 2:
        return -1;
    case 3:
        return -static_cast<std::int32_t>(1 + below(a_rState, 400000));
    case 4:
        return INT_MAX;
    case 5:
        return -313008;
    default:
        return static_cast<std::int32_t>(1 + below(a_rState, 1000));
    }
}

std::uint32_t announcedCount(tChaosState& a_rState) {
    const std::uint32_t l_Pick = below(a_rState, 100);
    if (l_Pick < 10) {
        return 0;
    }
    if (l_Pick < 70) {
        return 1 + below(a_rState, 4);
    }
    if (l_Pick < 95) {
        return 5 + below(a_rState, 28);
    }
    return 33 + below(a_rState, ZUTEST_CHAOS_MAX_BRIDGES - 32);
}

// A session, bridge or count value, favouring the ones that mean something to a caller.
std::uint32_t anyValue(tChaosState& a_rState) {
    switch (below(a_rState, 8)) {
    case 0:
        return 0;
    case 1:
        return 0xFFFFFFFFu;
    case 2:
        return 1 + below(a_rState, 16);
    default:
        return static_cast<std::uint32_t>(next(a_rState));
    }
}

// One call: holds the lock and the call's place in the record.
class cChaosCall {
public:
    cChaosCall(std::uint32_t a_Entry, std::uint32_t a_Session)
        : m_rState(chaos()), m_Lock(m_rState.mutex) {
        tZuTestChaosRun& l_rRun = m_rState.run;
        const std::uint32_t l_Number = l_rRun.callCount++;
        m_pRecord = l_Number < ZUTEST_CHAOS_MAX_CALLS ? &l_rRun.calls[l_Number] : &m_Overflow;
        m_pRecord->entry = a_Entry;
        m_pRecord->session = a_Session;
    }

    tChaosState& State() { return m_rState; }
    tZuTestChaosCall& Record() { return *m_pRecord; }

    void Write(std::uint32_t* a_pOut, std::uint32_t a_Value) {
        *a_pOut = a_Value;
        m_pRecord->wrote = 1;
        m_pRecord->written = a_Value;
    }
    std::int32_t Answer(std::int32_t a_Code) {
        m_pRecord->code = a_Code;
        return a_Code;
    }

private:
    tChaosState& m_rState;
    std::lock_guard<std::mutex> m_Lock;
    tZuTestChaosCall* m_pRecord;
    tZuTestChaosCall m_Overflow = {};
};

// The entry points discovery does not use: they only answer.
std::int32_t answerOnly(std::uint32_t a_Entry, std::uint32_t a_Session, std::uint32_t a_Bridge) {
    cChaosCall l_Call(a_Entry, a_Session);
    l_Call.Record().bridge = a_Bridge;
    return l_Call.Answer(answersOff(l_Call.State()) ? offCode(l_Call.State()) : 0);
}

} // namespace

extern "C" {

void ZuTestChaos_BeginRun(uint64_t a_Seed) {
    tChaosState& l_rState = chaos();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    std::memset(&l_rState.run, 0, sizeof l_rState.run);
    l_rState.run.seed = a_Seed;
    l_rState.sequence = a_Seed;
    static const std::uint32_t s_Tempers[] = {0, 0, 3, 16, 64, 160, 256};
    l_rState.offPer256 = s_Tempers[below(l_rState, sizeof s_Tempers / sizeof s_Tempers[0])];
}

void ZuTestChaos_GetRun(tZuTestChaosRun* a_pRun) {
    if (a_pRun == nullptr) {
        return;
    }
    tChaosState& l_rState = chaos();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    std::memcpy(a_pRun, &l_rState.run, sizeof *a_pRun);
}

uint32_t ZuTestChaos_LoadCount(void) {
    return chaos().loads.load();
}

uint32_t ZuTestChaos_UnloadCount(void) {
    return chaos().unloads.load();
}

void ZuTestChaosImpl_NoteLoad(void) {
    ++chaos().loads;
}

void ZuTestChaosImpl_NoteUnload(void) {
    ++chaos().unloads;
}

int32_t ZuTestChaosImpl_OpenSession(uint32_t a_Flags, uint32_t* a_pSession) {
    cChaosCall l_Call(ZuTestEntry_OpenSession, a_Flags);
    tChaosState& l_rState = l_Call.State();
    if (a_pSession == nullptr) {
        return l_Call.Answer(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    const std::int32_t l_Code = answersOff(l_rState) ? offCode(l_rState) : 0;
    // A failing library may still scribble on its output; a succeeding one may forget it.
    if (l_Code >= 0 ? !oneIn(l_rState, 64) : oneIn(l_rState, 2)) {
        l_Call.Write(a_pSession, anyValue(l_rState));
    }
    return l_Call.Answer(l_Code);
}

void ZuTestChaosImpl_CloseSession(uint32_t a_Session) {
    cChaosCall l_Call(ZuTestEntry_CloseSession, a_Session);
}

int32_t ZuTestChaosImpl_FindBridgesByPciIds(uint32_t a_Session, const uint16_t*, const uint16_t*,
                                            const uint16_t*, const uint16_t*, uint32_t* a_pBridges,
                                            uint32_t* a_pCount) {
    cChaosCall l_Call(ZuTestEntry_FindBridgesByPciIds, a_Session);
    tChaosState& l_rState = l_Call.State();
    tZuTestChaosCall& l_rRecord = l_Call.Record();
    if (a_pCount == nullptr) {
        return l_Call.Answer(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    l_rRecord.countIn = *a_pCount;
    l_rRecord.bufferGiven = a_pBridges != nullptr ? 1 : 0;

    if (a_pBridges == nullptr) {
        // The count query. Nothing to report may come as success or as "too small" with 0.
        if (answersOff(l_rState)) {
            const std::int32_t l_Code = offCode(l_rState);
            if (oneIn(l_rState, 2)) {
                l_Call.Write(a_pCount, announcedCount(l_rState));
            }
            return l_Call.Answer(l_Code);
        }
        const std::uint32_t l_Count = announcedCount(l_rState);
        l_Call.Write(a_pCount, l_Count);
        return l_Call.Answer(l_Count == 0 && oneIn(l_rState, 2) ? 0 : kBufferTooSmall);
    }

    // The fill: never more elements than the caller made room for, nor than were announced.
    std::uint32_t l_Room = *a_pCount;
    if (l_Room > ZUTEST_CHAOS_MAX_BRIDGES) {
        l_rState.run.oversizedBuffer = 1;
        l_Room = ZUTEST_CHAOS_MAX_BRIDGES;
    }
    std::int32_t l_Code = answersOff(l_rState) ? offCode(l_rState) : 0;
    std::uint32_t l_Filled = oneIn(l_rState, 4) ? below(l_rState, l_Room + 1) : l_Room;
    if (l_Code == kBufferTooSmall) {
        // Bridges appeared since the count query.
        l_Filled = 0;
    } else if (l_Code < 0 && oneIn(l_rState, 2)) {
        l_Filled = 0;
    }
    std::uint32_t l_Previous = 1;
    for (std::uint32_t l_Index = 0; l_Index < l_Filled; ++l_Index) {
        // Now and then the same bridge twice in a row.
        const std::uint32_t l_Bridge = oneIn(l_rState, 8) ? l_Previous : anyValue(l_rState);
        a_pBridges[l_Index] = l_Bridge;
        l_rState.run.fill[l_Index] = l_Bridge;
        l_Previous = l_Bridge;
    }
    l_rRecord.filled = l_Filled;

    std::uint32_t l_WrittenBack = l_Filled;
    switch (below(l_rState, 6)) {
    case 0:
        l_WrittenBack = *a_pCount + 1 + below(l_rState, 1000);
        break;
    case 1:
        l_WrittenBack = 0xFFFFFFFFu;
        break;
    case 2:
        l_WrittenBack = below(l_rState, l_Filled + 1);
        break;
    default:
        break;
    }
    if (l_Code == kBufferTooSmall) {
        l_WrittenBack = *a_pCount + 1 + below(l_rState, 8);
    }
    if (l_Code >= 0 || l_Code == kBufferTooSmall || oneIn(l_rState, 2)) {
        l_Call.Write(a_pCount, l_WrittenBack);
    }
    return l_Call.Answer(l_Code);
}

int32_t ZuTestChaosImpl_FindBridgeByAddress(uint32_t a_Session, uint8_t, uint8_t, uint8_t,
                                            uint32_t*) {
    return answerOnly(ZuTestEntry_FindBridgeByAddress, a_Session, 0);
}

int32_t ZuTestChaosImpl_FindBridgeBySlotPath(uint32_t a_Session, const char*, uint32_t*) {
    return answerOnly(ZuTestEntry_FindBridgeBySlotPath, a_Session, 0);
}

int32_t ZuTestChaosImpl_FindParentBridgeForBus(uint32_t a_Session, uint8_t, uint32_t*) {
    return answerOnly(ZuTestEntry_FindParentBridgeForBus, a_Session, 0);
}

int32_t ZuTestChaosImpl_GetBridgeParent(uint32_t a_Session, uint32_t a_Child, uint32_t*) {
    return answerOnly(ZuTestEntry_GetBridgeParent, a_Session, a_Child);
}

int32_t ZuTestChaosImpl_GetBridgeChildren(uint32_t a_Session, uint32_t a_Parent, uint32_t*,
                                          uint32_t*) {
    return answerOnly(ZuTestEntry_GetBridgeChildren, a_Session, a_Parent);
}

int32_t ZuTestChaosImpl_GetBusChildren(uint32_t a_Session, uint8_t, uint32_t*, uint32_t*) {
    return answerOnly(ZuTestEntry_GetBusChildren, a_Session, 0);
}

int32_t ZuTestChaosImpl_GetRootBuses(uint32_t a_Session, uint8_t*, uint32_t*) {
    return answerOnly(ZuTestEntry_GetRootBuses, a_Session, 0);
}

int32_t ZuTestChaosImpl_GetBridgeAddress(uint32_t a_Session, uint32_t a_Bridge, uint8_t*, uint8_t*,
                                         uint8_t*) {
    return answerOnly(ZuTestEntry_GetBridgeAddress, a_Session, a_Bridge);
}

int32_t ZuTestChaosImpl_GetBridgeSlotPath(uint32_t a_Session, uint32_t a_Bridge, char*, uint32_t*) {
    return answerOnly(ZuTestEntry_GetBridgeSlotPath, a_Session, a_Bridge);
}

int32_t ZuTestChaosImpl_GetBridgeIds(uint32_t a_Session, uint32_t a_Bridge, uint16_t*, uint16_t*,
                                     uint16_t*, uint16_t*) {
    return answerOnly(ZuTestEntry_GetBridgeIds, a_Session, a_Bridge);
}

int32_t ZuTestChaosImpl_SetAttributeU32(uint32_t a_Session, uint32_t a_Bridge, uint32_t, uint32_t) {
    return answerOnly(ZuTestEntry_SetAttributeU32, a_Session, a_Bridge);
}

int32_t ZuTestChaosImpl_GetAttributeU32(uint32_t a_Session, uint32_t a_Bridge,
                                        uint32_t a_AttributeId, uint32_t* a_pValue) {
    cChaosCall l_Call(ZuTestEntry_GetAttributeU32, a_Session);
    tChaosState& l_rState = l_Call.State();
    l_Call.Record().bridge = a_Bridge;
    l_Call.Record().attribute = a_AttributeId;
    if (a_pValue == nullptr) {
        return l_Call.Answer(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    const std::int32_t l_Code = answersOff(l_rState) ? offCode(l_rState) : 0;
    if (l_Code >= 0 ? !oneIn(l_rState, 32) : oneIn(l_rState, 4)) {
        l_Call.Write(a_pValue, static_cast<std::uint32_t>(next(l_rState)));
    }
    return l_Call.Answer(l_Code);
}

int32_t ZuTestChaosImpl_OpenBridge(uint32_t a_Session, uint32_t a_Bridge) {
    return answerOnly(ZuTestEntry_OpenBridge, a_Session, a_Bridge);
}

void ZuTestChaosImpl_CloseBridge(uint32_t a_Session, uint32_t a_Bridge) {
    answerOnly(ZuTestEntry_CloseBridge, a_Session, a_Bridge);
}

int32_t ZuTestChaosImpl_EepromUpdate(uint32_t a_Session, uint32_t a_Bridge, uint16_t, uint16_t,
                                     uint32_t, uint32_t, uint32_t, const void*) {
    return answerOnly(ZuTestEntry_EepromUpdate, a_Session, a_Bridge);
}

} // extern "C"
