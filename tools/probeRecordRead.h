// What a recording reads of the bridge driver library: every answer as the library gave it, from
// which the machine of the file and the rules that repeat the rest are made.
#pragma once

#include "tools/probeRecord.h"
#include "tools/probeWalk.h"

#include <array>
#include <map>
#include <optional>
#include <unordered_map>

namespace nZU7461_14_0 {
namespace nProbe {

// One count-then-fill answer as the library gave it.
template <typename tItem> struct tListAnswer {
    std::int32_t m_Code = 0;
    std::uint32_t m_Announced = 0;
    bool m_Filled = false;
    std::vector<tItem> m_Items;
    std::string m_Why;
};

// The text as JSON, a byte that is not UTF-8 replaced.
std::string jsonText(const std::string& a_rText);

// The text of a slot path answer up to its first NUL.
std::string slotPathAnswer(const tListAnswer<char>& a_rAnswer);

// An entry point with up to four outputs, called twice: once with its outputs set to zero, once
// with every bit set, which tells outputs left unwritten from outputs written, and an answer
// that changes between two calls from one that does not.
struct tSingleAnswer {
    std::int32_t m_Code = 0;
    std::array<std::uint32_t, 4> m_Values = {};
    bool m_Unwritten = false;
    bool m_Changes = false;
};

struct tRecordedBridge {
    std::uint32_t m_Ref = 0;
    tSingleAnswer m_Address, m_Ids, m_Parent;
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

struct tLibraryReading {
    // a_OnFull is told when the walk meets more bridges than it takes.
    explicit tLibraryReading(std::function<void()> a_OnFull) : m_Walk(std::move(a_OnFull)) {}
    cBridgeWalk<tRecordedBridge> m_Walk;
    std::optional<tListAnswer<std::uint8_t>> m_Roots;
    std::optional<tListAnswer<std::uint32_t>> m_AllSearch, m_ChassisSearch;
    std::map<std::uint8_t, tListAnswer<std::uint32_t>> m_BusChildren;
    std::unordered_map<std::uint32_t, tListAnswer<std::uint32_t>> m_BridgeChildren;
    // FindParentBridgeForBus of every bus: its code, and the bridge it named.
    std::array<std::pair<std::int32_t, std::uint32_t>, 256> m_BusOwner = {};
};

// Where a step of the recording tells what it found: the user, and the recording's account.
struct tRecordLog {
    std::ostream& m_rErr;
    tMachineRecording& m_rRecording;
    void notReproduced(const std::string& a_rWhat) {
        m_rErr << "zu7461-probe: not reproduced by the file: " << a_rWhat << "\n";
        m_rRecording.m_NotReproduced.push_back(a_rWhat);
    }
};

// The machine-wide search first, whose order is the order of the finder's list and so of the
// file; then the finder's own search, then what the walk from the root buses adds.
tLibraryReading readLibrary(cBridgeLibrary& a_rLibrary,
                            const std::vector<std::uint32_t>& a_rAttributes, tRecordLog a_Log);

} // namespace nProbe
} // namespace nZU7461_14_0
