// Scripted faults of the simulated bridge driver library: the "faults" member of a topology
// file, read into rules and chaos for the fault engine (simFaultEngine.h) to apply.
#pragma once

#include "sim/simCall.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// The delays of all rules that match one call add up to at most this.
constexpr std::uint32_t kMaxDelayMs = 60000;

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
// where in the file it is ("faults.rules[1].entry: ...").
bool parseFaults(const nlohmann::json& a_rFaults, tFaultScript& a_rScript, std::string& a_rFault);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
