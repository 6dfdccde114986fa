#include "pcibrd/cPciBrdWrapper_sc.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

namespace {

constexpr const char kFile[] = "cPciBrdWrapper_sc";

// Where a library call is made: its source text and line, recorded with its failure.
struct tCallSite {
    const char* text;
    std::int32_t line;
};

constexpr tCallSite kOpenSession{"m_PciBrdDynLib.OpenSession( a_Flags, &m_Session )", 64};
constexpr tCallSite kFindBridgesCount{
    "m_PciBrdDynLib.FindBridgesByPciIds( m_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, 0, "
    "&l_BridgeCount )",
    113};
constexpr tCallSite kFindBridgesFill{
    "m_PciBrdDynLib.FindBridgesByPciIds( m_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, "
    "&l_Bridges[0], &l_BridgeCount )",
    133};
constexpr tCallSite kFindBridgeByAddress{
    "m_PciBrdDynLib.FindBridgeByAddress( m_Session, a_Bus, a_Dev, a_Func, &a_rBridgeRef )", 164};
constexpr tCallSite kFindBridgeBySlotPath{
    "m_PciBrdDynLib.FindBridgeBySlotPath( m_Session, a_rSlotPath, &a_rBridgeRef )", 185};
constexpr tCallSite kFindParentBridgeForBus{
    "m_PciBrdDynLib.FindParentBridgeForBus( m_Session, a_Bus, &a_rBridgeRef )", 206};
constexpr tCallSite kGetBridgeParent{
    "m_PciBrdDynLib.GetBridgeParent( m_Session, a_Child, &a_rBridgeRef )", 227};
constexpr tCallSite kGetBridgeChildrenCount{
    "m_PciBrdDynLib.GetBridgeChildren( m_Session, a_Parent, 0, &l_ChildrenCount )", 251};
constexpr tCallSite kGetBridgeChildrenFill{
    "m_PciBrdDynLib.GetBridgeChildren( m_Session, a_Parent, &l_Child[0], &l_ChildrenCount )", 268};
constexpr tCallSite kGetBusChildrenCount{
    "m_PciBrdDynLib.GetBusChildren( m_Session, a_Bus, 0, &l_ChildrenCount )", 298};
constexpr tCallSite kGetBusChildrenFill{
    "m_PciBrdDynLib.GetBusChildren( m_Session, a_Bus, &l_Child[0], &l_ChildrenCount )", 315};
constexpr tCallSite kGetRootBusesCount{
    "m_PciBrdDynLib.GetRootBuses( m_Session, 0, &l_RootBusCount )", 343};
constexpr tCallSite kGetRootBusesFill{
    "m_PciBrdDynLib.GetRootBuses( m_Session, &l_RootBuses[0], &l_RootBusCount )", 359};
constexpr tCallSite kGetBridgeAddress{
    "m_PciBrdDynLib.GetBridgeAddress( m_Session, a_BridgeRef, a_pBus, a_pDev, a_pFunc )", 390};
constexpr tCallSite kGetBridgeSlotPath{
    "m_PciBrdDynLib.GetBridgeSlotPath( m_Session, a_BridgeRef, a_rSlotPath )", 411};
constexpr tCallSite kGetBridgeIds{
    "m_PciBrdDynLib.GetBridgeIds( m_Session, a_BridgeRef, a_pVid, a_pPid, a_pSsVid, a_pSsPid )",
    438};
constexpr tCallSite kSetAttributeU32{
    "m_PciBrdDynLib.SetAttributeU32( m_Session, a_BridgeRef, a_AttributeId, a_Value )", 461};
constexpr tCallSite kGetAttributeU32{
    "m_PciBrdDynLib.GetAttributeU32( m_Session, a_BridgeRef, a_AttributeId, &a_rAttributeBuffer "
    ")",
    484};
constexpr tCallSite kOpenBridge{"m_PciBrdDynLib.OpenBridge( m_Session, a_BridgeRef )", 503};
constexpr tCallSite kEepromUpdate{
    "m_PciBrdDynLib.EepromUpdate( m_Session, a_Bridge, a_Vid, a_Pid, a_AlwaysOverwrite, "
    "a_UpdateMethod, a_ByteCount, a_pBuffer )",
    545};

// The temporary array of a count-then-fill operation could not be had; one line per operation,
// between its two calls.
constexpr const char* kMemoryFullName = statusCodeName(kStatusMemoryFull);
constexpr tCallSite kFindBridgesMemory{kMemoryFullName, 123};
constexpr tCallSite kGetBridgeChildrenMemory{kMemoryFullName, 260};
constexpr tCallSite kGetBusChildrenMemory{kMemoryFullName, 307};
constexpr tCallSite kGetRootBusesMemory{kMemoryFullName, 351};

// 256 buses of 32 devices with 8 functions each.
constexpr std::uint32_t kMaxArrayElements = 256 * 32 * 8;

// Stores a_Result by the precedence rule with the details of the call that produced it.
void record(tDetailedStatus* a_pStatus, std::int32_t a_Result, const tCallSite& a_rSite) {
    char* l_pCursor = nullptr;
    if (!setDetailedError(a_pStatus, a_Result, &l_pCursor)) {
        return;
    }
    addErrorMembers(l_pCursor, detailsGrowth(a_pStatus), a_rSite.text, kFile, a_rSite.line);
}

// One call of the library, made only while the status holds no error, and its result recorded
// at the call's site.
template <class tCall>
void checkedCall(tDetailedStatus* a_pStatus, const tCallSite& a_rSite, tCall a_Call) {
    if (a_pStatus->code < 0) {
        return;
    }
    record(a_pStatus, a_Call(), a_rSite);
}

// Fetches an array of unknown length: a first call with no buffer learns the count, a second
// one fills a zeroed array of exactly that count, and the caller gets the elements the second
// call reports as filled. a_Fetch(buffer, count address) makes a call.
template <class tElement, class tFetch>
void countThenFill(std::vector<tElement>& a_rOut, tDetailedStatus* a_pStatus,
                   const tCallSite& a_rCount, const tCallSite& a_rFill, const tCallSite& a_rMemory,
                   tFetch a_Fetch) noexcept {
    if (a_pStatus->code < 0) {
        return;
    }
    std::uint32_t l_Count = 0;
    record(a_pStatus, a_Fetch(static_cast<tElement*>(nullptr), &l_Count), a_rCount);
    if (a_pStatus->code != kStatusBufferTooSmall) {
        return;
    }
    // "Buffer too small" is the expected answer to the count query, not a failure; a warning
    // held before is not brought back.
    a_pStatus->code = 0;
    restartDocument(a_pStatus);
    std::vector<tElement> l_Temporary;
    if (l_Count > kMaxArrayElements) {
        // More than a PCI hierarchy can hold: refused as an allocator would refuse it, rather
        // than zeroing gigabytes for a library that answers nonsense.
        record(a_pStatus, kStatusMemoryFull, a_rMemory);
        return;
    }
    try {
        l_Temporary.resize(l_Count);
    } catch (...) {
        record(a_pStatus, kStatusMemoryFull, a_rMemory);
        return;
    }
    const std::uint32_t l_Room = l_Count;
    record(a_pStatus, a_Fetch(l_Temporary.data(), &l_Count), a_rFill);
    if (a_pStatus->code < 0) {
        return;
    }
    if (l_Count > l_Room) {
        // A fill that claims more than the buffer holds did not fit: the buffer was too small.
        record(a_pStatus, kStatusBufferTooSmall, a_rFill);
        return;
    }
    // Only what the library reports as filled: the rest of the zeroed array it never wrote, and
    // 0 is a real bus number and no bridge reference. Shrinking and swapping cannot fail.
    l_Temporary.resize(l_Count);
    a_rOut.swap(l_Temporary);
}

} // namespace

cPciBrdWrapper_sc::cPciBrdWrapper_sc(tDetailedStatus* a_pStatus) noexcept
    : m_Session(kNoSession), m_SessionOpen(false), m_PciBrdDynLib(a_pStatus) {}

cPciBrdWrapper_sc::~cPciBrdWrapper_sc() {
    // The entry table (and with it the library) goes only after this.
    if (m_SessionOpen) {
        CloseOpenSession();
    }
}

void cPciBrdWrapper_sc::CloseOpenSession() noexcept {
    m_PciBrdDynLib.CloseSession(m_Session);
    m_Session = kNoSession;
    m_SessionOpen = false;
}

void cPciBrdWrapper_sc::OpenSession(std::uint32_t a_Flags, tDetailedStatus* a_pStatus) noexcept {
    if (a_pStatus->code < 0) {
        return;
    }
    if (m_SessionOpen) {
        CloseOpenSession();
    }
    record(a_pStatus, m_PciBrdDynLib.OpenSession(a_Flags, &m_Session), kOpenSession);
    if (a_pStatus->code >= 0) {
        m_SessionOpen = true;
    } else {
        // Whatever a failing library wrote there is no session of ours: closing it could end
        // one that belongs to somebody else.
        m_Session = kNoSession;
    }
}

void cPciBrdWrapper_sc::CloseSession() noexcept {
    CloseOpenSession();
}

bool cPciBrdWrapper_sc::IsSessionOpen() const noexcept {
    return m_SessionOpen;
}

void cPciBrdWrapper_sc::FindBridgesByPciIds(const std::uint16_t* a_pVid,
                                            const std::uint16_t* a_pPid,
                                            const std::uint16_t* a_pSsVid,
                                            const std::uint16_t* a_pSsPid,
                                            std::vector<std::uint32_t>& a_rBridges,
                                            tDetailedStatus* a_pStatus) noexcept {
    countThenFill(a_rBridges, a_pStatus, kFindBridgesCount, kFindBridgesFill, kFindBridgesMemory,
                  [&](std::uint32_t* a_pBridges, std::uint32_t* a_pCount) {
                      return m_PciBrdDynLib.FindBridgesByPciIds(m_Session, a_pVid, a_pPid, a_pSsVid,
                                                                a_pSsPid, a_pBridges, a_pCount);
                  });
}

void cPciBrdWrapper_sc::FindBridgeByAddress(std::uint8_t a_Bus, std::uint8_t a_Dev,
                                            std::uint8_t a_Func, std::uint32_t& a_rBridgeRef,
                                            tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kFindBridgeByAddress, [&] {
        return m_PciBrdDynLib.FindBridgeByAddress(m_Session, a_Bus, a_Dev, a_Func, &a_rBridgeRef);
    });
}

void cPciBrdWrapper_sc::FindBridgeBySlotPath(const cSlotPath& a_rSlotPath,
                                             std::uint32_t& a_rBridgeRef,
                                             tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kFindBridgeBySlotPath, [&] {
        return m_PciBrdDynLib.FindBridgeBySlotPath(m_Session, a_rSlotPath, &a_rBridgeRef);
    });
}

void cPciBrdWrapper_sc::FindParentBridgeForBus(std::uint8_t a_Bus, std::uint32_t& a_rBridgeRef,
                                               tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kFindParentBridgeForBus, [&] {
        return m_PciBrdDynLib.FindParentBridgeForBus(m_Session, a_Bus, &a_rBridgeRef);
    });
}

void cPciBrdWrapper_sc::GetBridgeParent(std::uint32_t a_Child, std::uint32_t& a_rBridgeRef,
                                        tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kGetBridgeParent,
                [&] { return m_PciBrdDynLib.GetBridgeParent(m_Session, a_Child, &a_rBridgeRef); });
}

void cPciBrdWrapper_sc::GetBridgeChildren(std::uint32_t a_Parent,
                                          std::vector<std::uint32_t>& a_rChildren,
                                          tDetailedStatus* a_pStatus) noexcept {
    countThenFill(
        a_rChildren, a_pStatus, kGetBridgeChildrenCount, kGetBridgeChildrenFill,
        kGetBridgeChildrenMemory, [&](std::uint32_t* a_pChildren, std::uint32_t* a_pCount) {
            return m_PciBrdDynLib.GetBridgeChildren(m_Session, a_Parent, a_pChildren, a_pCount);
        });
}

void cPciBrdWrapper_sc::GetBusChildren(std::uint8_t a_Bus, std::vector<std::uint32_t>& a_rChildren,
                                       tDetailedStatus* a_pStatus) noexcept {
    countThenFill(a_rChildren, a_pStatus, kGetBusChildrenCount, kGetBusChildrenFill,
                  kGetBusChildrenMemory, [&](std::uint32_t* a_pChildren, std::uint32_t* a_pCount) {
                      return m_PciBrdDynLib.GetBusChildren(m_Session, a_Bus, a_pChildren, a_pCount);
                  });
}

void cPciBrdWrapper_sc::GetRootBuses(std::vector<std::uint8_t>& a_rRootBuses,
                                     tDetailedStatus* a_pStatus) noexcept {
    countThenFill(a_rRootBuses, a_pStatus, kGetRootBusesCount, kGetRootBusesFill,
                  kGetRootBusesMemory, [&](std::uint8_t* a_pBuses, std::uint32_t* a_pCount) {
                      return m_PciBrdDynLib.GetRootBuses(m_Session, a_pBuses, a_pCount);
                  });
}

void cPciBrdWrapper_sc::GetBridgeAddress(std::uint32_t a_BridgeRef, std::uint8_t* a_pBus,
                                         std::uint8_t* a_pDev, std::uint8_t* a_pFunc,
                                         tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kGetBridgeAddress, [&] {
        return m_PciBrdDynLib.GetBridgeAddress(m_Session, a_BridgeRef, a_pBus, a_pDev, a_pFunc);
    });
}

void cPciBrdWrapper_sc::GetBridgeSlotPath(std::uint32_t a_BridgeRef, cSlotPath& a_rSlotPath,
                                          tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kGetBridgeSlotPath, [&] {
        return m_PciBrdDynLib.GetBridgeSlotPath(m_Session, a_BridgeRef, a_rSlotPath);
    });
}

void cPciBrdWrapper_sc::GetBridgeIds(std::uint32_t a_BridgeRef, std::uint16_t* a_pVid,
                                     std::uint16_t* a_pPid, std::uint16_t* a_pSsVid,
                                     std::uint16_t* a_pSsPid, tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kGetBridgeIds, [&] {
        return m_PciBrdDynLib.GetBridgeIds(m_Session, a_BridgeRef, a_pVid, a_pPid, a_pSsVid,
                                           a_pSsPid);
    });
}

void cPciBrdWrapper_sc::SetAttributeU32(std::uint32_t a_BridgeRef, std::uint32_t a_AttributeId,
                                        std::uint32_t a_Value,
                                        tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kSetAttributeU32, [&] {
        return m_PciBrdDynLib.SetAttributeU32(m_Session, a_BridgeRef, a_AttributeId, a_Value);
    });
}

void cPciBrdWrapper_sc::GetAttributeU32(std::uint32_t a_BridgeRef, std::uint32_t a_AttributeId,
                                        std::uint32_t& a_rAttributeBuffer,
                                        tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kGetAttributeU32, [&] {
        return m_PciBrdDynLib.GetAttributeU32(m_Session, a_BridgeRef, a_AttributeId,
                                              &a_rAttributeBuffer);
    });
}

void cPciBrdWrapper_sc::OpenBridge(std::uint32_t a_BridgeRef, tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kOpenBridge,
                [&] { return m_PciBrdDynLib.OpenBridge(m_Session, a_BridgeRef); });
}

void cPciBrdWrapper_sc::CloseBridge(std::uint32_t a_BridgeRef) noexcept {
    m_PciBrdDynLib.CloseBridge(m_Session, a_BridgeRef);
}

void cPciBrdWrapper_sc::EepromUpdate(std::uint32_t a_Bridge, std::uint16_t a_Vid,
                                     std::uint16_t a_Pid, std::uint32_t a_AlwaysOverwrite,
                                     std::uint32_t a_UpdateMethod, std::uint32_t a_ByteCount,
                                     const void* a_pBuffer, tDetailedStatus* a_pStatus) noexcept {
    checkedCall(a_pStatus, kEepromUpdate, [&] {
        return m_PciBrdDynLib.EepromUpdate(m_Session, a_Bridge, a_Vid, a_Pid, a_AlwaysOverwrite,
                                           a_UpdateMethod, a_ByteCount, a_pBuffer);
    });
}

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
