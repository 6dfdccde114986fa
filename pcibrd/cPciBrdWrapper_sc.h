// The checked bridge wrapper: owns one library session and the entry table.
#pragma once

#include <cstdint>
#include <vector>

#include "pcibrd/cPciBrdDynLib.h"
#include "pcibrd/iPciBrdWrapper_sc.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

class cPciBrdWrapper_sc : public iPciBrdWrapper_sc {
public:
    static constexpr std::uint32_t kNoSession = 0xFFFFFFFFu;

    // Loads the library; failures go to a_pStatus. The wrapper is usable in any case: each
    // missing entry point is reported by the call that needs it.
    explicit cPciBrdWrapper_sc(tDetailedStatus* a_pStatus) noexcept;
    // Closes an open session before the library is unloaded.
    ~cPciBrdWrapper_sc() override;
    cPciBrdWrapper_sc(const cPciBrdWrapper_sc&) = delete;
    cPciBrdWrapper_sc& operator=(const cPciBrdWrapper_sc&) = delete;

    void OpenSession(std::uint32_t a_Flags, tDetailedStatus* a_pStatus) noexcept override;
    void CloseSession() noexcept override;
    bool IsSessionOpen() const noexcept override;
    void FindBridgesByPciIds(const std::uint16_t* a_pVid, const std::uint16_t* a_pPid,
                             const std::uint16_t* a_pSsVid, const std::uint16_t* a_pSsPid,
                             std::vector<std::uint32_t>& a_rBridges,
                             tDetailedStatus* a_pStatus) noexcept override;
    void FindBridgeByAddress(std::uint8_t a_Bus, std::uint8_t a_Dev, std::uint8_t a_Func,
                             std::uint32_t& a_rBridgeRef,
                             tDetailedStatus* a_pStatus) noexcept override;
    void FindBridgeBySlotPath(const cSlotPath& a_rSlotPath, std::uint32_t& a_rBridgeRef,
                              tDetailedStatus* a_pStatus) noexcept override;
    void FindParentBridgeForBus(std::uint8_t a_Bus, std::uint32_t& a_rBridgeRef,
                                tDetailedStatus* a_pStatus) noexcept override;
    void GetBridgeParent(std::uint32_t a_Child, std::uint32_t& a_rBridgeRef,
                         tDetailedStatus* a_pStatus) noexcept override;
    void GetBridgeChildren(std::uint32_t a_Parent, std::vector<std::uint32_t>& a_rChildren,
                           tDetailedStatus* a_pStatus) noexcept override;
    void GetBusChildren(std::uint8_t a_Bus, std::vector<std::uint32_t>& a_rChildren,
                        tDetailedStatus* a_pStatus) noexcept override;
    void GetRootBuses(std::vector<std::uint8_t>& a_rRootBuses,
                      tDetailedStatus* a_pStatus) noexcept override;
    void GetBridgeAddress(std::uint32_t a_BridgeRef, std::uint8_t* a_pBus, std::uint8_t* a_pDev,
                          std::uint8_t* a_pFunc, tDetailedStatus* a_pStatus) noexcept override;
    void GetBridgeSlotPath(std::uint32_t a_BridgeRef, cSlotPath& a_rSlotPath,
                           tDetailedStatus* a_pStatus) noexcept override;
    void GetBridgeIds(std::uint32_t a_BridgeRef, std::uint16_t* a_pVid, std::uint16_t* a_pPid,
                      std::uint16_t* a_pSsVid, std::uint16_t* a_pSsPid,
                      tDetailedStatus* a_pStatus) noexcept override;
    void SetAttributeU32(std::uint32_t a_BridgeRef, std::uint32_t a_AttributeId,
                         std::uint32_t a_Value, tDetailedStatus* a_pStatus) noexcept override;
    void GetAttributeU32(std::uint32_t a_BridgeRef, std::uint32_t a_AttributeId,
                         std::uint32_t& a_rAttributeBuffer,
                         tDetailedStatus* a_pStatus) noexcept override;
    void OpenBridge(std::uint32_t a_BridgeRef, tDetailedStatus* a_pStatus) noexcept override;
    void CloseBridge(std::uint32_t a_BridgeRef) noexcept override;
    void EepromUpdate(std::uint32_t a_Bridge, std::uint16_t a_Vid, std::uint16_t a_Pid,
                      std::uint32_t a_AlwaysOverwrite, std::uint32_t a_UpdateMethod,
                      std::uint32_t a_ByteCount, const void* a_pBuffer,
                      tDetailedStatus* a_pStatus) noexcept override;

    // The session handle the library gave (kNoSession while none was opened).
    std::uint32_t Session() const noexcept { return m_Session; }

private:
    void CloseOpenSession() noexcept;

    std::uint32_t m_Session;
    bool m_SessionOpen;
    cPciBrdDynLib m_PciBrdDynLib;
};

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
