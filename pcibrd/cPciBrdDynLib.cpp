#include "pcibrd/cPciBrdDynLib.h"

#include <cstddef>
#include <new>

#include <boost/checked_delete.hpp>
#include <boost/shared_ptr.hpp>

#include "pcibrd/dynload.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

namespace {

// "MRbb:" and three characters for each of at most 256 levels of buses, with room to spare.
constexpr std::uint32_t kMaxSlotPathSize = 64 * 1024;

constexpr const char kLibraryName[] = "zupcibrd.dll";

// Through void (*)(): every function pointer type converts to and from it without a warning.
template <class tEntry>
void resolve(HMODULE a_Library, const char* a_pName, tEntry& a_rEntry, tDetailedStatus* a_pStatus) {
    const FARPROC l_pAddress = findSymbol(a_Library, a_pName, a_pStatus);
    a_rEntry = reinterpret_cast<tEntry>(reinterpret_cast<void (*)()>(l_pAddress));
}

} // namespace

cPciBrdDynLib::cPciBrdDynLib(tDetailedStatus* a_pStatus) noexcept
    : m_Library(nullptr), m_pOpenSession(nullptr), m_pCloseSession(nullptr),
      m_pFindBridgesByPciIds(nullptr), m_pFindBridgeByAddress(nullptr),
      m_pFindBridgeBySlotPath(nullptr), m_pFindParentBridgeForBus(nullptr),
      m_pGetBridgeParent(nullptr), m_pGetBridgeChildren(nullptr), m_pGetBusChildren(nullptr),
      m_pGetRootBuses(nullptr), m_pGetBridgeAddress(nullptr), m_pGetBridgeSlotPath(nullptr),
      m_pGetBridgeIds(nullptr), m_pSetAttributeU32(nullptr), m_pGetAttributeU32(nullptr),
      m_pOpenBridge(nullptr), m_pCloseBridge(nullptr), m_pEepromUpdate(nullptr) {
    if (a_pStatus->code < 0) {
        return;
    }
    // A handle that comes back with an error recorded (the path conversion ran out of memory)
    // is kept, so that the destructor releases it.
    m_Library = loadLibrary(kLibraryName, a_pStatus);
    if (a_pStatus->code < 0) {
        return;
    }
    // Each lookup does nothing once one has failed: the entry points before the first missing
    // one stay usable, it and all after it stay null.
    resolve(m_Library, "ZuPciBrd_OpenSession", m_pOpenSession, a_pStatus);
    resolve(m_Library, "ZuPciBrd_CloseSession", m_pCloseSession, a_pStatus);
    resolve(m_Library, "ZuPciBrd_FindBridgesByPciIds", m_pFindBridgesByPciIds, a_pStatus);
    resolve(m_Library, "ZuPciBrd_FindBridgeByAddress", m_pFindBridgeByAddress, a_pStatus);
    resolve(m_Library, "ZuPciBrd_FindBridgeBySlotPath", m_pFindBridgeBySlotPath, a_pStatus);
    resolve(m_Library, "ZuPciBrd_FindParentBridgeForBus", m_pFindParentBridgeForBus, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetBridgeParent", m_pGetBridgeParent, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetBridgeChildren", m_pGetBridgeChildren, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetBusChildren", m_pGetBusChildren, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetRootBuses", m_pGetRootBuses, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetBridgeAddress", m_pGetBridgeAddress, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetBridgeSlotPath", m_pGetBridgeSlotPath, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetBridgeIds", m_pGetBridgeIds, a_pStatus);
    resolve(m_Library, "ZuPciBrd_SetAttributeU32", m_pSetAttributeU32, a_pStatus);
    resolve(m_Library, "ZuPciBrd_GetAttributeU32", m_pGetAttributeU32, a_pStatus);
    resolve(m_Library, "ZuPciBrd_OpenBridge", m_pOpenBridge, a_pStatus);
    resolve(m_Library, "ZuPciBrd_CloseBridge", m_pCloseBridge, a_pStatus);
    resolve(m_Library, "ZuPciBrd_EepromUpdate", m_pEepromUpdate, a_pStatus);
}

cPciBrdDynLib::~cPciBrdDynLib() {
    if (m_Library != nullptr) {
        FreeLibrary(m_Library);
        m_Library = nullptr;
    }
}

std::int32_t cPciBrdDynLib::OpenSession(std::uint32_t a_Flags, std::uint32_t* a_pSession) noexcept {
    if (m_pOpenSession == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pOpenSession(a_Flags, a_pSession);
}

void cPciBrdDynLib::CloseSession(std::uint32_t a_Session) noexcept {
    if (m_pCloseSession != nullptr) {
        m_pCloseSession(a_Session);
    }
}

std::int32_t
cPciBrdDynLib::FindBridgesByPciIds(std::uint32_t a_Session, const std::uint16_t* a_pVid,
                                   const std::uint16_t* a_pPid, const std::uint16_t* a_pSsVid,
                                   const std::uint16_t* a_pSsPid, std::uint32_t* a_pBridges,
                                   std::uint32_t* a_pCount) noexcept {
    if (m_pFindBridgesByPciIds == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pFindBridgesByPciIds(a_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, a_pBridges,
                                  a_pCount);
}

std::int32_t cPciBrdDynLib::FindBridgeByAddress(std::uint32_t a_Session, std::uint8_t a_Bus,
                                                std::uint8_t a_Dev, std::uint8_t a_Func,
                                                std::uint32_t* a_pBridge) noexcept {
    if (m_pFindBridgeByAddress == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pFindBridgeByAddress(a_Session, a_Bus, a_Dev, a_Func, a_pBridge);
}

std::int32_t cPciBrdDynLib::FindBridgeBySlotPath(std::uint32_t a_Session,
                                                 const cSlotPath& a_rSlotPath,
                                                 std::uint32_t* a_pBridge) noexcept {
    if (m_pFindBridgeBySlotPath == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    cCheckedString l_Text;
    tStatus l_Status = makeStatus();
    a_rSlotPath.Format(l_Text, &l_Status);
    if (isFailed(&l_Status)) {
        return l_Status.code;
    }
    return m_pFindBridgeBySlotPath(a_Session, l_Text.CStr(), a_pBridge);
}

std::int32_t cPciBrdDynLib::FindParentBridgeForBus(std::uint32_t a_Session, std::uint8_t a_Bus,
                                                   std::uint32_t* a_pBridge) noexcept {
    if (m_pFindParentBridgeForBus == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pFindParentBridgeForBus(a_Session, a_Bus, a_pBridge);
}

std::int32_t cPciBrdDynLib::GetBridgeParent(std::uint32_t a_Session, std::uint32_t a_Child,
                                            std::uint32_t* a_pParent) noexcept {
    if (m_pGetBridgeParent == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetBridgeParent(a_Session, a_Child, a_pParent);
}

std::int32_t cPciBrdDynLib::GetBridgeChildren(std::uint32_t a_Session, std::uint32_t a_Parent,
                                              std::uint32_t* a_pChildren,
                                              std::uint32_t* a_pCount) noexcept {
    if (m_pGetBridgeChildren == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetBridgeChildren(a_Session, a_Parent, a_pChildren, a_pCount);
}

std::int32_t cPciBrdDynLib::GetBusChildren(std::uint32_t a_Session, std::uint8_t a_Bus,
                                           std::uint32_t* a_pChildren,
                                           std::uint32_t* a_pCount) noexcept {
    if (m_pGetBusChildren == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetBusChildren(a_Session, a_Bus, a_pChildren, a_pCount);
}

std::int32_t cPciBrdDynLib::GetRootBuses(std::uint32_t a_Session, std::uint8_t* a_pBuses,
                                         std::uint32_t* a_pCount) noexcept {
    if (m_pGetRootBuses == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetRootBuses(a_Session, a_pBuses, a_pCount);
}

std::int32_t cPciBrdDynLib::GetBridgeAddress(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                             std::uint8_t* a_pBus, std::uint8_t* a_pDev,
                                             std::uint8_t* a_pFunc) noexcept {
    if (m_pGetBridgeAddress == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetBridgeAddress(a_Session, a_Bridge, a_pBus, a_pDev, a_pFunc);
}

std::int32_t cPciBrdDynLib::GetBridgeSlotPath(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                              cSlotPath& a_rSlotPath) noexcept {
    if (m_pGetBridgeSlotPath == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    std::uint32_t l_Size = 0;
    const std::int32_t l_CountResult = m_pGetBridgeSlotPath(a_Session, a_Bridge, nullptr, &l_Size);
    if (l_CountResult != kStatusBufferTooSmall) {
        return l_CountResult;
    }
    // No slot path text comes near this size; a library announcing more is refused as an
    // allocator would refuse it, rather than making us zero gigabytes.
    if (l_Size > kMaxSlotPathSize) {
        return kStatusMemoryFull;
    }
    // One byte more than the library asked for, holding a terminator of our own: the parse
    // stays inside the buffer even when the library's text has none (or the size is 0).
    const std::size_t l_BufferSize = static_cast<std::size_t>(l_Size) + 1;
    char* l_pBytes = new (std::nothrow) char[l_BufferSize]();
    if (l_pBytes == nullptr) {
        return kStatusMemoryFull;
    }
    boost::shared_ptr<char> l_Text;
    try {
        // On failure the owner's constructor releases the bytes through the deleter.
        l_Text = boost::shared_ptr<char>(l_pBytes, boost::checked_array_deleter<char>());
    } catch (...) {
        return kStatusMemoryFull;
    }
    const std::int32_t l_FillResult =
        m_pGetBridgeSlotPath(a_Session, a_Bridge, l_Text.get(), &l_Size);
    if (l_FillResult < 0) {
        return l_FillResult;
    }
    l_Text.get()[l_BufferSize - 1] = '\0';
    tStatus l_Status = makeStatus();
    a_rSlotPath.Parse(l_Text.get(), &l_Status);
    return l_Status.code;
}

std::int32_t cPciBrdDynLib::GetBridgeIds(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                         std::uint16_t* a_pVid, std::uint16_t* a_pPid,
                                         std::uint16_t* a_pSsVid,
                                         std::uint16_t* a_pSsPid) noexcept {
    if (m_pGetBridgeIds == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetBridgeIds(a_Session, a_Bridge, a_pVid, a_pPid, a_pSsVid, a_pSsPid);
}

std::int32_t cPciBrdDynLib::SetAttributeU32(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                            std::uint32_t a_AttributeId,
                                            std::uint32_t a_Value) noexcept {
    if (m_pSetAttributeU32 == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pSetAttributeU32(a_Session, a_Bridge, a_AttributeId, a_Value);
}

std::int32_t cPciBrdDynLib::GetAttributeU32(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                            std::uint32_t a_AttributeId,
                                            std::uint32_t* a_pValue) noexcept {
    if (m_pGetAttributeU32 == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pGetAttributeU32(a_Session, a_Bridge, a_AttributeId, a_pValue);
}

std::int32_t cPciBrdDynLib::OpenBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) noexcept {
    if (m_pOpenBridge == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pOpenBridge(a_Session, a_Bridge);
}

void cPciBrdDynLib::CloseBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) noexcept {
    if (m_pCloseBridge != nullptr) {
        m_pCloseBridge(a_Session, a_Bridge);
    }
}

std::int32_t cPciBrdDynLib::EepromUpdate(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                         std::uint16_t a_Vid, std::uint16_t a_Pid,
                                         std::uint32_t a_AlwaysOverwrite,
                                         std::uint32_t a_UpdateMethod, std::uint32_t a_ByteCount,
                                         const void* a_pBuffer) noexcept {
    if (m_pEepromUpdate == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    return m_pEepromUpdate(a_Session, a_Bridge, a_Vid, a_Pid, a_AlwaysOverwrite, a_UpdateMethod,
                           a_ByteCount, a_pBuffer);
}

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
