#include "sim/simFaultEngine.h"

#include "sim/zupcibrdSim.h"

#include <algorithm>
#include <climits>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

// Chaos fills at most this many items, however much room the caller claims.
constexpr std::uint32_t kMaxChaosFill = 1024;

// Chaos: what a library may answer, drawn from the call's share of the seeded sequence.
enum tChaosKind : std::uint32_t { kChaosError, kChaosWarning, kChaosTooSmall, kChaosOdd };

tChaosKind chaosKind(std::uint64_t a_Draw) {
    std::uint64_t l_State = a_Draw;
    return static_cast<tChaosKind>(below(l_State, 4));
}

std::int32_t chaosError(std::uint64_t& a_rState) {
    switch (below(a_rState, 6)) {
    case 0:
        return -1;
    case 1:
        return INT32_MIN;
    case 2:
        return ZUPCIBRD_SIM_INVALID_ARGUMENT - static_cast<std::int32_t>(below(a_rState, 13));
    case 3:
        return -313008;
    default:
        return -static_cast<std::int32_t>(1 + below(a_rState, 400000));
    }
}

std::uint32_t chaosValue(std::uint64_t& a_rState, std::uint32_t a_Max) {
    switch (below(a_rState, 4)) {
    case 0:
        return 0;
    case 1:
        return a_Max;
    case 2:
        return std::min(a_Max, 1 + below(a_rState, 16));
    default:
        return static_cast<std::uint32_t>(nextRandom(a_rState)) & a_Max;
    }
}

} // namespace

std::uint64_t nextRandom(std::uint64_t& a_rState) {
    std::uint64_t l_Value = (a_rState += 0x9E3779B97F4A7C15ull);
    l_Value = (l_Value ^ (l_Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    l_Value = (l_Value ^ (l_Value >> 27)) * 0x94D049BB133111EBull;
    return l_Value ^ (l_Value >> 31);
}

std::uint32_t below(std::uint64_t& a_rState, std::uint32_t a_Bound) {
    return a_Bound == 0 ? 0 : static_cast<std::uint32_t>(nextRandom(a_rState) % a_Bound);
}

std::uint32_t chaosRate(const tChaos& a_rChaos, std::uint64_t& a_rSequence) {
    // A seed alone covers calm runs and stormy ones.
    static const std::uint32_t s_Tempers[] = {0, 0, 1, 6, 25, 60, 100};
    const std::uint32_t l_Temper = s_Tempers[below(a_rSequence, 7)];
    return a_rChaos.m_Rate.value_or(l_Temper);
}

std::string replayText(const tChaos& a_rChaos, std::uint32_t a_Rate) {
    std::string l_Text = "{\"chaos\": {\"seed\": " + std::to_string(a_rChaos.m_Seed) +
                         ", \"rate\": " + std::to_string(a_Rate);
    for (std::size_t l_Index = 0; l_Index < a_rChaos.m_Entries.size(); ++l_Index) {
        l_Text += std::string(l_Index == 0 ? ", \"entries\": [\"" : ", \"") +
                  entryName(a_rChaos.m_Entries[l_Index]) + "\"";
    }
    return l_Text + (a_rChaos.m_Entries.empty() ? "}}" : "]}}");
}

bool chaosFails(std::uint64_t a_Draw) {
    return chaosKind(a_Draw) == kChaosError;
}

void applyChaos(tSimCall& a_rCall, std::uint64_t a_Draw) {
    const tEntryInfo& l_Info = infoOf(a_rCall.m_Entry);
    std::uint64_t l_State = a_Draw;
    const tChaosKind l_Kind = static_cast<tChaosKind>(below(l_State, 4));
    const std::uint32_t l_OutputMax = widthMax(l_Info.m_OutputFormat);
    auto l_Scribble = [&] {
        a_rCall.m_Outputs.resize(outputCount(l_Info));
        for (std::uint32_t& l_Output : a_rCall.m_Outputs) {
            l_Output = chaosValue(l_State, l_OutputMax);
        }
        a_rCall.m_WriteOutputs = true;
    };
    switch (l_Kind) {
    case kChaosError:
        // The machine never ran; a failing library may still scribble on its outputs.
        a_rCall.m_Code = chaosError(l_State);
        if (outputCount(l_Info) != 0 && below(l_State, 2) == 0) {
            l_Scribble();
        }
        return;
    case kChaosWarning:
        a_rCall.m_Code = below(l_State, 8) == 0
                             ? INT32_MAX
                             : static_cast<std::int32_t>(1 + below(l_State, 1000));
        return;
    case kChaosTooSmall:
        // The machine grew since the caller last asked.
        a_rCall.m_Code = ZUPCIBRD_SIM_BUFFER_TOO_SMALL;
        a_rCall.m_WriteOutputs = false;
        a_rCall.m_Fill.clear();
        a_rCall.m_WriteCount = l_Info.m_pList != nullptr;
        // Saturated, so that a caller's room near 2^32 never wraps to a count that would fit.
        a_rCall.m_Count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            std::uint64_t{std::max(a_rCall.m_Room, a_rCall.m_Count)} + 1 + below(l_State, 8),
            UINT32_MAX));
        return;
    case kChaosOdd:
        break;
    }
    a_rCall.m_Code = 0;
    if (l_Info.m_pList == nullptr) {
        // Success that forgets its outputs, or hands out strange ones.
        if (below(l_State, 2) == 0) {
            a_rCall.m_WriteOutputs = false;
        } else if (outputCount(l_Info) != 0) {
            l_Scribble();
        }
        return;
    }
    a_rCall.m_WriteCount = true;
    if (!a_rCall.m_BufferGiven) {
        // A count query that announces any count at all.
        a_rCall.m_Count = below(l_State, 100) < 90 ? below(l_State, 8) : below(l_State, 257);
        a_rCall.m_Code =
            a_rCall.m_Count == 0 && below(l_State, 2) == 0 ? 0 : ZUPCIBRD_SIM_BUFFER_TOO_SMALL;
        return;
    }
    // A fill that writes fewer items than there is room for (never more), some of them made
    // up or bytes of text without its end, and reports a count of its own.
    const std::uint32_t l_Filled = below(l_State, std::min(a_rCall.m_Room, kMaxChaosFill) + 1);
    a_rCall.m_Fill.assign(l_Filled, 0);
    for (std::uint32_t l_Index = 0; l_Index < l_Filled; ++l_Index) {
        const bool l_Real = l_Index < a_rCall.m_Items.size() && below(l_State, 4) != 0;
        a_rCall.m_Fill[l_Index] =
            l_Real ? a_rCall.m_Items[l_Index] : chaosValue(l_State, widthMax(l_Info.m_ItemFormat));
    }
    switch (below(l_State, 4)) {
    case 0:
        a_rCall.m_Count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            std::uint64_t{a_rCall.m_Room} + 1 + below(l_State, 1000), UINT32_MAX));
        break;
    case 1:
        a_rCall.m_Count = 0xFFFFFFFFu;
        break;
    case 2:
        a_rCall.m_Count = below(l_State, l_Filled + 1);
        break;
    default:
        a_rCall.m_Count = l_Filled;
        break;
    }
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
