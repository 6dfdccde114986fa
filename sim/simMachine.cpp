#include "sim/simMachine.h"

#include "sim/builtinMachine.h" // generated from builtinMachine.json
#include "sim/zupcibrdSim.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include "platform/win32/zuPlatform.h"
#endif

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

// No real machine needs more; the limit keeps a wrong file name (a disk image, say) from being
// read whole.
constexpr std::size_t kMaxTopologyBytes = 1024 * 1024;

bool isHexDigit(char a_Char) {
    return (a_Char >= '0' && a_Char <= '9') || ((a_Char | 0x20) >= 'a' && (a_Char | 0x20) <= 'f');
}

// "MRbb:" then zero or more two-digit elements separated by commas; hex digits of either case.
// Nothing may follow the last element. Each character is looked at only after the ones before
// it matched, so an unterminated text is never read further than its well-formed beginning.
bool isSlotPath(const char* a_pText) {
    auto l_HexPair = [](const char* a_pAt) { return isHexDigit(a_pAt[0]) && isHexDigit(a_pAt[1]); };
    if (a_pText[0] != 'M' || a_pText[1] != 'R' || !l_HexPair(a_pText + 2) || a_pText[4] != ':') {
        return false;
    }
    const char* l_pAt = a_pText + 5;
    if (*l_pAt == '\0') {
        return true;
    }
    while (l_HexPair(l_pAt) && l_pAt[2] == ',') {
        l_pAt += 3;
    }
    return l_HexPair(l_pAt) && l_pAt[2] == '\0';
}

std::int32_t answered(tAnswer& a_rAnswer, tAnswer a_Values) {
    a_rAnswer = std::move(a_Values);
    return 0;
}

// Why a path cannot be the topology file before it is opened, or empty. A FIFO would hold the
// open until a writer comes, perhaps forever; a folder opens on some systems only to fail at
// the first read with a less telling message; a device may never end.
std::string whyNotAFile(const std::filesystem::path& a_rPath) {
    std::error_code l_Error;
    const std::filesystem::file_status l_Status = std::filesystem::status(a_rPath, l_Error);
    if (std::filesystem::is_directory(l_Status)) {
        return "is a folder, not a file";
    }
    if (std::filesystem::exists(l_Status) && !std::filesystem::is_regular_file(l_Status)) {
        return "is not a regular file";
    }
    return std::string();
}

// Opens the file named by the environment variable; false with a_rName empty when none is
// named. a_rRefusal says why a named path is not opened at all. Windows paths are read as
// UTF-16 so that any file name works.
bool openNamedFile(std::FILE*& a_rpFile, std::string& a_rName, std::string& a_rRefusal) {
#ifdef _WIN32
    const wchar_t* l_pPath = _wgetenv(L"" ZUPCIBRD_SIM_TOPOLOGY_VARIABLE);
#else
    const char* l_pPath = std::getenv(ZUPCIBRD_SIM_TOPOLOGY_VARIABLE);
#endif
    a_rpFile = nullptr;
    if (l_pPath == nullptr || *l_pPath == 0) {
        return false;
    }
    a_rRefusal = whyNotAFile(l_pPath);
#ifdef _WIN32
    a_rName = nZuPlatform::toUtf8(l_pPath);
    a_rpFile = a_rRefusal.empty() ? _wfopen(l_pPath, L"rb") : nullptr;
#else
    a_rName = l_pPath;
    a_rpFile = a_rRefusal.empty() ? std::fopen(l_pPath, "rb") : nullptr;
#endif
    return true;
}

// The machine and its faults from a topology file's text.
bool readMachine(const std::string& a_rText, cSimMachine& a_rMachine, tFaultScript& a_rFaults,
                 std::string& a_rFault) {
    tTopology l_Topology;
    tFaultScript l_Faults;
    if (!readTopology(a_rText, l_Topology, a_rFault) ||
        (l_Topology.m_pFaults && !parseFaults(*l_Topology.m_pFaults, l_Faults, a_rFault))) {
        return false;
    }
    a_rMachine = cSimMachine(std::move(l_Topology));
    a_rFaults = std::move(l_Faults);
    return true;
}

} // namespace

const tTopologyBridge* cSimMachine::find(std::uint32_t a_Bridge) const {
    for (const tTopologyBridge& l_Bridge : m_Topology.m_Bridges) {
        if (l_Bridge.m_Ref == a_Bridge) {
            return &l_Bridge;
        }
    }
    return nullptr;
}

tTopologyBridge* cSimMachine::find(std::uint32_t a_Bridge) {
    return const_cast<tTopologyBridge*>(static_cast<const cSimMachine*>(this)->find(a_Bridge));
}

const tTopologyBridge* cSimMachine::bridgeAt(std::uint8_t a_Bus, std::uint8_t a_Element) const {
    for (const tTopologyBridge& l_Bridge : m_Topology.m_Bridges) {
        if (l_Bridge.m_Bus == a_Bus &&
            slotPathElement(l_Bridge.m_Device, l_Bridge.m_Function) == a_Element) {
            return &l_Bridge;
        }
    }
    return nullptr;
}

bool cSimMachine::isRootBus(std::uint8_t a_Bus) const {
    const std::vector<std::uint8_t>& l_Roots = m_Topology.m_RootBuses;
    return std::find(l_Roots.begin(), l_Roots.end(), a_Bus) != l_Roots.end();
}

std::int32_t cSimMachine::bridgesWithIds(const std::uint16_t* a_pVid, const std::uint16_t* a_pPid,
                                         const std::uint16_t* a_pSsVid,
                                         const std::uint16_t* a_pSsPid, tAnswer& a_rAnswer) const {
    auto l_Matches = [](const std::uint16_t* a_pWanted, std::uint16_t a_Value) {
        return a_pWanted == nullptr || *a_pWanted == a_Value;
    };
    for (const tTopologyBridge& l_Bridge : m_Topology.m_Bridges) {
        if (l_Matches(a_pVid, l_Bridge.m_VendorId) && l_Matches(a_pPid, l_Bridge.m_DeviceId) &&
            l_Matches(a_pSsVid, l_Bridge.m_SubsystemVendorId) &&
            l_Matches(a_pSsPid, l_Bridge.m_SubsystemId)) {
            a_rAnswer.push_back(l_Bridge.m_Ref);
        }
    }
    return 0;
}

std::int32_t cSimMachine::bridgeAtAddress(std::uint8_t a_Bus, std::uint8_t a_Device,
                                          std::uint8_t a_Function, tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = bridgeAt(a_Bus, slotPathElement(a_Device, a_Function));
    return l_pBridge == nullptr ? ZUPCIBRD_SIM_NOT_FOUND : answered(a_rAnswer, {l_pBridge->m_Ref});
}

// Slot paths are unique: a well-formed text names the bridge whose path it spells.
std::int32_t cSimMachine::bridgeAtSlotPath(const char* a_pText, tAnswer& a_rAnswer) const {
    if (!isSlotPath(a_pText)) {
        return ZUPCIBRD_SIM_MALFORMED_SLOT_PATH;
    }
    std::string l_Path = a_pText;
    std::transform(l_Path.begin(), l_Path.end(), l_Path.begin(), [](char a_Char) {
        return a_Char >= 'a' && a_Char <= 'f' ? static_cast<char>(a_Char - 'a' + 'A') : a_Char;
    });
    for (const tTopologyBridge& l_Bridge : m_Topology.m_Bridges) {
        if (l_Bridge.m_SlotPath == l_Path) {
            return answered(a_rAnswer, {l_Bridge.m_Ref});
        }
    }
    return ZUPCIBRD_SIM_NOT_FOUND;
}

std::int32_t cSimMachine::bridgeAboveBus(std::uint8_t a_Bus, tAnswer& a_rAnswer) const {
    if (isRootBus(a_Bus)) {
        return answered(a_rAnswer, {0});
    }
    for (const tTopologyBridge& l_Bridge : m_Topology.m_Bridges) {
        if (l_Bridge.m_SecondaryBus == a_Bus) {
            return answered(a_rAnswer, {l_Bridge.m_Ref});
        }
    }
    return ZUPCIBRD_SIM_NOT_FOUND;
}

std::int32_t cSimMachine::parentOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = find(a_Bridge);
    return l_pBridge == nullptr ? ZUPCIBRD_SIM_UNKNOWN_BRIDGE
                                : answered(a_rAnswer, {l_pBridge->m_Parent});
}

std::int32_t cSimMachine::childrenOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = find(a_Bridge);
    return l_pBridge == nullptr ? ZUPCIBRD_SIM_UNKNOWN_BRIDGE
                                : bridgesOnBus(l_pBridge->m_SecondaryBus, a_rAnswer);
}

std::int32_t cSimMachine::bridgesOnBus(std::uint8_t a_Bus, tAnswer& a_rAnswer) const {
    const std::vector<tTopologyBridge>& l_Bridges = m_Topology.m_Bridges;
    if (!isRootBus(a_Bus) &&
        std::none_of(l_Bridges.begin(), l_Bridges.end(), [a_Bus](const tTopologyBridge& a_rBridge) {
            return a_rBridge.m_SecondaryBus == a_Bus;
        })) {
        return ZUPCIBRD_SIM_NOT_FOUND;
    }
    for (const tTopologyBridge& l_Bridge : l_Bridges) {
        if (l_Bridge.m_Bus == a_Bus) {
            a_rAnswer.push_back(l_Bridge.m_Ref);
        }
    }
    return 0;
}

std::int32_t cSimMachine::rootBuses(tAnswer& a_rAnswer) const {
    a_rAnswer.assign(m_Topology.m_RootBuses.begin(), m_Topology.m_RootBuses.end());
    return 0;
}

std::int32_t cSimMachine::addressOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = find(a_Bridge);
    return l_pBridge == nullptr ? ZUPCIBRD_SIM_UNKNOWN_BRIDGE
                                : answered(a_rAnswer, {l_pBridge->m_Bus, l_pBridge->m_Device,
                                                       l_pBridge->m_Function});
}

std::int32_t cSimMachine::slotPathOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = find(a_Bridge);
    if (l_pBridge == nullptr) {
        return ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
    }
    const std::string& l_Path = l_pBridge->m_SlotPath;
    return answered(a_rAnswer, tAnswer(l_Path.c_str(), l_Path.c_str() + l_Path.size() + 1));
}

std::int32_t cSimMachine::idsOf(std::uint32_t a_Bridge, tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = find(a_Bridge);
    return l_pBridge == nullptr
               ? ZUPCIBRD_SIM_UNKNOWN_BRIDGE
               : answered(a_rAnswer, {l_pBridge->m_VendorId, l_pBridge->m_DeviceId,
                                      l_pBridge->m_SubsystemVendorId, l_pBridge->m_SubsystemId});
}

std::int32_t cSimMachine::attributeOf(std::uint32_t a_Bridge, std::uint32_t a_Id,
                                      tAnswer& a_rAnswer) const {
    const tTopologyBridge* l_pBridge = find(a_Bridge);
    if (l_pBridge == nullptr) {
        return ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
    }
    const auto l_Attribute = l_pBridge->m_Attributes.find(a_Id);
    return l_Attribute == l_pBridge->m_Attributes.end()
               ? ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE
               : answered(a_rAnswer, {l_Attribute->second});
}

std::int32_t cSimMachine::setAttribute(std::uint32_t a_Bridge, std::uint32_t a_Id,
                                       std::uint32_t a_Value) {
    tTopologyBridge* l_pBridge = find(a_Bridge);
    if (l_pBridge == nullptr) {
        return ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
    }
    l_pBridge->m_Attributes[a_Id] = a_Value;
    return 0;
}

std::int32_t cSimMachine::setOpen(std::uint32_t a_Bridge, bool a_Open) {
    if (find(a_Bridge) == nullptr) {
        return ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
    }
    if (a_Open) {
        m_Open.insert(a_Bridge);
    } else {
        m_Open.erase(a_Bridge);
    }
    return 0;
}

std::int32_t cSimMachine::updateEeprom(std::uint32_t a_Bridge, std::uint16_t a_Vid,
                                       std::uint16_t a_Pid, bool a_Always) {
    tTopologyBridge* l_pBridge = find(a_Bridge);
    if (l_pBridge == nullptr) {
        return ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
    }
    if (m_Open.count(a_Bridge) == 0) {
        return ZUPCIBRD_SIM_BRIDGE_NOT_OPEN;
    }
    if (!a_Always && (a_Vid != l_pBridge->m_VendorId || a_Pid != l_pBridge->m_DeviceId)) {
        return ZUPCIBRD_SIM_EEPROM_ID_MISMATCH;
    }
    l_pBridge->m_VendorId = a_Vid;
    l_pBridge->m_DeviceId = a_Pid;
    return 0;
}

bool loadMachine(cSimMachine& a_rMachine, tFaultScript& a_rFaults, std::string& a_rFault) {
    std::FILE* l_pFile = nullptr;
    std::string l_Name;
    std::string l_Refusal;
    if (!openNamedFile(l_pFile, l_Name, l_Refusal)) {
        if (!readMachine(kBuiltinMachine, a_rMachine, a_rFaults, a_rFault)) {
            a_rFault = "built-in topology: " + a_rFault;
            return false;
        }
        return true;
    }
    const std::string l_Prefix = "topology file \"" + l_Name + "\": ";
    if (!l_Refusal.empty()) {
        a_rFault = l_Prefix + l_Refusal;
        return false;
    }
    if (l_pFile == nullptr) {
        a_rFault = l_Prefix + "cannot open: " + std::strerror(errno);
        return false;
    }
    std::string l_Text;
    char l_Chunk[4096];
    std::size_t l_Read = 0;
    while (l_Text.size() <= kMaxTopologyBytes &&
           (l_Read = std::fread(l_Chunk, 1, sizeof l_Chunk, l_pFile)) > 0) {
        l_Text.append(l_Chunk, l_Read);
    }
    const bool l_Failed = std::ferror(l_pFile) != 0;
    std::fclose(l_pFile);
    if (l_Failed) {
        a_rFault = l_Prefix + "cannot read";
        return false;
    }
    if (l_Text.size() > kMaxTopologyBytes) {
        a_rFault = l_Prefix + "larger than " + std::to_string(kMaxTopologyBytes) + " bytes";
        return false;
    }
    if (!readMachine(l_Text, a_rMachine, a_rFaults, a_rFault)) {
        a_rFault = l_Prefix + a_rFault;
        return false;
    }
    a_rFaults.m_Identity = l_Name + '\n' + l_Text;
    return true;
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
