// One call of an entry point on its way through the simulator: what the entry points are, what
// the call log shows of each and what a rule may say about it, and the record of a call that
// the entry point describes, the machine answers, the fault engine decides and the log shows.
#pragma once

#include "pcibrd/zupcibrd.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// The entry points in the order of the library's interface.
#define ZU_SIM_ENUMERATOR(a_Result, a_Name, a_Parameters, a_Arguments) a_Name,
enum class tEntry : std::uint8_t { ZUPCIBRD_ENTRY_POINTS(ZU_SIM_ENUMERATOR, ZU_SIM_ENUMERATOR) };
#undef ZU_SIM_ENUMERATOR
constexpr std::size_t kEntryCount = kZuPciBrdEntryCount;

// The name without the "ZuPciBrd_" prefix.
inline const char* entryName(tEntry a_Entry) {
    return kZuPciBrdEntryNames[static_cast<std::size_t>(a_Entry)] + sizeof "ZuPciBrd_" - 1;
}

// Output formats: 'd' decimal, 'b' a byte, 'w' a 16-bit ID, 'l' a 32-bit value, in
// hexadecimal; the same letters give the width of a listed item, 'c' a byte of text.
struct tEntryInfo {
    tEntry m_Entry; // the row's own, so that the table cannot fall out of step with the list
    bool m_Void;
    bool m_HasBridge;
    bool m_HasAttribute;
    const char* m_pList; // the listed items' name; null unless count-then-fill
    char m_ItemFormat;
    // Null after the last; plain data, so that loading the library registers no destructor.
    const char* m_Outputs[4];
    char m_OutputFormat;
};

// clang-format off
inline constexpr tEntryInfo kEntries[kEntryCount] = {
    {tEntry::OpenSession, false, false, false, nullptr, 0, {"session"}, 'd'},
    {tEntry::CloseSession, true, false, false, nullptr, 0, {}, 0},
    {tEntry::FindBridgesByPciIds, false, false, false, "bridges", 'd', {}, 0},
    {tEntry::FindBridgeByAddress, false, false, false, nullptr, 0, {"bridge"}, 'd'},
    {tEntry::FindBridgeBySlotPath, false, false, false, nullptr, 0, {"bridge"}, 'd'},
    {tEntry::FindParentBridgeForBus, false, false, false, nullptr, 0, {"bridge"}, 'd'},
    {tEntry::GetBridgeParent, false, true, false, nullptr, 0, {"parent"}, 'd'},
    {tEntry::GetBridgeChildren, false, true, false, "children", 'd', {}, 0},
    {tEntry::GetBusChildren, false, false, false, "children", 'd', {}, 0},
    {tEntry::GetRootBuses, false, false, false, "buses", 'b', {}, 0},
    {tEntry::GetBridgeAddress, false, true, false, nullptr, 0, {"bus", "device", "function"}, 'b'},
    {tEntry::GetBridgeSlotPath, false, true, false, "text", 'c', {}, 0},
    {tEntry::GetBridgeIds, false, true, false, nullptr, 0,
     {"vendorId", "deviceId", "subsystemVendorId", "subsystemId"}, 'w'},
    {tEntry::SetAttributeU32, false, true, true, nullptr, 0, {}, 0},
    {tEntry::GetAttributeU32, false, true, true, nullptr, 0, {"value"}, 'l'},
    {tEntry::OpenBridge, false, true, false, nullptr, 0, {}, 0},
    {tEntry::CloseBridge, true, true, false, nullptr, 0, {}, 0},
    {tEntry::EepromUpdate, false, true, false, nullptr, 0, {}, 0},
};
// clang-format on

constexpr bool inListOrder() {
    for (std::size_t l_Index = 0; l_Index < kEntryCount; ++l_Index) {
        if (kEntries[l_Index].m_Entry != static_cast<tEntry>(l_Index)) {
            return false;
        }
    }
    return true;
}
static_assert(inListOrder(), "one row per entry point, in the order of the list");

inline const tEntryInfo& infoOf(tEntry a_Entry) {
    return kEntries[static_cast<std::size_t>(a_Entry)];
}

inline std::size_t outputCount(const tEntryInfo& a_rInfo) {
    return static_cast<std::size_t>(
        std::find(std::begin(a_rInfo.m_Outputs), std::end(a_rInfo.m_Outputs), nullptr) -
        std::begin(a_rInfo.m_Outputs));
}

inline std::uint32_t widthMax(char a_Format) {
    return a_Format == 'b' || a_Format == 'c' ? 0xFFu : a_Format == 'w' ? 0xFFFFu : 0xFFFFFFFFu;
}

struct tSimCall {
    tSimCall(tEntry a_Entry, std::string a_Arguments,
             std::optional<std::uint32_t> a_Bridge = std::nullopt,
             std::optional<std::uint32_t> a_Attribute = std::nullopt)
        : m_Entry(a_Entry), m_Arguments(std::move(a_Arguments)), m_Bridge(a_Bridge),
          m_Attribute(a_Attribute) {}

    // Described by the entry point.
    tEntry m_Entry;
    std::string m_Arguments; // as the call log shows them, without parentheses
    std::optional<std::uint32_t> m_Bridge;
    std::optional<std::uint32_t> m_Attribute;
    bool m_BufferGiven = false;      // count-then-fill: a buffer was passed
    bool m_CountGiven = false;       // count-then-fill: the count pointer is not null
    std::uint32_t m_Room = 0;        // count-then-fill: the count on entry
    std::vector<bool> m_OutputGiven; // one per single output: its pointer is not null

    // Set by the machine: its answer, its single outputs and for count-then-fill everything
    // there is to list (the bytes of the text, NUL included, for a slot path).
    std::int32_t m_Code = 0;
    std::vector<std::uint32_t> m_Outputs;
    std::vector<std::uint32_t> m_Items;

    // Set by the fault engine: what the caller gets.
    bool m_WriteOutputs = false;
    bool m_WriteCount = false;
    std::uint32_t m_Count = 0;
    std::vector<std::uint32_t> m_Fill;
};

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
