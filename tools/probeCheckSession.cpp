#include "tools/probeCheckSession.h"

#include "pcibrd/zupcibrd.h"
#include "tools/probeModule.h"
#include "tools/probeWalk.h"
#include "zu7461/zu7461.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <type_traits>
#include <utility>

namespace nZU7461_14_0 {
namespace nProbe {
namespace {

// More than any machine has: an answer above these (kMaxListItems for a list) is a finding,
// not something to read.
constexpr std::uint32_t kMaxSlotPathBytes = 65536;
// Items beyond the room given, where a fill that overruns it shows.
constexpr std::size_t kGuardItems = 4;
constexpr std::size_t kMaxShownItems = 8;

std::string busText(std::uint8_t a_Bus) {
    return hexText(a_Bus, 2);
}

// A library's text as printable ASCII, so that no byte it hands out reaches a terminal or
// the JSON output raw.
std::string escaped(const std::string& a_rText) {
    std::string l_Escaped;
    for (const char l_Char : a_rText) {
        const unsigned char l_Byte = static_cast<unsigned char>(l_Char);
        if (l_Byte < 0x20 || l_Byte > 0x7E || l_Char == '"' || l_Char == '\\') {
            l_Escaped += "\\x" + hexText(l_Byte, 2);
        } else {
            l_Escaped += l_Char;
        }
    }
    return l_Escaped;
}

std::string quoted(const std::string& a_rText) {
    return "\"" + shorten(escaped(a_rText)) + "\"";
}

template <typename tItem> std::string itemText(tItem a_Item) {
    return sizeof(tItem) == 1 ? busText(static_cast<std::uint8_t>(a_Item)) : num(a_Item);
}

template <typename tItem>
std::string listText(const std::vector<tItem>& a_rItems, std::size_t a_Max = SIZE_MAX) {
    if (a_rItems.empty()) {
        return "nothing";
    }
    std::string l_Text;
    for (std::size_t l_Index = 0; l_Index < a_rItems.size() && l_Index < a_Max; ++l_Index) {
        l_Text += (l_Index == 0 ? "" : ", ") + itemText(a_rItems[l_Index]);
    }
    return l_Text + (a_rItems.size() > a_Max ? ", ... (" + num(a_rItems.size()) + ")" : "");
}

std::string counted(std::uint64_t a_Count, const char* a_pUnit) {
    return num(a_Count) + " " + a_pUnit + (a_Count == 1 ? "" : "s");
}

std::string bridgeOrNone(std::uint32_t a_Bridge) {
    return a_Bridge == 0 ? "no bridge (a root bus)" : "bridge " + num(a_Bridge);
}

struct tOutput {
    void* m_pData;
    std::size_t m_Size;
    const char* m_pName;
};

bool holdsPattern(const tOutput& a_rOutput, unsigned char a_Pattern) {
    const unsigned char* l_pByte = static_cast<const unsigned char*>(a_rOutput.m_pData);
    return std::all_of(l_pByte, l_pByte + a_rOutput.m_Size,
                       [&](unsigned char a_Byte) { return a_Byte == a_Pattern; });
}

struct tBridge {
    std::uint32_t m_Ref = 0;
    bool m_HasAddress = false;
    std::uint8_t m_Bus = 0;
    bool m_HasIds = false;
    bool m_Chassis = false;
    bool m_HasParent = false;
    std::uint32_t m_Parent = 0;
    bool m_HasChildren = false;
    std::vector<std::uint32_t> m_Children;
};

// Everything one session reports, walked from the searches and the root buses, each answer
// checked against the others.
class cSessionCheck {
public:
    cSessionCheck(const cBridgeLibrary& a_rLibrary, std::uint32_t a_Session, cFindings& a_rFindings)
        : m_rLibrary(a_rLibrary), m_Session(a_Session), m_rFindings(a_rFindings), m_Walk([this] {
              finding("too-large", "the walk",
                      "reaches more than " + num(kMaxListItems) +
                          " bridges; the rest is not looked at");
          }) {}

    void run();
    const tAnswers& answers() const { return m_Answers; }

private:
    void finding(const char* a_pKind, const std::string& a_rCall, const std::string& a_rText) {
        m_rFindings.add(a_pKind, a_rCall, a_rText);
    }
    void failed(std::size_t a_Entry, const std::string& a_rCall, std::int32_t a_Status) {
        // A missing entry point was reported once; an unwritten output where it happened.
        if (a_Status < 0 && m_rLibrary.has(a_Entry) && a_Status != kUnwritten) {
            finding("failed", a_rCall, "fails with " + code(a_Status));
        }
    }
    std::int32_t query(const std::string& a_rCall, const std::function<std::int32_t()>& a_Call,
                       const std::vector<tOutput>& a_rOutputs);
    // query of the entry point with the session and a_Arguments.
    template <typename tFunction, typename... tArguments>
    std::int32_t ask(std::size_t a_Entry, const std::string& a_rCall,
                     const std::vector<tOutput>& a_rOutputs, tArguments... a_Arguments) {
        return query(
            a_rCall, [&] { return m_rLibrary.call<tFunction>(a_Entry, m_Session, a_Arguments...); },
            a_rOutputs);
    }
    // ask, a failure reported, and the answer remembered for comparing the sessions: the
    // failure's code, or what a_Text makes of the outputs.
    template <typename tFunction, typename tText, typename... tArguments>
    std::int32_t answer(std::size_t a_Entry, const std::string& a_rCall,
                        const std::vector<tOutput>& a_rOutputs, tText a_Text,
                        tArguments... a_Arguments) {
        const std::int32_t l_Status = ask<tFunction>(a_Entry, a_rCall, a_rOutputs, a_Arguments...);
        failed(a_Entry, a_rCall, l_Status);
        m_Answers[a_rCall] = l_Status < 0 ? code(l_Status) : a_Text();
        return l_Status;
    }
    // A lookup by what a_rGiven says a_Bridge answered must lead back to a_Bridge.
    template <typename tFunction, typename... tArguments>
    void leadsBack(std::size_t a_Entry, const char* a_pKind, const std::string& a_rCall,
                   const std::string& a_rGiven, std::uint32_t a_Bridge, tArguments... a_Arguments) {
        std::uint32_t l_Found = 0;
        const std::int32_t l_Status = ask<tFunction>(
            a_Entry, a_rCall, {{&l_Found, sizeof l_Found, "bridge"}}, a_Arguments..., &l_Found);
        if (m_rLibrary.has(a_Entry) && l_Status != kUnwritten &&
            (l_Status < 0 || l_Found != a_Bridge)) {
            finding(
                a_pKind, a_rCall,
                (l_Status < 0 ? "fails with " + code(l_Status) : "answers bridge " + num(l_Found)) +
                    ", though " + a_rGiven);
        }
    }
    template <typename tItem>
    bool fetch(const std::string& a_rCall, std::size_t a_Entry, std::uint32_t a_Cap,
               tItem a_Sentinel, tItem a_Alternate,
               const std::function<std::int32_t(tItem*, std::uint32_t*)>& a_Call,
               std::vector<tItem>& a_rItems);
    template <typename tItem>
    void duplicates(const std::string& a_rCall, const std::vector<tItem>& a_rItems,
                    const char* a_pWhat);
    // fetch of a list of buses or bridges from the entry point with the session and
    // a_Arguments, the list remembered and an item it holds twice found; false without a list.
    template <typename tFunction, typename tItem, typename... tArguments>
    bool list(std::size_t a_Entry, const std::string& a_rCall, std::vector<tItem>& a_rItems,
              tArguments... a_Arguments) {
        // A bus number may be any byte: two patterns tell an unwritten one. No bridge is 0.
        const bool l_Buses = sizeof(tItem) == 1;
        const bool l_Read = fetch<tItem>(
            a_rCall, a_Entry, kMaxListItems, l_Buses ? 0xA5 : 0, l_Buses ? 0x5A : 0,
            [&](tItem* a_pItems, std::uint32_t* a_pCount) {
                return m_rLibrary.call<tFunction>(a_Entry, m_Session, a_Arguments..., a_pItems,
                                                  a_pCount);
            },
            a_rItems);
        m_Answers[a_rCall] = l_Read ? listText(a_rItems) : "no list";
        duplicates(a_rCall, a_rItems, l_Buses ? "bus" : "bridge");
        return l_Read;
    }
    // GetBusChildren, asked once per bus; false when it gave no list.
    bool busChildren(std::uint8_t a_Bus);
    void inspect(std::size_t a_Index);
    void checkSlotPath(std::uint32_t a_Bridge);
    void checkBuses();
    void checkRelations();
    void checkParentLoops();

    const cBridgeLibrary& m_rLibrary;
    std::uint32_t m_Session;
    cFindings& m_rFindings;
    tAnswers m_Answers;
    std::uint64_t m_ItemBudget = kMaxWalkItems;
    bool m_BudgetSpent = false;
    std::vector<std::uint8_t> m_RootBuses;
    bool m_BusAsked[256] = {};
    bool m_BusRead[256] = {};
    std::vector<std::uint32_t> m_BusChildren[256];
    cBridgeWalk<tBridge> m_Walk;
};

// Called with every output byte pre-set to 0xA5, and again with 0x5A while an output still
// held it (a legitimate answer may equal one pattern, not both): an output that kept the
// pattern both times was not written.
std::int32_t cSessionCheck::query(const std::string& a_rCall,
                                  const std::function<std::int32_t()>& a_Call,
                                  const std::vector<tOutput>& a_rOutputs) {
    std::vector<bool> l_Kept(a_rOutputs.size(), true);
    std::int32_t l_Status = 0;
    bool l_AnyKept = false;
    for (const unsigned char l_Pattern : {0xA5, 0x5A}) {
        for (const tOutput& l_Output : a_rOutputs) {
            std::memset(l_Output.m_pData, l_Pattern, l_Output.m_Size);
        }
        l_Status = a_Call();
        if (l_Status < 0) {
            return l_Status;
        }
        l_AnyKept = false;
        for (std::size_t l_Index = 0; l_Index < a_rOutputs.size(); ++l_Index) {
            l_Kept[l_Index] = l_Kept[l_Index] && holdsPattern(a_rOutputs[l_Index], l_Pattern);
            l_AnyKept = l_AnyKept || l_Kept[l_Index];
        }
        if (!l_AnyKept) {
            return l_Status;
        }
    }
    std::string l_Names;
    for (std::size_t l_Index = 0; l_Index < a_rOutputs.size(); ++l_Index) {
        if (l_Kept[l_Index]) {
            l_Names += (l_Names.empty() ? "" : ", ") + std::string(a_rOutputs[l_Index].m_pName);
        }
    }
    finding("unwritten", a_rCall,
            "answers " + num(l_Status) + " but leaves " + l_Names + " unwritten");
    return kUnwritten;
}

// Count-then-fill with room for exactly the announced count and a few guard items after it,
// everything pre-set: what the fill wrote, where, and what it reports are compared.
template <typename tItem>
bool cSessionCheck::fetch(const std::string& a_rCall, std::size_t a_Entry, std::uint32_t a_Cap,
                          tItem a_Sentinel, tItem a_Alternate,
                          const std::function<std::int32_t(tItem*, std::uint32_t*)>& a_Call,
                          std::vector<tItem>& a_rItems) {
    a_rItems.clear();
    std::uint32_t l_Count = 0;
    std::int32_t l_Status = a_Call(nullptr, &l_Count);
    if (l_Status >= 0) {
        if (l_Count != 0) {
            finding("fill", a_rCall,
                    "answers the count query with " + num(l_Status) + " and a count of " +
                        num(l_Count) + ", though it had no buffer to fill");
        }
        return true;
    }
    if (l_Status != ZUPCIBRD_STATUS_BUFFER_TOO_SMALL) {
        failed(a_Entry, a_rCall, l_Status);
        return false;
    }
    const char* l_pUnit = std::is_same<tItem, char>::value ? "byte" : "item";
    for (int l_Attempt = 0; l_Attempt < 3; ++l_Attempt) {
        if (l_Count > a_Cap) {
            finding("too-large", a_rCall,
                    "announces " + counted(l_Count, l_pUnit) + ", more than the " + num(a_Cap) +
                        " the probe accepts");
            return false;
        }
        if (l_Count > m_ItemBudget) {
            if (!m_BudgetSpent) {
                finding("too-large", a_rCall,
                        "announces " + counted(l_Count, l_pUnit) + " when the session's lists " +
                            "already add up to nearly " + num(kMaxWalkItems) +
                            "; the rest is not read");
            }
            m_BudgetSpent = true;
            return false;
        }
        m_ItemBudget -= l_Count;
        const std::uint32_t l_Room = l_Count;
        std::vector<tItem> l_Buffer;
        std::uint32_t l_Reported = 0;
        std::size_t l_Written = 0;
        for (const tItem l_Sentinel : {a_Sentinel, a_Alternate}) {
            l_Buffer.assign(std::size_t{l_Room} + kGuardItems, l_Sentinel);
            l_Reported = l_Room;
            l_Status = a_Call(l_Buffer.data(), &l_Reported);
            const auto l_Changed = [&](tItem a_Item) { return a_Item != l_Sentinel; };
            if (std::any_of(l_Buffer.begin() + l_Room, l_Buffer.end(), l_Changed)) {
                finding("fill", a_rCall,
                        "writes beyond the room of " + counted(l_Room, l_pUnit) + " it was given");
            }
            l_Written = l_Room;
            while (l_Written > 0 && !l_Changed(l_Buffer[l_Written - 1])) {
                --l_Written;
            }
            // Only a sentinel that may also be an item needs the second look.
            if (l_Status < 0 || l_Reported <= l_Written || l_Reported > l_Room ||
                a_Sentinel == a_Alternate) {
                break;
            }
        }
        if (l_Status == ZUPCIBRD_STATUS_BUFFER_TOO_SMALL) {
            finding("count-changed", a_rCall,
                    "announces " + counted(l_Room, l_pUnit) + ", then answers the fill with " +
                        "-313002 and a count of " + num(l_Reported));
            l_Count = l_Reported;
            continue;
        }
        if (l_Status < 0) {
            failed(a_Entry, a_rCall, l_Status);
            return false;
        }
        if (l_Reported > l_Room) {
            finding("fill", a_rCall,
                    "reports " + counted(l_Reported, l_pUnit) + " filled into room for " +
                        num(l_Room) + " (" + num(l_Written) + " written)");
        } else if (l_Reported > l_Written) {
            finding("fill", a_rCall,
                    "reports " + counted(l_Reported, l_pUnit) + " filled but wrote " +
                        num(l_Written));
        } else if (l_Reported < l_Room) {
            finding("count-changed", a_rCall,
                    "announces " + counted(l_Room, l_pUnit) + ", then fills " + num(l_Reported));
        }
        l_Buffer.resize(std::min<std::size_t>({l_Reported, l_Room, l_Written}));
        a_rItems = std::move(l_Buffer);
        return true;
    }
    finding("count-changed", a_rCall, "changes its count at every fill; the list is not read");
    return false;
}

template <typename tItem>
void cSessionCheck::duplicates(const std::string& a_rCall, const std::vector<tItem>& a_rItems,
                               const char* a_pWhat) {
    std::vector<tItem> l_Sorted = a_rItems;
    std::sort(l_Sorted.begin(), l_Sorted.end());
    const auto l_Twice = std::adjacent_find(l_Sorted.begin(), l_Sorted.end());
    if (l_Twice != l_Sorted.end()) {
        finding("duplicate", a_rCall,
                "answers " + listText(a_rItems, kMaxShownItems) + ": " + a_pWhat + " " +
                    itemText(*l_Twice) + " more than once");
    }
}

bool cSessionCheck::busChildren(std::uint8_t a_Bus) {
    if (m_BusAsked[a_Bus]) {
        return m_BusRead[a_Bus];
    }
    m_BusAsked[a_Bus] = true;
    const std::string l_Call = "GetBusChildren(" + busText(a_Bus) + ")";
    m_BusRead[a_Bus] =
        list<tZuPciBrd_GetBusChildren>(kGetBusChildren, l_Call, m_BusChildren[a_Bus], a_Bus);
    return m_BusRead[a_Bus];
}

void cSessionCheck::run() {
    list<tZuPciBrd_GetRootBuses>(kGetRootBuses, "GetRootBuses", m_RootBuses);
    std::vector<std::uint32_t> l_All, l_Chassis;
    list<tZuPciBrd_FindBridgesByPciIds>(kFindBridgesByPciIds, "FindBridgesByPciIds(any IDs)", l_All,
                                        nullptr, nullptr, nullptr, nullptr);
    const std::uint16_t l_SsVid = ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID,
                        l_SsPid = ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;
    const std::string l_Search =
        "FindBridgesByPciIds(subsystem " + hexText(l_SsVid, 4) + ":" + hexText(l_SsPid, 4) + ")";
    const bool l_Searched = list<tZuPciBrd_FindBridgesByPciIds>(
        kFindBridgesByPciIds, l_Search, l_Chassis, nullptr, nullptr, &l_SsVid, &l_SsPid);
    m_Walk.meetAll(l_All);
    m_Walk.meetAll(l_Chassis);
    for (const std::uint8_t l_Bus : m_RootBuses) {
        if (busChildren(l_Bus)) {
            m_Walk.meetAll(m_BusChildren[l_Bus]);
        }
    }
    m_Walk.walk([this](std::size_t a_Index) { inspect(a_Index); });
    checkBuses();
    checkRelations();
    checkParentLoops();

    // The finder's own search against the IDs each bridge reports.
    if (l_Searched) {
        const std::set<std::uint32_t> l_Found(l_Chassis.begin(), l_Chassis.end());
        for (const std::uint32_t l_Bridge : l_All) {
            const tBridge* l_pListed = m_Walk.find(l_Bridge);
            if (l_pListed != nullptr && l_pListed->m_HasIds &&
                l_pListed->m_Chassis != (l_Found.count(l_Bridge) != 0)) {
                finding("search", l_Search,
                        std::string(l_pListed->m_Chassis ? "lacks" : "lists") + " bridge " +
                            num(l_Bridge) + ", whose IDs GetBridgeIds(" + num(l_Bridge) +
                            ") answers as " + m_Answers["GetBridgeIds(" + num(l_Bridge) + ")"]);
            }
        }
    }
}

void cSessionCheck::inspect(std::size_t a_Index) {
    tBridge l_Bridge = m_Walk.bridges()[a_Index];
    const std::uint32_t l_Ref = l_Bridge.m_Ref;
    const std::string l_Of = "(" + num(l_Ref) + ")";

    std::uint8_t l_Bus = 0, l_Device = 0, l_Function = 0;
    const std::string l_AddressCall = "GetBridgeAddress" + l_Of;
    const auto l_Address = [&] {
        return busText(l_Bus) + ":" + hexText(l_Device, 2) + "." + hexText(l_Function, 1);
    };
    std::int32_t l_Status = answer<tZuPciBrd_GetBridgeAddress>(
        kGetBridgeAddress, l_AddressCall,
        {{&l_Bus, 1, "bus"}, {&l_Device, 1, "device"}, {&l_Function, 1, "function"}}, l_Address,
        l_Ref, &l_Bus, &l_Device, &l_Function);
    if (l_Status >= 0 && (l_Device > 31 || l_Function > 7)) {
        finding("address", l_AddressCall, "answers " + l_Address() + ", no PCI address");
    } else if (l_Status >= 0) {
        l_Bridge.m_HasAddress = true;
        l_Bridge.m_Bus = l_Bus;
        leadsBack<tZuPciBrd_FindBridgeByAddress>(
            kFindBridgeByAddress, "address-elsewhere", "FindBridgeByAddress(" + l_Address() + ")",
            l_AddressCall + " gave that address", l_Ref, l_Bus, l_Device, l_Function);
    }

    std::uint16_t l_Ids[4] = {};
    l_Status = answer<tZuPciBrd_GetBridgeIds>(
        kGetBridgeIds, "GetBridgeIds" + l_Of,
        {{&l_Ids[0], 2, "vendor ID"},
         {&l_Ids[1], 2, "device ID"},
         {&l_Ids[2], 2, "subsystem vendor ID"},
         {&l_Ids[3], 2, "subsystem ID"}},
        [&] {
            return hexText(l_Ids[0], 4) + ":" + hexText(l_Ids[1], 4) + ", " + hexText(l_Ids[2], 4) +
                   ":" + hexText(l_Ids[3], 4);
        },
        l_Ref, &l_Ids[0], &l_Ids[1], &l_Ids[2], &l_Ids[3]);
    l_Bridge.m_HasIds = l_Status >= 0;
    l_Bridge.m_Chassis = l_Bridge.m_HasIds && l_Ids[2] == ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID &&
                         l_Ids[3] == ZUPCIBRD_CHASSIS_SUBSYSTEM_ID;

    l_Status = answer<tZuPciBrd_GetBridgeParent>(
        kGetBridgeParent, "GetBridgeParent" + l_Of,
        {{&l_Bridge.m_Parent, sizeof l_Bridge.m_Parent, "parent"}},
        [&] { return num(l_Bridge.m_Parent); }, l_Ref, &l_Bridge.m_Parent);
    l_Bridge.m_HasParent = l_Status >= 0;

    const std::string l_ChildrenCall = "GetBridgeChildren" + l_Of;
    l_Bridge.m_HasChildren = list<tZuPciBrd_GetBridgeChildren>(kGetBridgeChildren, l_ChildrenCall,
                                                               l_Bridge.m_Children, l_Ref);
    for (const std::uint32_t l_Child : l_Bridge.m_Children) {
        if (l_Child == l_Ref) {
            finding("self-child", l_ChildrenCall,
                    "answers " + listText(l_Bridge.m_Children, kMaxShownItems) + ": bridge " +
                        num(l_Ref) + " is its own child");
        }
    }

    if (l_Bridge.m_Chassis) {
        std::uint32_t l_Value = 0;
        answer<tZuPciBrd_GetAttributeU32>(
            kGetAttributeU32,
            "GetAttributeU32(" + num(l_Ref) + ", 0x" +
                hexText(ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, 8) + ")",
            {{&l_Value, sizeof l_Value, "value"}}, [&] { return "0x" + hexText(l_Value, 8); },
            l_Ref, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, &l_Value);
    }
    checkSlotPath(l_Ref);

    // Parents and children are bridges too, whether a search lists them or not.
    if (l_Bridge.m_HasParent) {
        m_Walk.meet(l_Bridge.m_Parent);
    }
    m_Walk.meetAll(l_Bridge.m_Children);
    // Sorted from here on, for the relations to be looked up rather than searched.
    std::vector<std::uint32_t>& l_rSorted = l_Bridge.m_Children;
    std::sort(l_rSorted.begin(), l_rSorted.end());
    l_rSorted.erase(std::unique(l_rSorted.begin(), l_rSorted.end()), l_rSorted.end());
    m_Walk.bridges()[a_Index] = std::move(l_Bridge);
}

void cSessionCheck::checkSlotPath(std::uint32_t a_Bridge) {
    const std::string l_Call = "GetBridgeSlotPath(" + num(a_Bridge) + ")";
    std::vector<char> l_Text;
    // 0xA5 is no character of a slot path, so a pre-set byte left is one not written.
    if (!fetch<char>(
            l_Call, kGetBridgeSlotPath, kMaxSlotPathBytes, char(0xA5), char(0xA5),
            [&](char* a_pText, std::uint32_t* a_pSize) {
                return m_rLibrary.call<tZuPciBrd_GetBridgeSlotPath>(kGetBridgeSlotPath, m_Session,
                                                                    a_Bridge, a_pText, a_pSize);
            },
            l_Text)) {
        m_Answers[l_Call] = "no text";
        return;
    }
    const auto l_End = std::find(l_Text.begin(), l_Text.end(), '\0');
    const std::string l_Path(l_Text.begin(), l_End);
    m_Answers[l_Call] =
        "\"" + escaped(l_Path) + "\"" + (l_End == l_Text.end() ? " (unterminated)" : "");
    if (l_End == l_Text.end()) {
        finding("slot-path-unterminated", l_Call,
                "answers " + quoted(l_Path) + " with no NUL within the " + num(l_Text.size()) +
                    " bytes it reports");
    }
    // The finder's own parser decides what a slot path is.
    if (!isSlotPath(l_Path)) {
        finding("slot-path-malformed", l_Call,
                "answers " + quoted(l_Path) + ", which is not of the form MRbb:ee,ee,...");
        return;
    }
    leadsBack<tZuPciBrd_FindBridgeBySlotPath>(kFindBridgeBySlotPath, "slot-path-elsewhere",
                                              "FindBridgeBySlotPath(" + quoted(l_Path) + ")",
                                              l_Call + " gave that path", a_Bridge, l_Path.c_str());
}

// Every bus named by a root bus list or a bridge's address: the bridge above it, the bridges
// on it, and whether the library's answers put it behind one bridge only.
void cSessionCheck::checkBuses() {
    std::vector<std::vector<const tBridge*>> l_OnBus(256);
    std::vector<bool> l_Named(256, false);
    for (const std::uint8_t l_Bus : m_RootBuses) {
        l_Named[l_Bus] = true;
    }
    for (const tBridge& l_Bridge : m_Walk.bridges()) {
        if (l_Bridge.m_HasAddress) {
            l_Named[l_Bridge.m_Bus] = true;
            l_OnBus[l_Bridge.m_Bus].push_back(&l_Bridge);
        }
    }
    for (std::size_t l_Number = 0; l_Number < 256; ++l_Number) {
        if (!l_Named[l_Number]) {
            continue;
        }
        const std::uint8_t l_Bus = static_cast<std::uint8_t>(l_Number);
        const std::string l_Of = "(" + busText(l_Bus) + ")";
        std::uint32_t l_Above = 0;
        const std::string l_AboveCall = "FindParentBridgeForBus" + l_Of;
        const std::int32_t l_Status = answer<tZuPciBrd_FindParentBridgeForBus>(
            kFindParentBridgeForBus, l_AboveCall, {{&l_Above, sizeof l_Above, "bridge"}},
            [&] { return num(l_Above); }, l_Bus, &l_Above);

        std::vector<std::pair<std::uint32_t, std::string>> l_Claims;
        if (l_Status >= 0) {
            l_Claims.emplace_back(l_Above, l_AboveCall);
        }
        for (const tBridge* l_pOnBus : l_OnBus[l_Number]) {
            if (l_pOnBus->m_HasParent) {
                l_Claims.emplace_back(l_pOnBus->m_Parent,
                                      "GetBridgeParent(" + num(l_pOnBus->m_Ref) + ")");
            }
        }
        for (const auto& l_Claim : l_Claims) {
            if (l_Claim.first != l_Claims.front().first) {
                finding("bus-two-bridges", l_Claims.front().second,
                        "puts bus " + busText(l_Bus) + " behind " +
                            bridgeOrNone(l_Claims.front().first) + ", " + l_Claim.second +
                            " behind " + bridgeOrNone(l_Claim.first));
                break;
            }
        }

        const std::string l_ListCall = "GetBusChildren" + l_Of;
        if (!busChildren(l_Bus)) {
            continue;
        }
        const std::vector<std::uint32_t>& l_Listed = m_BusChildren[l_Bus];
        const std::set<std::uint32_t> l_ListedSet(l_Listed.begin(), l_Listed.end());
        for (const std::uint32_t l_Child : l_ListedSet) {
            const tBridge* l_pKnown = m_Walk.find(l_Child);
            if (l_pKnown == nullptr) {
                finding("not-mutual", l_ListCall,
                        "lists bridge " + num(l_Child) + ", which no other answer names");
            } else if (l_pKnown->m_HasAddress && l_pKnown->m_Bus != l_Bus) {
                finding("not-mutual", l_ListCall,
                        "lists bridge " + num(l_Child) + ", which GetBridgeAddress(" +
                            num(l_Child) + ") puts on bus " + busText(l_pKnown->m_Bus));
            }
        }
        for (const tBridge* l_pOnBus : l_OnBus[l_Number]) {
            if (l_ListedSet.count(l_pOnBus->m_Ref) == 0) {
                finding("not-mutual", l_ListCall,
                        "lacks bridge " + num(l_pOnBus->m_Ref) +
                            ", which GetBridgeAddress puts on this bus");
            }
        }
    }
}

void cSessionCheck::checkRelations() {
    for (const tBridge& l_Bridge : m_Walk.bridges()) {
        if (l_Bridge.m_HasParent && l_Bridge.m_Parent != 0 && l_Bridge.m_Parent != l_Bridge.m_Ref) {
            const tBridge* l_pParent = m_Walk.find(l_Bridge.m_Parent);
            if (l_pParent != nullptr && l_pParent->m_HasChildren &&
                !std::binary_search(l_pParent->m_Children.begin(), l_pParent->m_Children.end(),
                                    l_Bridge.m_Ref)) {
                finding("not-mutual", "GetBridgeParent(" + num(l_Bridge.m_Ref) + ")",
                        "answers " + num(l_Bridge.m_Parent) + ", but GetBridgeChildren(" +
                            num(l_Bridge.m_Parent) + ") does not list " + num(l_Bridge.m_Ref));
            }
        }
        for (const std::uint32_t l_Child : l_Bridge.m_Children) {
            const tBridge* l_pChild = m_Walk.find(l_Child);
            if (l_Child != l_Bridge.m_Ref && l_pChild != nullptr && l_pChild->m_HasParent &&
                l_pChild->m_Parent != l_Bridge.m_Ref) {
                finding("not-mutual", "GetBridgeChildren(" + num(l_Bridge.m_Ref) + ")",
                        "lists " + num(l_Child) + ", but GetBridgeParent(" + num(l_Child) +
                            ") answers " + num(l_pChild->m_Parent));
            }
        }
    }
}

// Following parents from every bridge, each bridge is passed once: a path that meets itself
// is a loop, a path that meets one walked before is not.
void cSessionCheck::checkParentLoops() {
    enum : std::uint8_t { kNew, kOnPath, kDone };
    const std::vector<tBridge>& l_Bridges = m_Walk.bridges();
    std::vector<std::uint8_t> l_State(l_Bridges.size(), kNew);
    std::vector<std::size_t> l_Path;
    for (std::size_t l_Start = 0; l_Start < l_Bridges.size(); ++l_Start) {
        l_Path.clear();
        std::size_t l_At = l_Start;
        while (l_State[l_At] == kNew) {
            l_State[l_At] = kOnPath;
            l_Path.push_back(l_At);
            const tBridge& l_Bridge = l_Bridges[l_At];
            const tBridge* l_pNext = l_Bridge.m_HasParent && l_Bridge.m_Parent != 0
                                         ? m_Walk.find(l_Bridge.m_Parent)
                                         : nullptr;
            if (l_pNext == nullptr) {
                break;
            }
            l_At = static_cast<std::size_t>(l_pNext - l_Bridges.data());
        }
        if (l_State[l_At] == kOnPath && !l_Path.empty()) {
            const auto l_LoopStart = std::find(l_Path.begin(), l_Path.end(), l_At);
            std::vector<std::uint32_t> l_Loop;
            for (auto l_It = l_LoopStart; l_It != l_Path.end(); ++l_It) {
                l_Loop.push_back(l_Bridges[*l_It].m_Ref);
            }
            // Only a path ending on its own member is a loop; one that stopped there is not.
            const tBridge& l_Last = l_Bridges[l_Path.back()];
            if (l_Last.m_HasParent && l_Last.m_Parent == l_Bridges[l_At].m_Ref) {
                l_Loop.push_back(l_Bridges[l_At].m_Ref);
                finding("parent-loop", "GetBridgeParent",
                        "leads from bridge " + listText(l_Loop, kMaxShownItems) +
                            (l_Loop.size() == 2 ? ": the bridge is its own parent"
                                                : " back to where it started"));
            }
        }
        for (const std::size_t l_Index : l_Path) {
            l_State[l_Index] = kDone;
        }
    }
}

} // namespace

tAnswers checkSession(const cBridgeLibrary& a_rLibrary, std::uint32_t a_Session,
                      cFindings& a_rFindings) {
    cSessionCheck l_Check(a_rLibrary, a_Session, a_rFindings);
    l_Check.run();
    return l_Check.answers();
}

} // namespace nProbe
} // namespace nZU7461_14_0
