// The simulated bridge driver for one test: its machine, its call log, the module held.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <filesystem>
#include <process.h>
#define ZU_TEST_PROCESS_ID _getpid()
#else
#include <unistd.h>
#define ZU_TEST_PROCESS_ID getpid()
#endif

#include "sim/zupcibrdSim.h"
#include "tests/support/zuModuleLoader.h"

namespace zuTest {

// A variable of this process's environment, read by the libraries it loads; "" removes it.
inline void setEnvironment(const char* a_pName, const std::string& a_rUtf8Value) {
#ifdef _WIN32
    // The wide form, so that a value outside the ANSI code page (a path) survives.
    _wputenv_s(std::filesystem::u8path(a_pName).wstring().c_str(),
               std::filesystem::u8path(a_rUtf8Value).wstring().c_str());
#else
    a_rUtf8Value.empty() ? unsetenv(a_pName) : setenv(a_pName, a_rUtf8Value.c_str(), 1);
#endif
}

using tBridgeValues = std::vector<std::optional<std::uint32_t>>;

// At most 255 bridges: each owns a secondary bus. a_rFaults: the "faults" member, if any.
inline std::string chassisTopology(const tBridgeValues& a_rValues,
                                   const std::string& a_rFaults = "") {
    std::string l_Json = "{\"rootBuses\":[0],\"bridges\":[";
    for (std::size_t l_Index = 0; l_Index < a_rValues.size(); ++l_Index) {
        l_Json +=
            std::string(l_Index == 0 ? "\n" : ",\n") +
            "{\"bus\":0,\"device\":" + std::to_string(l_Index / 8) +
            ",\"function\":" + std::to_string(l_Index % 8) +
            ",\"secondaryBus\":" + std::to_string(l_Index + 1) +
            ",\"vendorId\":1,\"deviceId\":2,\"subsystemVendorId\":\"0x1F3C\","
            "\"subsystemId\":\"0x5C2E\"" +
            (a_rValues[l_Index]
                 ? ",\"attributes\":{\"0x20000300\":" + std::to_string(*a_rValues[l_Index]) + "}"
                 : "") +
            "}";
    }
    return l_Json + "]" + (a_rFaults.empty() ? "" : ",\"faults\":" + a_rFaults) + "}";
}

// A file of this process's own, named in a simulator variable until destroyed.
class cSimFile {
public:
    cSimFile(const char* a_pVariable, const char* a_pStem)
        : m_pVariable(a_pVariable),
          m_Path(a_pStem + ("-" + std::to_string(ZU_TEST_PROCESS_ID)) + ".txt") {
        clear();
        setEnvironment(m_pVariable, m_Path);
    }
    ~cSimFile() {
        setEnvironment(m_pVariable, "");
        clear();
    }
    cSimFile(const cSimFile&) = delete;
    cSimFile& operator=(const cSimFile&) = delete;

    void use(const std::string& a_rText) const {
        std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << a_rText;
    }
    std::string text() const {
        std::ifstream l_In(m_Path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(l_In), std::istreambuf_iterator<char>());
    }
    void clear() const { std::remove(m_Path.c_str()); }
    // What was logged since the last take, which starts the log afresh.
    std::string take() const {
        std::string l_Text = text();
        clear();
        return l_Text;
    }

private:
    const char* const m_pVariable;
    const std::string m_Path;
};

struct cTopologyFile : cSimFile {
    explicit cTopologyFile(const std::string& a_rJson)
        : cSimFile("ZUPCIBRD_SIM_TOPOLOGY", "topology") {
        use(a_rJson);
    }
};

struct cCallLog : cSimFile {
    cCallLog() : cSimFile("ZUPCIBRD_SIM_LOG", "calls") {}
};

// Held, the simulator (or a variant: "no-OpenSession") is what the finder's load by name gets.
class cHeldSimulator {
public:
    explicit cHeldSimulator(const std::string& a_rVariant = "")
        : m_Module(modulePath("zupcibrd", a_rVariant.empty() ? "" : "sim-variants/" + a_rVariant)) {
    }
    // Waits (up to a minute) until a_Calls calls are held at the gate; 0 asks how many are.
    std::uint32_t waitAtGate(const char* a_pGate, std::uint32_t a_Calls) const {
        return m_Module.get<tZuPciBrdSim_WaitAtGate>("ZuPciBrdSim_WaitAtGate")(
            a_pGate, a_Calls, a_Calls == 0 ? 0 : 60000);
    }
    // Gates hold calls only once the process has called a gate control: call this before the
    // call that should wait can reach the gate.
    void armGate(const char* a_pGate) const { release(a_pGate, 0); }
    void openGate(const char* a_pGate) const { release(a_pGate, ZUPCIBRD_SIM_GATE_OPEN); }

private:
    void release(const char* a_pGate, std::uint32_t a_Calls) const {
        m_Module.get<tZuPciBrdSim_ReleaseGate>("ZuPciBrdSim_ReleaseGate")(a_pGate, a_Calls);
    }

    tLoadedModule m_Module;
};

} // namespace zuTest
