// The 18 entry points of the bridge driver library, answered from a simulated machine.
//
// Each session holds its own copy of the machine, loaded when it opens: attribute changes,
// open bridges and EEPROM images live until the session closes and no other session sees
// them. One lock guards the table of sessions; every entry point turns any exception into a
// code, so nothing a client passes can take the process down.
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

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

struct tSession {
    tSimTopology m_Topology;
};

std::mutex g_Lock;
std::map<std::uint32_t, std::unique_ptr<tSession>> g_Sessions;
std::uint32_t g_LastSession = 0;

// Runs a_Body and maps what may escape it to a code.
template <typename tBody> std::int32_t guarded(tBody&& a_Body) {
    try {
        return a_Body();
    } catch (...) {
        return ZUPCIBRD_SIM_OUT_OF_MEMORY;
    }
}

template <typename tBody> std::int32_t withSession(std::uint32_t a_Session, tBody&& a_Body) {
    return guarded([&]() -> std::int32_t {
        const std::lock_guard<std::mutex> l_Guard(g_Lock);
        const auto l_Session = g_Sessions.find(a_Session);
        if (l_Session == g_Sessions.end()) {
            return ZUPCIBRD_SIM_UNKNOWN_SESSION;
        }
        return a_Body(*l_Session->second);
    });
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

// Count-then-fill: the count is always written; the items only when they all fit. Nothing to
// list is a plain success, so a caller does not ask a second time for nothing.
template <typename tItem>
std::int32_t answerList(const std::vector<tItem>& a_rItems, tItem* a_pBuffer,
                        std::uint32_t* a_pCount) {
    const auto l_Needed = static_cast<std::uint32_t>(a_rItems.size());
    if (l_Needed == 0) {
        *a_pCount = 0;
        return 0;
    }
    if (a_pBuffer == nullptr || *a_pCount < l_Needed) {
        *a_pCount = l_Needed;
        return ZUPCIBRD_SIM_BUFFER_TOO_SMALL;
    }
    std::copy(a_rItems.begin(), a_rItems.end(), a_pBuffer);
    *a_pCount = l_Needed;
    return 0;
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

bool matches(const std::uint16_t* a_pWanted, std::uint16_t a_Value) {
    return a_pWanted == nullptr || *a_pWanted == a_Value;
}

} // namespace
} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0

using namespace nZU7461_14_0::nZuPciBrdSim;

ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_OpenSession(std::uint32_t a_Flags,
                                                      std::uint32_t* a_pSession) {
    if (a_pSession == nullptr || a_Flags != ZUPCIBRD_SIM_SESSION_FLAGS) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return guarded([&]() -> std::int32_t {
        // Loaded outside the lock: reading a file must not hold up other sessions.
        auto l_pSession = std::make_unique<tSession>();
        std::string l_Fault;
        if (!loadTopology(l_pSession->m_Topology, l_Fault)) {
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
        *a_pSession = l_Handle;
        return 0;
    });
}

ZUPCIBRD_SIM_EXPORT void ZuPciBrd_CloseSession(std::uint32_t a_Session) {
    std::unique_ptr<tSession> l_pClosed;
    try {
        const std::lock_guard<std::mutex> l_Guard(g_Lock);
        const auto l_Session = g_Sessions.find(a_Session);
        if (l_Session != g_Sessions.end()) {
            l_pClosed = std::move(l_Session->second);
            g_Sessions.erase(l_Session);
        }
    } catch (...) {
        // Only the lock can throw here, and then there is nothing to close.
    }
}

ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_FindBridgesByPciIds(std::uint32_t a_Session, const std::uint16_t* a_pVid,
                             const std::uint16_t* a_pPid, const std::uint16_t* a_pSsVid,
                             const std::uint16_t* a_pSsPid, std::uint32_t* a_pBridges,
                             std::uint32_t* a_pCount) {
    if (a_pCount == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withSession(a_Session, [&](tSession& a_rSession) {
        std::vector<std::uint32_t> l_Found;
        for (const tSimBridge& l_Bridge : a_rSession.m_Topology.m_Bridges) {
            if (matches(a_pVid, l_Bridge.m_VendorId) && matches(a_pPid, l_Bridge.m_DeviceId) &&
                matches(a_pSsVid, l_Bridge.m_SubsystemVendorId) &&
                matches(a_pSsPid, l_Bridge.m_SubsystemId)) {
                l_Found.push_back(l_Bridge.m_Ref);
            }
        }
        return answerList(l_Found, a_pBridges, a_pCount);
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_FindBridgeByAddress(std::uint32_t a_Session, std::uint8_t a_Bus, std::uint8_t a_Dev,
                             std::uint8_t a_Func, std::uint32_t* a_pBridge) {
    if (a_pBridge == nullptr || a_Dev > 31 || a_Func > 7) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withSession(a_Session, [&](tSession& a_rSession) {
        const tSimBridge* l_pBridge =
            bridgeAt(a_rSession.m_Topology, a_Bus, slotPathElement(a_Dev, a_Func));
        if (l_pBridge == nullptr) {
            return ZUPCIBRD_SIM_NOT_FOUND;
        }
        *a_pBridge = l_pBridge->m_Ref;
        return 0;
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_FindBridgeBySlotPath(std::uint32_t a_Session,
                                                               const char* a_pSlotPath,
                                                               std::uint32_t* a_pBridge) {
    if (a_pSlotPath == nullptr || a_pBridge == nullptr) {
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
        *a_pBridge = l_pBridge->m_Ref;
        return 0;
    });
}

// A root bus has no bridge above it: that is an answer (0), not a failure, so a caller can
// walk up to the top without its status turning into an error.
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_FindParentBridgeForBus(std::uint32_t a_Session,
                                                                 std::uint8_t a_Bus,
                                                                 std::uint32_t* a_pBridge) {
    if (a_pBridge == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withSession(a_Session, [&](tSession& a_rSession) {
        const tSimTopology& l_Topology = a_rSession.m_Topology;
        if (l_Topology.isRootBus(a_Bus)) {
            *a_pBridge = 0;
            return 0;
        }
        for (const tSimBridge& l_Bridge : l_Topology.m_Bridges) {
            if (l_Bridge.m_SecondaryBus == a_Bus) {
                *a_pBridge = l_Bridge.m_Ref;
                return 0;
            }
        }
        return ZUPCIBRD_SIM_NOT_FOUND;
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeParent(std::uint32_t a_Session, std::uint32_t a_Child, std::uint32_t* a_pParent) {
    if (a_pParent == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withBridge(a_Session, a_Child, [&](tSession&, tSimBridge& a_rBridge) {
        *a_pParent = a_rBridge.m_Parent;
        return 0;
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBridgeChildren(std::uint32_t a_Session,
                                                            std::uint32_t a_Parent,
                                                            std::uint32_t* a_pChildren,
                                                            std::uint32_t* a_pCount) {
    if (a_pCount == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withBridge(a_Session, a_Parent, [&](tSession& a_rSession, tSimBridge& a_rBridge) {
        return answerList(bridgesOnBus(a_rSession.m_Topology, a_rBridge.m_SecondaryBus),
                          a_pChildren, a_pCount);
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBusChildren(std::uint32_t a_Session,
                                                         std::uint8_t a_Bus,
                                                         std::uint32_t* a_pChildren,
                                                         std::uint32_t* a_pCount) {
    if (a_pCount == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withSession(a_Session, [&](tSession& a_rSession) {
        if (!a_rSession.m_Topology.isKnownBus(a_Bus)) {
            return ZUPCIBRD_SIM_NOT_FOUND;
        }
        return answerList(bridgesOnBus(a_rSession.m_Topology, a_Bus), a_pChildren, a_pCount);
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetRootBuses(std::uint32_t a_Session, std::uint8_t* a_pBuses, std::uint32_t* a_pCount) {
    if (a_pCount == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withSession(a_Session, [&](tSession& a_rSession) {
        return answerList(a_rSession.m_Topology.m_RootBuses, a_pBuses, a_pCount);
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeAddress(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint8_t* a_pBus,
                          std::uint8_t* a_pDev, std::uint8_t* a_pFunc) {
    if (a_pBus == nullptr || a_pDev == nullptr || a_pFunc == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        *a_pBus = a_rBridge.m_Bus;
        *a_pDev = a_rBridge.m_Device;
        *a_pFunc = a_rBridge.m_Function;
        return 0;
    });
}

// The size counts the terminating NUL, and the text is written only when all of it fits.
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetBridgeSlotPath(std::uint32_t a_Session,
                                                            std::uint32_t a_Bridge, char* a_pText,
                                                            std::uint32_t* a_pSize) {
    if (a_pSize == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        const std::string& l_Path = a_rBridge.m_SlotPath;
        const std::vector<char> l_Text(l_Path.c_str(), l_Path.c_str() + l_Path.size() + 1);
        return answerList(l_Text, a_pText, a_pSize);
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_GetBridgeIds(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint16_t* a_pVid,
                      std::uint16_t* a_pPid, std::uint16_t* a_pSsVid, std::uint16_t* a_pSsPid) {
    if (a_pVid == nullptr || a_pPid == nullptr || a_pSsVid == nullptr || a_pSsPid == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        *a_pVid = a_rBridge.m_VendorId;
        *a_pPid = a_rBridge.m_DeviceId;
        *a_pSsVid = a_rBridge.m_SubsystemVendorId;
        *a_pSsPid = a_rBridge.m_SubsystemId;
        return 0;
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_SetAttributeU32(std::uint32_t a_Session,
                                                          std::uint32_t a_Bridge,
                                                          std::uint32_t a_AttributeId,
                                                          std::uint32_t a_Value) {
    return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        if (a_AttributeId == ZUPCIBRD_SIM_ATTRIBUTE_EEPROM_SIZE ||
            a_AttributeId == ZUPCIBRD_SIM_ATTRIBUTE_EEPROM_CRC32) {
            return ZUPCIBRD_SIM_READ_ONLY_ATTRIBUTE;
        }
        a_rBridge.m_Attributes[a_AttributeId] = a_Value;
        return 0;
    });
}

ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_GetAttributeU32(std::uint32_t a_Session,
                                                          std::uint32_t a_Bridge,
                                                          std::uint32_t a_AttributeId,
                                                          std::uint32_t* a_pValue) {
    if (a_pValue == nullptr) {
        return ZUPCIBRD_SIM_INVALID_ARGUMENT;
    }
    return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        if (a_AttributeId == ZUPCIBRD_SIM_ATTRIBUTE_EEPROM_SIZE) {
            *a_pValue = static_cast<std::uint32_t>(a_rBridge.m_Eeprom.size());
            return 0;
        }
        if (a_AttributeId == ZUPCIBRD_SIM_ATTRIBUTE_EEPROM_CRC32) {
            *a_pValue = crc32(a_rBridge.m_Eeprom);
            return 0;
        }
        const auto l_Attribute = a_rBridge.m_Attributes.find(a_AttributeId);
        if (l_Attribute == a_rBridge.m_Attributes.end()) {
            return ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE;
        }
        *a_pValue = l_Attribute->second;
        return 0;
    });
}

// Opening an open bridge is harmless; one CloseBridge closes it.
ZUPCIBRD_SIM_EXPORT std::int32_t ZuPciBrd_OpenBridge(std::uint32_t a_Session,
                                                     std::uint32_t a_Bridge) {
    return withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        a_rBridge.m_Open = true;
        return 0;
    });
}

ZUPCIBRD_SIM_EXPORT void ZuPciBrd_CloseBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) {
    static_cast<void>(withBridge(a_Session, a_Bridge, [&](tSession&, tSimBridge& a_rBridge) {
        a_rBridge.m_Open = false;
        return 0;
    }));
}

// An image is written only to an open bridge, and only when it is meant for the bridge's
// vendor and device ID, unless the caller insists: then the bridge takes the image's IDs, as
// a device does when its configuration EEPROM is rewritten.
ZUPCIBRD_SIM_EXPORT std::int32_t
ZuPciBrd_EepromUpdate(std::uint32_t a_Session, std::uint32_t a_Bridge, std::uint16_t a_Vid,
                      std::uint16_t a_Pid, std::uint32_t a_AlwaysOverwrite,
                      std::uint32_t a_UpdateMethod, std::uint32_t a_ByteCount,
                      const void* a_pBuffer) {
    if (a_pBuffer == nullptr || a_ByteCount == 0 || a_ByteCount > ZUPCIBRD_SIM_EEPROM_CAPACITY ||
        (a_UpdateMethod != ZUPCIBRD_SIM_EEPROM_REPLACE &&
         a_UpdateMethod != ZUPCIBRD_SIM_EEPROM_OVERLAY)) {
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
        const auto* l_pBytes = static_cast<const std::uint8_t*>(a_pBuffer);
        std::vector<std::uint8_t> l_Image;
        if (a_UpdateMethod == ZUPCIBRD_SIM_EEPROM_OVERLAY) {
            l_Image = a_rBridge.m_Eeprom;
        }
        if (l_Image.size() < a_ByteCount) {
            l_Image.resize(a_ByteCount);
        }
        std::copy(l_pBytes, l_pBytes + a_ByteCount, l_Image.begin());
        // Both changes or neither: the copy above is the last thing that can throw.
        a_rBridge.m_Eeprom = std::move(l_Image);
        a_rBridge.m_VendorId = a_Vid;
        a_rBridge.m_DeviceId = a_Pid;
        return 0;
    });
}

// Every entry point has exactly the type a client resolves it as.
static_assert(std::is_same<decltype(&ZuPciBrd_OpenSession), tZuPciBrd_OpenSession>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_CloseSession), tZuPciBrd_CloseSession>::value, "");
static_assert(
    std::is_same<decltype(&ZuPciBrd_FindBridgesByPciIds), tZuPciBrd_FindBridgesByPciIds>::value,
    "");
static_assert(
    std::is_same<decltype(&ZuPciBrd_FindBridgeByAddress), tZuPciBrd_FindBridgeByAddress>::value,
    "");
static_assert(
    std::is_same<decltype(&ZuPciBrd_FindBridgeBySlotPath), tZuPciBrd_FindBridgeBySlotPath>::value,
    "");
static_assert(std::is_same<decltype(&ZuPciBrd_FindParentBridgeForBus),
                           tZuPciBrd_FindParentBridgeForBus>::value,
              "");
static_assert(std::is_same<decltype(&ZuPciBrd_GetBridgeParent), tZuPciBrd_GetBridgeParent>::value,
              "");
static_assert(
    std::is_same<decltype(&ZuPciBrd_GetBridgeChildren), tZuPciBrd_GetBridgeChildren>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_GetBusChildren), tZuPciBrd_GetBusChildren>::value,
              "");
static_assert(std::is_same<decltype(&ZuPciBrd_GetRootBuses), tZuPciBrd_GetRootBuses>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_GetBridgeAddress), tZuPciBrd_GetBridgeAddress>::value,
              "");
static_assert(
    std::is_same<decltype(&ZuPciBrd_GetBridgeSlotPath), tZuPciBrd_GetBridgeSlotPath>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_GetBridgeIds), tZuPciBrd_GetBridgeIds>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_SetAttributeU32), tZuPciBrd_SetAttributeU32>::value,
              "");
static_assert(std::is_same<decltype(&ZuPciBrd_GetAttributeU32), tZuPciBrd_GetAttributeU32>::value,
              "");
static_assert(std::is_same<decltype(&ZuPciBrd_OpenBridge), tZuPciBrd_OpenBridge>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_CloseBridge), tZuPciBrd_CloseBridge>::value, "");
static_assert(std::is_same<decltype(&ZuPciBrd_EepromUpdate), tZuPciBrd_EepromUpdate>::value, "");
