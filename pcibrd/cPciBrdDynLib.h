// The run-time binding to the bridge driver library: loads it, resolves its 18 entry points and
// offers one operation per entry point.
#pragma once

#include <cstdint>

#include "pcibrd/cSlotPath.h"
#include "pcibrd/zupcibrd.h"
#include "platform/win32/zuPlatform.h"
#include "status/tDetailedStatus.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

// Ends in one of three states and never changes later: inert (nothing loaded), loaded with the
// entry points before the first missing one, or ready (all 18). An operation whose entry point
// is missing answers -313008; the two Close operations then do nothing.
class cPciBrdDynLib {
public:
    // Failures of loading and resolving go to a_pStatus; nothing is loaded while it holds an
    // error.
    explicit cPciBrdDynLib(tDetailedStatus* a_pStatus) noexcept;
    // Unloads the library.
    virtual ~cPciBrdDynLib();
    cPciBrdDynLib(const cPciBrdDynLib&) = delete;
    cPciBrdDynLib& operator=(const cPciBrdDynLib&) = delete;

    virtual std::int32_t OpenSession(std::uint32_t a_Flags, std::uint32_t* a_pSession) noexcept;
    virtual void CloseSession(std::uint32_t a_Session) noexcept;
    virtual std::int32_t FindBridgesByPciIds(std::uint32_t a_Session, const std::uint16_t* a_pVid,
                                             const std::uint16_t* a_pPid,
                                             const std::uint16_t* a_pSsVid,
                                             const std::uint16_t* a_pSsPid,
                                             std::uint32_t* a_pBridges,
                                             std::uint32_t* a_pCount) noexcept;
    virtual std::int32_t FindBridgeByAddress(std::uint32_t a_Session, std::uint8_t a_Bus,
                                             std::uint8_t a_Dev, std::uint8_t a_Func,
                                             std::uint32_t* a_pBridge) noexcept;
    // Hands the library the slot path as text; a path that cannot be written as text answers
    // the formatting failure's code without calling the library.
    virtual std::int32_t FindBridgeBySlotPath(std::uint32_t a_Session, const cSlotPath& a_rSlotPath,
                                              std::uint32_t* a_pBridge) noexcept;
    virtual std::int32_t FindParentBridgeForBus(std::uint32_t a_Session, std::uint8_t a_Bus,
                                                std::uint32_t* a_pBridge) noexcept;
    virtual std::int32_t GetBridgeParent(std::uint32_t a_Session, std::uint32_t a_Child,
                                         std::uint32_t* a_pParent) noexcept;
    virtual std::int32_t GetBridgeChildren(std::uint32_t a_Session, std::uint32_t a_Parent,
                                           std::uint32_t* a_pChildren,
                                           std::uint32_t* a_pCount) noexcept;
    virtual std::int32_t GetBusChildren(std::uint32_t a_Session, std::uint8_t a_Bus,
                                        std::uint32_t* a_pChildren,
                                        std::uint32_t* a_pCount) noexcept;
    virtual std::int32_t GetRootBuses(std::uint32_t a_Session, std::uint8_t* a_pBuses,
                                      std::uint32_t* a_pCount) noexcept;
    virtual std::int32_t GetBridgeAddress(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                          std::uint8_t* a_pBus, std::uint8_t* a_pDev,
                                          std::uint8_t* a_pFunc) noexcept;
    // Fetches the slot path text by count-then-fill and parses it into a_rSlotPath. Answers the
    // library's code when it does not come to parsing, otherwise the parse's code (0 on
    // success); -52000 when the text buffer cannot be had.
    virtual std::int32_t GetBridgeSlotPath(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                           cSlotPath& a_rSlotPath) noexcept;
    virtual std::int32_t GetBridgeIds(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                      std::uint16_t* a_pVid, std::uint16_t* a_pPid,
                                      std::uint16_t* a_pSsVid, std::uint16_t* a_pSsPid) noexcept;
    virtual std::int32_t SetAttributeU32(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                         std::uint32_t a_AttributeId,
                                         std::uint32_t a_Value) noexcept;
    virtual std::int32_t GetAttributeU32(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                         std::uint32_t a_AttributeId,
                                         std::uint32_t* a_pValue) noexcept;
    virtual std::int32_t OpenBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) noexcept;
    virtual void CloseBridge(std::uint32_t a_Session, std::uint32_t a_Bridge) noexcept;
    virtual std::int32_t EepromUpdate(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                      std::uint16_t a_Vid, std::uint16_t a_Pid,
                                      std::uint32_t a_AlwaysOverwrite, std::uint32_t a_UpdateMethod,
                                      std::uint32_t a_ByteCount, const void* a_pBuffer) noexcept;

    bool IsLoaded() const noexcept { return m_Library != nullptr; }

private:
    HMODULE m_Library;
    tZuPciBrd_OpenSession m_pOpenSession;
    tZuPciBrd_CloseSession m_pCloseSession;
    tZuPciBrd_FindBridgesByPciIds m_pFindBridgesByPciIds;
    tZuPciBrd_FindBridgeByAddress m_pFindBridgeByAddress;
    tZuPciBrd_FindBridgeBySlotPath m_pFindBridgeBySlotPath;
    tZuPciBrd_FindParentBridgeForBus m_pFindParentBridgeForBus;
    tZuPciBrd_GetBridgeParent m_pGetBridgeParent;
    tZuPciBrd_GetBridgeChildren m_pGetBridgeChildren;
    tZuPciBrd_GetBusChildren m_pGetBusChildren;
    tZuPciBrd_GetRootBuses m_pGetRootBuses;
    tZuPciBrd_GetBridgeAddress m_pGetBridgeAddress;
    tZuPciBrd_GetBridgeSlotPath m_pGetBridgeSlotPath;
    tZuPciBrd_GetBridgeIds m_pGetBridgeIds;
    tZuPciBrd_SetAttributeU32 m_pSetAttributeU32;
    tZuPciBrd_GetAttributeU32 m_pGetAttributeU32;
    tZuPciBrd_OpenBridge m_pOpenBridge;
    tZuPciBrd_CloseBridge m_pCloseBridge;
    tZuPciBrd_EepromUpdate m_pEepromUpdate;
};

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
