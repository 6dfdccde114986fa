#include "sim/simTopologyFile.h"

#include "pcibrd/zupcibrd.h"
#include "sim/simJsonReading.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <set>
#include <utility>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

using tJson = nlohmann::json;

// The example is the ID a user of the file most likely writes: the chassis maker's.
constexpr tNumberWording kWording = {"a number", ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID, 4, true};

std::uint64_t readNumber(const tJson& a_rValue, const std::string& a_rWhere, std::uint64_t a_Max) {
    return nZuPciBrdSim::readNumber(a_rValue, a_rWhere, 0, a_Max, kWording).m_Magnitude;
}

// The file, "bridges", a bridge and its "attributes" are four levels of arrays and objects;
// twice that leaves room to spare. Deeper files are refused: values nested without limit would
// take the host process down in any code that walks them recursively.
constexpr int kMaxNesting = 8;

// Where the parser is in the file, as messages name it ("bridges[3].attributes"), and the
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
                l_Where = elementAt(l_Where, l_Level.m_Index);
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

// What the file says about one bridge beyond what ends up in tTopologyBridge.
struct tParentClaim {
    bool m_Given = false;
    bool m_IsNull = false;
    std::uint32_t m_Ref = 0;
};

tTopologyBridge readBridge(const tJson& a_rValue, std::size_t a_Index, tParentClaim& a_rParent) {
    const cJsonObject l_Object(a_rValue, elementAt("bridges", a_Index),
                               {"comment", "ref", "bus", "device", "function", "secondaryBus",
                                "vendorId", "deviceId", "subsystemVendorId", "subsystemId",
                                "parent", "attributes"},
                               kWording);
    auto l_Read = [&](const char* a_pName, std::uint64_t a_Max) {
        return readNumber(l_Object.required(a_pName), l_Object.placeOf(a_pName), a_Max);
    };

    tTopologyBridge l_Bridge;
    l_Bridge.m_Ref = static_cast<std::uint32_t>(a_Index + 1);
    if (l_Object.find("ref") != nullptr) {
        // 0xFFFFFFFF is what a caller holds before it has a reference.
        l_Bridge.m_Ref = static_cast<std::uint32_t>(l_Read("ref", 0xFFFFFFFEu));
        if (l_Bridge.m_Ref == 0) {
            fail(l_Object.placeOf("ref"), "0 is not a reference (references start at 1)");
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

    if (const tJson* l_pParent = l_Object.find("parent")) {
        a_rParent.m_Given = true;
        a_rParent.m_IsNull = l_pParent->is_null();
        if (!a_rParent.m_IsNull) {
            a_rParent.m_Ref = static_cast<std::uint32_t>(
                readNumber(*l_pParent, l_Object.placeOf("parent"), 0xFFFFFFFFu));
        }
    }

    if (const tJson* l_pAttributes = l_Object.find("attributes")) {
        const std::string l_AttributesWhere = l_Object.placeOf("attributes");
        if (!l_pAttributes->is_object()) {
            fail(l_AttributesWhere, "must be an object");
        }
        for (auto l_Member = l_pAttributes->begin(); l_Member != l_pAttributes->end(); ++l_Member) {
            const std::string l_MemberWhere =
                l_AttributesWhere + "[" + quotedShort(l_Member.key()) + "]";
            // An attribute ID, written as a member name.
            const std::uint64_t l_Id =
                readNumberText(l_Member.key(), l_MemberWhere, 0, 0xFFFFFFFFu, kWording).m_Magnitude;
            const auto l_Value = static_cast<std::uint32_t>(
                readNumber(l_Member.value(), l_MemberWhere, 0xFFFFFFFFu));
            if (!l_Bridge.m_Attributes.emplace(static_cast<std::uint32_t>(l_Id), l_Value).second) {
                fail(l_MemberWhere, "attribute " + hexText(l_Id, 8) + " is given twice");
            }
        }
    }
    return l_Bridge;
}

std::string formatSlotPath(std::uint8_t a_RootBus, const std::vector<std::uint8_t>& a_rElements) {
    std::string l_Path = "MR" + hexText(a_RootBus, 2).substr(2) + ":";
    for (std::size_t l_Index = 0; l_Index < a_rElements.size(); ++l_Index) {
        l_Path += (l_Index == 0 ? "" : ",") + hexText(a_rElements[l_Index], 2).substr(2);
    }
    return l_Path;
}

bool isRootBus(const tTopology& a_rTopology, std::uint8_t a_Bus) {
    return std::find(a_rTopology.m_RootBuses.begin(), a_rTopology.m_RootBuses.end(), a_Bus) !=
           a_rTopology.m_RootBuses.end();
}

// Relations between bridges: unique references, addresses and secondary buses, every bus
// reachable from a root bus, the stated parents true, and no loops.
void linkBridges(tTopology& a_rTopology, const std::vector<tParentClaim>& a_rClaims) {
    std::vector<tTopologyBridge>& l_Bridges = a_rTopology.m_Bridges;
    std::map<std::uint32_t, std::size_t> l_ByRef;
    std::map<std::uint32_t, std::size_t> l_ByAddress;
    std::map<std::uint8_t, std::size_t> l_BySecondaryBus;
    auto l_Where = [](std::size_t a_Index) { return elementAt("bridges", a_Index); };

    for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
        const tTopologyBridge& l_Bridge = l_Bridges[l_Index];
        const auto l_Ref = l_ByRef.emplace(l_Bridge.m_Ref, l_Index);
        if (!l_Ref.second) {
            fail(l_Where(l_Index), "reference " + std::to_string(l_Bridge.m_Ref) +
                                       " is already used by " + l_Where(l_Ref.first->second));
        }
        const std::uint32_t l_Address = (std::uint32_t{l_Bridge.m_Bus} << 8) |
                                        slotPathElement(l_Bridge.m_Device, l_Bridge.m_Function);
        const auto l_SameAddress = l_ByAddress.emplace(l_Address, l_Index);
        if (!l_SameAddress.second) {
            const std::string l_Text = hexText(l_Bridge.m_Bus, 2).substr(2) + ":" +
                                       hexText(l_Bridge.m_Device, 2).substr(2) + "." +
                                       hexText(l_Bridge.m_Function, 1).substr(2);
            fail(l_Where(l_Index), "address " + l_Text + " is already used by " +
                                       l_Where(l_SameAddress.first->second));
        }
        const std::string l_Secondary = "secondary bus " + hexText(l_Bridge.m_SecondaryBus, 2);
        if (isRootBus(a_rTopology, l_Bridge.m_SecondaryBus)) {
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
        tTopologyBridge& l_Bridge = l_Bridges[l_Index];
        const bool l_OnRoot = isRootBus(a_rTopology, l_Bridge.m_Bus);
        const auto l_Upstream = l_BySecondaryBus.find(l_Bridge.m_Bus);
        if (!l_OnRoot && l_Upstream == l_BySecondaryBus.end()) {
            fail(l_Where(l_Index), "bus " + hexText(l_Bridge.m_Bus, 2) +
                                       " is neither a root bus nor behind a bridge");
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
                     " does not match its bus " + hexText(l_Bridge.m_Bus, 2) + ", which " +
                     l_Truth);
        }
    }

    // A chain of parents longer than the number of bridges has come round again.
    for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
        std::vector<std::uint8_t> l_Elements;
        const tTopologyBridge* l_pAt = &l_Bridges[l_Index];
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

// A number as the writer puts it: a text, so that it reads as the hexadecimal it is.
std::string quotedHex(std::uint32_t a_Value, int a_Digits) {
    return "\"" + hexText(a_Value, a_Digits) + "\"";
}

std::string bridgeText(const tWrittenBridge& a_rWritten) {
    const tTopologyBridge& l_Bridge = a_rWritten.m_Bridge;
    std::string l_Line = "    { \"ref\": " + std::to_string(l_Bridge.m_Ref) +
                         ", \"bus\": " + quotedHex(l_Bridge.m_Bus, 2) +
                         ", \"device\": " + quotedHex(l_Bridge.m_Device, 2) +
                         ", \"function\": " + std::to_string(l_Bridge.m_Function) +
                         ", \"secondaryBus\": " + quotedHex(l_Bridge.m_SecondaryBus, 2) +
                         ",\n      \"vendorId\": " + quotedHex(l_Bridge.m_VendorId, 4) +
                         ", \"deviceId\": " + quotedHex(l_Bridge.m_DeviceId, 4) +
                         ", \"subsystemVendorId\": " + quotedHex(l_Bridge.m_SubsystemVendorId, 4) +
                         ", \"subsystemId\": " + quotedHex(l_Bridge.m_SubsystemId, 4);
    if (a_rWritten.m_StatesParent) {
        l_Line += ", \"parent\": " + (l_Bridge.m_Parent == 0 ? std::string("null")
                                                             : std::to_string(l_Bridge.m_Parent));
    }
    if (!l_Bridge.m_Attributes.empty()) {
        l_Line += ",\n      \"attributes\": {";
        for (const auto& l_Attribute : l_Bridge.m_Attributes) {
            l_Line += (l_Line.back() == '{' ? " " : ", ") + quotedHex(l_Attribute.first, 8) + ": " +
                      quotedHex(l_Attribute.second, 8);
        }
        l_Line += " }";
    }
    if (!a_rWritten.m_Comment.empty()) {
        l_Line += ",\n      \"comment\": " +
                  tJson(a_rWritten.m_Comment).dump(-1, ' ', false, tJson::error_handler_t::replace);
    }
    return l_Line + " }";
}

} // namespace

bool readTopology(const std::string& a_rText, tTopology& a_rTopology, std::string& a_rFault) {
    try {
        const tJson l_Document = parseJson(a_rText);
        if (!l_Document.is_object()) {
            fail("document", "must be a JSON object");
        }
        const cJsonObject l_Object(l_Document, "document",
                                   {"comment", "rootBuses", "bridges", "faults"}, kWording);
        tTopology l_Topology;
        const tJson& l_RootBuses = readArray(l_Object.required("rootBuses"), "rootBuses");
        for (std::size_t l_Index = 0; l_Index < l_RootBuses.size(); ++l_Index) {
            const std::string l_Where = elementAt("rootBuses", l_Index);
            const auto l_Bus =
                static_cast<std::uint8_t>(readNumber(l_RootBuses[l_Index], l_Where, 0xFF));
            if (isRootBus(l_Topology, l_Bus)) {
                fail(l_Where, "bus " + hexText(l_Bus, 2) + " is listed twice");
            }
            l_Topology.m_RootBuses.push_back(l_Bus);
        }

        const tJson& l_Bridges = readArray(l_Object.required("bridges"), "bridges");
        std::vector<tParentClaim> l_Claims(l_Bridges.size());
        for (std::size_t l_Index = 0; l_Index < l_Bridges.size(); ++l_Index) {
            l_Topology.m_Bridges.push_back(
                readBridge(l_Bridges[l_Index], l_Index, l_Claims[l_Index]));
        }
        linkBridges(l_Topology, l_Claims);
        if (const tJson* l_pFaults = l_Object.find("faults")) {
            l_Topology.m_pFaults = std::make_shared<const tJson>(*l_pFaults);
        }
        a_rTopology = std::move(l_Topology);
        return true;
    } catch (const tReadFault& a_rError) {
        a_rFault = a_rError.m_Text;
    } catch (const tJson::exception& a_rError) {
        a_rFault = std::string("document: ") + a_rError.what();
    }
    return false;
}

std::string topologyBody(const std::vector<std::uint8_t>& a_rRootBuses,
                         const std::vector<tWrittenBridge>& a_rBridges,
                         const std::vector<nlohmann::ordered_json>& a_rRules,
                         const std::string& a_rRulesComment) {
    std::string l_Text = "  \"rootBuses\": [";
    for (std::size_t l_Index = 0; l_Index < a_rRootBuses.size(); ++l_Index) {
        l_Text += (l_Index == 0 ? "" : ", ") + quotedHex(a_rRootBuses[l_Index], 2);
    }
    l_Text += "],\n  \"bridges\": [";
    for (std::size_t l_Index = 0; l_Index < a_rBridges.size(); ++l_Index) {
        l_Text += (l_Index == 0 ? "\n" : ",\n") + bridgeText(a_rBridges[l_Index]);
    }
    l_Text += a_rBridges.empty() ? "]" : "\n  ]";
    if (!a_rRules.empty()) {
        l_Text += ",\n  \"faults\": {\n    \"comment\": " + tJson(a_rRulesComment).dump() +
                  ",\n    \"rules\": [";
        for (std::size_t l_Index = 0; l_Index < a_rRules.size(); ++l_Index) {
            l_Text += (l_Index == 0 ? "\n      " : ",\n      ") +
                      a_rRules[l_Index].dump(-1, ' ', false, tJson::error_handler_t::replace);
        }
        l_Text += "\n    ]\n  }";
    }
    return l_Text + "\n}\n";
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
