// Scripted faults of the simulated bridge driver library: the "faults" member of a topology
// file, and the engine that applies it to every call of an entry point.
//
// A call goes through three steps. The entry point describes it (arguments, and for
// count-then-fill the caller's buffer and count) and calls beginCall, which numbers it, finds
// the rules that match and waits at their gates and delays. The machine then answers the call,
// unless a rule already decided it fails: its answer and outputs go into the call, never into
// the caller's memory. finishCall applies the rules (or chaos) to that answer, decides what the
// caller gets written, and appends the call to the call log. Only then does the entry point
// write, and only what finishCall allowed, never past the room the caller gave.
#pragma once

#include "pcibrd/zupcibrd.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <memory>
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
const char* entryName(tEntry a_Entry);

// What rules do to the answer of a call; every member left empty leaves the machine's answer.
struct tFaultEffect {
    std::optional<std::int32_t> m_Answer;
    std::optional<bool> m_Writes;
    std::optional<std::uint32_t> m_Value;
    std::optional<std::vector<std::uint32_t>> m_Items;
    std::optional<std::string> m_Text;
    std::optional<bool> m_Terminated;
    std::optional<std::uint32_t> m_Count;
    bool m_Truncate = false;
};

// One rule of the file: which calls it matches and what it does to them.
struct tFaultRule {
    std::string m_Where; // "rules[2]", for the call log
    bool m_AnyEntry = false;
    tEntry m_Entry = tEntry::OpenSession;
    std::vector<std::uint32_t> m_Calls; // match only these call numbers
    std::uint32_t m_From = 0;           // match from this call number on (0: any)
    std::optional<std::uint32_t> m_Bridge;
    std::optional<std::uint32_t> m_Attribute;

    std::uint32_t m_DelayMs = 0;
    std::string m_Gate;
    tFaultEffect m_Effect;
};

struct tChaos {
    std::uint64_t m_Seed = 0;
    // Percentage of calls whose answer chaos changes; drawn from the seed when not given.
    std::optional<std::uint32_t> m_Rate;
    std::vector<tEntry> m_Entries; // empty: every entry point
    bool m_Quiet = false;
};

struct tFaultScript {
    std::vector<tFaultRule> m_Rules;
    std::optional<tChaos> m_Chaos;
    // Names the file and its content: call numbers restart when it changes.
    std::string m_Identity;
};

// Reads the "faults" member. On a fault returns false with a one-line description that names
// where in the document it is ("faults.rules[1].entry: ...").
bool parseFaults(const nlohmann::json& a_rFaults, tFaultScript& a_rScript, std::string& a_rFault);

// One call of an entry point on its way through the engine.
struct tSimCall {
    explicit tSimCall(tEntry a_Entry) : m_Entry(a_Entry) {}

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

    // Set by finishCall: what the caller gets.
    bool m_WriteOutputs = false;
    bool m_WriteCount = false;
    std::uint32_t m_Count = 0;
    std::vector<std::uint32_t> m_Fill;
};

// What beginCall decided for a call.
struct tCallPlan {
    std::uint32_t m_Number = 0;
    bool m_RunMachine = true;
    std::shared_ptr<const tFaultScript> m_pScript;
    std::vector<const tFaultRule*> m_Rules;
    std::uint64_t m_Chaos = 0; // the call's draw of the chaos sequence, when chaos acts
    bool m_ChaosActs = false;
};

// Makes the faults of a topology the ones that apply from now on; call numbers restart only
// when the script differs from the one in force (another file, or the file changed).
void takeUpScript(const tFaultScript& a_rScript);

tCallPlan beginCall(const tSimCall& a_rCall);
void finishCall(tSimCall& a_rCall, const tCallPlan& a_rPlan);

// Gates, for the two exported controls.
std::uint32_t waitAtGate(const std::string& a_rGate, std::uint32_t a_Calls,
                         std::uint32_t a_TimeoutMs);
void releaseGate(const std::string& a_rGate, std::uint32_t a_Calls);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
