// Chaos of the scripted faults: answers picked at random within what a bridge driver library
// may do, drawn from a seeded sequence so that the same seed and the same calls give the same
// answers on every platform.
#pragma once

#include "sim/simCall.h"
#include "sim/simFaultScript.h"

#include <cstdint>
#include <string>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// splitmix64: seedable with any value, and the same sequence on every platform.
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
