// The 18 entry points of the bridge driver library, answered from a simulated machine.
//
// Each session holds its own copy of the machine, loaded when it opens: attribute changes,
// open bridges and the IDs an EEPROM update gave live until the session closes and no other session
// sees them. One lock guards the table of sessions; every entry point turns any exception into a
// code, so nothing a client passes can take the process down.
//
// Every call goes through the fault engine (simFaults.h): the machine's answer is worked out
// into the call first, and only what the engine then allows is written to the caller.
//
// Test-only variants lack entry points: each ZUPCIBRD_SIM_WITHOUT_<Name> definition leaves
// that one out, so a client meets a library in which the name is missing.
#include "sim/simCallLog.h"
#include "sim/simFaults.h"
#include "sim/simTopology.h"
#include "sim/zupcibrdSim.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
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

struct tSession {
    tSimTopology m_Topology;
};

std::mutex g_Lock;
// Guarded by g_Lock, as is g_LastSession.
std::map<std::uint32_t, std::unique_ptr<tSession>> g_Sessions;
// A variant of the library without the entry point that uses a helper leaves it unused.
[[maybe_unused]] std::uint32_t g_LastSession = 0;

// Runs a_Body and maps what may escape it to a code.
template <typename tBody> std::int32_t guarded(tBody&& a_Body) {
    try {
        return a_Body();
    } catch (...) {
        return ZUPCIBRD_SIM_OUT_OF_MEMORY;
    }
}

template <typename tBody> std::int32_t withSession(std::uint32_t a_Session, tBody&& a_Body) {
    const std::lock_guard<std::mutex> l_Guard(g_Lock);
    const auto l_Session = g_Sessions.find(a_Session);
    if (l_Session == g_Sessions.end()) {
        return ZUPCIBRD_SIM_UNKNOWN_SESSION;
    }
    return a_Body(*l_Session->second);
}

template <typename tBody>
std::int32_t withBridge(std::uint32_t a_Session, std::uint32_t a_Bridge, tBody&& a_Body) {
    return withSession(a_Session, [&](tSession& a_rSession) -> std::int32_t {
        tSimBridge* l_pBridge = a_rSession.m_Topology.findBridge(a_Bridge);
        if (l_pBridge == nullptr) {
            return ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
        }
        return a_Body(a_rSession, *l_pBridge);
    });
}

// The machine answers the call unless the faults decided otherwise first.
template <typename tMachine> void runCall(tSimCall& a_rCall, tMachine&& a_Machine) {
    const tCallPlan l_Plan = beginCall(a_rCall);
    if (l_Plan.m_RunMachine) {
        a_rCall.m_Code = a_Machine();
    }
    finishCall(a_rCall, l_Plan);
}

template <typename tOutput>
void writeOutput(const tSimCall& a_rCall, std::size_t a_Index, tOutput* a_pOutput) {
    if (a_rCall.m_WriteOutputs && a_pOutput != nullptr && a_Index < a_rCall.m_Outputs.size()) {
        *a_pOutput = static_cast<tOutput>(a_rCall.m_Outputs[a_Index]);
    }
}

// The engine never fills more than the room the caller gave, nor without a buffer.
template <typename tItem>
void writeList(const tSimCall& a_rCall, tItem* a_pBuffer, std::uint32_t* a_pCount) {
    if (a_pBuffer != nullptr) {
        for (std::size_t l_Index = 0; l_Index < a_rCall.m_Fill.size(); ++l_Index) {
            a_pBuffer[l_Index] = static_cast<tItem>(a_rCall.m_Fill[l_Index]);
        }
    }
    if (a_rCall.m_WriteCount && a_pCount != nullptr) {
        *a_pCount = a_rCall.m_Count;
    }
}

template <typename tItem>
void describeList(tSimCall& a_rCall, const tItem* a_pBuffer, const std::uint32_t* a_pCount) {
    a_rCall.m_BufferGiven = a_pBuffer != nullptr;
    a_rCall.m_CountGiven = a_pCount != nullptr;
    a_rCall.m_Room = a_pCount != nullptr ? *a_pCount : 0;
}

std::string hexText(std::uint32_t a_Value, int a_Digits) {
    char l_Text[16];
    std::snprintf(l_Text, sizeof l_Text, "0x%0*X", a_Digits, a_Value);
    return l_Text;
}

// Arguments as the call log shows them: numbers in decimal, IDs and attributes in hexadecimal,
// an output pointer as "out", a buffer as "buf", a count pointer as the count it holds.
std::string outText(const void* a_pOutput) {
    return a_pOutput == nullptr ? "null" : "out";
}
std::string bufferText(const void* a_pBuffer) {
    return a_pBuffer == nullptr ? "null" : "buf";
}
std::string countText(const std::uint32_t* a_pCount) {
    return a_pCount == nullptr ? "null" : std::to_string(*a_pCount);
}
[[maybe_unused]] std::string idText(const std::uint16_t* a_pId) {
    return a_pId == nullptr ? "null" : hexText(*a_pId, 4);
}

template <typename... tParts> std::string joined(const tParts&... a_rParts) {
    std::string l_Text;
    for (const std::string& l_Part : {std::string(a_rParts)...}) {
        l_Text += (l_Text.empty() ? "" : ",") + l_Part;
    }
    return l_Text;
}

std::string num(std::uint32_t a_Value) {
    return std::to_string(a_Value);
}

std::vector<std::uint32_t> bridgesOnBus(const tSimTopology& a_rTopology, std::uint8_t a_Bus) {
    std::vector<std::uint32_t> l_Refs;
    for (const tSimBridge& l_Bridge : a_rTopology.m_Bridges) {
        if (l_Bridge.m_Bus == a_Bus) {
            l_Refs.push_back(l_Bridge.m_Ref);
        }
    }
    return l_Refs;
}

const tSimBridge* bridgeAt(const tSimTopology& a_rTopology, std::uint8_t a_Bus,
                           std::uint8_t a_Element) {
    for (const tSimBridge& l_Bridge : a_rTopology.m_Bridges) {
        if (l_Bridge.m_Bus == a_Bus &&
            slotPathElement(l_Bridge.m_Device, l_Bridge.m_Function) == a_Element) {
            return &l_Bridge;
        }
    }
    return nullptr;
}

[[maybe_unused]] bool matches(const std::uint16_t* a_pWanted, std::uint16_t a_Value) {
    return a_pWanted == nullptr || *a_pWanted == a_Value;
}

// An entry point with one output written as a bridge reference (or session, or value).
template <typename tMachine>
std::int32_t singleOutput(tSimCall& a_rCall, std::uint32_t* a_pOutput, tMachine&& a_Machine) {
    a_rCall.m_OutputGiven = {a_pOutput != nullptr};
    runCall(a_rCall, [&]() -> std::int32_t {
        if (a_pOutput == nullptr) {
            return ZUPCIBRD_SIM_INVALID_ARGUMENT;
        }
        std::uint32_t l_Value = 0;
        const std::int32_t l_Code = a_Machine(l_Value);
        if (l_Code >= 0) {
            a_rCall.m_Outputs = {l_Value};
        }
        return l_Code;
    });
    writeOutput(a_rCall, 0, a_pOutput);
    return a_rCall.m_Code;
}

// A count-then-fill entry point: the machine hands over everything there is to list.
template <typename tItem, typename tMachine>
std::int32_t listOutput(tSimCall& a_rCall, tItem* a_pBuffer, std::uint32_t* a_pCount,
                        tMachine&& a_Machine) {
    describeList(a_rCall, a_pBuffer, a_pCount);
    runCall(a_rCall, [&]() -> std::int32_t {
        if (a_pCount == nullptr) {
            return ZUPCIBRD_SIM_INVALID_ARGUMENT;
        }
        return a_Machine(a_rCall.m_Items);
    });
    writeList(a_rCall, a_pBuffer, a_pCount);
    return a_rCall.m_Code;
}

} // namespace
} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0

using namespace nZU7461_14_0::nZuPciBrdSim;

#ifndef ZUPCIBRD_SIM_WITHOUT_OpenSession
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_OpenSession(std::uint32_t a_Flags,
                                                      std::uint32_t* a_pSession) {
    return guarded([&] {
        tSimCall l_Call(tEntry::OpenSession);
        l_Call.m_Arguments = joined(num(a_Flags), outText(a_pSession));
        // The file is read before anything else: its faults apply to this very call. Reading
        // happens outside the lock, so that a slow file does not hold up other sessions.
        auto l_pSession = std::make_unique<tSession>();
        std::string l_Fault;
        const bool l_Loaded = loadTopology(l_pSession->m_Topology, l_Fault);
        takeUpScript(l_Loaded ? l_pSession->m_Topology.m_Faults : tFaultScript());
        return singleOutput(l_Call, a_pSession, [&](std::uint32_t& a_rHandle) -> std::int32_t {
            if (a_Flags != ZUPCIBRD_SIM_SESSION_FLAGS) {
                return ZUPCIBRD_SIM_INVALID_ARGUMENT;
            }
            if (!l_Loaded) {
                const std::string l_Line = "zupcibrd: " + l_Fault + "\n";
                std::fputs(l_Line.c_str(), stderr);
                return ZUPCIBRD_SIM_TOPOLOGY_FAULT;
            }
            const std::lock_guard<std::mutex> l_Guard(g_Lock);
            // 0xFFFFFFFF is the caller's "no session"; 0 is never handed out either.
            std::uint32_t l_Handle = g_LastSession;
            do {
                ++l_Handle;
            } while (l_Handle == 0 || l_Handle == 0xFFFFFFFFu || g_Sessions.count(l_Handle) != 0);
            g_Sessions.emplace(l_Handle, std::move(l_pSession));
            g_LastSession = l_Handle;
            a_rHandle = l_Handle;
            return 0;
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_CloseSession
ZUPCIBRD_SIM_EXPORT void ZuPciBrd_CloseSession(std::uint32_t a_Session) {
    static_cast<void>(guarded([&] {
        std::unique_ptr<tSession> l_pClosed;
        tSimCall l_Call(tEntry::CloseSession);
        l_Call.m_Arguments = num(a_Session);
        runCall(l_Call, [&] {
            const std::lock_guard<std::mutex> l_Guard(g_Lock);
            const auto l_Session = g_Sessions.find(a_Session);
            if (l_Session != g_Sessions.end()) {
                l_pClosed = std::move(l_Session->second);
                g_Sessions.erase(l_Session);
            }
            return 0;
        });
        return 0;
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
        tSimCall l_Call(tEntry::FindBridgesByPciIds);
        l_Call.m_Arguments =
            joined(num(a_Session), idText(a_pVid), idText(a_pPid), idText(a_pSsVid),
                   idText(a_pSsPid), bufferText(a_pBridges), countText(a_pCount));
        return listOutput(l_Call, a_pBridges, a_pCount, [&](std::vector<std::uint32_t>& a_rItems) {
            return withSession(a_Session, [&](tSession& a_rSession) {
                for (const tSimBridge& l_Bridge : a_rSession.m_Topology.m_Bridges) {
                    if (matches(a_pVid, l_Bridge.m_VendorId) &&
                        matches(a_pPid, l_Bridge.m_DeviceId) &&
                        matches(a_pSsVid, l_Bridge.m_SubsystemVendorId) &&
                        matches(a_pSsPid, l_Bridge.m_SubsystemId)) {
                        a_rItems.push_back(l_Bridge.m_Ref);
                    }
                }
                return 0;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_FindBridgeByAddress
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_FindBridgeByAddress(std::uint32_t a_Session, std::uint8_t a_Bus, std::uint8_t a_Dev,
                             std::uint8_t a_Func, std::uint32_t* a_pBridge) {
    return guarded([&] {
        tSimCall l_Call(tEntry::FindBridgeByAddress);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Bus), num(a_Dev), num(a_Func), outText(a_pBridge));
        return singleOutput(l_Call, a_pBridge, [&](std::uint32_t& a_rBridge) {
            if (a_Dev > 31 || a_Func > 7) {
                return ZUPCIBRD_SIM_INVALID_ARGUMENT;
            }
            return withSession(a_Session, [&](tSession& a_rSession) {
                const tSimBridge* l_pBridge =
                    bridgeAt(a_rSession.m_Topology, a_Bus, slotPathElement(a_Dev, a_Func));
                if (l_pBridge == nullptr) {
                    return ZUPCIBRD_SIM_NOT_FOUND;
                }
                a_rBridge = l_pBridge->m_Ref;
                return 0;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_FindBridgeBySlotPath
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_FindBridgeBySlotPath(std::uint32_t a_Session,
                                                               const char* a_pSlotPath,
                                                               std::uint32_t* a_pBridge) {
    return guarded([&] {
        tSimCall l_Call(tEntry::FindBridgeBySlotPath);
        // A slot path is short; a caller's text without its end is shown only so far.
        const std::string l_Path =
            a_pSlotPath == nullptr ? "null" : quotedText(a_pSlotPath, strnlen(a_pSlotPath, 256));
        l_Call.m_Arguments = joined(num(a_Session), l_Path, outText(a_pBridge));
        return singleOutput(l_Call, a_pBridge, [&](std::uint32_t& a_rBridge) {
            if (a_pSlotPath == nullptr) {
                return ZUPCIBRD_SIM_INVALID_ARGUMENT;
            }
            return withSession(a_Session, [&](tSession& a_rSession) {
                std::uint8_t l_Bus = 0;
                std::vector<std::uint8_t> l_Elements;
                if (!parseSlotPath(a_pSlotPath, l_Bus, l_Elements)) {
                    return ZUPCIBRD_SIM_MALFORMED_SLOT_PATH;
                }
                const tSimTopology& l_Topology = a_rSession.m_Topology;
                if (!l_Topology.isRootBus(l_Bus)) {
                    return ZUPCIBRD_SIM_NOT_FOUND;
                }
                // A path with no elements names a root bus, not a bridge.
                const tSimBridge* l_pBridge = nullptr;
                for (const std::uint8_t l_Element : l_Elements) {
                    l_pBridge = bridgeAt(l_Topology, l_Bus, l_Element);
                    if (l_pBridge == nullptr) {
                        return ZUPCIBRD_SIM_NOT_FOUND;
                    }
                    l_Bus = l_pBridge->m_SecondaryBus;
                }
                if (l_pBridge == nullptr) {
                    return ZUPCIBRD_SIM_NOT_FOUND;
                }
                a_rBridge = l_pBridge->m_Ref;
                return 0;
            });
        });
    });
}
#endif

// A root bus has no bridge above it: that is an answer (0), not a failure, so a caller can
// walk up to the top without its status turning into an error.
#ifndef ZUPCIBRD_SIM_WITHOUT_FindParentBridgeForBus
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_FindParentBridgeForBus(std::uint32_t a_Session,
                                                                 std::uint8_t a_Bus,
                                                                 std::uint32_t* a_pBridge) {
    return guarded([&] {
        tSimCall l_Call(tEntry::FindParentBridgeForBus);
        l_Call.m_Arguments = joined(num(a_Session), num(a_Bus), outText(a_pBridge));
        return singleOutput(l_Call, a_pBridge, [&](std::uint32_t& a_rBridge) {
            return withSession(a_Session, [&](tSession& a_rSession) {
                const tSimTopology& l_Topology = a_rSession.m_Topology;
                if (l_Topology.isRootBus(a_Bus)) {
                    a_rBridge = 0;
                    return 0;
                }
                for (const tSimBridge& l_Bridge : l_Topology.m_Bridges) {
                    if (l_Bridge.m_SecondaryBus == a_Bus) {
                        a_rBridge = l_Bridge.m_Ref;
                        return 0;
                    }
                }
                return ZUPCIBRD_SIM_NOT_FOUND;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeParent
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeParent(std::uint32_t a_Session, std::uint32_t a_Child, std::uint32_t* a_pParent) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetBridgeParent);
        l_Call.m_Arguments = joined(num(a_Session), num(a_Child), outText(a_pParent));
        l_Call.m_Bridge = a_Child;
        return singleOutput(l_Call, a_pParent, [&](std::uint32_t& a_rParent) {
            return withBridge(a_Session, a_Child, [&](tSession&, tSimBridge& a_rBridge) {
                a_rParent = a_rBridge.m_Parent;
                return 0;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeChildren
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBridgeChildren(std::uint32_t a_Session,
                                                            std::uint32_t a_Parent,
                                                            std::uint32_t* a_pChildren,
                                                            std::uint32_t* a_pCount) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetBridgeChildren);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Parent), bufferText(a_pChildren), countText(a_pCount));
        l_Call.m_Bridge = a_Parent;
        return listOutput(l_Call, a_pChildren, a_pCount, [&](std::vector<std::uint32_t>& a_rItems) {
            return withBridge(
                a_Session, a_Parent, [&](tSession& a_rSession, tSimBridge& a_rBridge) {
                    a_rItems = bridgesOnBus(a_rSession.m_Topology, a_rBridge.m_SecondaryBus);
                    return 0;
                });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBusChildren
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBusChildren(std::uint32_t a_Session,
                                                         std::uint8_t a_Bus,
                                                         std::uint32_t* a_pChildren,
                                                         std::uint32_t* a_pCount) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetBusChildren);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Bus), bufferText(a_pChildren), countText(a_pCount));
        return listOutput(l_Call, a_pChildren, a_pCount, [&](std::vector<std::uint32_t>& a_rItems) {
            return withSession(a_Session, [&](tSession& a_rSession) {
                if (!a_rSession.m_Topology.isKnownBus(a_Bus)) {
                    return ZUPCIBRD_SIM_NOT_FOUND;
                }
                a_rItems = bridgesOnBus(a_rSession.m_Topology, a_Bus);
                return 0;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetRootBuses
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetRootBuses(std::uint32_t a_Session, std::uint8_t* a_pBuses, std::uint32_t* a_pCount) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetRootBuses);
        l_Call.m_Arguments = joined(num(a_Session), bufferText(a_pBuses), countText(a_pCount));
        return listOutput(l_Call, a_pBuses, a_pCount, [&](std::vector<std::uint32_t>& a_rItems) {
            return withSession(a_Session, [&](tSession& a_rSession) {
                const std::vector<std::uint8_t>& l_Buses = a_rSession.m_Topology.m_RootBuses;
                a_rItems.assign(l_Buses.begin(), l_Buses.end());
                return 0;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeAddress
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeAddress(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint8_t* a_pBus,
                          std::uint8_t* a_pDev, std::uint8_t* a_pFunc) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetBridgeAddress);
        l_Call.m_Arguments = joined(num(a_Session), num(a_Bridge), outText(a_pBus), outText(a_pDev),
                                    outText(a_pFunc));
        l_Call.m_Bridge = a_Bridge;
        l_Call.m_OutputGiven = {a_pBus != nullptr, a_pDev != nullptr, a_pFunc != nullptr};
        runCall(l_Call, [&] {
            if (a_pBus == nullptr || a_pDev == nullptr || a_pFunc == nullptr) {
                return ZUPCIBRD_SIM_INVALID_ARGUMENT;
            }
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                l_Call.m_Outputs = {a_rBridge.m_Bus, a_rBridge.m_Device, a_rBridge.m_Function};
                return 0;
            });
        });
        writeOutput(l_Call, 0, a_pBus);
        writeOutput(l_Call, 1, a_pDev);
        writeOutput(l_Call, 2, a_pFunc);
        return l_Call.m_Code;
    });
}
#endif

// The size counts the terminating NUL, and the text is written only when all of it fits.
#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeSlotPath
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBridgeSlotPath(std::uint32_t a_Session,
                                                            std::uint32_t a_Bridge, char* a_pText,
                                                            std::uint32_t* a_pSize) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetBridgeSlotPath);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Bridge), bufferText(a_pText), countText(a_pSize));
        l_Call.m_Bridge = a_Bridge;
        return listOutput(l_Call, a_pText, a_pSize, [&](std::vector<std::uint32_t>& a_rItems) {
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                const std::string& l_Path = a_rBridge.m_SlotPath;
                a_rItems.assign(l_Path.c_str(), l_Path.c_str() + l_Path.size() + 1);
                return 0;
            });
        });
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetBridgeIds
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeIds(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint16_t* a_pVid,
                      std::uint16_t* a_pPid, std::uint16_t* a_pSsVid, std::uint16_t* a_pSsPid) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetBridgeIds);
        l_Call.m_Arguments = joined(num(a_Session), num(a_Bridge), outText(a_pVid), outText(a_pPid),
                                    outText(a_pSsVid), outText(a_pSsPid));
        l_Call.m_Bridge = a_Bridge;
        l_Call.m_OutputGiven = {a_pVid != nullptr, a_pPid != nullptr, a_pSsVid != nullptr,
                                a_pSsPid != nullptr};
        runCall(l_Call, [&] {
            if (a_pVid == nullptr || a_pPid == nullptr || a_pSsVid == nullptr ||
                a_pSsPid == nullptr) {
                return ZUPCIBRD_SIM_INVALID_ARGUMENT;
            }
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                l_Call.m_Outputs = {a_rBridge.m_VendorId, a_rBridge.m_DeviceId,
                                    a_rBridge.m_SubsystemVendorId, a_rBridge.m_SubsystemId};
                return 0;
            });
        });
        writeOutput(l_Call, 0, a_pVid);
        writeOutput(l_Call, 1, a_pPid);
        writeOutput(l_Call, 2, a_pSsVid);
        writeOutput(l_Call, 3, a_pSsPid);
        return l_Call.m_Code;
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_SetAttributeU32
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_SetAttributeU32(std::uint32_t a_Session,
                                                          std::uint32_t a_Bridge,
                                                          std::uint32_t a_AttributeId,
                                                          std::uint32_t a_Value) {
    return guarded([&] {
        tSimCall l_Call(tEntry::SetAttributeU32);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Bridge), hexText(a_AttributeId, 8), hexText(a_Value, 8));
        l_Call.m_Bridge = a_Bridge;
        l_Call.m_Attribute = a_AttributeId;
        runCall(l_Call, [&] {
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                a_rBridge.m_Attributes[a_AttributeId] = a_Value;
                return 0;
            });
        });
        return l_Call.m_Code;
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_GetAttributeU32
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetAttributeU32(std::uint32_t a_Session,
                                                          std::uint32_t a_Bridge,
                                                          std::uint32_t a_AttributeId,
                                                          std::uint32_t* a_pValue) {
    return guarded([&] {
        tSimCall l_Call(tEntry::GetAttributeU32);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Bridge), hexText(a_AttributeId, 8), outText(a_pValue));
        l_Call.m_Bridge = a_Bridge;
        l_Call.m_Attribute = a_AttributeId;
        return singleOutput(l_Call, a_pValue, [&](std::uint32_t& a_rValue) {
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                const auto l_Attribute = a_rBridge.m_Attributes.find(a_AttributeId);
                if (l_Attribute == a_rBridge.m_Attributes.end()) {
                    return ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE;
                }
                a_rValue = l_Attribute->second;
                return 0;
            });
        });
    });
}
#endif

// Opening an open bridge is harmless; one CloseBridge closes it.
#ifndef ZUPCIBRD_SIM_WITHOUT_OpenBridge
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_OpenBridge(std::uint32_t a_Session,
                                                     std::uint32_t a_Bridge) {
    return guarded([&] {
        tSimCall l_Call(tEntry::OpenBridge);
        l_Call.m_Arguments = joined(num(a_Session), num(a_Bridge));
        l_Call.m_Bridge = a_Bridge;
        runCall(l_Call, [&] {
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                a_rBridge.m_Open = true;
                return 0;
            });
        });
        return l_Call.m_Code;
    });
}
#endif

#ifndef ZUPCIBRD_SIM_WITHOUT_CloseBridge
ZUPCIBRD_SIM_EXPORT void ZuPciBrd_CloseBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) {
    static_cast<void>(guarded([&] {
        tSimCall l_Call(tEntry::CloseBridge);
        l_Call.m_Arguments = joined(num(a_Session), num(a_Bridge));
        l_Call.m_Bridge = a_Bridge;
        runCall(l_Call, [&] {
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                a_rBridge.m_Open = false;
                return 0;
            });
        });
        return 0;
    }));
}
#endif

// An image is taken only by an open bridge, and only when it is meant for the bridge's vendor
// and device ID, unless the caller insists: then the bridge takes the image's IDs, as a device
// does when its configuration EEPROM is rewritten. The image itself is not kept: nothing reads
// it back.
#ifndef ZUPCIBRD_SIM_WITHOUT_EepromUpdate
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_EepromUpdate(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint16_t a_Vid,
                      std::uint16_t a_Pid, std::uint32_t a_AlwaysOverwrite,
                      std::uint32_t a_UpdateMethod, std::uint32_t a_ByteCount,
                      const void* a_pBuffer) {
    return guarded([&] {
        const auto* l_pBytes = static_cast<const std::uint8_t*>(a_pBuffer);
        std::string l_Shown = "null";
        if (l_pBytes != nullptr) {
            // The first bytes are enough to tell images apart.
            l_Shown = "[";
            for (std::uint32_t l_Index = 0; l_Index < a_ByteCount && l_Index < 16; ++l_Index) {
                l_Shown += (l_Index == 0 ? "" : " ") + hexText(l_pBytes[l_Index], 2).substr(2);
            }
            l_Shown += "]";
        }
        tSimCall l_Call(tEntry::EepromUpdate);
        l_Call.m_Arguments =
            joined(num(a_Session), num(a_Bridge), hexText(a_Vid, 4), hexText(a_Pid, 4),
                   num(a_AlwaysOverwrite), num(a_UpdateMethod), num(a_ByteCount), l_Shown);
        l_Call.m_Bridge = a_Bridge;
        runCall(l_Call, [&] {
            if (l_pBytes == nullptr || a_ByteCount == 0) {
                return ZUPCIBRD_SIM_INVALID_ARGUMENT;
            }
            return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
                if (!a_rBridge.m_Open) {
                    return ZUPCIBRD_SIM_BRIDGE_NOT_OPEN;
                }
                if (a_AlwaysOverwrite == 0 &&
                    (a_Vid != a_rBridge.m_VendorId || a_Pid != a_rBridge.m_DeviceId)) {
                    return ZUPCIBRD_SIM_EEPROM_ID_MISMATCH;
                }
                a_rBridge.m_VendorId = a_Vid;
                a_rBridge.m_DeviceId = a_Pid;
                return 0;
            });
        });
        return l_Call.m_Code;
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
