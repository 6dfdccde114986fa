#include "sim/simFaultEngine.h"

#include "sim/simCallLog.h"
#include "sim/simJsonReading.h"
#include "sim/simMachine.h"
#include "sim/zupcibrdSim.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

struct tGate {
    std::uint32_t m_Held = 0;
    std::uint64_t m_Permits = 0;
    bool m_Open = false;
};

// Lives as long as the library is loaded: call numbers, the chaos sequence and the gates. Its
// making and undoing mark the library's load and unload in the call log, so that a test can
// tell that its host released the library.
struct tEngine {
    tEngine() { note("loaded"); }
    ~tEngine() { note("unloaded"); }
    tEngine(const tEngine&) = delete;
    tEngine& operator=(const tEngine&) = delete;
    static void note(const char* a_pWhat) {
        try {
            appendLogNote(a_pWhat);
        } catch (...) {
            // Nothing may escape the loader's call.
        }
    }

    // Guards every member below it.
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    std::shared_ptr<const tFaultScript> m_pScript;
    std::uint32_t m_Calls[kEntryCount] = {};
    std::uint64_t m_ChaosSequence = 0;
    std::uint32_t m_ChaosRate = 0;
    bool m_SeedNamed = false;
    std::map<std::string, tGate> m_Gates;
    // Gates hold calls only once a test in the process has called one of the gate controls:
    // a process that cannot open them (the probe, a host) must never wait at one.
    bool m_GatesArmed = false;
    std::set<std::string> m_GatesReported;
};

// Made when the library is loaded and destroyed when it is unloaded, as its sessions are: a
// host that loads the library for every search keeps nothing of it in between.
tEngine g_Engine;

tEngine& engine() {
    return g_Engine;
}

void takeUpLocked(tEngine& a_rEngine, std::shared_ptr<const tFaultScript> a_pScript) {
    a_rEngine.m_pScript = std::move(a_pScript);
    std::fill(std::begin(a_rEngine.m_Calls), std::end(a_rEngine.m_Calls), 0u);
    a_rEngine.m_SeedNamed = false;
    const std::optional<tChaos>& l_Chaos = a_rEngine.m_pScript->m_Chaos;
    if (l_Chaos) {
        a_rEngine.m_ChaosSequence = l_Chaos->m_Seed;
        a_rEngine.m_ChaosRate = chaosRate(*l_Chaos, a_rEngine.m_ChaosSequence);
    }
}

// Entry points other than OpenSession may be called first (by a library variant without it,
// say); they take up the faults of the file as it is then.
void ensureScript(tEngine& a_rEngine) {
    {
        const std::lock_guard<std::mutex> l_Guard(a_rEngine.m_Lock);
        if (a_rEngine.m_pScript) {
            return;
        }
    }
    cSimMachine l_Machine;
    tFaultScript l_Script;
    std::string l_Fault;
    if (!loadMachine(l_Machine, l_Script, l_Fault)) {
        l_Script = tFaultScript();
    }
    const std::lock_guard<std::mutex> l_Guard(a_rEngine.m_Lock);
    if (!a_rEngine.m_pScript) {
        takeUpLocked(a_rEngine, std::make_shared<const tFaultScript>(l_Script));
    }
}

bool matches(const tFaultRule& a_rRule, const tSimCall& a_rCall, std::uint32_t a_Number) {
    if (!a_rRule.m_AnyEntry && a_rRule.m_Entry != a_rCall.m_Entry) {
        return false;
    }
    if (!a_rRule.m_Calls.empty() && std::find(a_rRule.m_Calls.begin(), a_rRule.m_Calls.end(),
                                              a_Number) == a_rRule.m_Calls.end()) {
        return false;
    }
    if (a_Number < a_rRule.m_From) {
        return false;
    }
    if (a_rRule.m_Bridge && a_rCall.m_Bridge != a_rRule.m_Bridge) {
        return false;
    }
    return !a_rRule.m_Attribute || a_rCall.m_Attribute == a_rRule.m_Attribute;
}

// A call that reaches a gate says so in the call log, and once for each gate on standard error,
// whether it is held or passes.
void reportGate(tEngine& a_rEngine, const tFaultRule& a_rRule, tEntry a_Entry,
                std::uint32_t a_Number) {
    const std::string l_Arrival =
        "gate " + quotedShort(a_rRule.m_Gate) + " of " + a_rRule.m_Where + ": " +
        entryName(a_Entry) + " call " + std::to_string(a_Number) +
        (a_rEngine.m_GatesArmed ? " waits" : " passes (no gate control called)");
    appendLogNote(l_Arrival);
    if (a_rEngine.m_GatesReported.insert(a_rRule.m_Gate).second) {
        const std::string l_Line =
            "zupcibrd: " + l_Arrival +
            (a_rEngine.m_GatesArmed ? "\n"
                                    : "; gates hold calls only after ZuPciBrdSim_WaitAtGate or "
                                      "ZuPciBrdSim_ReleaseGate was called in this process\n");
        std::fputs(l_Line.c_str(), stderr);
    }
}

void waitAtGateLocked(tEngine& a_rEngine, std::unique_lock<std::mutex>& a_rLock,
                      const std::string& a_rName) {
    tGate& l_Gate = a_rEngine.m_Gates[a_rName];
    ++l_Gate.m_Held;
    a_rEngine.m_Changed.notify_all();
    a_rEngine.m_Changed.wait(a_rLock, [&] { return l_Gate.m_Open || l_Gate.m_Permits > 0; });
    if (!l_Gate.m_Open) {
        --l_Gate.m_Permits;
    }
    --l_Gate.m_Held;
    a_rEngine.m_Changed.notify_all();
}

// What the rules that match a call say, the later rule winning where two say the same.
tFaultEffect effectOf(const std::vector<const tFaultRule*>& a_rRules, tEntry a_Entry) {
    tFaultEffect l_Effect;
    if (infoOf(a_Entry).m_Void) {
        return l_Effect;
    }
    for (const tFaultRule* l_pRule : a_rRules) {
        auto l_Take = [](auto& a_rInto, const auto& a_rFrom) {
            if (a_rFrom) {
                a_rInto = a_rFrom;
            }
        };
        l_Take(l_Effect.m_Answer, l_pRule->m_Effect.m_Answer);
        l_Take(l_Effect.m_Writes, l_pRule->m_Effect.m_Writes);
        l_Take(l_Effect.m_Value, l_pRule->m_Effect.m_Value);
        l_Take(l_Effect.m_Items, l_pRule->m_Effect.m_Items);
        l_Take(l_Effect.m_Text, l_pRule->m_Effect.m_Text);
        l_Take(l_Effect.m_Terminated, l_pRule->m_Effect.m_Terminated);
        l_Take(l_Effect.m_Count, l_pRule->m_Effect.m_Count);
        l_Effect.m_Truncate = l_Effect.m_Truncate || l_pRule->m_Effect.m_Truncate;
    }
    return l_Effect;
}

// An error answer that stops the call before the machine: anything negative but the
// count-then-fill answer, which still reports the count.
bool stopsTheCall(const std::optional<std::int32_t>& a_rAnswer,
                  const std::optional<bool>& a_rWrites) {
    return a_rAnswer && *a_rAnswer < 0 && *a_rAnswer != ZUPCIBRD_SIM_BUFFER_TOO_SMALL &&
           !a_rWrites.value_or(false);
}

// Count-then-fill over the items the call answers from: the count is always written, the
// items only when they all fit (or, truncating, as many as fit).
void answerList(tSimCall& a_rCall, bool a_Truncate) {
    const auto l_Needed = static_cast<std::uint32_t>(a_rCall.m_Items.size());
    a_rCall.m_WriteCount = true;
    a_rCall.m_Fill.clear();
    if (l_Needed == 0) {
        a_rCall.m_Count = 0;
        a_rCall.m_Code = 0;
        return;
    }
    if (a_rCall.m_BufferGiven && (a_rCall.m_Room >= l_Needed || a_Truncate)) {
        const std::uint32_t l_Filled = std::min(l_Needed, a_rCall.m_Room);
        a_rCall.m_Fill.assign(a_rCall.m_Items.begin(), a_rCall.m_Items.begin() + l_Filled);
        a_rCall.m_Count = l_Filled;
        a_rCall.m_Code = 0;
        return;
    }
    a_rCall.m_Count = l_Needed;
    a_rCall.m_Code = ZUPCIBRD_SIM_BUFFER_TOO_SMALL;
}

} // namespace

void takeUpScript(const tFaultScript& a_rScript) {
    tEngine& l_Engine = engine();
    const std::lock_guard<std::mutex> l_Guard(l_Engine.m_Lock);
    if (l_Engine.m_pScript && l_Engine.m_pScript->m_Identity == a_rScript.m_Identity) {
        return;
    }
    takeUpLocked(l_Engine, std::make_shared<const tFaultScript>(a_rScript));
}

tCallPlan beginCall(const tSimCall& a_rCall) {
    tEngine& l_Engine = engine();
    ensureScript(l_Engine);
    tCallPlan l_Plan;
    std::unique_lock<std::mutex> l_Lock(l_Engine.m_Lock);
    l_Plan.m_pScript = l_Engine.m_pScript;
    const auto l_Entry = static_cast<std::size_t>(a_rCall.m_Entry);
    l_Plan.m_Number = ++l_Engine.m_Calls[l_Entry];
    for (const tFaultRule& l_Rule : l_Plan.m_pScript->m_Rules) {
        if (matches(l_Rule, a_rCall, l_Plan.m_Number)) {
            l_Plan.m_Rules.push_back(&l_Rule);
        }
    }
    const std::optional<tChaos>& l_Chaos = l_Plan.m_pScript->m_Chaos;
    // Chaos leaves alone the calls a rule speaks for; its draws are made in call order, so the
    // same seed and the same calls give the same answers.
    if (l_Chaos && l_Plan.m_Rules.empty() && !infoOf(a_rCall.m_Entry).m_Void &&
        (l_Chaos->m_Entries.empty() ||
         std::find(l_Chaos->m_Entries.begin(), l_Chaos->m_Entries.end(), a_rCall.m_Entry) !=
             l_Chaos->m_Entries.end())) {
        l_Plan.m_ChaosActs = below(l_Engine.m_ChaosSequence, 100) < l_Engine.m_ChaosRate;
        l_Plan.m_Chaos = nextRandom(l_Engine.m_ChaosSequence);
        if (l_Plan.m_ChaosActs && !l_Engine.m_SeedNamed && !l_Chaos->m_Quiet) {
            l_Engine.m_SeedNamed = true;
            const std::string l_Line = "zupcibrd: chaos with seed " +
                                       std::to_string(l_Chaos->m_Seed) +
                                       " changes answers; to replay them write \"faults\": " +
                                       replayText(*l_Chaos, l_Engine.m_ChaosRate) + "\n";
            std::fputs(l_Line.c_str(), stderr);
        }
    }
    const tFaultEffect l_Effect = effectOf(l_Plan.m_Rules, a_rCall.m_Entry);
    l_Plan.m_RunMachine = !stopsTheCall(l_Effect.m_Answer, l_Effect.m_Writes) &&
                          !(l_Plan.m_ChaosActs && chaosFails(l_Plan.m_Chaos));
    // Waits come last, and in the order of the rules: a delay, then the gate. The delays of
    // all rules together stay within what one rule may ask for.
    std::uint32_t l_DelayLeft = kMaxDelayMs;
    for (const tFaultRule* l_pRule : l_Plan.m_Rules) {
        const std::uint32_t l_Delay = std::min(l_pRule->m_DelayMs, l_DelayLeft);
        if (l_Delay != 0) {
            l_DelayLeft -= l_Delay;
            l_Lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(l_Delay));
            l_Lock.lock();
        }
        if (!l_pRule->m_Gate.empty()) {
            reportGate(l_Engine, *l_pRule, a_rCall.m_Entry, l_Plan.m_Number);
            if (l_Engine.m_GatesArmed) {
                waitAtGateLocked(l_Engine, l_Lock, l_pRule->m_Gate);
            }
        }
    }
    return l_Plan;
}

void finishCall(tSimCall& a_rCall, const tCallPlan& a_rPlan) {
    const tEntryInfo& l_Info = infoOf(a_rCall.m_Entry);
    const tFaultEffect l_Effect = effectOf(a_rPlan.m_Rules, a_rCall.m_Entry);
    std::string l_Cause;
    for (const tFaultRule* l_pRule : a_rPlan.m_Rules) {
        l_Cause += (l_Cause.empty() ? "" : ",") + l_pRule->m_Where;
    }
    if (!a_rPlan.m_RunMachine && !a_rPlan.m_ChaosActs) {
        a_rCall.m_Code = *l_Effect.m_Answer;
        a_rCall.m_WriteOutputs = false;
        a_rCall.m_WriteCount = false;
        a_rCall.m_Fill.clear();
        appendCallLog(logLine(a_rCall, l_Cause));
        return;
    }
    // What a rule gives stands for the machine's answer, whether the machine had one or not.
    bool l_Listed = l_Info.m_pList != nullptr && a_rCall.m_Code >= 0;
    if (l_Effect.m_Items) {
        a_rCall.m_Items = *l_Effect.m_Items;
        l_Listed = true;
    }
    if (l_Effect.m_Text || l_Effect.m_Terminated) {
        if (l_Effect.m_Text) {
            a_rCall.m_Items.assign(l_Effect.m_Text->begin(), l_Effect.m_Text->end());
            a_rCall.m_Items.push_back(0);
        }
        if (!l_Effect.m_Terminated.value_or(true) && !a_rCall.m_Items.empty()) {
            a_rCall.m_Items.pop_back();
        }
        l_Listed = true;
    }
    a_rCall.m_WriteOutputs = a_rCall.m_Code >= 0;
    if (l_Effect.m_Value) {
        a_rCall.m_Outputs.assign(1, *l_Effect.m_Value);
        a_rCall.m_Code = std::max(a_rCall.m_Code, 0);
        a_rCall.m_WriteOutputs = true;
    }
    if (l_Listed) {
        answerList(a_rCall, l_Effect.m_Truncate);
    }
    if (l_Effect.m_Count) {
        a_rCall.m_Count = *l_Effect.m_Count;
        a_rCall.m_WriteCount = true;
    }
    if (l_Effect.m_Answer) {
        a_rCall.m_Code = *l_Effect.m_Answer;
    }
    if (a_rPlan.m_ChaosActs) {
        if (!a_rPlan.m_RunMachine) {
            a_rCall.m_Outputs.clear();
            a_rCall.m_WriteOutputs = false;
            a_rCall.m_WriteCount = false;
        }
        applyChaos(a_rCall, a_rPlan.m_Chaos);
        l_Cause = "chaos seed=" + std::to_string(a_rPlan.m_pScript->m_Chaos->m_Seed);
    } else if (!l_Effect.m_Writes.value_or(a_rCall.m_Code >= 0)) {
        // A failure writes nothing, except the count that "buffer too small" is about.
        a_rCall.m_WriteOutputs = false;
        a_rCall.m_Fill.clear();
        a_rCall.m_WriteCount = a_rCall.m_WriteCount && !l_Effect.m_Writes &&
                               a_rCall.m_Code == ZUPCIBRD_SIM_BUFFER_TOO_SMALL;
    }
    if (!a_rCall.m_BufferGiven || a_rCall.m_Fill.size() > a_rCall.m_Room) {
        a_rCall.m_Fill.resize(a_rCall.m_BufferGiven ? a_rCall.m_Room : 0);
    }
    appendCallLog(logLine(a_rCall, l_Cause));
}

std::uint32_t waitAtGate(const std::string& a_rGate, std::uint32_t a_Calls,
                         std::uint32_t a_TimeoutMs) {
    tEngine& l_Engine = engine();
    std::unique_lock<std::mutex> l_Lock(l_Engine.m_Lock);
    l_Engine.m_GatesArmed = true;
    tGate& l_Gate = l_Engine.m_Gates[a_rGate];
    l_Engine.m_Changed.wait_for(l_Lock, std::chrono::milliseconds(a_TimeoutMs),
                                [&] { return l_Gate.m_Held >= a_Calls; });
    return l_Gate.m_Held;
}

void releaseGate(const std::string& a_rGate, std::uint32_t a_Calls) {
    tEngine& l_Engine = engine();
    const std::lock_guard<std::mutex> l_Guard(l_Engine.m_Lock);
    l_Engine.m_GatesArmed = true;
    tGate& l_Gate = l_Engine.m_Gates[a_rGate];
    if (a_Calls == ZUPCIBRD_SIM_GATE_OPEN) {
        l_Gate.m_Open = true;
    } else {
        l_Gate.m_Permits += a_Calls;
    }
    l_Engine.m_Changed.notify_all();
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
