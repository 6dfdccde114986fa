// The simulated machine: the root buses and bridges of a topology file, and the queries the
// entry points answer from. Each session holds its own copy: attribute changes, open bridges
// and the IDs an EEPROM update gave live until the session closes.
#pragma once

#include "sim/simFaultScript.h"
#include "sim/simTopologyFile.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// What a query answers beside its code: the outputs in order, or everything there is to list.
using tAnswer = std::vector<std::uint32_t>;

// Every query answers 0 or a ZUPCIBRD_SIM_* code, and fills a_rAnswer only when it answers 0.
class cSimMachine {
public:
    cSimMachine() = default;
    explicit cSimMachine(tTopology a_Topology) : m_Topology(std::move(a_Topology)) {}

    // A null ID matches any value.
    std::int32_t bridgesWithIds(const std::uint16_t* a_pVid, const std::uint16_t* a_pPid,
                                const std::uint16_t* a_pSsVid, const std::uint16_t* a_pSsPid,
                                tAnswer& a_rAnswer) const;
    std::int32_t bridgeAtAddress(std::uint8_t a_Bus, std::uint8_t a_Device, std::uint8_t a_Function,
                                 tAnswer& a_rAnswer) const;
    std::int32_t bridgeAtSlotPath(const char* a_pText, tAnswer& a_rAnswer) const;
    // 0 for a root bus: no bridge above it is an answer, not a failure.
    std::int32_t bridgeAboveBus(std::uint8_t a_Bus, tAnswer& a_rAnswer) const;
    std::int32_t parentOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const;
    std::int32_t childrenOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const;
    std::int32_t bridgesOnBus(std::uint8_t a_Bus, tAnswer& a_rAnswer) const;
    std::int32_t rootBuses(tAnswer& a_rAnswer) const;
    std::int32_t addressOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const;
    // The bytes of the text, its NUL included.
    std::int32_t slotPathOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const;
    std::int32_t idsOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const;
    std::int32_t attributeOf(std::uint32_t a_Bridge, std::uint32_t a_Id, tAnswer& a_rAnswer) const;
    std::int32_t setAttribute(std::uint32_t a_Bridge, std::uint32_t a_Id, std::uint32_t a_Value);
    // Opening an open bridge is harmless; one close closes it.
    std::int32_t setOpen(std::uint32_t a_Bridge, bool a_Open);
    // Only an open bridge takes an image, and only one meant for its vendor and device ID
    // unless a_Always: then it takes the image's IDs, as a device whose configuration EEPROM
    // is rewritten does. The image itself is not kept: nothing reads it back.
    std::int32_t updateEeprom(std::uint32_t a_Bridge, std::uint16_t a_Vid, std::uint16_t a_Pid,
                              bool a_Always);

private:
    const tTopologyBridge* find(std::uint32_t a_Bridge) const;
    tTopologyBridge* find(std::uint32_t a_Bridge);
    const tTopologyBridge* bridgeAt(std::uint8_t a_Bus, std::uint8_t a_Element) const;
    bool isRootBus(std::uint8_t a_Bus) const;

    tTopology m_Topology;
    std::set<std::uint32_t> m_Open;
};

// The machine a session sees: the file named by the environment variable, or the built-in one,
// with the faults it scripts. On a fault a_rFault names the file as well.
bool loadMachine(cSimMachine& a_rMachine, tFaultScript& a_rFaults, std::string& a_rFault);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
