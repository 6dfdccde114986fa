// A machine for the simulated bridge driver, written as a topology file for one test: chassis
// bridges side by side on bus 0, in the order given, each with its bridge value (or none, which
// the simulator answers with an error when the finder reads it). cCallLog reads back what the
// simulator was asked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "tests/support/zuEnvironment.h"

namespace zuTest {

// A file name of this process's own (the test runner runs tests of one program at once, each in
// a process of its own).
inline std::string processFileName(const std::string& a_rStem, const char* a_pSuffix) {
#ifdef _WIN32
    return a_rStem + "-" + std::to_string(_getpid()) + a_pSuffix;
#else
    return a_rStem + "-" + std::to_string(getpid()) + a_pSuffix;
#endif
}

using tBridgeValues = std::vector<std::optional<std::uint32_t>>;

// At most 255 bridges: each owns a secondary bus. a_rFaults: the "faults" member, if any.
inline std::string chassisTopology(const tBridgeValues& a_rValues,
                                   const std::string& a_rFaults = "") {
    std::string l_Json = "{\"rootBuses\":[0],\"bridges\":[";
    for (std::size_t l_Index = 0; l_Index < a_rValues.size(); ++l_Index) {
        l_Json += l_Index == 0 ? "\n" : ",\n";
        l_Json += "{\"bus\":0,\"device\":" + std::to_string(l_Index / 8) +
                  ",\"function\":" + std::to_string(l_Index % 8) +
                  ",\"secondaryBus\":" + std::to_string(l_Index + 1) +
                  ",\"vendorId\":1,\"deviceId\":2,\"subsystemVendorId\":\"0x1F3C\","
                  "\"subsystemId\":\"0x5C2E\"";
        if (a_rValues[l_Index]) {
            l_Json +=
                ",\"attributes\":{\"0x20000300\":" + std::to_string(*a_rValues[l_Index]) + "}";
        }
        l_Json += "}";
    }
    return l_Json + "]" + (a_rFaults.empty() ? "" : ",\"faults\":" + a_rFaults) + "}";
}

// Writes the file, named after this process, and points the simulator at it until destroyed.
// use() switches to another machine.
class cTopologyFile {
public:
    explicit cTopologyFile(const std::string& a_rJson) { use(a_rJson); }
    explicit cTopologyFile(const tBridgeValues& a_rValues) { use(chassisTopology(a_rValues)); }
    ~cTopologyFile() {
        setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", "");
        std::remove(m_Path.c_str());
    }
    cTopologyFile(const cTopologyFile&) = delete;
    cTopologyFile& operator=(const cTopologyFile&) = delete;

    void use(const std::string& a_rJson) {
        if (m_Path.empty()) {
            m_Path = processFileName("topology", ".json");
        }
        std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << a_rJson;
        setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", m_Path);
    }
    void use(const tBridgeValues& a_rValues) { use(chassisTopology(a_rValues)); }

private:
    std::string m_Path;
};

// Points the simulator's call log at a file named after this process until destroyed.
class cCallLog {
public:
    cCallLog() : m_Path(processFileName("calls", ".log")) {
        std::remove(m_Path.c_str());
        setEnvironment("ZUPCIBRD_SIM_LOG", m_Path);
    }
    ~cCallLog() {
        setEnvironment("ZUPCIBRD_SIM_LOG", "");
        std::remove(m_Path.c_str());
    }
    cCallLog(const cCallLog&) = delete;
    cCallLog& operator=(const cCallLog&) = delete;

    std::string text() const {
        std::ifstream l_In(m_Path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(l_In), std::istreambuf_iterator<char>());
    }
    void clear() const { std::remove(m_Path.c_str()); }
    // The lines logged since the last take, which starts the log afresh.
    std::string take() const {
        std::string l_Text = text();
        clear();
        return l_Text;
    }

private:
    std::string m_Path;
};

} // namespace zuTest
