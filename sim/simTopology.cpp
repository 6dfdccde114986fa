#include "sim/simTopology.h"

#include "sim/simReading.h"
#include "sim/zupcibrdSim.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#ifdef _WIN32
#include "platform/win32/zuPlatform.h"
#endif

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

using tJson = nlohmann::json;

// No real machine needs more; the limit keeps a wrong file name (a disk image, say) from being
// read whole.
constexpr std::size_t kMaxTopologyBytes = 1024 * 1024;

// Two chassis behind two root ports of root bus 0x00 (bridge values 0x0001 and 0x0002, the
// second with high bits set that a reader must drop), a switch port inside the first chassis,
// and a second root bus with bridges that share one of the chassis IDs each, so that a search
// that ignores one of the IDs finds too much.
const char kDefaultTopology[] = R"json({
  "comment": "Built-in machine of the simulated bridge driver library",
  "rootBuses": [0, "0x80"],
  "bridges": [
    { "ref": 1, "comment": "root port", "bus": "0x00", "device": "0x1C", "function": 0,
      "secondaryBus": "0x01", "vendorId": "0x1E5A", "deviceId": "0x0A01",
      "subsystemVendorId": "0x1E5A", "subsystemId": "0x0001" },
    { "ref": 2, "comment": "chassis A", "bus": "0x01", "device": 0, "function": 0,
      "secondaryBus": "0x02", "vendorId": "0x1E5A", "deviceId": "0x8114",
      "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "parent": 1,
      "attributes": { "0x20000300": "0x00000001" } },
    { "ref": 3, "comment": "switch port in chassis A", "bus": "0x02", "device": 8, "function": 0,
      "secondaryBus": "0x03", "vendorId": "0x1E5A", "deviceId": "0x8114",
      "subsystemVendorId": "0x1E5A", "subsystemId": "0x8114", "parent": 2 },
    { "ref": 4, "comment": "root port", "bus": "0x00", "device": "0x1D", "function": 0,
      "secondaryBus": "0x04", "vendorId": "0x1E5A", "deviceId": "0x0A02",
      "subsystemVendorId": "0x1E5A", "subsystemId": "0x0002" },
    { "ref": 5, "comment": "chassis B", "bus": "0x04", "device": 0, "function": 0,
      "secondaryBus": "0x05", "vendorId": "0x1E5A", "deviceId": "0x8114",
      "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "parent": 4,
      "attributes": { "0x20000300": "0x80000002" } },
    { "ref": 6, "comment": "another product of the chassis maker", "bus": "0x80", "device": 3,
      "function": 1, "secondaryBus": "0x81", "vendorId": "0x1E5A", "deviceId": "0x0B10",
      "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2F",
      "attributes": { "0x20000300": "0x00000003" } },
    { "ref": 7, "comment": "same subsystem ID, other vendor", "bus": "0x81", "device": 0,
      "function": 0, "secondaryBus": "0x82", "vendorId": "0x1D0F", "deviceId": "0x0C20",
      "subsystemVendorId": "0x1D0F", "subsystemId": "0x5C2E", "parent": 6 }
  ]
}
)json";

struct tTopologyFault {
    std::string m_Text;
};

[[noreturn]] void fail(const std::string& a_rWhere, const std::string& a_rWhat) {
    throw tTopologyFault{a_rWhere + ": " + a_rWhat};
}

std::string hexText(std::uint64_t a_Value, int a_Digits) {
    char l_Text[24];
    std::snprintf(l_Text, sizeof l_Text, "0x%0*llX", a_Digits,
                  static_cast<unsigned long long>(a_Value));
    return l_Text;
}

std::string busText(std::uint8_t a_Bus) {
    return hexText(a_Bus, 2);
}

// What the user wrote, short enough for a one-line message. A container is named, never dumped:
// its text could be as long as the file.
std::string shown(const tJson& a_rValue) {
    if (a_rValue.is_array()) {
        return "an array";
    }
    if (a_rValue.is_object()) {
        return "an object";
    }
    if (a_rValue.is_string()) {
        return quotedShort(a_rValue.get_ref<const std::string&>());
    }
    return a_rValue.dump();
}

std::string rangeText(std::uint64_t a_Max) {
    return a_Max < 0x20 ? "0.." + std::to_string(a_Max) : "0.." + hexText(a_Max, 0);
}

// a_rShown is the value as the message names it.
std::uint64_t checkedNumber(tNumberProblem a_Problem, const tWholeNumber& a_rNumber,
                            const std::string& a_rShown, const std::string& a_rWhere,
                            std::uint64_t a_Max) {
    switch (a_Problem) {
    case tNumberProblem::kNone:
    case tNumberProblem::kTooLarge:
        break;
    case tNumberProblem::kNotDigits:
        fail(a_rWhere,
             a_rShown + " is not a number (use decimal digits or 0x and hexadecimal " + "digits)");
    case tNumberProblem::kNotWhole:
        fail(a_rWhere, a_rShown + " is not a whole number (write it without fraction or exponent)");
    case tNumberProblem::kWrongType:
        fail(a_rWhere, a_rShown + " must be a number or a text such as \"0x1F3C\"");
    }
    if (a_Problem == tNumberProblem::kTooLarge || !a_rNumber.isWithin(0, a_Max)) {
        fail(a_rWhere, a_rShown + " is out of range " + rangeText(a_Max));
    }
    return a_rNumber.m_Magnitude;
}

std::uint64_t readNumber(const tJson& a_rValue, const std::string& a_rWhere, std::uint64_t a_Max) {
    tWholeNumber l_Number;
    const tNumberProblem l_Problem = readWholeNumber(a_rValue, l_Number);
    return checkedNumber(l_Problem, l_Number, shown(a_rValue), a_rWhere, a_Max);
}

// An attribute ID, written as a member name.
std::uint64_t readNumberText(const std::string& a_rText, const std::string& a_rWhere,
                             std::uint64_t a_Max) {
    tWholeNumber l_Number;
    const tNumberProblem l_Problem = parseWholeText(a_rText, l_Number);
    return checkedNumber(l_Problem, l_Number, quotedShort(a_rText), a_rWhere, a_Max);
}

void checkMembers(const tJson& a_rObject, const std::string& a_rWhere,
                  std::initializer_list<const char*> a_Known) {
    for (auto l_Member = a_rObject.begin(); l_Member != a_rObject.end(); ++l_Member) {
        const bool l_IsKnown =
            std::any_of(a_Known.begin(), a_Known.end(),
                        [&](const char* a_pName) { return l_Member.key() == a_pName; });
        if (!l_IsKnown) {
            fail(a_rWhere, "unknown member " + quotedShort(l_Member.key()));
        }
    }
    if (a_rObject.contains("comment") && !a_rObject["comment"].is_string()) {
        fail(a_rWhere + ".comment", "must be a text");
    }
}

const tJson& required(const tJson& a_rObject, const char* a_pName, const std::string& a_rWhere) {
    const auto l_Member = a_rObject.find(a_pName);
    if (l_Member == a_rObject.end()) {
        fail(a_rWhere, std::string("\"") + a_pName + "\" is missing");
    }
    return *l_Member;
}

// The document, "bridges", a bridge and its "attributes" are four levels of arrays and objects;
// twice that leaves room to spare. Deeper files are refused: values nested without limit would
// take the host process down in any code that walks them recursively.
constexpr int kMaxNesting = 8;

// Where the parser is in the document, as messages name it ("bridges[3].attributes"), and the
// member names seen in each open object.
class cParsePosition {
public:
    void open(bool a_IsArray) {
        if (m_Levels.size() >= kMaxNesting) {
            fail(where(), "arrays and objects nested deeper than " + std::to_string(kMaxNesting) +
                              " levels");
        }
        m_Levels.push_back(tLevel{a_IsArray, 0, std::string(), {}});
    }
    void close() {
        if (!m_Levels.empty()) {
            m_Levels.pop_back();
        }
        valueDone();
    }
    void member(const std::string& a_rName) {
        if (m_Levels.empty()) {
            return;
        }
        tLevel& l_Object = m_Levels.back();
        l_Object.m_Member.clear();
        if (!l_Object.m_Names.insert(a_rName).second) {
            // nlohmann keeps the last of two equal names silently; a bridge with "attributes"
            // twice is a mistake that would otherwise go unnoticed.
            fail(where(), "member " + quotedShort(a_rName) + " is given twice");
        }
        l_Object.m_Member = a_rName;
    }
    void valueDone() {
        if (!m_Levels.empty() && m_Levels.back().m_IsArray) {
            ++m_Levels.back().m_Index;
        }
    }

private:
    struct tLevel {
        bool m_IsArray;
        std::size_t m_Index;  // of the array's element being read
        std::string m_Member; // the object's member being read; empty between members
        std::set<std::string> m_Names;
    };

    std::string where() const {
        std::string l_Where;
        for (const tLevel& l_Level : m_Levels) {
            if (l_Level.m_IsArray) {
                l_Where += "[" + std::to_string(l_Level.m_Index) + "]";
            } else if (!l_Level.m_Member.empty()) {
                const bool l_Plain =
                    std::all_of(l_Level.m_Member.begin(), l_Level.m_Member.end(), [](char a_Char) {
                        return std::isalnum(static_cast<unsigned char>(a_Char));
                    });
                l_Where += l_Plain ? (l_Where.empty() ? "" : ".") + l_Level.m_Member
                                   : "[" + quotedShort(l_Level.m_Member) + "]";
            }
        }
        return l_Where.empty() ? "document" : l_Where;
    }

    std::vector<tLevel> m_Levels;
};

// Nesting deeper than a topology needs is refused while parsing, before anything deep is built.
tJson parseJson(const std::string& a_rText) {
    cParsePosition l_Position;
    const tJson::parser_callback_t l_Callback = [&](int, tJson::parse_event_t a_Event,
                                                    tJson& a_rParsed) {
        switch (a_Event) {
        case tJson::parse_event_t::array_start:
            l_Position.open(true);
            break;
        case tJson::parse_event_t::object_start:
            l_Position.open(false);
            break;
        case tJson::parse_event_t::array_end:
        case tJson::parse_event_t::object_end:
            l_Position.close();
            break;
        case tJson::parse_event_t::key:
            l_Position.member(a_rParsed.is_string() ? a_rParsed.get<std::string>() : "");
            break;
        case tJson::parse_event_t::value:
            l_Position.valueDone();
            break;
        }
        return true;
    };
    tJson l_Document;
    try {
        l_Document = tJson::parse(a_rText, l_Callback);
    } catch (const tJson::parse_error& a_rError) {
        std::string l_What = a_rError.what();
        const std::size_t l_Tag = l_What.find("] ");
        if (l_What.compare(0, 1, "[") == 0 && l_Tag != std::string::npos) {
            l_What.erase(0, l_Tag + 2);
        }
        // The parser quotes what it last read, which may be a text as long as the file.
        constexpr std::size_t kLongest = 160;
        if (l_What.size() > kLongest) {
            l_What = l_What.substr(0, kLongest) + "...";
        }
        fail("document", "not valid JSON: " + l_What);
    }
    return l_Document;
}

// What the document says about one bridge beyond what ends up in tSimBridge.
struct tParentClaim {
    bool m_Given = false;
    bool m_IsNull = false;
    std::uint32_t m_Ref = 0;
};

tSimBridge readBridge(const tJson& a_rObject, std::size_t a_Index, tParentClaim& a_rParent) {
    const std::string l_Where = "bridges[" + std::to_string(a_Index) + "]";
    if (!a_rObject.is_object()) {
        fail(l_Where, "must be an object");
    }
    checkMembers(a_rObject, l_Where,
                 {"comment", "ref", "bus", "device", "function", "secondaryBus", "vendorId",
                  "deviceId", "subsystemVendorId", "subsystemId", "parent", "attributes"});
    auto l_Read = [&](const char* a_pName, std::uint64_t a_Max) {
        return readNumber(required(a_rObject, a_pName, l_Where), l_Where + "." + a_pName, a_Max);
    };

    tSimBridge l_Bridge;
    l_Bridge.m_Ref = static_cast<std::uint32_t>(a_Index + 1);
    if (a_rObject.contains("ref")) {
        // 0xFFFFFFFF is what a caller holds before it has a reference.
        l_Bridge.m_Ref = static_cast<std::uint32_t>(l_Read("ref", 0xFFFFFFFEu));
        if (l_Bridge.m_Ref == 0) {
            fail(l_Where + ".ref", "0 is not a reference (references start at 1)");
        }
    }
    l_Bridge.m_Bus = static_cast<std::uint8_t>(l_Read("bus", 0xFF));
    l_Bridge.m_Device = static_cast<std::uint8_t>(l_Read("device", 31));
    l_Bridge.m_Function = static_cast<std::uint8_t>(l_Read("function", 7));
    l_Bridge.m_SecondaryBus = static_cast<std::uint8_t>(l_Read("secondaryBus", 0xFF));
    l_Bridge.m_VendorId = static_cast<std::uint16_t>(l_Read("vendorId", 0xFFFF));
    l_Bridge.m_DeviceId = static_cast<std::uint16_t>(l_Read("deviceId", 0xFFFF));
    l_Bridge.m_SubsystemVendorId = static_cast<std::uint16_t>(l_Read("subsystemVendorId", 0xFFFF));
    l_Bridge.m_SubsystemId = static_cast<std::uint16_t>(l_Read("subsystemId", 0xFFFF));

    const auto l_Parent = a_rObject.find("parent");
    if (l_Parent != a_rObject.end()) {
        a_rParent.m_Given = true;
        a_rParent.m_IsNull = l_Parent->is_null();
        if (!a_rParent.m_IsNull) {
            a_rParent.m_Ref =
                static_cast<std::uint32_t>(readNumber(*l_Parent, l_Where + ".parent", 0xFFFFFFFFu));
        }
    }

    const auto l_Attributes = a_rObject.find("attributes");
    if (l_Attributes != a_rObject.end()) {
        const std::string l_AttributesWhere = l_Where + ".attributes";
        if (!l_Attributes->is_object()) {
            fail(l_AttributesWhere, "must be an object");
        }
        for (auto l_Member = l_Attributes->begin(); l_Member != l_Attributes->end(); ++l_Member) {
            const std::string l_MemberWhere =
                l_AttributesWhere + "[" + quotedShort(l_Member.key()) + "]";
            const std::uint64_t l_Id = readNumberText(l_Member.key(), l_MemberWhere, 0xFFFFFFFFu);
            const auto l_Value = static_cast<std::uint32_t>(
                readNumber(l_Member.value(), l_MemberWhere, 0xFFFFFFFFu));
            if (!l_Bridge.m_Attributes.emplace(static_cast<std::uint32_t>(l_Id), l_Value).second) {
                fail(l_MemberWhere, "attribute " + hexText(l_Id, 8) + " is given twice");
            }
        }
    }
    return l_Bridge;
}

std::string addressText(const tSimBridge& a_rBridge) {
    char l_Text[16];
    std::snprintf(l_Text, sizeof l_Text, "%02X:%02X.%X", a_rBridge.m_Bus, a_rBridge.m_Device,
                  a_rBridge.m_Function);
    return l_Text;
}

// Relations between bridges: unique references, addresses and secondary buses, every bus
// reachable from a root bus, the stated parents true, and no loops.
void linkBridges(tSimTopology& a_rTopology, const std::vector<tParentClaim>& a_rClaims) {
    std::vector<tSimBridge>& l_Bridges = a_rTopology.m_Bridges;
    std::map<std::uint32_t, std::size_t> l_ByRef;
    std::map<std::uint32_t, std::size_t> l_ByAddress;
    std::map<std::uint8_t, std::size_t> l_BySecondaryBus;
    auto l_Where = [](std::size_t a_Index) { return "bridges[" + std::to_string(a_Index) + "]"; };

    for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
        const tSimBridge& l_Bridge = l_Bridges[l_Index];
        const auto l_Ref = l_ByRef.emplace(l_Bridge.m_Ref, l_Index);
        if (!l_Ref.second) {
            fail(l_Where(l_Index), "reference " + std::to_string(l_Bridge.m_Ref) +
                                       " is already used by " + l_Where(l_Ref.first->second));
        }
        const std::uint32_t l_Address = (std::uint32_t{l_Bridge.m_Bus} << 8) |
                                        slotPathElement(l_Bridge.m_Device, l_Bridge.m_Function);
        const auto l_SameAddress = l_ByAddress.emplace(l_Address, l_Index);
        if (!l_SameAddress.second) {
            fail(l_Where(l_Index), "address " + addressText(l_Bridge) + " is already used by " +
                                       l_Where(l_SameAddress.first->second));
        }
        const std::string l_Secondary = "secondary bus " + busText(l_Bridge.m_SecondaryBus);
        if (a_rTopology.isRootBus(l_Bridge.m_SecondaryBus)) {
            fail(l_Where(l_Index), l_Secondary + " is a root bus");
        }
        if (l_Bridge.m_SecondaryBus == l_Bridge.m_Bus) {
            fail(l_Where(l_Index), l_Secondary + " is the bus the bridge sits on");
        }
        const auto l_SameSecondary = l_BySecondaryBus.emplace(l_Bridge.m_SecondaryBus, l_Index);
        if (!l_SameSecondary.second) {
            fail(l_Where(l_Index),
                 l_Secondary + " is already behind " + l_Where(l_SameSecondary.first->second));
        }
    }

    for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
        tSimBridge& l_Bridge = l_Bridges[l_Index];
        const bool l_OnRoot = a_rTopology.isRootBus(l_Bridge.m_Bus);
        const auto l_Upstream = l_BySecondaryBus.find(l_Bridge.m_Bus);
        if (!l_OnRoot && l_Upstream == l_BySecondaryBus.end()) {
            fail(l_Where(l_Index),
                 "bus " + busText(l_Bridge.m_Bus) + " is neither a root bus nor behind a bridge");
        }
        l_Bridge.m_Parent = l_OnRoot ? 0 : l_Bridges[l_Upstream->second].m_Ref;

        const tParentClaim& l_Claim = a_rClaims[l_Index];
        if (!l_Claim.m_Given) {
            continue;
        }
        if (!l_Claim.m_IsNull && l_ByRef.count(l_Claim.m_Ref) == 0) {
            fail(l_Where(l_Index) + ".parent", "unknown parent " + std::to_string(l_Claim.m_Ref));
        }
        const std::uint32_t l_Claimed = l_Claim.m_IsNull ? 0 : l_Claim.m_Ref;
        if (l_Claimed != l_Bridge.m_Parent) {
            const std::string l_Truth =
                l_OnRoot ? "is a root bus"
                         : "is behind bridge " + std::to_string(l_Bridge.m_Parent);
            fail(l_Where(l_Index) + ".parent",
                 (l_Claim.m_IsNull ? std::string("null") : std::to_string(l_Claim.m_Ref)) +
                     " does not match its bus " + busText(l_Bridge.m_Bus) + ", which " + l_Truth);
        }
    }

    // A chain of parents longer than the number of bridges has come round again.
    for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
        std::vector<std::uint8_t> l_Elements;
        const tSimBridge* l_pAt = &l_Bridges[l_Index];
        while (true) {
            l_Elements.push_back(slotPathElement(l_pAt->m_Device, l_pAt->m_Function));
            if (l_pAt->m_Parent == 0) {
                break;
            }
            if (l_Elements.size() > l_Bridges.size()) {
                fail(l_Where(l_Index), "its chain of parents forms a loop");
            }
            l_pAt = &l_Bridges[l_ByRef[l_pAt->m_Parent]];
        }
        std::reverse(l_Elements.begin(), l_Elements.end());
        l_Bridges[l_Index].m_SlotPath = formatSlotPath(l_pAt->m_Bus, l_Elements);
    }
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
    a_rpFile = nullptr;
#ifdef _WIN32
    const wchar_t* l_pPath = _wgetenv(L"" ZUPCIBRD_SIM_TOPOLOGY_VARIABLE);
    if (l_pPath == nullptr || *l_pPath == L'\0') {
        return false;
    }
    a_rName = nZuPlatform::toUtf8(l_pPath);
    a_rRefusal = whyNotAFile(l_pPath);
    a_rpFile = a_rRefusal.empty() ? _wfopen(l_pPath, L"rb") : nullptr;
#else
    const char* l_pPath = std::getenv(ZUPCIBRD_SIM_TOPOLOGY_VARIABLE);
    if (l_pPath == nullptr || *l_pPath == '\0') {
        return false;
    }
    a_rName = l_pPath;
    a_rRefusal = whyNotAFile(l_pPath);
    a_rpFile = a_rRefusal.empty() ? std::fopen(l_pPath, "rb") : nullptr;
#endif
    return true;
}

} // namespace

tSimBridge* tSimTopology::findBridge(std::uint32_t a_Ref) {
    for (tSimBridge& l_Bridge : m_Bridges) {
        if (l_Bridge.m_Ref == a_Ref) {
            return &l_Bridge;
        }
    }
    return nullptr;
}

bool tSimTopology::isRootBus(std::uint8_t a_Bus) const {
    return std::find(m_RootBuses.begin(), m_RootBuses.end(), a_Bus) != m_RootBuses.end();
}

bool tSimTopology::isKnownBus(std::uint8_t a_Bus) const {
    if (isRootBus(a_Bus)) {
        return true;
    }
    return std::any_of(m_Bridges.begin(), m_Bridges.end(), [a_Bus](const tSimBridge& a_rBridge) {
        return a_rBridge.m_SecondaryBus == a_Bus;
    });
}

bool parseTopology(const std::string& a_rText, tSimTopology& a_rTopology, std::string& a_rFault) {
    try {
        const tJson l_Document = parseJson(a_rText);
        if (!l_Document.is_object()) {
            fail("document", "must be a JSON object");
        }
        checkMembers(l_Document, "document", {"comment", "rootBuses", "bridges", "faults"});

        tSimTopology l_Topology;
        const tJson& l_RootBuses = required(l_Document, "rootBuses", "document");
        if (!l_RootBuses.is_array()) {
            fail("rootBuses", "must be an array");
        }
        for (std::size_t l_Index = 0; l_Index < l_RootBuses.size(); ++l_Index) {
            const std::string l_Where = "rootBuses[" + std::to_string(l_Index) + "]";
            const auto l_Bus =
                static_cast<std::uint8_t>(readNumber(l_RootBuses[l_Index], l_Where, 0xFF));
            if (l_Topology.isRootBus(l_Bus)) {
                fail(l_Where, "bus " + busText(l_Bus) + " is listed twice");
            }
            l_Topology.m_RootBuses.push_back(l_Bus);
        }

        const tJson& l_Bridges = required(l_Document, "bridges", "document");
        if (!l_Bridges.is_array()) {
            fail("bridges", "must be an array");
        }
        std::vector<tParentClaim> l_Claims(l_Bridges.size());
        for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
            l_Topology.m_Bridges.push_back(
                readBridge(l_Bridges[l_Index], l_Index, l_Claims[l_Index]));
        }
        linkBridges(l_Topology, l_Claims);
        if (const auto l_Faults = l_Document.find("faults"); l_Faults != l_Document.end()) {
            std::string l_Fault;
            if (!parseFaults(*l_Faults, l_Topology.m_Faults, l_Fault)) {
                throw tTopologyFault{l_Fault};
            }
        }
        a_rTopology = std::move(l_Topology);
        return true;
    } catch (const tTopologyFault& a_rFault2) {
        a_rFault = a_rFault2.m_Text;
    } catch (const tJson::exception& a_rError) {
        a_rFault = std::string("document: ") + a_rError.what();
    }
    return false;
}

bool loadTopology(tSimTopology& a_rTopology, std::string& a_rFault) {
    std::FILE* l_pFile = nullptr;
    std::string l_Name;
    std::string l_Refusal;
    if (!openNamedFile(l_pFile, l_Name, l_Refusal)) {
        if (!parseTopology(kDefaultTopology, a_rTopology, a_rFault)) {
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
    if (!parseTopology(l_Text, a_rTopology, a_rFault)) {
        a_rFault = l_Prefix + a_rFault;
        return false;
    }
    a_rTopology.m_Faults.m_Identity = l_Name + '\n' + l_Text;
    return true;
}

const char* defaultTopologyText() {
    return kDefaultTopology;
}

std::string formatSlotPath(std::uint8_t a_RootBus, const std::vector<std::uint8_t>& a_rElements) {
    char l_Text[8];
    std::snprintf(l_Text, sizeof l_Text, "MR%02X:", a_RootBus);
    std::string l_Path = l_Text;
    for (std::size_t l_Index = 0; l_Index < a_rElements.size(); ++l_Index) {
        std::snprintf(l_Text, sizeof l_Text, l_Index == 0 ? "%02X" : ",%02X", a_rElements[l_Index]);
        l_Path += l_Text;
    }
    return l_Path;
}

namespace {

bool readHexByte(const char*& a_rpText, std::uint8_t& a_rValue) {
    unsigned l_Value = 0;
    for (int l_Digit = 0; l_Digit < 2; ++l_Digit) {
        const char l_Char = a_rpText[l_Digit];
        if (l_Char >= '0' && l_Char <= '9') {
            l_Value = l_Value * 16 + static_cast<unsigned>(l_Char - '0');
        } else if ((l_Char | 0x20) >= 'a' && (l_Char | 0x20) <= 'f') {
            l_Value = l_Value * 16 + static_cast<unsigned>((l_Char | 0x20) - 'a' + 10);
        } else {
            return false;
        }
    }
    a_rValue = static_cast<std::uint8_t>(l_Value);
    a_rpText += 2;
    return true;
}

} // namespace

bool parseSlotPath(const char* a_pText, std::uint8_t& a_rRootBus,
                   std::vector<std::uint8_t>& a_rElements) {
    // Each character is looked at only after the ones before it matched, so an unterminated
    // text is never read further than its well-formed beginning.
    const char* l_pAt = a_pText;
    a_rElements.clear();
    if (l_pAt[0] != 'M' || l_pAt[1] != 'R') {
        return false;
    }
    l_pAt += 2;
    if (!readHexByte(l_pAt, a_rRootBus) || *l_pAt != ':') {
        return false;
    }
    ++l_pAt;
    if (*l_pAt == '\0') {
        return true;
    }
    while (true) {
        std::uint8_t l_Element = 0;
        if (!readHexByte(l_pAt, l_Element)) {
            return false;
        }
        a_rElements.push_back(l_Element);
        if (*l_pAt == '\0') {
            return true;
        }
        if (*l_pAt != ',') {
            return false;
        }
        ++l_pAt;
    }
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
