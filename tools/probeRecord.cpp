#include "tools/probeRecord.h"

#include "tools/probeFinder.h"
#include "tools/probeModule.h"
#include "tools/probeVerify.h"
#include "tools/probeWalk.h"

#include "sim/simTopologyFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <tuple>
#include <set>
#include <unordered_map>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

using tJson = nlohmann::ordered_json;

constexpr std::int32_t kUnknownBridge = -313004;
constexpr std::int32_t kNotFound = -313007;
constexpr std::int32_t kUnknownAttribute = -313010;
// The simulator reads no file above 1 MiB; rules that would make the file larger are dropped.
constexpr std::size_t kMaxFileBytes = 1000 * 1000;
// Bridges named one by one in messages and in the file's comment; the rest are counted.
constexpr std::size_t kNamedLeftOut = 20;
constexpr std::size_t kShownFailures = 50;

// One count-then-fill answer as the library gave it.
template <typename tItem> struct tListAnswer {
    std::int32_t m_Code = 0;
    std::int32_t m_CountCode = 0;
    std::uint32_t m_Announced = 0;
    bool m_Counted = false;
    bool m_Filled = false;
    std::vector<tItem> m_Items;
    std::string m_Why;
};

// An entry point with up to four outputs, called twice: once with its outputs set to zero, once
// with every bit set, which tells outputs left unwritten from outputs written, and an answer
// that changes between two calls from one that does not.
struct tSingleAnswer {
    std::int32_t m_Code = 0;
    std::array<std::uint32_t, 4> m_Values = {};
    bool m_Unwritten = false;
    bool m_Changes = false;
};

// a_Call is handed a pointer to each output, of the types tValues.
template <typename... tValues, typename tCall> tSingleAnswer readTwice(tCall a_Call) {
    tSingleAnswer l_First, l_Second;
    for (tSingleAnswer* l_pAnswer : {&l_First, &l_Second}) {
        std::tuple<tValues...> l_Values(static_cast<tValues>(l_pAnswer == &l_First ? 0 : ~0)...);
        l_pAnswer->m_Code =
            std::apply([&](tValues&... a_rValues) { return a_Call(&a_rValues...); }, l_Values);
        l_pAnswer->m_Values = std::apply(
            [](tValues... a_Values) { return std::array<std::uint32_t, 4>{a_Values...}; },
            l_Values);
    }
    const std::array<std::uint32_t, 4> l_AllSet = {static_cast<tValues>(~0)...};
    if (l_First.m_Code != l_Second.m_Code) {
        l_First.m_Changes = true;
    } else if (l_First.m_Code >= 0 && l_First.m_Values != l_Second.m_Values) {
        l_First.m_Unwritten =
            l_First.m_Values == std::array<std::uint32_t, 4>{} && l_Second.m_Values == l_AllSet;
        l_First.m_Changes = !l_First.m_Unwritten;
    }
    return l_First;
}

struct tRecordedBridge {
    std::uint32_t m_Ref = 0;
    tSingleAnswer m_Address, m_Ids, m_Parent;
    bool m_ParentRead = false;
    std::optional<tListAnswer<char>> m_SlotPath;
    std::vector<std::pair<std::uint32_t, tSingleAnswer>> m_Attributes;
    // The machine: where the bridge sits in the file, if it does.
    bool m_InMachine = false;
    std::uint8_t m_Bus = 0, m_Device = 0, m_Function = 0;
    std::optional<std::uint8_t> m_SecondaryBus;
    std::vector<std::string> m_Notes;
    // Set with the rules: what the file's own members say.
    bool m_ParentAgrees = false;
    std::map<std::uint32_t, std::uint32_t> m_Kept;
};

std::string jsonText(const std::string& a_rText) {
    return nlohmann::json(a_rText).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The text as JSON, or nothing when it is not UTF-8 and so cannot be written as it is.
std::optional<std::string> exactJsonText(const std::string& a_rText) {
    try {
        return nlohmann::json(a_rText).dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

// Walks the library and remembers every answer on the way.
class cRecorder {
public:
    cRecorder(cBridgeLibrary& a_rLibrary, const std::vector<std::uint32_t>& a_rAttributes,
              std::ostream& a_rErr)
        : m_rLibrary(a_rLibrary), m_rAttributes(a_rAttributes), m_rErr(a_rErr), m_Walk([this] {
              m_rErr << "zu7461-probe: the library reports more than " << kMaxListItems
                     << " bridges; the walk stops there\n";
              m_Recording.m_Complete = false;
          }) {}

    tMachineRecording Run() {
        Walk();
        if (m_Failures > kShownFailures) {
            m_rErr << "zu7461-probe: " << m_Failures - kShownFailures
                   << " more calls failed (not shown)\n";
        }
        BuildMachine();
        std::vector<tJson> l_Rules = Rules();
        std::string l_Body = Body(l_Rules);
        if (l_Body.size() > kMaxFileBytes) {
            NotReproduced("the rules that repeat the library's answers would make the file "
                          "larger than the simulator reads; they are left out");
            l_Rules.clear();
            l_Body = Body(l_Rules);
        }
        m_Recording.m_Body = l_Body;
        return m_Recording;
    }

private:
    std::uint32_t Session() const { return m_rLibrary.session(); }
    template <typename tFunction> tFunction Entry(std::size_t a_Entry) const {
        return m_rLibrary.entry<tFunction>(a_Entry);
    }
    void Failed(const std::string& a_rWhat, std::int32_t a_Status, const std::string& a_rWhy) {
        // A library that refuses every bridge of thousands gets a report one can still read.
        if (++m_Failures <= kShownFailures) {
            m_rErr << "zu7461-probe: " << a_rWhat << " failed with " << statusText(a_Status)
                   << (a_rWhy.empty() ? "" : ": " + a_rWhy) << "\n";
        }
        m_Recording.m_Complete = false;
    }
    void NotReproduced(const std::string& a_rWhat) {
        m_rErr << "zu7461-probe: not reproduced by the file: " << a_rWhat << "\n";
        m_Recording.m_NotReproduced.push_back(a_rWhat);
    }
    bool Has(std::size_t a_Entry) {
        if (!m_rLibrary.has(a_Entry)) {
            if (m_Missing.insert(a_Entry).second) {
                m_rErr << "zu7461-probe: the library lacks " << kZuPciBrdEntryNames[a_Entry]
                       << "\n";
            }
            m_Recording.m_Complete = false;
            return false;
        }
        return true;
    }

    // Whether more lists may be read. What is not read stays out of the file, as with an entry
    // point the library lacks.
    bool Affordable() {
        if (m_ItemsRead <= kMaxWalkItems) {
            return true;
        }
        if (!m_ListsCut) {
            m_ListsCut = true;
            m_rErr << "zu7461-probe: the library's lists add up to more than " << kMaxWalkItems
                   << " items; the rest is not read\n";
        }
        m_Recording.m_Complete = false;
        return false;
    }

    void Meet(std::uint32_t a_Ref) {
        if (a_Ref == 0 || a_Ref == 0xFFFFFFFFu) {
            if (m_BadRefs.insert(a_Ref).second) {
                m_rErr << "zu7461-probe: the library listed the reference " << a_Ref
                       << ", which no bridge can have\n";
            }
            return;
        }
        m_Walk.meet(a_Ref);
    }

    // The list the entry point gives for the session and a_Arguments; a failure reported as
    // that of a_rWhat.
    template <typename tFunction, typename tItem, typename... tArguments>
    tListAnswer<tItem> List(std::size_t a_Entry, const std::string& a_rWhat,
                            tArguments... a_Arguments) {
        tListAnswer<tItem> l_Answer;
        l_Answer.m_Code = fetchAll<tItem>(
            [&](tItem* a_pItems, std::uint32_t* a_pCount) {
                const std::int32_t l_Status =
                    Entry<tFunction>(a_Entry)(Session(), a_Arguments..., a_pItems, a_pCount);
                // The first call is the count query, whatever the fill's buffer turns out to be.
                if (!l_Answer.m_Counted) {
                    l_Answer.m_Counted = true;
                    l_Answer.m_CountCode = l_Status;
                    l_Answer.m_Announced = *a_pCount;
                } else {
                    l_Answer.m_Filled = true;
                }
                return l_Status;
            },
            l_Answer.m_Items, &l_Answer.m_Why);
        if (l_Answer.m_Code < 0) {
            Failed(a_rWhat, l_Answer.m_Code, l_Answer.m_Why);
        }
        m_ItemsRead += l_Answer.m_Items.size();
        return l_Answer;
    }

    // The machine-wide search first, whose order is the order of the finder's list and so of
    // the file; then the finder's own search, then what the walk from the root buses adds.
    void Walk() {
        if (Has(kGetRootBuses)) {
            m_Roots = List<tZuPciBrd_GetRootBuses, std::uint8_t>(kGetRootBuses, "GetRootBuses");
        }
        if (Has(kFindBridgesByPciIds)) {
            m_AllSearch = List<tZuPciBrd_FindBridgesByPciIds, std::uint32_t>(
                kFindBridgesByPciIds, "FindBridgesByPciIds with no ID", nullptr, nullptr, nullptr,
                nullptr);
            const std::uint16_t l_SsVid = ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID,
                                l_SsId = ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;
            m_ChassisSearch = List<tZuPciBrd_FindBridgesByPciIds, std::uint32_t>(
                kFindBridgesByPciIds, "FindBridgesByPciIds for the chassis", nullptr, nullptr,
                &l_SsVid, &l_SsId);
            for (const std::uint32_t l_Ref : m_AllSearch->m_Items) {
                Meet(l_Ref);
            }
            for (const std::uint32_t l_Ref : m_ChassisSearch->m_Items) {
                Meet(l_Ref);
            }
        }
        if (m_Roots && Has(kGetBusChildren)) {
            for (const std::uint8_t l_Bus : m_Roots->m_Items) {
                if (m_BusChildren.count(l_Bus) != 0) {
                    continue;
                }
                if (!Affordable()) {
                    break;
                }
                auto& l_Children = m_BusChildren[l_Bus] =
                    List<tZuPciBrd_GetBusChildren, std::uint32_t>(
                        kGetBusChildren, "GetBusChildren of root bus 0x" + hexText(l_Bus, 2),
                        l_Bus);
                for (const std::uint32_t l_Ref : l_Children.m_Items) {
                    Meet(l_Ref);
                }
            }
        }
        m_Walk.walk([&](std::size_t a_Index) {
            if (!Has(kGetBridgeChildren) || !Affordable()) {
                return;
            }
            const std::uint32_t l_Ref = m_Walk.bridges()[a_Index].m_Ref;
            auto& l_Children = m_BridgeChildren[l_Ref] =
                List<tZuPciBrd_GetBridgeChildren, std::uint32_t>(
                    kGetBridgeChildren, "GetBridgeChildren of bridge " + std::to_string(l_Ref),
                    l_Ref);
            for (const std::uint32_t l_Child : l_Children.m_Items) {
                Meet(l_Child);
            }
        });
        if (Has(kFindParentBridgeForBus)) {
            for (unsigned l_Bus = 0; l_Bus <= 0xFF; ++l_Bus) {
                std::uint32_t l_Bridge = 0;
                const std::int32_t l_Status =
                    Entry<tZuPciBrd_FindParentBridgeForBus>(kFindParentBridgeForBus)(
                        Session(), static_cast<std::uint8_t>(l_Bus), &l_Bridge);
                m_BusOwner[l_Bus] = {l_Status, l_Status >= 0 ? l_Bridge : 0};
            }
        }
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            Describe(l_Bridge);
        }
    }

    void Describe(tRecordedBridge& a_rBridge) {
        const std::uint32_t l_Ref = a_rBridge.m_Ref;
        const std::string l_Which = " of bridge " + std::to_string(l_Ref);
        auto l_Single = [&](const std::string& a_rName, const tSingleAnswer& a_rAnswer) {
            if (a_rAnswer.m_Changes) {
                NotReproduced(a_rName + l_Which + " answers differently each time");
            } else if (a_rAnswer.m_Code < 0) {
                Failed(a_rName + l_Which, a_rAnswer.m_Code, "");
            }
        };
        if (Has(kGetBridgeAddress)) {
            a_rBridge.m_Address =
                readTwice<std::uint8_t, std::uint8_t, std::uint8_t>([&](auto... a_pOutputs) {
                    return Entry<tZuPciBrd_GetBridgeAddress>(kGetBridgeAddress)(Session(), l_Ref,
                                                                                a_pOutputs...);
                });
            l_Single("GetBridgeAddress", a_rBridge.m_Address);
        }
        if (Has(kGetBridgeIds)) {
            a_rBridge.m_Ids = readTwice<std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t>(
                [&](auto... a_pOutputs) {
                    return Entry<tZuPciBrd_GetBridgeIds>(kGetBridgeIds)(Session(), l_Ref,
                                                                        a_pOutputs...);
                });
            l_Single("GetBridgeIds", a_rBridge.m_Ids);
        }
        if (Has(kGetBridgeParent)) {
            a_rBridge.m_ParentRead = true;
            a_rBridge.m_Parent = readTwice<std::uint32_t>([&](std::uint32_t* a_pParent) {
                return Entry<tZuPciBrd_GetBridgeParent>(kGetBridgeParent)(Session(), l_Ref,
                                                                          a_pParent);
            });
            l_Single("GetBridgeParent", a_rBridge.m_Parent);
        }
        if (Has(kGetBridgeSlotPath) && Affordable()) {
            a_rBridge.m_SlotPath = List<tZuPciBrd_GetBridgeSlotPath, char>(
                kGetBridgeSlotPath, "GetBridgeSlotPath" + l_Which, l_Ref);
            const std::vector<char>& l_Text = a_rBridge.m_SlotPath->m_Items;
            const std::string l_Path(l_Text.begin(), std::find(l_Text.begin(), l_Text.end(), '\0'));
            if (a_rBridge.m_SlotPath->m_Code >= 0 && !isSlotPath(l_Path)) {
                m_rErr << "zu7461-probe: the slot path" << l_Which << ", " << jsonText(l_Path)
                       << ", does not parse as MRbb:ee,...\n";
            }
        }
        if (Has(kGetAttributeU32)) {
            for (const std::uint32_t l_Id : m_rAttributes) {
                a_rBridge.m_Attributes.emplace_back(
                    l_Id, readTwice<std::uint32_t>([&](std::uint32_t* a_pValue) {
                        return Entry<tZuPciBrd_GetAttributeU32>(kGetAttributeU32)(Session(), l_Ref,
                                                                                  l_Id, a_pValue);
                    }));
                // Not every bridge has every attribute: a refusal is an answer, not a gap.
                if (a_rBridge.m_Attributes.back().second.m_Changes) {
                    l_Single("GetAttributeU32 0x" + hexText(l_Id, 8),
                             a_rBridge.m_Attributes.back().second);
                }
            }
        }
    }

    // A machine the simulator accepts, as close to the answers as one can be: every bus a
    // bridge sits on is a root bus or behind another bridge, every bridge has a bus of its own
    // behind it, addresses are unique and no chain of parents loops.
    void BuildMachine() {
        std::array<bool, 256> l_Root = {};
        if (m_Roots) {
            for (const std::uint8_t l_Bus : m_Roots->m_Items) {
                if (!l_Root[l_Bus]) {
                    l_Root[l_Bus] = true;
                    m_RootList.push_back(l_Bus);
                }
            }
        }
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
                m_Recording.m_Complete = false;
                continue;
            }
            const std::uint32_t l_Key =
                l_Address.m_Values[0] << 8 | l_Address.m_Values[1] << 3 | l_Address.m_Values[2];
            if (!l_Addresses.insert(l_Key).second) {
                NotReproduced("bridge " + std::to_string(l_Bridge.m_Ref) +
                              " has the address of another bridge");
                continue;
            }
            l_Bridge.m_InMachine = true;
            l_Bridge.m_Bus = static_cast<std::uint8_t>(l_Address.m_Values[0]);
            l_Bridge.m_Device = static_cast<std::uint8_t>(l_Address.m_Values[1]);
            l_Bridge.m_Function = static_cast<std::uint8_t>(l_Address.m_Values[2]);
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
                        l_pBridge->m_InMachine = true;
                        l_pBridge->m_Bus = l_Buses[l_Index];
                        l_pBridge->m_Device = static_cast<std::uint8_t>(l_Slot >> 3);
                        l_pBridge->m_Function = static_cast<std::uint8_t>(l_Slot & 7);
                        l_pBridge->m_Notes.push_back(
                            "the library wrote no address: one was chosen");
                        break;
                    }
                }
            }
        }
        l_ClaimAll();
        auto l_MakeRoot = [&](unsigned a_Bus) {
            l_Root[a_Bus] = true;
            m_RootList.push_back(static_cast<std::uint8_t>(a_Bus));
        };
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
                    NotReproduced("bridge " + std::to_string(l_Bridge.m_Ref) +
                                  ": no bus is left to put behind it");
                }
            }
        }
        for (tRecordedBridge& l_Bridge : m_Walk.bridges()) {
            if (l_Bridge.m_InMachine) {
                m_InFile.push_back(&l_Bridge);
                m_OnBus[l_Bridge.m_Bus].push_back(l_Bridge.m_Ref);
            } else {
                m_Recording.m_LeftOut.push_back(l_Bridge.m_Ref);
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
                static_cast<std::uint8_t>((*l_pBridge)->m_Device * 8u + (*l_pBridge)->m_Function));
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
            if (l_Text) {
                l_Rule["text"] = "";
            } else {
                l_Rule["items"] = {0};
            }
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
                if (l_Bytes.empty() || !exactJsonText(l_Path)) {
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
                NotReproduced(a_rWhat);
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
            const auto l_AllRule = ListRule(*m_AllSearch, l_All, 0);
            const auto l_ChassisRule = ListRule(*m_ChassisSearch, l_Chassis, 0);
            // Rules cannot tell one search from the other: one rule has to serve both.
            const bool l_OneRule = l_AllRule && l_ChassisRule && *l_AllRule == *l_ChassisRule;
            const std::optional<tJson> l_Rule = l_OneRule ? l_AllRule : std::nullopt;
            l_Add("FindBridgesByPciIds", std::nullopt, l_Rule,
                  "FindBridgesByPciIds: the finder's search and the search for every bridge "
                  "answer what no one list of bridges gives");
        }
        for (const auto& l_Bus : m_BusChildren) {
            const auto l_Rule = ListRule(l_Bus.second, m_OnBus[l_Bus.first], 0);
            if (!l_Rule || !l_Rule->empty()) {
                NotReproduced("GetBusChildren of root bus 0x" + hexText(l_Bus.first, 2) +
                              " answers other than the bridges on that bus");
            }
        }
        for (unsigned l_Bus = 0; l_Bus <= 0xFF && m_rLibrary.has(kFindParentBridgeForBus);
             ++l_Bus) {
            const bool l_Known =
                std::find(m_RootList.begin(), m_RootList.end(), l_Bus) != m_RootList.end() ||
                m_Above[l_Bus] != 0;
            const std::pair<std::int32_t, std::uint32_t> l_Natural = {l_Known ? 0 : kNotFound,
                                                                      m_Above[l_Bus]};
            const auto& l_Answer = m_BusOwner[l_Bus];
            if (l_Answer.first != l_Natural.first ||
                (l_Answer.first >= 0 && l_Answer.second != l_Natural.second)) {
                NotReproduced("FindParentBridgeForBus of bus 0x" + hexText(l_Bus, 2) +
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
        const std::int32_t l_Absent = a_rBridge.m_InMachine ? 0 : kUnknownBridge;
        const auto l_Children = m_BridgeChildren.find(l_Ref);
        if (l_Children != m_BridgeChildren.end()) {
            std::vector<std::uint32_t> l_Natural;
            if (a_rBridge.m_InMachine) {
                l_Natural = m_OnBus[*a_rBridge.m_SecondaryBus];
            }
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
                    NotReproduced(std::string(a_pEntry) + l_Which +
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
        if (a_rBridge.m_ParentRead) {
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
            std::vector<char> l_Natural;
            if (a_rBridge.m_InMachine) {
                const std::string l_Path = SlotPath(a_rBridge);
                l_Natural.assign(l_Path.begin(), l_Path.end());
                l_Natural.push_back('\0');
            }
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
                              : kUnknownAttribute,
                     l_Kept || l_Answer.m_Code < 0
                         ? std::nullopt
                         : std::optional<std::uint32_t>(l_Answer.m_Values[0]),
                     l_Attribute.first);
        }
    }

    // The bridge as the file gives it, with what the walk noted of it.
    nZuPciBrdSim::tWrittenBridge Written(const tRecordedBridge& a_rBridge) const {
        const auto& l_Ids = a_rBridge.m_Ids.m_Values;
        auto l_Id = [&](std::size_t a_Index) { return static_cast<std::uint16_t>(l_Ids[a_Index]); };
        nZuPciBrdSim::tWrittenBridge l_Written = {
            {a_rBridge.m_Ref, a_rBridge.m_Bus, a_rBridge.m_Device, a_rBridge.m_Function,
             *a_rBridge.m_SecondaryBus, l_Id(0), l_Id(1), l_Id(2), l_Id(3),
             a_rBridge.m_Parent.m_Values[0], std::string(), a_rBridge.m_Kept},
            a_rBridge.m_ParentAgrees,
            std::string()};
        if (a_rBridge.m_SlotPath && a_rBridge.m_SlotPath->m_Code >= 0) {
            const auto& l_Text = a_rBridge.m_SlotPath->m_Items;
            l_Written.m_Comment =
                "slot path " +
                std::string(l_Text.begin(), std::find(l_Text.begin(), l_Text.end(), '\0'));
        }
        for (const std::string& l_Note : a_rBridge.m_Notes) {
            l_Written.m_Comment += (l_Written.m_Comment.empty() ? "" : "; ") + l_Note;
        }
        return l_Written;
    }

    std::string Body(const std::vector<tJson>& a_rRules) {
        m_Recording.m_RootBuses = m_RootList.size();
        m_Recording.m_Bridges = m_InFile.size();
        std::vector<nZuPciBrdSim::tWrittenBridge> l_Bridges;
        for (const tRecordedBridge* l_pBridge : m_InFile) {
            l_Bridges.push_back(Written(*l_pBridge));
        }
        return nZuPciBrdSim::topologyBody(
            m_RootList, l_Bridges, a_rRules,
            "answers of the recorded library that its machine alone does not give");
    }

    cBridgeLibrary& m_rLibrary;
    const std::vector<std::uint32_t>& m_rAttributes;
    std::ostream& m_rErr;
    tMachineRecording m_Recording;
    std::set<std::size_t> m_Missing;
    std::set<std::uint32_t> m_BadRefs;
    std::size_t m_Failures = 0;
    cBridgeWalk<tRecordedBridge> m_Walk;
    std::optional<tListAnswer<std::uint8_t>> m_Roots;
    std::optional<tListAnswer<std::uint32_t>> m_AllSearch, m_ChassisSearch;
    std::uint64_t m_ItemsRead = 0;
    bool m_ListsCut = false;
    std::map<std::uint8_t, tListAnswer<std::uint32_t>> m_BusChildren;
    std::unordered_map<std::uint32_t, tListAnswer<std::uint32_t>> m_BridgeChildren;
    std::array<std::pair<std::int32_t, std::uint32_t>, 256> m_BusOwner = {};
    std::vector<std::uint8_t> m_RootList;
    std::vector<const tRecordedBridge*> m_InFile;
    std::array<std::vector<std::uint32_t>, 256> m_OnBus;
    std::array<std::uint32_t, 256> m_Above = {};
};

std::string hostName() {
#ifdef _WIN32
    wchar_t l_Name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD l_Size = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(l_Name, &l_Size) == 0) {
        return "an unnamed computer";
    }
    std::string l_Text;
    for (DWORD l_Index = 0; l_Index < l_Size; ++l_Index) {
        // Computer names are ASCII in practice; anything else is shown as '?'.
        l_Text += l_Name[l_Index] < 0x80 ? static_cast<char>(l_Name[l_Index]) : '?';
    }
    return l_Text;
#else
    char l_Name[256] = {};
    return gethostname(l_Name, sizeof l_Name - 1) == 0 ? l_Name : "an unnamed computer";
#endif
}

std::string utcNow() {
    const std::time_t l_Now = std::time(nullptr);
    std::tm l_Utc{};
#ifdef _WIN32
    gmtime_s(&l_Utc, &l_Now);
#else
    gmtime_r(&l_Now, &l_Utc);
#endif
    char l_Text[32];
    std::strftime(l_Text, sizeof l_Text, "%Y-%m-%dT%H:%M:%SZ", &l_Utc);
    return l_Text;
}

std::FILE* openFile(const std::string& a_rUtf8Path, const char* a_pMode) {
#ifdef _WIN32
    const tWideString l_Path = widen(a_rUtf8Path);
    const tWideString l_Mode = widen(a_pMode);
    return _wfopen(reinterpret_cast<const wchar_t*>(l_Path.c_str()),
                   reinterpret_cast<const wchar_t*>(l_Mode.c_str()));
#else
    return std::fopen(a_rUtf8Path.c_str(), a_pMode);
#endif
}

std::string counted(std::size_t a_Count, const char* a_pOne, const char* a_pMany) {
    return std::to_string(a_Count) + " " + (a_Count == 1 ? a_pOne : a_pMany);
}

std::string leftOutText(const std::vector<std::uint32_t>& a_rLeftOut) {
    std::string l_Text;
    for (std::size_t l_Index = 0; l_Index < a_rLeftOut.size() && l_Index < kNamedLeftOut;
         ++l_Index) {
        l_Text += (l_Index == 0 ? "" : ", ") + std::to_string(a_rLeftOut[l_Index]);
    }
    if (a_rLeftOut.size() > kNamedLeftOut) {
        l_Text += " and " + std::to_string(a_rLeftOut.size() - kNamedLeftOut) + " more";
    }
    return l_Text;
}

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
    return cRecorder(a_rLibrary, l_Attributes, a_rErr).Run();
}

int runRecord(const tRecordOptions& a_rOptions, std::ostream& a_rOut, std::ostream& a_rErr) {
    const std::string& l_File = a_rOptions.m_File;
    bool l_Replacing = false;
    if (std::FILE* l_pExisting = openFile(l_File, "rb")) {
        std::fclose(l_pExisting);
        if (!a_rOptions.m_Force) {
            a_rErr << "zu7461-probe: " << l_File << " exists already; give --force to replace it\n";
            return 3;
        }
        l_Replacing = true;
    }
    const std::string l_Module = joinPath(executableFolder(), nativeModuleName("zu7461"));
    // What the finder and a diagnosis see of the library now, for the replay to match.
    const tLibraryView l_Before = captureView(l_Module);

    const char kLibraryName[] = "zupcibrd.dll";
    tMachineRecording l_Recording;
    std::string l_Location;
    {
        const tLoadedModule l_Loaded = loadModule(kLibraryName);
        if (l_Loaded.m_Module == nullptr) {
            const std::string l_Message = systemMessage(l_Loaded.m_Error);
            a_rErr << "zu7461-probe: cannot load " << kLibraryName << ": error " << l_Loaded.m_Error
                   << (l_Message.empty() ? "" : " (" + l_Message + ")") << "; nothing recorded\n";
            return 1;
        }
        cBridgeLibrary l_Library(l_Loaded.m_Module);
        l_Location = moduleLocation(l_Loaded.m_Module, l_Library.anyEntry());
        if (!l_Library.has(kOpenSession)) {
            a_rErr << "zu7461-probe: the library lacks ZuPciBrd_OpenSession; nothing recorded\n";
            return 1;
        }
        const std::int32_t l_SessionStatus = l_Library.openSession();
        if (l_SessionStatus < 0) {
            a_rErr << "zu7461-probe: OpenSession failed with " << statusText(l_SessionStatus)
                   << "; nothing recorded\n";
            return 1;
        }
        l_Recording = recordMachine(l_Library, a_rOptions.m_Attributes, a_rErr);
    }
    if (l_Location.empty()) {
        l_Location = kLibraryName;
    }
    const bool l_Complete = l_Recording.m_Complete && l_Recording.m_LeftOut.empty();
    std::string l_Comment = "Recorded by zu7461-probe " ZU_PROJECT_VERSION " on " + hostName() +
                            " at " + utcNow() + " from " + l_Location;
    if (!l_Complete) {
        l_Comment += " (incomplete: see its report";
        if (!l_Recording.m_LeftOut.empty()) {
            l_Comment += "; left out: bridge" +
                         std::string(l_Recording.m_LeftOut.size() == 1 ? " " : "s ") +
                         leftOutText(l_Recording.m_LeftOut);
        }
        l_Comment += ")";
    }
    const std::string l_Text =
        "{\n  \"comment\": " + jsonText(l_Comment) + ",\n" + l_Recording.m_Body;

    errno = 0;
    std::FILE* l_pFile = openFile(l_File, "wb");
    bool l_Written = l_pFile != nullptr &&
                     std::fwrite(l_Text.data(), 1, l_Text.size(), l_pFile) == l_Text.size();
    const int l_Error = errno;
    l_Written = l_pFile != nullptr && std::fclose(l_pFile) == 0 && l_Written;
    if (!l_Written) {
        const int l_Reason = errno != 0 ? errno : l_Error;
        a_rErr << "zu7461-probe: cannot write " << l_File
               << (l_Reason != 0 ? std::string(": ") + std::strerror(l_Reason) : std::string())
               << "\n";
        return 3;
    }
    if (!l_Recording.m_LeftOut.empty()) {
        a_rErr << "zu7461-probe: left out of the file: bridge"
               << (l_Recording.m_LeftOut.size() == 1 ? " " : "s ")
               << leftOutText(l_Recording.m_LeftOut) << "\n";
    }
    a_rOut << (l_Replacing ? "Replaced " + l_File + " with a recording of " : "Recorded ")
           << counted(l_Recording.m_RootBuses, "root bus", "root buses") << " and "
           << counted(l_Recording.m_Bridges, "bridge", "bridges") << " from " << l_Location
           << (l_Replacing ? "" : " into " + l_File) << (l_Complete ? "" : " (incomplete)") << "\n";

    const bool l_Same =
        verifyRecording(l_File, l_Recording.m_Body, l_Before, a_rOptions, a_rOut, a_rErr);
    return l_Complete && l_Recording.m_NotReproduced.empty() && l_Same ? 0 : 1;
}

} // namespace nProbe
} // namespace nZU7461_14_0
