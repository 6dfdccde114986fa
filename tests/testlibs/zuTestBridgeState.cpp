// State of the scriptable test bridge library: the script, the call log and the load counters,
// kept in a library of its own so that they outlive every unload of the front end.
#include "zuTestBridge.h"

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::int32_t kBufferTooSmall = -313002;
constexpr std::size_t kLoggedEepromBytes = 16;

struct tPendingArray {
    bool set = false;
    std::uint32_t callNumber = 0;
    std::vector<std::uint32_t> values;
};

struct tState {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::int32_t> results;
    std::uint64_t outValues[ZuTestEntry_Count] = {};
    std::vector<std::uint32_t> arrays[ZuTestEntry_Count];
    tPendingArray pending[ZuTestEntry_Count];
    std::string slotPath;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> attributes;
    bool blocking[ZuTestEntry_Count] = {};
    std::uint32_t waiting = 0;
    std::uint64_t releaseGeneration = 0;
    std::string log;
    std::uint32_t calls[ZuTestEntry_Count] = {};
    std::uint32_t loads = 0;
    std::uint32_t unloads = 0;
};

void resetLocked(tState& a_rState) {
    a_rState.results.clear();
    for (std::uint32_t l_Entry = 0; l_Entry < ZuTestEntry_Count; ++l_Entry) {
        a_rState.outValues[l_Entry] = 0;
        a_rState.arrays[l_Entry].clear();
        a_rState.pending[l_Entry] = tPendingArray();
        a_rState.blocking[l_Entry] = false;
        a_rState.calls[l_Entry] = 0;
    }
    a_rState.outValues[ZuTestEntry_OpenSession] = 1;
    a_rState.slotPath.assign("MR00:1C", 8);
    a_rState.attributes.clear();
    a_rState.log.clear();
    ++a_rState.releaseGeneration;
    a_rState.changed.notify_all();
}

// Never destroyed: a front end may still log its unload while the process exits.
tState& state() {
    static tState* s_pState = [] {
        tState* l_pState = new tState;
        resetLocked(*l_pState);
        return l_pState;
    }();
    return *s_pState;
}

bool validEntry(std::uint32_t a_Entry) {
    return a_Entry < ZuTestEntry_Count;
}

std::string format(const char* a_pFormat, ...) {
    char l_Line[512];
    va_list l_Arguments;
    va_start(l_Arguments, a_pFormat);
    std::vsnprintf(l_Line, sizeof l_Line, a_pFormat, l_Arguments);
    va_end(l_Arguments);
    return l_Line;
}

std::string idText(const std::uint16_t* a_pId) {
    return a_pId == nullptr ? "null" : format("0x%04x", static_cast<unsigned>(*a_pId));
}
std::string outText(const void* a_pOut) {
    return a_pOut == nullptr ? "null" : "out";
}
std::string bufferText(const void* a_pBuffer) {
    return a_pBuffer == nullptr ? "null" : "buf";
}
std::string countText(const std::uint32_t* a_pCount) {
    return a_pCount == nullptr ? "null" : format("%u", static_cast<unsigned>(*a_pCount));
}

// One call of an entry point: waits while the entry blocks, then holds the lock, counts and
// logs the call and knows whether a result was scripted for it.
class cCall {
public:
    cCall(std::uint32_t a_Entry, const std::string& a_rLogLine)
        : m_rState(state()), m_Lock(m_rState.mutex), m_Entry(a_Entry) {
        if (m_rState.blocking[a_Entry]) {
            ++m_rState.waiting;
            m_rState.changed.notify_all();
            const std::uint64_t l_Generation = m_rState.releaseGeneration;
            m_rState.changed.wait(m_Lock,
                                  [&] { return m_rState.releaseGeneration != l_Generation; });
            --m_rState.waiting;
        }
        m_Number = ++m_rState.calls[a_Entry];
        m_rState.log += a_rLogLine;
        m_rState.log += '\n';
        auto l_It = m_rState.results.find(std::make_pair(a_Entry, m_Number));
        if (l_It == m_rState.results.end()) {
            l_It = m_rState.results.find(std::make_pair(a_Entry, 0u));
        }
        if (l_It != m_rState.results.end()) {
            m_Scripted = true;
            m_Code = l_It->second;
        }
    }

    tState& State() { return m_rState; }
    // A call scripted to fail writes nothing.
    bool Writes() const { return !(m_Scripted && m_Code < 0); }
    std::uint64_t OutValue() const { return m_rState.outValues[m_Entry]; }

    std::int32_t Finish(std::int32_t a_Natural) {
        tPendingArray& l_rPending = m_rState.pending[m_Entry];
        if (l_rPending.set && l_rPending.callNumber == m_Number) {
            m_rState.arrays[m_Entry] = l_rPending.values;
            l_rPending.set = false;
        }
        return m_Scripted ? m_Code : a_Natural;
    }

private:
    tState& m_rState;
    std::unique_lock<std::mutex> m_Lock;
    std::uint32_t m_Entry;
    std::uint32_t m_Number = 0;
    bool m_Scripted = false;
    std::int32_t m_Code = 0;
};

template <class tElement>
std::int32_t countThenFill(const std::vector<std::uint32_t>& a_rArray, tElement* a_pBuffer,
                           std::uint32_t* a_pCount, bool a_Writes) {
    if (a_pCount == nullptr) {
        return ZUTEST_STATUS_NULL_ARGUMENT;
    }
    const std::uint32_t l_Length = static_cast<std::uint32_t>(a_rArray.size());
    if (a_pBuffer == nullptr || *a_pCount < l_Length) {
        if (a_Writes) {
            *a_pCount = l_Length;
        }
        return a_pBuffer == nullptr && l_Length == 0 ? 0 : kBufferTooSmall;
    }
    if (a_Writes) {
        for (std::uint32_t l_Index = 0; l_Index < l_Length; ++l_Index) {
            a_pBuffer[l_Index] = static_cast<tElement>(a_rArray[l_Index]);
        }
        *a_pCount = l_Length;
    }
    return 0;
}

std::int32_t writeBridge(cCall& a_rCall, std::uint32_t* a_pBridge) {
    if (a_pBridge == nullptr) {
        return ZUTEST_STATUS_NULL_ARGUMENT;
    }
    if (a_rCall.Writes()) {
        *a_pBridge = static_cast<std::uint32_t>(a_rCall.OutValue());
    }
    return 0;
}

} // namespace

extern "C" {

void ZuTest_Reset(void) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    resetLocked(l_rState);
}

void ZuTest_SetResult(uint32_t a_Entry, uint32_t a_CallNumber, int32_t a_Code) {
    if (!validEntry(a_Entry)) {
        return;
    }
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    l_rState.results[std::make_pair(a_Entry, a_CallNumber)] = a_Code;
}

void ZuTest_SetOutValue(uint32_t a_Entry, uint64_t a_Value) {
    if (!validEntry(a_Entry)) {
        return;
    }
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    l_rState.outValues[a_Entry] = a_Value;
}

void ZuTest_SetArray(uint32_t a_Entry, const uint32_t* a_pValues, uint32_t a_Count) {
    if (!validEntry(a_Entry)) {
        return;
    }
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    l_rState.arrays[a_Entry].assign(a_pValues, a_pValues + (a_pValues != nullptr ? a_Count : 0));
}

void ZuTest_SetArrayAfterCall(uint32_t a_Entry, uint32_t a_CallNumber, const uint32_t* a_pValues,
                              uint32_t a_Count) {
    if (!validEntry(a_Entry)) {
        return;
    }
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    tPendingArray& l_rPending = l_rState.pending[a_Entry];
    l_rPending.set = true;
    l_rPending.callNumber = a_CallNumber;
    l_rPending.values.assign(a_pValues, a_pValues + (a_pValues != nullptr ? a_Count : 0));
}

void ZuTest_SetSlotPathBytes(const char* a_pBytes, uint32_t a_Size) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    l_rState.slotPath.assign(a_pBytes, a_pBytes != nullptr ? a_Size : 0);
}

void ZuTest_SetAttribute(uint32_t a_Bridge, uint32_t a_AttributeId, uint32_t a_Value) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    l_rState.attributes[std::make_pair(a_Bridge, a_AttributeId)] = a_Value;
}

void ZuTest_SetBlocking(uint32_t a_Entry, uint32_t a_Enabled) {
    if (!validEntry(a_Entry)) {
        return;
    }
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    l_rState.blocking[a_Entry] = a_Enabled != 0;
}

uint32_t ZuTest_WaitForBlockedCalls(uint32_t a_Count, uint32_t a_TimeoutMs) {
    tState& l_rState = state();
    std::unique_lock<std::mutex> l_Lock(l_rState.mutex);
    return l_rState.changed.wait_for(l_Lock, std::chrono::milliseconds(a_TimeoutMs),
                                     [&] { return l_rState.waiting >= a_Count; })
               ? 1u
               : 0u;
}

void ZuTest_ReleaseBlockedCalls(void) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    ++l_rState.releaseGeneration;
    l_rState.changed.notify_all();
}

uint32_t ZuTest_CallLog(char* a_pBuffer, uint32_t a_Size) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    const std::size_t l_Length = l_rState.log.size();
    if (a_pBuffer != nullptr && a_Size != 0) {
        const std::size_t l_Copied = l_Length < a_Size - 1 ? l_Length : a_Size - 1;
        std::memcpy(a_pBuffer, l_rState.log.data(), l_Copied);
        a_pBuffer[l_Copied] = '\0';
    }
    return static_cast<uint32_t>(l_Length);
}

uint32_t ZuTest_CallCount(uint32_t a_Entry) {
    if (!validEntry(a_Entry)) {
        return 0;
    }
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    return l_rState.calls[a_Entry];
}

uint32_t ZuTest_LoadCount(void) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    return l_rState.loads;
}

uint32_t ZuTest_UnloadCount(void) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    return l_rState.unloads;
}

void ZuTestImpl_NoteLoad(void) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    ++l_rState.loads;
    l_rState.log += "<load>\n";
}

void ZuTestImpl_NoteUnload(void) {
    tState& l_rState = state();
    std::lock_guard<std::mutex> l_Lock(l_rState.mutex);
    ++l_rState.unloads;
    l_rState.log += "<unload>\n";
}

int32_t ZuTestImpl_OpenSession(uint32_t a_Flags, uint32_t* a_pSession) {
    cCall l_Call(ZuTestEntry_OpenSession,
                 format("OpenSession(%u,%s)", a_Flags, outText(a_pSession).c_str()));
    return l_Call.Finish(writeBridge(l_Call, a_pSession));
}

void ZuTestImpl_CloseSession(uint32_t a_Session) {
    cCall l_Call(ZuTestEntry_CloseSession, format("CloseSession(%u)", a_Session));
    l_Call.Finish(0);
}

int32_t ZuTestImpl_FindBridgesByPciIds(uint32_t a_Session, const uint16_t* a_pVid,
                                       const uint16_t* a_pPid, const uint16_t* a_pSsVid,
                                       const uint16_t* a_pSsPid, uint32_t* a_pBridges,
                                       uint32_t* a_pCount) {
    cCall l_Call(ZuTestEntry_FindBridgesByPciIds,
                 format("FindBridgesByPciIds(%u,%s,%s,%s,%s,%s,%s)", a_Session,
                        idText(a_pVid).c_str(), idText(a_pPid).c_str(), idText(a_pSsVid).c_str(),
                        idText(a_pSsPid).c_str(), bufferText(a_pBridges).c_str(),
                        countText(a_pCount).c_str()));
    return l_Call.Finish(countThenFill(l_Call.State().arrays[ZuTestEntry_FindBridgesByPciIds],
                                       a_pBridges, a_pCount, l_Call.Writes()));
}

int32_t ZuTestImpl_FindBridgeByAddress(uint32_t a_Session, uint8_t a_Bus, uint8_t a_Dev,
                                       uint8_t a_Func, uint32_t* a_pBridge) {
    cCall l_Call(ZuTestEntry_FindBridgeByAddress,
                 format("FindBridgeByAddress(%u,%u,%u,%u,%s)", a_Session, a_Bus, a_Dev, a_Func,
                        outText(a_pBridge).c_str()));
    return l_Call.Finish(writeBridge(l_Call, a_pBridge));
}

int32_t ZuTestImpl_FindBridgeBySlotPath(uint32_t a_Session, const char* a_pSlotPath,
                                        uint32_t* a_pBridge) {
    const std::string l_Text =
        a_pSlotPath == nullptr ? std::string("null") : "\"" + std::string(a_pSlotPath) + "\"";
    cCall l_Call(ZuTestEntry_FindBridgeBySlotPath,
                 format("FindBridgeBySlotPath(%u,%s,%s)", a_Session, l_Text.c_str(),
                        outText(a_pBridge).c_str()));
    if (a_pSlotPath == nullptr) {
        return l_Call.Finish(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    return l_Call.Finish(writeBridge(l_Call, a_pBridge));
}

int32_t ZuTestImpl_FindParentBridgeForBus(uint32_t a_Session, uint8_t a_Bus, uint32_t* a_pBridge) {
    cCall l_Call(
        ZuTestEntry_FindParentBridgeForBus,
        format("FindParentBridgeForBus(%u,%u,%s)", a_Session, a_Bus, outText(a_pBridge).c_str()));
    return l_Call.Finish(writeBridge(l_Call, a_pBridge));
}

int32_t ZuTestImpl_GetBridgeParent(uint32_t a_Session, uint32_t a_Child, uint32_t* a_pParent) {
    cCall l_Call(ZuTestEntry_GetBridgeParent, format("GetBridgeParent(%u,%u,%s)", a_Session,
                                                     a_Child, outText(a_pParent).c_str()));
    return l_Call.Finish(writeBridge(l_Call, a_pParent));
}

int32_t ZuTestImpl_GetBridgeChildren(uint32_t a_Session, uint32_t a_Parent, uint32_t* a_pChildren,
                                     uint32_t* a_pCount) {
    cCall l_Call(ZuTestEntry_GetBridgeChildren,
                 format("GetBridgeChildren(%u,%u,%s,%s)", a_Session, a_Parent,
                        bufferText(a_pChildren).c_str(), countText(a_pCount).c_str()));
    return l_Call.Finish(countThenFill(l_Call.State().arrays[ZuTestEntry_GetBridgeChildren],
                                       a_pChildren, a_pCount, l_Call.Writes()));
}

int32_t ZuTestImpl_GetBusChildren(uint32_t a_Session, uint8_t a_Bus, uint32_t* a_pChildren,
                                  uint32_t* a_pCount) {
    cCall l_Call(ZuTestEntry_GetBusChildren,
                 format("GetBusChildren(%u,%u,%s,%s)", a_Session, a_Bus,
                        bufferText(a_pChildren).c_str(), countText(a_pCount).c_str()));
    return l_Call.Finish(countThenFill(l_Call.State().arrays[ZuTestEntry_GetBusChildren],
                                       a_pChildren, a_pCount, l_Call.Writes()));
}

int32_t ZuTestImpl_GetRootBuses(uint32_t a_Session, uint8_t* a_pBuses, uint32_t* a_pCount) {
    cCall l_Call(ZuTestEntry_GetRootBuses,
                 format("GetRootBuses(%u,%s,%s)", a_Session, bufferText(a_pBuses).c_str(),
                        countText(a_pCount).c_str()));
    return l_Call.Finish(countThenFill(l_Call.State().arrays[ZuTestEntry_GetRootBuses], a_pBuses,
                                       a_pCount, l_Call.Writes()));
}

int32_t ZuTestImpl_GetBridgeAddress(uint32_t a_Session, uint32_t a_Bridge, uint8_t* a_pBus,
                                    uint8_t* a_pDev, uint8_t* a_pFunc) {
    cCall l_Call(ZuTestEntry_GetBridgeAddress,
                 format("GetBridgeAddress(%u,%u,%s,%s,%s)", a_Session, a_Bridge,
                        outText(a_pBus).c_str(), outText(a_pDev).c_str(),
                        outText(a_pFunc).c_str()));
    if (a_pBus == nullptr || a_pDev == nullptr || a_pFunc == nullptr) {
        return l_Call.Finish(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    if (l_Call.Writes()) {
        const std::uint64_t l_Value = l_Call.OutValue();
        *a_pBus = static_cast<std::uint8_t>(l_Value);
        *a_pDev = static_cast<std::uint8_t>(l_Value >> 8);
        *a_pFunc = static_cast<std::uint8_t>(l_Value >> 16);
    }
    return l_Call.Finish(0);
}

int32_t ZuTestImpl_GetBridgeSlotPath(uint32_t a_Session, uint32_t a_Bridge, char* a_pText,
                                     uint32_t* a_pSize) {
    cCall l_Call(ZuTestEntry_GetBridgeSlotPath,
                 format("GetBridgeSlotPath(%u,%u,%s,%s)", a_Session, a_Bridge,
                        bufferText(a_pText).c_str(), countText(a_pSize).c_str()));
    if (a_pSize == nullptr) {
        return l_Call.Finish(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    const std::string& l_rBytes = l_Call.State().slotPath;
    const std::uint32_t l_Size = static_cast<std::uint32_t>(l_rBytes.size());
    if (a_pText == nullptr || *a_pSize < l_Size) {
        if (l_Call.Writes()) {
            *a_pSize = l_Size;
        }
        return l_Call.Finish(kBufferTooSmall);
    }
    if (l_Call.Writes()) {
        std::memcpy(a_pText, l_rBytes.data(), l_Size);
        *a_pSize = l_Size;
    }
    return l_Call.Finish(0);
}

int32_t ZuTestImpl_GetBridgeIds(uint32_t a_Session, uint32_t a_Bridge, uint16_t* a_pVid,
                                uint16_t* a_pPid, uint16_t* a_pSsVid, uint16_t* a_pSsPid) {
    cCall l_Call(ZuTestEntry_GetBridgeIds,
                 format("GetBridgeIds(%u,%u,%s,%s,%s,%s)", a_Session, a_Bridge,
                        outText(a_pVid).c_str(), outText(a_pPid).c_str(), outText(a_pSsVid).c_str(),
                        outText(a_pSsPid).c_str()));
    if (a_pVid == nullptr || a_pPid == nullptr || a_pSsVid == nullptr || a_pSsPid == nullptr) {
        return l_Call.Finish(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    if (l_Call.Writes()) {
        const std::uint64_t l_Value = l_Call.OutValue();
        *a_pVid = static_cast<std::uint16_t>(l_Value);
        *a_pPid = static_cast<std::uint16_t>(l_Value >> 16);
        *a_pSsVid = static_cast<std::uint16_t>(l_Value >> 32);
        *a_pSsPid = static_cast<std::uint16_t>(l_Value >> 48);
    }
    return l_Call.Finish(0);
}

int32_t ZuTestImpl_SetAttributeU32(uint32_t a_Session, uint32_t a_Bridge, uint32_t a_AttributeId,
                                   uint32_t a_Value) {
    cCall l_Call(ZuTestEntry_SetAttributeU32, format("SetAttributeU32(%u,%u,%u,%u)", a_Session,
                                                     a_Bridge, a_AttributeId, a_Value));
    if (l_Call.Writes()) {
        l_Call.State().attributes[std::make_pair(a_Bridge, a_AttributeId)] = a_Value;
    }
    return l_Call.Finish(0);
}

int32_t ZuTestImpl_GetAttributeU32(uint32_t a_Session, uint32_t a_Bridge, uint32_t a_AttributeId,
                                   uint32_t* a_pValue) {
    cCall l_Call(ZuTestEntry_GetAttributeU32,
                 format("GetAttributeU32(%u,%u,%u,%s)", a_Session, a_Bridge, a_AttributeId,
                        outText(a_pValue).c_str()));
    if (a_pValue == nullptr) {
        return l_Call.Finish(ZUTEST_STATUS_NULL_ARGUMENT);
    }
    const auto& l_rAttributes = l_Call.State().attributes;
    const auto l_It = l_rAttributes.find(std::make_pair(a_Bridge, a_AttributeId));
    if (l_It == l_rAttributes.end()) {
        return l_Call.Finish(ZUTEST_STATUS_NO_ATTRIBUTE);
    }
    if (l_Call.Writes()) {
        *a_pValue = l_It->second;
    }
    return l_Call.Finish(0);
}

int32_t ZuTestImpl_OpenBridge(uint32_t a_Session, uint32_t a_Bridge) {
    cCall l_Call(ZuTestEntry_OpenBridge, format("OpenBridge(%u,%u)", a_Session, a_Bridge));
    return l_Call.Finish(0);
}

void ZuTestImpl_CloseBridge(uint32_t a_Session, uint32_t a_Bridge) {
    cCall l_Call(ZuTestEntry_CloseBridge, format("CloseBridge(%u,%u)", a_Session, a_Bridge));
    l_Call.Finish(0);
}

int32_t ZuTestImpl_EepromUpdate(uint32_t a_Session, uint32_t a_Bridge, uint16_t a_Vid,
                                uint16_t a_Pid, uint32_t a_AlwaysOverwrite, uint32_t a_UpdateMethod,
                                uint32_t a_ByteCount, const void* a_pBuffer) {
    std::string l_Bytes;
    if (a_pBuffer == nullptr) {
        l_Bytes = "null";
    } else {
        const unsigned char* l_pByte = static_cast<const unsigned char*>(a_pBuffer);
        l_Bytes = "[";
        for (std::size_t l_Index = 0; l_Index < a_ByteCount && l_Index < kLoggedEepromBytes;
             ++l_Index) {
            l_Bytes += format(l_Index == 0 ? "%02x" : " %02x", l_pByte[l_Index]);
        }
        l_Bytes += "]";
    }
    cCall l_Call(ZuTestEntry_EepromUpdate,
                 format("EepromUpdate(%u,%u,0x%04x,0x%04x,%u,%u,%u,%s)", a_Session, a_Bridge,
                        static_cast<unsigned>(a_Vid), static_cast<unsigned>(a_Pid),
                        a_AlwaysOverwrite, a_UpdateMethod, a_ByteCount, l_Bytes.c_str()));
    return l_Call.Finish(0);
}

} // extern "C"
