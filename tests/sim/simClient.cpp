#include "tests/sim/simClient.h"

#include "platform/win32/zuPlatform.h"
#include "tests/support/zuEnvironment.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace nZU7461_14_0 {
namespace nSimTest {
namespace {

#ifdef _WIN32
const WCHAR kLibraryName[] = L"zupcibrd.dll";
#else
const WCHAR kLibraryName[] = u"zupcibrd.dll";
#endif

template <typename tEntry>
void resolve(HMODULE a_Module, const char* a_pName, tEntry& a_rEntry, tSimApi& a_rApi) {
    a_rEntry = reinterpret_cast<tEntry>(reinterpret_cast<void*>(GetProcAddress(a_Module, a_pName)));
    if (a_rEntry == nullptr) {
        a_rApi.m_Missing.push_back(a_pName);
    }
}

tSimApi loadApi() {
    tSimApi l_Api;
    const HMODULE l_Module = LoadLibraryExW(kLibraryName, nullptr, 0);
    if (l_Module == nullptr) {
        return l_Api;
    }
    l_Api.m_Loaded = true;
    resolve(l_Module, "ZuPciBrd_OpenSession", l_Api.OpenSession, l_Api);
    resolve(l_Module, "ZuPciBrd_CloseSession", l_Api.CloseSession, l_Api);
    resolve(l_Module, "ZuPciBrd_FindBridgesByPciIds", l_Api.FindBridgesByPciIds, l_Api);
    resolve(l_Module, "ZuPciBrd_FindBridgeByAddress", l_Api.FindBridgeByAddress, l_Api);
    resolve(l_Module, "ZuPciBrd_FindBridgeBySlotPath", l_Api.FindBridgeBySlotPath, l_Api);
    resolve(l_Module, "ZuPciBrd_FindParentBridgeForBus", l_Api.FindParentBridgeForBus, l_Api);
    resolve(l_Module, "ZuPciBrd_GetBridgeParent", l_Api.GetBridgeParent, l_Api);
    resolve(l_Module, "ZuPciBrd_GetBridgeChildren", l_Api.GetBridgeChildren, l_Api);
    resolve(l_Module, "ZuPciBrd_GetBusChildren", l_Api.GetBusChildren, l_Api);
    resolve(l_Module, "ZuPciBrd_GetRootBuses", l_Api.GetRootBuses, l_Api);
    resolve(l_Module, "ZuPciBrd_GetBridgeAddress", l_Api.GetBridgeAddress, l_Api);
    resolve(l_Module, "ZuPciBrd_GetBridgeSlotPath", l_Api.GetBridgeSlotPath, l_Api);
    resolve(l_Module, "ZuPciBrd_GetBridgeIds", l_Api.GetBridgeIds, l_Api);
    resolve(l_Module, "ZuPciBrd_SetAttributeU32", l_Api.SetAttributeU32, l_Api);
    resolve(l_Module, "ZuPciBrd_GetAttributeU32", l_Api.GetAttributeU32, l_Api);
    resolve(l_Module, "ZuPciBrd_OpenBridge", l_Api.OpenBridge, l_Api);
    resolve(l_Module, "ZuPciBrd_CloseBridge", l_Api.CloseBridge, l_Api);
    resolve(l_Module, "ZuPciBrd_EepromUpdate", l_Api.EepromUpdate, l_Api);
    resolve(l_Module, "ZuPciBrdSim_WaitAtGate", l_Api.WaitAtGate, l_Api);
    resolve(l_Module, "ZuPciBrdSim_ReleaseGate", l_Api.ReleaseGate, l_Api);
    return l_Api;
}

std::filesystem::path fromUtf8(const std::string& a_rText) {
    return std::filesystem::u8path(a_rText);
}

} // namespace

const tSimApi& simApi() {
    static const tSimApi s_Api = loadApi();
    return s_Api;
}

cTopologyVariable::cTopologyVariable(const std::string& a_rUtf8Path) {
    zuTest::setEnvironment(ZUPCIBRD_SIM_TOPOLOGY_VARIABLE, a_rUtf8Path);
}

cTopologyVariable::~cTopologyVariable() {
    zuTest::setEnvironment(ZUPCIBRD_SIM_TOPOLOGY_VARIABLE, "");
}

cTempFile::cTempFile(const std::string& a_rUtf8Stem, const std::string& a_rContent) {
    // Test cases of one program may run as parallel processes: make every name unique.
    static std::atomic<unsigned> s_Counter{0};
    std::random_device l_Random;
    const std::string l_Name = a_rUtf8Stem + "-" + std::to_string(l_Random()) + "-" +
                               std::to_string(s_Counter++) + ".json";
    const std::filesystem::path l_Path = std::filesystem::temp_directory_path() / fromUtf8(l_Name);
    m_Path = l_Path.u8string();
    std::ofstream l_File(l_Path, std::ios::binary);
    l_File << a_rContent;
}

cTempFile::~cTempFile() {
    std::error_code l_Error;
    std::filesystem::remove(fromUtf8(m_Path), l_Error);
}

cSession::cSession() {
    m_Code = simApi().OpenSession(0, &m_Handle);
}

cSession::~cSession() {
    if (m_Code >= 0) {
        simApi().CloseSession(m_Handle);
    }
}

} // namespace nSimTest
} // namespace nZU7461_14_0
