// The only way the rest of the component talks to the bridge driver library: every library
// call is a checked call that records its outcome in the caller's tDetailedStatus.
#pragma once

#include <cstdint>
#include <vector>

#include "pcibrd/cSlotPath.h"
#include "status/tDetailedStatus.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

// Operations taking a status do nothing while it holds an error. A failure or warning of the
// library is recorded by the precedence rule with the text of the failing call; an entry point
// the library lacks is recorded as -313008. Array operations hide the library's
// count-then-fill protocol; their output is replaced only when the status ends without error.
class iPciBrdWrapper_sc {
public:
    virtual ~iPciBrdWrapper_sc() = default;

    // Closes a session that is open, then opens a new one.
    virtual void OpenSession(std::uint32_t a_Flags, tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void CloseSession() noexcept = 0;
    virtual bool IsSessionOpen() const noexcept = 0;
    // Null ID pointers match any value.
    virtual void FindBridgesByPciIds(const std::uint16_t* a_pVid, const std::uint16_t* a_pPid,
                                     const std::uint16_t* a_pSsVid, const std::uint16_t* a_pSsPid,
                                     std::vector<std::uint32_t>& a_rBridges,
                                     tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void FindBridgeByAddress(std::uint8_t a_Bus, std::uint8_t a_Dev, std::uint8_t a_Func,
                                     std::uint32_t& a_rBridgeRef,
                                     tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void FindBridgeBySlotPath(const cSlotPath& a_rSlotPath, std::uint32_t& a_rBridgeRef,
                                      tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void FindParentBridgeForBus(std::uint8_t a_Bus, std::uint32_t& a_rBridgeRef,
                                        tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetBridgeParent(std::uint32_t a_Child, std::uint32_t& a_rBridgeRef,
                                 tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetBridgeChildren(std::uint32_t a_Parent, std::vector<std::uint32_t>& a_rChildren,
                                   tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetBusChildren(std::uint8_t a_Bus, std::vector<std::uint32_t>& a_rChildren,
                                tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetRootBuses(std::vector<std::uint8_t>& a_rRootBuses,
                              tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetBridgeAddress(std::uint32_t a_BridgeRef, std::uint8_t* a_pBus,
                                  std::uint8_t* a_pDev, std::uint8_t* a_pFunc,
                                  tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetBridgeSlotPath(std::uint32_t a_BridgeRef, cSlotPath& a_rSlotPath,
                                   tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetBridgeIds(std::uint32_t a_BridgeRef, std::uint16_t* a_pVid,
                              std::uint16_t* a_pPid, std::uint16_t* a_pSsVid,
                              std::uint16_t* a_pSsPid, tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void SetAttributeU32(std::uint32_t a_BridgeRef, std::uint32_t a_AttributeId,
                                 std::uint32_t a_Value, tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void GetAttributeU32(std::uint32_t a_BridgeRef, std::uint32_t a_AttributeId,
                                 std::uint32_t& a_rAttributeBuffer,
                                 tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void OpenBridge(std::uint32_t a_BridgeRef, tDetailedStatus* a_pStatus) noexcept = 0;
    virtual void CloseBridge(std::uint32_t a_BridgeRef) noexcept = 0;
    virtual void EepromUpdate(std::uint32_t a_Bridge, std::uint16_t a_Vid, std::uint16_t a_Pid,
                              std::uint32_t a_AlwaysOverwrite, std::uint32_t a_UpdateMethod,
                              std::uint32_t a_ByteCount, const void* a_pBuffer,
                              tDetailedStatus* a_pStatus) noexcept = 0;
};

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
