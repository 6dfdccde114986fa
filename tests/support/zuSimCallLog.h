// The simulator's call log as a test reads it, the simulator (or a variant lacking an entry
// point) held loaded by full path, and its gates.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "sim/zupcibrdSim.h"
#include "tests/support/zuEnvironment.h"
#include "tests/support/zuModuleLoader.h"

namespace zuTest {

// Points the simulator's call log at a file of this process until destroyed.
class cCallLog {
public:
    cCallLog() {
#ifdef _WIN32
        m_Path = "calls-" + std::to_string(_getpid()) + ".log";
#else
        m_Path = "calls-" + std::to_string(getpid()) + ".log";
#endif
        clear();
        setEnvironment("ZUPCIBRD_SIM_LOG", m_Path);
    }
    ~cCallLog() {
        setEnvironment("ZUPCIBRD_SIM_LOG", "");
        clear();
    }
    cCallLog(const cCallLog&) = delete;
    cCallLog& operator=(const cCallLog&) = delete;

    std::string text() const {
        std::ostringstream l_Text;
        l_Text << std::ifstream(m_Path, std::ios::binary).rdbuf();
        return l_Text.str();
    }
    void clear() const {
        std::remove(m_Path.c_str());
    }

private:
    std::string m_Path;
};

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
