// The simulated machine: root buses and bridges, read from a JSON document and checked.
#pragma once

#include "sim/simFaults.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

struct tSimBridge {
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
    bool m_Open = false;
};

struct tSimTopology {
    std::vector<std::uint8_t> m_RootBuses;
    // In document order, which is the order every listing answers in.
    std::vector<tSimBridge> m_Bridges;
    // The document's "faults" member; none without it.
    tFaultScript m_Faults;

    tSimBridge* findBridge(std::uint32_t a_Ref);
    bool isRootBus(std::uint8_t a_Bus) const;
    // A root bus or the secondary bus of a bridge.
    bool isKnownBus(std::uint8_t a_Bus) const;
};

// Reads a topology document. On a fault returns false with a one-line description that names
// where in the document it is.
bool parseTopology(const std::string& a_rText, tSimTopology& a_rTopology, std::string& a_rFault);

// The machine a session sees: the file named by the environment variable, or the built-in one.
// On a fault a_rFault names the file as well.
bool loadTopology(tSimTopology& a_rTopology, std::string& a_rFault);

const char* defaultTopologyText();

// The slot path element of a bridge: its device and function on the bus it sits on.
inline std::uint8_t slotPathElement(std::uint8_t a_Device, std::uint8_t a_Function) {
    return static_cast<std::uint8_t>((a_Device << 3) | a_Function);
}

std::string formatSlotPath(std::uint8_t a_RootBus, const std::vector<std::uint8_t>& a_rElements);

// "MRbb:" then zero or more two-digit elements separated by commas; hex digits of either case.
// Nothing may follow the last element.
bool parseSlotPath(const char* a_pText, std::uint8_t& a_rRootBus,
                   std::vector<std::uint8_t>& a_rElements);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
