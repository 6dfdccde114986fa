#include "tools/probeRecordRead.h"

#include "tools/probeModule.h"

#include "sim/simTopologyFile.h"
#include "sim/zupcibrdSim.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <utility>

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

using tJson = nlohmann::ordered_json;

// The simulator reads no file above 1 MiB; rules that would make the file larger are dropped.
constexpr std::size_t kMaxFileBytes = 1000 * 1000;

// Makes the machine of the file from what was read, and the rules that repeat the rest.
class cMachineRecorder : private tRecordLog, private tLibraryReading {
public:
    cMachineRecorder(const cBridgeLibrary& a_rLibrary, tLibraryReading a_Reading, tRecordLog a_Log)
        : tRecordLog(a_Log), tLibraryReading(std::move(a_Reading)), m_rLibrary(a_rLibrary) {}

    void Run() {
        BuildMachine();
        std::vector<tJson> l_Rules = Rules();
        m_rRecording.m_RootBuses = m_RootList.size();
        m_rRecording.m_Bridges = m_InFile.size();
        // The bridges as the file gives them, with what the walk noted of each.
        std::vector<nZuPciBrdSim::tWrittenBridge> l_Bridges;
        for (const tRecordedBridge* l_pBridge : m_InFile) {
            const auto& l_Ids = l_pBridge->m_Ids.m_Values;
            auto l_Id = [&](std::size_t a_Index) {
                return static_cast<std::uint16_t>(l_Ids[a_Index]);
            };
            l_Bridges.push_back(
                {{l_pBridge->m_Ref, l_pBridge->m_Bus, l_pBridge->m_Device, l_pBridge->m_Function,
                  *l_pBridge->m_SecondaryBus, l_Id(0), l_Id(1), l_Id(2), l_Id(3),
                  l_pBridge->m_Parent.m_Values[0], std::string(), l_pBridge->m_Kept},
                 l_pBridge->m_ParentAgrees,
                 std::string()});
            std::string& l_Comment = l_Bridges.back().m_Comment;
            if (l_pBridge->m_SlotPath && l_pBridge->m_SlotPath->m_Code >= 0) {
                l_Comment = "slot path " + slotPathAnswer(*l_pBridge->m_SlotPath);
            }
            for (const std::string& l_Note : l_pBridge->m_Notes) {
                l_Comment += (l_Comment.empty() ? "" : "; ") + l_Note;
            }
        }
        auto l_Body = [&] {
            return nZuPciBrdSim::topologyBody(
                m_RootList, l_Bridges, l_Rules,
                "answers of the recorded library that its machine alone does not give");
        };
        m_rRecording.m_Body = l_Body();
        if (m_rRecording.m_Body.size() > kMaxFileBytes) {
            notReproduced("the rules that repeat the library's answers would make the file "
                          "larger than the simulator reads; they are left out");
            l_Rules.clear();
            m_rRecording.m_Body = l_Body();
        }
    }

private:
    // A machine the simulator accepts, as close to the answers as one can be: every bus a
    // bridge sits on is a root bus or behind another bridge, every bridge has a bus of its own
    // behind it, addresses are unique and no chain of parents loops.
    void BuildMachine() {
        std::array<bool, 256> l_Root = {};
        auto l_MakeRoot = [&](unsigned a_Bus) {
            if (!std::exchange(l_Root[a_Bus], true)) {
                m_RootList.push_back(static_cast<std::uint8_t>(a_Bus));
            }
        };
        for (const std::uint8_t l_Bus : m_Roots ? m_Roots->m_Items : std::vector<std::uint8_t>()) {
            l_MakeRoot(l_Bus);
        }
        auto l_Place = [](tRecordedBridge& a_rBridge, unsigned a_Slot) {
            a_rBridge.m_InMachine = true;
            a_rBridge.m_Bus = static_cast<std::uint8_t>(a_Slot >> 8);
            a_rBridge.m_Device = static_cast<std::uint8_t>(a_Slot >> 3 & 31);
            a_rBridge.m_Function = static_cast<std::uint8_t>(a_Slot & 7);
        };
        std::set<std::uint32_t> l_Addresses;
        std::vector<tRecordedBridge*> l_Unplaced;
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            const tSingleAnswer& l_Address = l_Bridge.m_Address;
            if (!m_rLibrary.has(kGetBridgeAddress) || !m_rLibrary.has(kGetBridgeIds) ||
                l_Address.m_Code < 0 || l_Address.m_Changes || l_Bridge.m_Ids.m_Code < 0 ||
                l_Bridge.m_Ids.m_Changes) {
                continue;
            }
            if (l_Address.m_Unwritten) {
                l_Unplaced.push_back(&l_Bridge);
                continue;
            }
            if (l_Address.m_Values[1] > 31 || l_Address.m_Values[2] > 7) {
                m_rErr << "zu7461-probe: GetBridgeAddress of bridge " << l_Bridge.m_Ref
                       << " answered device " << l_Address.m_Values[1] << ", function "
                       << l_Address.m_Values[2] << "\n";
                m_rRecording.m_Complete = false;
                continue;
            }
            const std::uint32_t l_Key =
                l_Address.m_Values[0] << 8 | l_Address.m_Values[1] << 3 | l_Address.m_Values[2];
            if (!l_Addresses.insert(l_Key).second) {
                notReproduced("bridge " + std::to_string(l_Bridge.m_Ref) +
                              " has the address of another bridge");
                continue;
            }
            l_Place(l_Bridge, l_Key);
        }

        // The bus behind a bridge: the one the library names it the parent of, or the one
        // its children sit on.
        std::array<tRecordedBridge*, 256> l_Owner = {};
        auto l_Claim = [&](tRecordedBridge* a_pBridge, unsigned a_Bus) {
            if (a_pBridge != nullptr && a_pBridge->m_InMachine && !a_pBridge->m_SecondaryBus &&
                !l_Root[a_Bus] && l_Owner[a_Bus] == nullptr && a_Bus != a_pBridge->m_Bus) {
                a_pBridge->m_SecondaryBus = static_cast<std::uint8_t>(a_Bus);
                l_Owner[a_Bus] = a_pBridge;
            }
        };
        auto l_ClaimAll = [&]() {
            for (unsigned l_Bus = 0; l_Bus <= 0xFF; ++l_Bus) {
                if (m_BusOwner[l_Bus].first >= 0 && m_BusOwner[l_Bus].second != 0) {
                    l_Claim(m_Walk.find(m_BusOwner[l_Bus].second), l_Bus);
                }
            }
            for (tRecordedBridge& l_Parent : m_Walk.bridges()) {
                const auto l_Children = m_BridgeChildren.find(l_Parent.m_Ref);
                if (l_Children == m_BridgeChildren.end()) {
                    continue;
                }
                for (const std::uint32_t l_Child : l_Children->second.m_Items) {
                    const tRecordedBridge* l_pChild = m_Walk.find(l_Child);
                    if (l_pChild != nullptr && l_pChild->m_InMachine) {
                        l_Claim(&l_Parent, l_pChild->m_Bus);
                    }
                }
            }
        };
        l_ClaimAll();
        // A bridge whose address the library did not write sits behind the bridge that lists
        // it as a child, or else on a root bus; nothing else can tell where it is.
        std::unordered_map<std::uint32_t, const tRecordedBridge*> l_ListedBy;
        for (const tRecordedBridge& l_Parent : m_Walk.bridges()) {
            const auto l_Children = m_BridgeChildren.find(l_Parent.m_Ref);
            if (l_Children != m_BridgeChildren.end() && l_Parent.m_SecondaryBus) {
                for (const std::uint32_t l_Child : l_Children->second.m_Items) {
                    l_ListedBy.emplace(l_Child, &l_Parent);
                }
            }
        }
        for (tRecordedBridge* l_pBridge : l_Unplaced) {
            const auto l_Parent = l_ListedBy.find(l_pBridge->m_Ref);
            std::vector<std::uint8_t> l_Buses;
            if (l_Parent != l_ListedBy.end()) {
                l_Buses.push_back(*l_Parent->second->m_SecondaryBus);
            }
            l_Buses.insert(l_Buses.end(), m_RootList.begin(), m_RootList.end());
            for (std::size_t l_Index = 0; l_Index < l_Buses.size() && !l_pBridge->m_InMachine;
                 ++l_Index) {
                for (unsigned l_Slot = 0; l_Slot < 256; ++l_Slot) {
                    if (l_Addresses.insert(l_Buses[l_Index] << 8 | l_Slot).second) {
                        l_Place(*l_pBridge, l_Buses[l_Index] << 8 | l_Slot);
                        l_pBridge->m_Notes.push_back(
                            "the library wrote no address: one was chosen");
                        break;
                    }
                }
            }
        }
        l_ClaimAll();
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            if (l_Bridge.m_InMachine && !l_Root[l_Bridge.m_Bus] &&
                l_Owner[l_Bridge.m_Bus] == nullptr) {
                l_MakeRoot(l_Bridge.m_Bus);
                l_Bridge.m_Notes.push_back("its bus was reported neither as a root bus nor "
                                           "behind a bridge: recorded as a root bus");
            }
        }
        // A loop of buses: the bridge whose bus closes it gives that bus up, which becomes a
        // root bus. Each bus is settled once, so this is linear in the buses.
        std::array<int, 256> l_Settled = {}; // 0 unknown, 1 on the way up, 2 reaches a root bus
        for (unsigned l_Start = 0; l_Start <= 0xFF; ++l_Start) {
            std::vector<unsigned> l_Path;
            unsigned l_Bus = l_Start;
            while (!l_Root[l_Bus] && l_Settled[l_Bus] == 0 && l_Owner[l_Bus] != nullptr) {
                l_Settled[l_Bus] = 1;
                l_Path.push_back(l_Bus);
                l_Bus = l_Owner[l_Bus]->m_Bus;
            }
            if (l_Settled[l_Bus] == 1) {
                tRecordedBridge* l_pAbove = l_Owner[l_Bus];
                l_pAbove->m_SecondaryBus.reset();
                l_pAbove->m_Notes.push_back("the bus behind it, 0x" + hexText(l_Bus, 2) +
                                            ", closed a loop of buses: recorded as a root bus");
                l_Owner[l_Bus] = nullptr;
                l_MakeRoot(l_Bus);
            }
            for (const unsigned l_Walked : l_Path) {
                l_Settled[l_Walked] = 2;
            }
        }
        auto l_FreeBus = [&]() -> std::optional<unsigned> {
            for (unsigned l_Bus = 0xFF + 1; l_Bus-- > 0;) {
                if (!l_Root[l_Bus] && l_Owner[l_Bus] == nullptr) {
                    return l_Bus;
                }
            }
            return std::nullopt;
        };
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            if (l_Bridge.m_InMachine && !l_Bridge.m_SecondaryBus) {
                if (const auto l_Bus = l_FreeBus()) {
                    l_Bridge.m_SecondaryBus = static_cast<std::uint8_t>(*l_Bus);
                    l_Owner[*l_Bus] = &l_Bridge;
                    l_Bridge.m_Notes.push_back("no bus behind it was reported: one was chosen");
                } else {
                    l_Bridge.m_InMachine = false;
                    notReproduced("bridge " + std::to_string(l_Bridge.m_Ref) +
                                  ": no bus is left to put behind it");
                }
            }
        }
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            if (l_Bridge.m_InMachine) {
                m_InFile.push_back(&l_Bridge);
                m_OnBus[l_Bridge.m_Bus].push_back(l_Bridge.m_Ref);
            } else {
                m_rRecording.m_LeftOut.push_back(l_Bridge.m_Ref);
            }
        }
        for (unsigned l_Bus = 0; l_Bus <= 0xFF; ++l_Bus) {
            m_Above[l_Bus] = l_Owner[l_Bus] != nullptr && l_Owner[l_Bus]->m_InMachine
                                 ? l_Owner[l_Bus]->m_Ref
                                 : 0;
        }
    }

    // The slot path the simulator derives for a bridge of the file.
    std::string SlotPath(const tRecordedBridge& a_rBridge) {
        std::vector<const tRecordedBridge*> l_Chain = {&a_rBridge};
        while (const std::uint32_t l_Above = m_Above[l_Chain.back()->m_Bus]) {
            l_Chain.push_back(m_Walk.find(l_Above));
        }
        std::vector<std::uint8_t> l_Elements;
        for (auto l_pBridge = l_Chain.rbegin(); l_pBridge != l_Chain.rend(); ++l_pBridge) {
            l_Elements.push_back(
                nZuPciBrdSim::slotPathElement((*l_pBridge)->m_Device, (*l_pBridge)->m_Function));
        }
        return slotPathText(l_Chain.back()->m_Bus, l_Elements);
    }

    // The members of a rule that make the simulator answer a list as the library did, where
    // its own answer would be a_rNatural (or the failure a_NaturalCode); empty when no rule is
    // needed, nothing when no rule can.
    template <typename tItem>
    std::optional<tJson> ListRule(const tListAnswer<tItem>& a_rAnswer,
                                  const std::vector<tItem>& a_rNatural,
                                  std::int32_t a_NaturalCode) {
        tJson l_Rule = tJson::object();
        const bool l_Text = std::is_same<tItem, char>::value;
        if (a_rAnswer.m_Code == kListTooLong && !a_rAnswer.m_Filled) {
            // Something to list, and an absurd count for it.
            l_Rule[l_Text ? "text" : "items"] = l_Text ? tJson("") : tJson::array({0});
            l_Rule["count"] = a_rAnswer.m_Announced;
        } else if (!a_rAnswer.m_Filled) {
            if (a_rAnswer.m_Code == a_NaturalCode && (a_NaturalCode < 0 || a_rNatural.empty())) {
                return l_Rule;
            }
            if (a_rAnswer.m_Code >= 0 && !l_Text) {
                l_Rule["items"] = tJson::array();
            }
            if (a_rAnswer.m_Code != 0 || l_Text) {
                l_Rule["answer"] = a_rAnswer.m_Code;
            }
            if (l_Text && a_rAnswer.m_Code >= 0) {
                return std::nullopt;
            }
        } else if (a_rAnswer.m_Code != 0) {
            // A fill that failed after a count that did not: the two calls cannot be told
            // apart by their arguments.
            return std::nullopt;
        } else if (a_NaturalCode == 0 && a_rAnswer.m_Items == a_rNatural) {
            return l_Rule;
        } else {
            if constexpr (std::is_same<tItem, char>::value) {
                const std::vector<char>& l_Bytes = a_rAnswer.m_Items;
                const bool l_Ends = !l_Bytes.empty() && l_Bytes.back() == '\0';
                const std::string l_Path(l_Bytes.begin(), l_Bytes.end() - (l_Ends ? 1 : 0));
                // A text that is not UTF-8 comes back from the file other than it was.
                if (l_Bytes.empty() || tJson::parse(jsonText(l_Path)) != l_Path) {
                    return std::nullopt;
                }
                l_Rule["text"] = l_Path;
                if (!l_Ends) {
                    l_Rule["terminated"] = false;
                }
            } else {
                l_Rule["items"] = tJson::array();
                for (const tItem l_Item : a_rAnswer.m_Items) {
                    l_Rule["items"].push_back(static_cast<std::uint32_t>(l_Item));
                }
            }
        }
        return l_Rule;
    }

    std::vector<tJson> Rules() {
        std::vector<tJson> l_Rules;
        auto l_Add = [&](const char* a_pEntry, const std::optional<std::uint32_t>& a_rBridge,
                         const std::optional<tJson>& a_rRule, const std::string& a_rWhat) {
            if (!a_rRule) {
                notReproduced(a_rWhat);
            } else if (!a_rRule->empty()) {
                tJson l_Rule = {{"entry", a_pEntry}};
                if (a_rBridge) {
                    l_Rule["bridge"] = *a_rBridge;
                }
                l_Rule.update(*a_rRule);
                l_Rules.push_back(std::move(l_Rule));
            }
        };
        if (m_rLibrary.openStatus() > 0) {
            l_Add("OpenSession", std::nullopt, tJson{{"answer", m_rLibrary.openStatus()}}, "");
        }
        if (m_Roots) {
            l_Add("GetRootBuses", std::nullopt, ListRule(*m_Roots, m_RootList, 0),
                  "GetRootBuses answered a failure after its count");
        }
        if (m_AllSearch && m_ChassisSearch) {
            std::vector<std::uint32_t> l_All, l_Chassis;
            for (const tRecordedBridge* l_pBridge : m_InFile) {
                l_All.push_back(l_pBridge->m_Ref);
                const auto& l_Ids = l_pBridge->m_Ids.m_Values;
                if (!l_pBridge->m_Ids.m_Unwritten &&
                    l_Ids[2] == ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID &&
                    l_Ids[3] == ZUPCIBRD_CHASSIS_SUBSYSTEM_ID) {
                    l_Chassis.push_back(l_pBridge->m_Ref);
                }
            }
            // Rules cannot tell one search from the other: one rule has to serve both.
            const auto l_AllRule = ListRule(*m_AllSearch, l_All, 0);
            const bool l_OneRule = l_AllRule == ListRule(*m_ChassisSearch, l_Chassis, 0);
            l_Add("FindBridgesByPciIds", std::nullopt, l_OneRule ? l_AllRule : std::nullopt,
                  "FindBridgesByPciIds: the finder's search and the search for every bridge "
                  "answer what no one list of bridges gives");
        }
        for (const auto& l_Bus : m_BusChildren) {
            const auto l_Rule = ListRule(l_Bus.second, m_OnBus[l_Bus.first], 0);
            if (!l_Rule || !l_Rule->empty()) {
                notReproduced("GetBusChildren of root bus 0x" + hexText(l_Bus.first, 2) +
                              " answers other than the bridges on that bus");
            }
        }
        for (unsigned l_Bus = 0; l_Bus <= 0xFF && m_rLibrary.has(kFindParentBridgeForBus);
             ++l_Bus) {
            const bool l_Known =
                std::find(m_RootList.begin(), m_RootList.end(), l_Bus) != m_RootList.end() ||
                m_Above[l_Bus] != 0;
            const std::pair<std::int32_t, std::uint32_t> l_Natural = {
                l_Known ? 0 : ZUPCIBRD_SIM_NOT_FOUND, m_Above[l_Bus]};
            const auto& l_Answer = m_BusOwner[l_Bus];
            if (l_Answer.first != l_Natural.first ||
                (l_Answer.first >= 0 && l_Answer.second != l_Natural.second)) {
                notReproduced("FindParentBridgeForBus of bus 0x" + hexText(l_Bus, 2) +
                              " answers other than the buses the bridges report");
            }
        }
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            BridgeRules(l_Bridge, l_Add);
        }
        return l_Rules;
    }

    template <typename tAdd> void BridgeRules(tRecordedBridge& a_rBridge, tAdd& a_rAdd) {
        const std::uint32_t l_Ref = a_rBridge.m_Ref;
        const std::string l_Which = " of bridge " + std::to_string(l_Ref);
        const std::int32_t l_Absent = a_rBridge.m_InMachine ? 0 : ZUPCIBRD_SIM_UNKNOWN_BRIDGE;
        const auto l_Children = m_BridgeChildren.find(l_Ref);
        if (l_Children != m_BridgeChildren.end()) {
            const std::vector<std::uint32_t> l_Natural = a_rBridge.m_InMachine
                                                             ? m_OnBus[*a_rBridge.m_SecondaryBus]
                                                             : std::vector<std::uint32_t>();
            a_rAdd("GetBridgeChildren", l_Ref, ListRule(l_Children->second, l_Natural, l_Absent),
                   "GetBridgeChildren" + l_Which + " answered a failure after its count");
        }
        // Single answers: the code, and whether and what the outputs were written.
        auto l_Single = [&](const char* a_pEntry, const tSingleAnswer& a_rAnswer,
                            std::int32_t a_NaturalCode, std::optional<std::uint32_t> a_Value,
                            std::optional<std::uint32_t> a_Attribute) {
            if (a_rAnswer.m_Changes) {
                return;
            }
            tJson l_Rule = tJson::object();
            if (a_Attribute) {
                l_Rule["attribute"] = "0x" + hexText(*a_Attribute, 8);
            }
            const std::size_t l_Plain = l_Rule.size();
            if (a_rAnswer.m_Code < 0) {
                if (a_rAnswer.m_Code != a_NaturalCode) {
                    l_Rule["answer"] = a_rAnswer.m_Code;
                }
            } else {
                if (a_rAnswer.m_Unwritten) {
                    l_Rule["writes"] = false;
                } else if (a_Value) {
                    l_Rule["value"] = *a_Value;
                }
                if (a_rAnswer.m_Code != 0 || (a_NaturalCode < 0 && a_rAnswer.m_Unwritten)) {
                    l_Rule["answer"] = a_rAnswer.m_Code;
                }
                if (a_NaturalCode < 0 && !a_rAnswer.m_Unwritten && !a_Value) {
                    notReproduced(std::string(a_pEntry) + l_Which +
                                  " answers for a bridge the file leaves out");
                    return;
                }
            }
            if (l_Rule.size() > l_Plain) {
                a_rAdd(a_pEntry, l_Ref, l_Rule, "");
            }
        };
        if (m_rLibrary.has(kGetBridgeAddress)) {
            l_Single("GetBridgeAddress", a_rBridge.m_Address, l_Absent, {}, {});
        }
        if (m_rLibrary.has(kGetBridgeIds)) {
            l_Single("GetBridgeIds", a_rBridge.m_Ids, l_Absent, {}, {});
        }
        if (m_rLibrary.has(kGetBridgeParent)) {
            const std::uint32_t l_Derived = a_rBridge.m_InMachine ? m_Above[a_rBridge.m_Bus] : 0;
            const std::uint32_t l_Parent = a_rBridge.m_Parent.m_Values[0];
            const bool l_Agrees = a_rBridge.m_InMachine && a_rBridge.m_Parent.m_Code == 0 &&
                                  !a_rBridge.m_Parent.m_Unwritten && l_Parent == l_Derived;
            if (a_rBridge.m_InMachine && !l_Agrees && a_rBridge.m_Parent.m_Code >= 0 &&
                !a_rBridge.m_Parent.m_Unwritten) {
                a_rBridge.m_Notes.push_back("the library named parent " + std::to_string(l_Parent));
            }
            l_Single("GetBridgeParent", a_rBridge.m_Parent, l_Absent,
                     l_Agrees ? std::nullopt : std::optional<std::uint32_t>(l_Parent), {});
            a_rBridge.m_ParentAgrees = l_Agrees;
        }
        if (a_rBridge.m_SlotPath) {
            const std::string l_Path = a_rBridge.m_InMachine ? SlotPath(a_rBridge) + '\0' : "";
            const std::vector<char> l_Natural(l_Path.begin(), l_Path.end());
            a_rAdd("GetBridgeSlotPath", l_Ref, ListRule(*a_rBridge.m_SlotPath, l_Natural, l_Absent),
                   "GetBridgeSlotPath" + l_Which + " answered what a rule cannot repeat");
        }
        for (const auto& l_Attribute : a_rBridge.m_Attributes) {
            const tSingleAnswer& l_Answer = l_Attribute.second;
            const bool l_Kept = a_rBridge.m_InMachine && l_Answer.m_Code >= 0 &&
                                !l_Answer.m_Unwritten && !l_Answer.m_Changes;
            if (l_Kept) {
                a_rBridge.m_Kept[l_Attribute.first] = l_Answer.m_Values[0];
            }
            l_Single("GetAttributeU32", l_Answer,
                     l_Absent ? l_Absent
                     : l_Kept ? 0
                              : ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE,
                     l_Kept || l_Answer.m_Code < 0
                         ? std::nullopt
                         : std::optional<std::uint32_t>(l_Answer.m_Values[0]),
                     l_Attribute.first);
        }
    }

    const cBridgeLibrary& m_rLibrary;
    std::vector<std::uint8_t> m_RootList;
    std::vector<const tRecordedBridge*> m_InFile;
    std::array<std::vector<std::uint32_t>, 256> m_OnBus;
    std::array<std::uint32_t, 256> m_Above = {};
};

} // namespace

tMachineRecording recordMachine(cBridgeLibrary& a_rLibrary,
                                const std::vector<std::uint32_t>& a_rAttributes,
                                std::ostream& a_rErr) {
    std::vector<std::uint32_t> l_Attributes = {ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE};
    for (const std::uint32_t l_Id : a_rAttributes) {
        if (std::find(l_Attributes.begin(), l_Attributes.end(), l_Id) == l_Attributes.end()) {
            l_Attributes.push_back(l_Id);
        }
    }
    tMachineRecording l_Recording;
    const tRecordLog l_Log{a_rErr, l_Recording};
    cMachineRecorder(a_rLibrary, readLibrary(a_rLibrary, l_Attributes, l_Log), l_Log).Run();
    return l_Recording;
}

} // namespace nProbe
} // namespace nZU7461_14_0
