// A client of the simulated bridge driver library: loads it by its bare name beside the test
// program, resolves the 18 entry points and the gate controls, and helps with sessions and
// topology files.
#pragma once

#include "sim/zupcibrdSim.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nSimTest {

struct tSimApi {
    tZuPciBrd_OpenSession OpenSession = nullptr;
    tZuPciBrd_CloseSession CloseSession = nullptr;
    tZuPciBrd_FindBridgesByPciIds FindBridgesByPciIds = nullptr;
    tZuPciBrd_FindBridgeByAddress FindBridgeByAddress = nullptr;
    tZuPciBrd_FindBridgeBySlotPath FindBridgeBySlotPath = nullptr;
    tZuPciBrd_FindParentBridgeForBus FindParentBridgeForBus = nullptr;
    tZuPciBrd_GetBridgeParent GetBridgeParent = nullptr;
    tZuPciBrd_GetBridgeChildren GetBridgeChildren = nullptr;
    tZuPciBrd_GetBusChildren GetBusChildren = nullptr;
    tZuPciBrd_GetRootBuses GetRootBuses = nullptr;
    tZuPciBrd_GetBridgeAddress GetBridgeAddress = nullptr;
    tZuPciBrd_GetBridgeSlotPath GetBridgeSlotPath = nullptr;
    tZuPciBrd_GetBridgeIds GetBridgeIds = nullptr;
    tZuPciBrd_SetAttributeU32 SetAttributeU32 = nullptr;
    tZuPciBrd_GetAttributeU32 GetAttributeU32 = nullptr;
    tZuPciBrd_OpenBridge OpenBridge = nullptr;
    tZuPciBrd_CloseBridge CloseBridge = nullptr;
    tZuPciBrd_EepromUpdate EepromUpdate = nullptr;
    tZuPciBrdSim_WaitAtGate WaitAtGate = nullptr;
    tZuPciBrdSim_ReleaseGate ReleaseGate = nullptr;
    // Names of the entry points that could not be resolved.
    std::vector<std::string> m_Missing;
    bool m_Loaded = false;
};

// Loaded once per process and kept, as a host keeps a library it uses.
const tSimApi& simApi();

// Sets the topology variable for its lifetime; an empty path clears it (built-in machine).
class cTopologyVariable {
public:
    explicit cTopologyVariable(const std::string& a_rUtf8Path);
    ~cTopologyVariable();
    cTopologyVariable(const cTopologyVariable&) = delete;
    cTopologyVariable& operator=(const cTopologyVariable&) = delete;
};

// A file in the temporary folder, removed again at the end of its lifetime.
class cTempFile {
public:
    cTempFile(const std::string& a_rUtf8Stem, const std::string& a_rContent);
    ~cTempFile();
    cTempFile(const cTempFile&) = delete;
    cTempFile& operator=(const cTempFile&) = delete;
    const std::string& path() const { return m_Path; }

private:
    std::string m_Path;
};

// A session on the simulator, closed at the end of its lifetime.
class cSession {
public:
    cSession();
    ~cSession();
    cSession(const cSession&) = delete;
    cSession& operator=(const cSession&) = delete;
    std::int32_t code() const { return m_Code; }
    std::uint32_t handle() const { return m_Handle; }

private:
    std::int32_t m_Code = 0;
    std::uint32_t m_Handle = 0;
};

} // namespace nSimTest
} // namespace nZU7461_14_0
