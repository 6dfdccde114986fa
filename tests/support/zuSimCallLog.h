// The simulator (or a variant lacking an entry point) held loaded by full path, and its gates.
#pragma once

#include <cstdint>
#include <string>

#include "sim/zupcibrdSim.h"
#include "tests/support/zuEnvironment.h"
#include "tests/support/zuModuleLoader.h"
#include "tests/support/zuSimTopology.h"

namespace zuTest {

// With the simulator held, the finder's load by bare name gets this very module: its gates, its
// call numbering, or the entry point a variant lacks. a_rVariant names one ("no-OpenSession").
class cHeldSimulator {
public:
    explicit cHeldSimulator(const std::string& a_rVariant = "")
        : m_Module(modulePath("zupcibrd", a_rVariant.empty() ? "" : "sim-variants/" + a_rVariant)) {
    }
    std::uint32_t waitAtGate(const char* a_pGate, std::uint32_t a_Calls) const {
        return m_Module.get<tZuPciBrdSim_WaitAtGate>("ZuPciBrdSim_WaitAtGate")(a_pGate, a_Calls,
                                                                               60000);
    }
    std::uint32_t heldAtGate(const char* a_pGate) const {
        return m_Module.get<tZuPciBrdSim_WaitAtGate>("ZuPciBrdSim_WaitAtGate")(a_pGate, 0, 0);
    }
    void openGate(const char* a_pGate) const {
        m_Module.get<tZuPciBrdSim_ReleaseGate>("ZuPciBrdSim_ReleaseGate")(a_pGate,
                                                                          ZUPCIBRD_SIM_GATE_OPEN);
    }

private:
    tLoadedModule m_Module;
};

// A topology with a "faults" member added.
inline std::string withFaults(std::string a_Topology, const std::string& a_rFaults) {
    return a_rFaults.empty() ? a_Topology
                             : a_Topology.insert(a_Topology.rfind('}'), ",\"faults\":" + a_rFaults);
}

} // namespace zuTest
