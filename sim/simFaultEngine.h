// The fault engine of the simulated bridge driver library: applies the scripted faults
// (simFaultScript.h) to every call of an entry point.
//
// A call goes through three steps. The entry point describes it (arguments, and for
// count-then-fill the caller's buffer and count) and calls beginCall, which numbers it, finds
// the rules that match and waits at their gates and delays. The machine then answers the call,
// unless a rule already decided it fails: its answer and outputs go into the call, never into
// the caller's memory. finishCall applies the rules (or chaos) to that answer, decides what the
// caller gets written, and appends the call to the call log. Only then does the entry point
// write, and only what finishCall allowed, never past the room the caller gave.
#pragma once

#include "sim/simCall.h"
#include "sim/simFaultScript.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

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

// Chaos (simChaos.cpp): answers picked at random within what a bridge driver library may do,
// drawn from a splitmix64 sequence of the seed, the same on every platform.
std::uint64_t nextRandom(std::uint64_t& a_rState);
std::uint32_t below(std::uint64_t& a_rState, std::uint32_t a_Bound);
// The percentage of calls changed: the given one, or one drawn from the sequence.
std::uint32_t chaosRate(const tChaos& a_rChaos, std::uint64_t& a_rSequence);
// The chaos member that gives the same answers again: the seed as drawn, the rate in force.
std::string replayText(const tChaos& a_rChaos, std::uint32_t a_Rate);
// Whether the call's draw fails it before the machine runs.
bool chaosFails(std::uint64_t a_Draw);
// Changes the call's answer and what it writes, by the call's draw.
void applyChaos(tSimCall& a_rCall, std::uint64_t a_Draw);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
