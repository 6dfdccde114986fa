// The topology file: read by the simulated bridge driver library, written by the probe's
// recording, so that its format lives here alone. README.md describes it.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// A bridge as the file gives it, with what follows from the file: its parent and slot path.
struct tTopologyBridge {
    std::uint32_t m_Ref = 0;
    std::uint8_t m_Bus = 0;
    std::uint8_t m_Device = 0;
    std::uint8_t m_Function = 0;
    std::uint8_t m_SecondaryBus = 0;
    std::uint16_t m_VendorId = 0;
    std::uint16_t m_DeviceId = 0;
    std::uint16_t m_SubsystemVendorId = 0;
    std::uint16_t m_SubsystemId = 0;
    // 0 when the bridge sits on a root bus; references are never 0.
    std::uint32_t m_Parent = 0;
    std::string m_SlotPath;
    std::map<std::uint32_t, std::uint32_t> m_Attributes;
};

struct tTopology {
    std::vector<std::uint8_t> m_RootBuses;
    // In file order, which is the order every listing answers in.
    std::vector<tTopologyBridge> m_Bridges;
    // The "faults" member, for the simulator to read; null without one.
    std::shared_ptr<const nlohmann::json> m_pFaults;
};

// Reads and checks a topology file. On a fault returns false with a one-line description that
// names where in the file it is.
bool readTopology(const std::string& a_rText, tTopology& a_rTopology, std::string& a_rFault);

// The slot path element of a bridge: its device and function on the bus it sits on.
inline std::uint8_t slotPathElement(std::uint8_t a_Device, std::uint8_t a_Function) {
    return static_cast<std::uint8_t>((a_Device << 3) | a_Function);
}

// A bridge to write, with what the file says of it beyond its machine.
struct tWrittenBridge {
    tTopologyBridge m_Bridge; // its slot path is not written: the file's reader derives it
    bool m_StatesParent = false;
    std::string m_Comment; // none when empty
};

// The file below its top-level "comment": the root buses, the bridges and, when there are
// rules, a "faults" member with a_rRules under a_rRulesComment.
std::string topologyBody(const std::vector<std::uint8_t>& a_rRootBuses,
                         const std::vector<tWrittenBridge>& a_rBridges,
                         const std::vector<nlohmann::ordered_json>& a_rRules,
                         const std::string& a_rRulesComment);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
