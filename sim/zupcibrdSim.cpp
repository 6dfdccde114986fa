// The 18 entry points of the bridge driver library, answered from a simulated machine.
//
// Each session holds its own copy of the machine (simMachine.h), loaded when it opens. One lock
// guards the table of sessions; every entry point turns any exception into a code, so nothing a
// client passes can take the process down.
//
// Every call goes through the fault engine (simFaultEngine.h): the machine's answer is worked
// out into the call first, and only what the engine then allows is written to the caller.
//
// Test-only variants lack entry points: each ZUPCIBRD_SIM_WITHOUT_<Name> definition leaves
// that one out, so a client meets a library in which the name is missing.
#include "sim/simCallLog.h"
#include "sim/simFaultEngine.h"
#include "sim/simMachine.h"
#include "sim/zupcibrdSim.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

#ifdef _WIN32
// Exports come from zupcibrd.def.
#define ZUPCIBRD_SIM_EXPORT extern "C"
#else
#define ZUPCIBRD_SIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Declared from the list, so that an entry point whose type differs from the one a client
// resolves it as does not compile.
#define ZUPCIBRD_SIM_DECLARE(a_Result, a_Name, a_Parameters, a_Arguments)                          \
    ZUPCIBRD_SIM_EXPORT a_Result ZuPciBrd_##a_Name a_Parameters;
ZUPCIBRD_ENTRY_POINTS(ZUPCIBRD_SIM_DECLARE, ZUPCIBRD_SIM_DECLARE)
#undef ZUPCIBRD_SIM_DECLARE

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

std::mutex g_Lock;
// Guarded by g_Lock.
std::map<std::uint32_t, std::unique_ptr<cSimMachine>> g_Sessions;

// Takes the session out of the table; the caller destroys its machine outside the lock.
[[maybe_unused]] std::unique_ptr<cSimMachine> takeSession(std::uint32_t a_Session) {
    std::unique_ptr<cSimMachine> l_pMachine;
    const std::lock_guard<std::mutex> l_Guard(g_Lock);
    const auto l_Session = g_Sessions.find(a_Session);
    if (l_Session != g_Sessions.end()) {
        l_pMachine = std::move(l_Session->second);
        g_Sessions.erase(l_Session);
    }
    return l_pMachine;
}

// Runs a_Body and maps what may escape it to a code.
template <typename tBody> std::int32_t guarded(tBody&& a_Body) {
    try {
        return a_Body();
    } catch (...) {
        return ZUPCIBRD_SIM_OUT_OF_MEMORY;
    }
}

// A query of the session's machine as the work of a call: a_Method with a_Arguments, and the
// call's answer after them where the query gives one.
template <typename tMethod, typename... tArguments>
auto query(std::uint32_t a_Session, tMethod a_Method, tArguments... a_Arguments) {
    return [=](tAnswer& a_rAnswer) -> std::int32_t {
        const std::lock_guard<std::mutex> l_Guard(g_Lock);
        const auto l_Session = g_Sessions.find(a_Session);
        if (l_Session == g_Sessions.end()) {
            return ZUPCIBRD_SIM_UNKNOWN_SESSION;
        }
        cSimMachine& l_Machine = *l_Session->second;
        if constexpr (std::is_invocable_v<tMethod, cSimMachine&, tArguments..., tAnswer&>) {
            return (l_Machine.*a_Method)(a_Arguments..., a_rAnswer);
        } else {
            return (l_Machine.*a_Method)(a_Arguments...);
        }
    };
}

// The work answers the call into a_rAnswer, unless the arguments are refused or the faults
// decided otherwise first.
template <typename tWork>
void runCall(tSimCall& a_rCall, bool a_Valid, tAnswer& a_rAnswer, tWork&& a_Work) {
    const tCallPlan l_Plan = beginCall(a_rCall);
    if (l_Plan.m_RunMachine) {
        a_rCall.m_Code = a_Valid ? a_Work(a_rAnswer) : ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    finishCall(a_rCall, l_Plan);
}

template <typename tOutput>
void writeOutput(const tSimCall& a_rCall, std::size_t a_Index, tOutput* a_pOutput) {
    if (a_rCall.m_WriteOutputs && a_pOutput != nullptr && a_Index < a_rCall.m_Outputs.size()) {
        *a_pOutput = static_cast<tOutput>(a_rCall.m_Outputs[a_Index]);
    }
}

// An entry point with single outputs (or none), each of which must not be null.
template <typename tWork, typename... tOutput>
std::int32_t serve(tSimCall&& a_rCall, bool a_Valid, tWork&& a_Work, tOutput*... a_pOutputs) {
    a_rCall.m_OutputGiven = {(a_pOutputs != nullptr)...};
    runCall(a_rCall, a_Valid && ((a_pOutputs != nullptr) && ...), a_rCall.m_Outputs, a_Work);
    [[maybe_unused]] std::size_t l_Index = 0;
    (writeOutput(a_rCall, l_Index++, a_pOutputs), ...);
    return a_rCall.m_Code;
}

// A count-then-fill entry point. The engine never fills more than the room the caller gave,
// nor without a buffer.
template <typename tItem, typename tWork>
std::int32_t serveList(tSimCall&& a_rCall, tItem* a_pBuffer, std::uint32_t* a_pCount,
                       tWork&& a_Work) {
    a_rCall.m_BufferGiven = a_pBuffer != nullptr;
    a_rCall.m_CountGiven = a_pCount != nullptr;
    a_rCall.m_Room = a_pCount != nullptr ? *a_pCount : 0;
    runCall(a_rCall, a_pCount != nullptr, a_rCall.m_Items, a_Work);
    for (std::size_t l_Index = 0; a_pBuffer != nullptr && l_Index < a_rCall.m_Fill.size();
         ++l_Index) {
        a_pBuffer[l_Index] = static_cast<tItem>(a_rCall.m_Fill[l_Index]);
    }
    if (a_rCall.m_WriteCount && a_pCount != nullptr) {
        *a_pCount = a_rCall.m_Count;
    }
    return a_rCall.m_Code;
}

} // namespace
} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0

using namespace nZU7461_14_0::nZuPciBrdSim;
using namespace nZU7461_14_0::nZuPciBrdSim::nShown;

#ifndef ZUPCIBRD_SIM_WITHOUT_OpenSession
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_OpenSession(std::uint32_t a_Flags,
                                                      std::uint32_t* a_pSession) {
    return guarded([&] {
        // The file is read before anything else: its faults apply to this very call. Reading
        // happens outside the lock, so that a slow file does not hold up other sessions.
        auto l_pMachine = std::make_unique<cSimMachine>();
        tFaultScript l_Faults;
        std::string l_Fault;
        const bool l_Loaded = loadMachine(*l_pMachine, l_Faults, l_Fault);
        takeUpScript(l_Loaded ? l_Faults : tFaultScript());
        std::uint32_t l_Made = 0;
        auto l_Open = [&](tAnswer& a_rAnswer) -> std::int32_t {
            if (!l_Loaded) {
                std::fputs(("zupcibrd: " + l_Fault + "\n").c_str(), stderr);
                return ZUPCIBRD_SIM_TOPOLOGY_FAULT;
            }
            const std::lock_guard<std::mutex> l_Guard(g_Lock);
            // The smallest number no open session has, never 0: once every session is closed
            // the library numbers them as if freshly loaded, so that a chaos run replays alike
            // whether or not the host kept the library loaded in between.
            std::uint32_t l_Handle = 1;
            for (const auto& l_Session : g_Sessions) {
                if (l_Session.first != l_Handle) {
                    break;
                }
                ++l_Handle;
            }
            if (l_Handle == 0xFFFFFFFFu) { // the caller's "no session"
                return ZUPCIBRD_SIM_OUT_OF_MEMORY;
            }
            g_Sessions.emplace(l_Handle, std::move(l_pMachine));
            l_Made = l_Handle;
            a_rAnswer = {l_Handle};
            return 0;
        };
        const std::int32_t l_Code =
            serve(tSimCall(tEntry::OpenSession, args(num(a_Flags), out(a_pSession))),
                  a_Flags == ZUPCIBRD_SIM_SESSION_FLAGS, l_Open, a_pSession);
        // A session whose handle the caller did not get (faults or chaos changed or withheld
        // it), or whose opening it was told failed, could never be closed: it is forgotten
        // again rather than left to pile up.
        if (l_Made != 0 && (l_Code < 0 || a_pSession == nullptr || *a_pSession != l_Made)) {
            takeSession(l_Made);
        }
        return l_Code;
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_CloseSession
ZUPCIBRD_SIM_EXPORT void ZuPciBrd_CloseSession(std::uint32_t a_Session) {
    static_cast<void>(guarded([&] {
        return serve(tSimCall(tEntry::CloseSession, num(a_Session)), true, [&](tAnswer&) {
            takeSession(a_Session);
            return 0;
        });
    }));
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_FindBridgesByPciIds
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_FindBridgesByPciIds(std::uint32_t a_Session, const std::uint16_t* a_pVid,
                             const std::uint16_t* a_pPid, const std::uint16_t* a_pSsVid,
                             const std::uint16_t* a_pSsPid, std::uint32_t* a_pBridges,
                             std::uint32_t* a_pCount) {
    return guarded([&] {
        return serveList(
            tSimCall(tEntry::FindBridgesByPciIds,
                     args(num(a_Session), id(a_pVid), id(a_pPid), id(a_pSsVid), id(a_pSsPid),
                          buffer(a_pBridges), count(a_pCount))),
            a_pBridges, a_pCount,
            query(a_Session, &cSimMachine::bridgesWithIds, a_pVid, a_pPid, a_pSsVid, a_pSsPid));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_FindBridgeByAddress
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_FindBridgeByAddress(std::uint32_t a_Session, std::uint8_t a_Bus, std::uint8_t a_Dev,
                             std::uint8_t a_Func, std::uint32_t* a_pBridge) {
    return guarded([&] {
        return serve(
            tSimCall(tEntry::FindBridgeByAddress,
                     args(num(a_Session), num(a_Bus), num(a_Dev), num(a_Func), out(a_pBridge))),
            a_Dev <= 31 && a_Func <= 7,
            query(a_Session, &cSimMachine::bridgeAtAddress, a_Bus, a_Dev, a_Func), a_pBridge);
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_FindBridgeBySlotPath
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_FindBridgeBySlotPath(std::uint32_t a_Session,
                                                               const char* a_pSlotPath,
                                                               std::uint32_t* a_pBridge) {
    return guarded([&] {
        return serve(tSimCall(tEntry::FindBridgeBySlotPath,
                              args(num(a_Session), text(a_pSlotPath), out(a_pBridge))),
                     a_pSlotPath != nullptr,
                     query(a_Session, &cSimMachine::bridgeAtSlotPath, a_pSlotPath), a_pBridge);
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_FindParentBridgeForBus
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_FindParentBridgeForBus(std::uint32_t a_Session,
                                                                 std::uint8_t a_Bus,
                                                                 std::uint32_t* a_pBridge) {
    return guarded([&] {
        return serve(tSimCall(tEntry::FindParentBridgeForBus,
                              args(num(a_Session), num(a_Bus), out(a_pBridge))),
                     true, query(a_Session, &cSimMachine::bridgeAboveBus, a_Bus), a_pBridge);
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeParent
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeParent(std::uint32_t a_Session, std::uint32_t a_Child, std::uint32_t* a_pParent) {
    return guarded([&] {
        return serve(tSimCall(tEntry::GetBridgeParent,
                              args(num(a_Session), num(a_Child), out(a_pParent)), a_Child),
                     true, query(a_Session, &cSimMachine::parentOf, a_Child), a_pParent);
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeChildren
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBridgeChildren(std::uint32_t a_Session,
                                                            std::uint32_t a_Parent,
                                                            std::uint32_t* a_pChildren,
                                                            std::uint32_t* a_pCount) {
    return guarded([&] {
        return serveList(
            tSimCall(tEntry::GetBridgeChildren,
                     args(num(a_Session), num(a_Parent), buffer(a_pChildren), count(a_pCount)),
                     a_Parent),
            a_pChildren, a_pCount, query(a_Session, &cSimMachine::childrenOf, a_Parent));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBusChildren
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBusChildren(std::uint32_t a_Session,
                                                         std::uint8_t a_Bus,
                                                         std::uint32_t* a_pChildren,
                                                         std::uint32_t* a_pCount) {
    return guarded([&] {
        return serveList(
            tSimCall(tEntry::GetBusChildren,
                     args(num(a_Session), num(a_Bus), buffer(a_pChildren), count(a_pCount))),
            a_pChildren, a_pCount, query(a_Session, &cSimMachine::bridgesOnBus, a_Bus));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetRootBuses
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetRootBuses(std::uint32_t a_Session, std::uint8_t* a_pBuses, std::uint32_t* a_pCount) {
    return guarded([&] {
        return serveList(
            tSimCall(tEntry::GetRootBuses, args(num(a_Session), buffer(a_pBuses), count(a_pCount))),
            a_pBuses, a_pCount, query(a_Session, &cSimMachine::rootBuses));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeAddress
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeAddress(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint8_t* a_pBus,
                          std::uint8_t* a_pDev, std::uint8_t* a_pFunc) {
    return guarded([&] {
        return serve(
            tSimCall(tEntry::GetBridgeAddress,
                     args(num(a_Session), num(a_Bridge), out(a_pBus), out(a_pDev), out(a_pFunc)),
                     a_Bridge),
            true, query(a_Session, &cSimMachine::addressOf, a_Bridge), a_pBus, a_pDev, a_pFunc);
    });
}
#endif

// The size counts the terminating NUL, and the text is written only when all of it fits.
#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeSlotPath
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBridgeSlotPath(std::uint32_t a_Session,
                                                            std::uint32_t a_Bridge, char* a_pText,
                                                            std::uint32_t* a_pSize) {
    return guarded([&] {
        return serveList(
            tSimCall(tEntry::GetBridgeSlotPath,
                     args(num(a_Session), num(a_Bridge), buffer(a_pText), count(a_pSize)),
                     a_Bridge),
            a_pText, a_pSize, query(a_Session, &cSimMachine::slotPathOf, a_Bridge));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeIds
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeIds(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint16_t* a_pVid,
                      std::uint16_t* a_pPid, std::uint16_t* a_pSsVid, std::uint16_t* a_pSsPid) {
    return guarded([&] {
        return serve(tSimCall(tEntry::GetBridgeIds,
                              args(num(a_Session), num(a_Bridge), out(a_pVid), out(a_pPid),
                                   out(a_pSsVid), out(a_pSsPid)),
                              a_Bridge),
                     true, query(a_Session, &cSimMachine::idsOf, a_Bridge), a_pVid, a_pPid,
                     a_pSsVid, a_pSsPid);
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_SetAttributeU32
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_SetAttributeU32(std::uint32_t a_Session,
                                                          std::uint32_t a_Bridge,
                                                          std::uint32_t a_AttributeId,
                                                          std::uint32_t a_Value) {
    return guarded([&] {
        return serve(
            tSimCall(tEntry::SetAttributeU32,
                     args(num(a_Session), num(a_Bridge), hex(a_AttributeId, 8), hex(a_Value, 8)),
                     a_Bridge, a_AttributeId),
            true, query(a_Session, &cSimMachine::setAttribute, a_Bridge, a_AttributeId, a_Value));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetAttributeU32
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetAttributeU32(std::uint32_t a_Session,
                                                          std::uint32_t a_Bridge,
                                                          std::uint32_t a_AttributeId,
                                                          std::uint32_t* a_pValue) {
    return guarded([&] {
        return serve(
            tSimCall(tEntry::GetAttributeU32,
                     args(num(a_Session), num(a_Bridge), hex(a_AttributeId, 8), out(a_pValue)),
                     a_Bridge, a_AttributeId),
            true, query(a_Session, &cSimMachine::attributeOf, a_Bridge, a_AttributeId), a_pValue);
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_OpenBridge
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_OpenBridge(std::uint32_t a_Session,
                                                     std::uint32_t a_Bridge) {
    return guarded([&] {
        return serve(tSimCall(tEntry::OpenBridge, args(num(a_Session), num(a_Bridge)), a_Bridge),
                     true, query(a_Session, &cSimMachine::setOpen, a_Bridge, true));
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_CloseBridge
ZUPCIBRD_SIM_EXPORT void ZuPciBrd_CloseBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) {
    static_cast<void>(guarded([&] {
        return serve(tSimCall(tEntry::CloseBridge, args(num(a_Session), num(a_Bridge)), a_Bridge),
                     true, query(a_Session, &cSimMachine::setOpen, a_Bridge, false));
    }));
}
#endif

// The method is not looked at; the buffer must hold at least one byte.
#ifndef ZUPCIBRD_SIM_WITHOUT_EepromUpdate
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_EepromUpdate(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint16_t a_Vid,
                      std::uint16_t a_Pid, std::uint32_t a_AlwaysOverwrite,
                      std::uint32_t a_UpdateMethod, std::uint32_t a_ByteCount,
                      const void* a_pBuffer) {
    return guarded([&] {
        return serve(tSimCall(tEntry::EepromUpdate,
                              args(num(a_Session), num(a_Bridge), hex(a_Vid, 4), hex(a_Pid, 4),
                                   num(a_AlwaysOverwrite), num(a_UpdateMethod), num(a_ByteCount),
                                   bytes(a_pBuffer, a_ByteCount)),
                              a_Bridge),
                     a_pBuffer != nullptr && a_ByteCount != 0,
                     query(a_Session, &cSimMachine::updateEeprom, a_Bridge, a_Vid, a_Pid,
                           a_AlwaysOverwrite != 0));
    });
}
#endif

// The gates of the scripted faults, for a test in the host's process.
ZUPCIBRD_SIM_EXPORT std::uint32_t ZuPciBrdSim_WaitAtGate(const char* a_pGate, std::uint32_t a_Calls,
                                                         std::uint32_t a_TimeoutMs) {
    try {
        return a_pGate == nullptr ? 0 : waitAtGate(a_pGate, a_Calls, a_TimeoutMs);
    } catch (...) {
        return 0;
    }
}
static_assert(std::is_same<decltype(&ZuPciBrdSim_WaitAtGate), tZuPciBrdSim_WaitAtGate>::value, "");

ZUPCIBRD_SIM_EXPORT void ZuPciBrdSim_ReleaseGate(const char* a_pGate, std::uint32_t a_Calls) {
    try {
        if (a_pGate != nullptr) {
            releaseGate(a_pGate, a_Calls);
        }
    } catch (...) {
        // Only the lock or a new gate's name can throw; the gate stays as it was.
    }
}
static_assert(std::is_same<decltype(&ZuPciBrdSim_ReleaseGate), tZuPciBrdSim_ReleaseGate>::value,
              "");
