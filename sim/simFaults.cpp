#include "sim/simFaults.h"

#include "sim/simCallLog.h"
#include "sim/simReading.h"
#include "sim/simTopology.h"
#include "sim/zupcibrdSim.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

using tJson = nlohmann::json;

// How each entry point is shown in the log and what a rule may say about it. Output formats:
// 'd' decimal, 'b' a byte, 'w' a 16-bit ID, 'l' a 32-bit value, in hexadecimal; the same
// letters give the width of a listed item, 'c' a byte of text.
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
constexpr tEntryInfo kEntries[kEntryCount] = {
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

const tEntryInfo& infoOf(tEntry a_Entry) {
    return kEntries[static_cast<std::size_t>(a_Entry)];
}

std::size_t outputCount(const tEntryInfo& a_rInfo) {
    return static_cast<std::size_t>(
        std::find(std::begin(a_rInfo.m_Outputs), std::end(a_rInfo.m_Outputs), nullptr) -
        std::begin(a_rInfo.m_Outputs));
}

std::uint32_t widthMax(char a_Format) {
    return a_Format == 'b' || a_Format == 'c' ? 0xFFu : a_Format == 'w' ? 0xFFFFu : 0xFFFFFFFFu;
}

// ---- Reading the faults member -------------------------------------------------------------

// Limits on what a file may size: each is far beyond what a test needs and keeps the work of
// one call, and the memory of one script, small whatever the file says.
constexpr std::size_t kMaxRules = 1024;
// Items, call numbers and bytes of a slot path text: as many as the finder accepts.
constexpr std::size_t kMaxListed = 65536;
constexpr std::uint32_t kMaxDelayMs = 60000;
// Chaos fills at most this many items, however much room the caller claims.
constexpr std::uint32_t kMaxChaosFill = 1024;

struct tFaultsFault {
    std::string m_Text;
};

[[noreturn]] void fail(const std::string& a_rWhere, const std::string& a_rWhat) {
    throw tFaultsFault{a_rWhere + ": " + a_rWhat};
}

// A container is named, never dumped: its text could be as long as the file.
std::string shown(const tJson& a_rValue) {
    if (a_rValue.is_structured()) {
        return a_rValue.is_array() ? "an array" : "an object";
    }
    return a_rValue.is_string() ? quotedShort(a_rValue.get_ref<const std::string&>())
                                : a_rValue.dump();
}

// A whole number written as a JSON number or as text, decimal or hexadecimal with 0x, with an
// optional minus.
tWholeNumber readInteger(const tJson& a_rValue, const std::string& a_rWhere, std::int64_t a_Min,
                         std::uint64_t a_Max) {
    tWholeNumber l_Number;
    const tNumberProblem l_Problem = readWholeNumber(a_rValue, l_Number);
    switch (l_Problem) {
    case tNumberProblem::kNone:
    case tNumberProblem::kTooLarge:
        break;
    case tNumberProblem::kNotDigits:
        fail(a_rWhere, shown(a_rValue) + " is not a number (use decimal digits or 0x and " +
                           "hexadecimal digits)");
    case tNumberProblem::kNotWhole:
        fail(a_rWhere,
             shown(a_rValue) + " is not a whole number (write it without fraction or exponent)");
    case tNumberProblem::kWrongType:
        fail(a_rWhere, shown(a_rValue) + " must be a whole number or a text such as \"0x1F\"");
    }
    if (l_Problem == tNumberProblem::kTooLarge || !l_Number.isWithin(a_Min, a_Max)) {
        fail(a_rWhere, shown(a_rValue) + " is out of range " + std::to_string(a_Min) + ".." +
                           std::to_string(a_Max));
    }
    return l_Number;
}

std::uint32_t readU32(const tJson& a_rValue, const std::string& a_rWhere, std::uint32_t a_Min,
                      std::uint32_t a_Max) {
    return static_cast<std::uint32_t>(readInteger(a_rValue, a_rWhere, a_Min, a_Max).m_Magnitude);
}

bool readBool(const tJson& a_rValue, const std::string& a_rWhere) {
    if (!a_rValue.is_boolean()) {
        fail(a_rWhere, shown(a_rValue) + " must be true or false");
    }
    return a_rValue.get<bool>();
}

std::string readText(const tJson& a_rValue, const std::string& a_rWhere) {
    if (!a_rValue.is_string()) {
        fail(a_rWhere, shown(a_rValue) + " must be a text");
    }
    return a_rValue.get<std::string>();
}

void checkObject(const tJson& a_rObject, const std::string& a_rWhere,
                 std::initializer_list<const char*> a_Known) {
    if (!a_rObject.is_object()) {
        fail(a_rWhere, "must be an object");
    }
    for (auto l_Member = a_rObject.begin(); l_Member != a_rObject.end(); ++l_Member) {
        if (std::none_of(a_Known.begin(), a_Known.end(),
                         [&](const char* a_pName) { return l_Member.key() == a_pName; })) {
            fail(a_rWhere, "unknown member " + quotedShort(l_Member.key()));
        }
    }
    if (a_rObject.contains("comment") && !a_rObject["comment"].is_string()) {
        fail(a_rWhere + ".comment", "must be a text");
    }
}

void checkLength(const tJson& a_rArray, const std::string& a_rWhere,
                 std::size_t a_Max = kMaxListed) {
    if (a_rArray.size() > a_Max) {
        fail(a_rWhere, "more than " + std::to_string(a_Max) + " elements");
    }
}

bool findEntry(const std::string& a_rName, tEntry& a_rEntry) {
    const std::string l_Prefix = "ZuPciBrd_";
    const std::string l_Name = a_rName.compare(0, l_Prefix.size(), l_Prefix) == 0
                                   ? a_rName.substr(l_Prefix.size())
                                   : a_rName;
    for (std::size_t l_Index = 0; l_Index < kEntryCount; ++l_Index) {
        if (l_Name == entryName(static_cast<tEntry>(l_Index))) {
            a_rEntry = static_cast<tEntry>(l_Index);
            return true;
        }
    }
    return false;
}

tEntry readEntry(const tJson& a_rValue, const std::string& a_rWhere) {
    const std::string l_Name = readText(a_rValue, a_rWhere);
    tEntry l_Entry = tEntry::OpenSession;
    if (!findEntry(l_Name, l_Entry)) {
        fail(a_rWhere, "unknown entry point " + quotedShort(l_Name));
    }
    return l_Entry;
}

tFaultRule readRule(const tJson& a_rObject, const std::string& a_rWhere) {
    checkObject(a_rObject, a_rWhere,
                {"comment", "entry", "call", "from", "bridge", "attribute", "delayMs", "gate",
                 "answer", "writes", "value", "items", "text", "terminated", "count", "truncate"});
    tFaultRule l_Rule;
    l_Rule.m_Where = a_rWhere.substr(a_rWhere.find('.') + 1);
    const auto l_EntryMember = a_rObject.find("entry");
    if (l_EntryMember == a_rObject.end()) {
        fail(a_rWhere, "\"entry\" is missing (an entry point name, or \"*\" for all)");
    }
    l_Rule.m_AnyEntry = l_EntryMember->is_string() && l_EntryMember->get<std::string>() == "*";
    if (!l_Rule.m_AnyEntry) {
        l_Rule.m_Entry = readEntry(*l_EntryMember, a_rWhere + ".entry");
    }
    const tEntryInfo& l_Info = infoOf(l_Rule.m_Entry);
    // What a member may say depends on the entry point; "*" allows only what every one has.
    auto l_Only = [&](const char* a_pMember, bool a_Allowed, const char* a_pWhich) {
        if (a_rObject.contains(a_pMember) && (l_Rule.m_AnyEntry || !a_Allowed)) {
            fail(a_rWhere + "." + a_pMember, std::string("applies only to ") + a_pWhich);
        }
    };
    const bool l_IsList = l_Info.m_pList != nullptr;
    const bool l_IsText = l_Rule.m_Entry == tEntry::GetBridgeSlotPath;
    // "*" with an answer passes over the two Close entry points, which answer nothing.
    for (const char* l_pMember : {"answer", "writes"}) {
        if (a_rObject.contains(l_pMember) && !l_Rule.m_AnyEntry && l_Info.m_Void) {
            fail(a_rWhere + "." + l_pMember, "applies only to entry points that answer a code");
        }
    }
    l_Only("bridge", l_Info.m_HasBridge, "entry points with a bridge argument");
    l_Only("attribute", l_Info.m_HasAttribute, "GetAttributeU32 and SetAttributeU32");
    l_Only("value", outputCount(l_Info) == 1, "entry points with a single output");
    l_Only("items", l_IsList && !l_IsText, "the listing entry points");
    l_Only("count", l_IsList, "count-then-fill entry points");
    l_Only("truncate", l_IsList, "count-then-fill entry points");
    l_Only("text", l_IsText, "GetBridgeSlotPath");
    l_Only("terminated", l_IsText, "GetBridgeSlotPath");

    if (a_rObject.contains("call") && a_rObject.contains("from")) {
        fail(a_rWhere, "give \"call\" or \"from\", not both");
    }
    if (const auto l_Call = a_rObject.find("call"); l_Call != a_rObject.end()) {
        if (l_Call->is_array()) {
            checkLength(*l_Call, a_rWhere + ".call");
            for (std::size_t l_Index = 0; l_Index < l_Call->size(); ++l_Index) {
                l_Rule.m_Calls.push_back(
                    readU32((*l_Call)[l_Index], a_rWhere + ".call[" + std::to_string(l_Index) + "]",
                            1, UINT32_MAX));
            }
            if (l_Rule.m_Calls.empty()) {
                fail(a_rWhere + ".call", "names no call");
            }
        } else {
            l_Rule.m_Calls.push_back(readU32(*l_Call, a_rWhere + ".call", 1, UINT32_MAX));
        }
    }
    if (const auto l_From = a_rObject.find("from"); l_From != a_rObject.end()) {
        l_Rule.m_From = readU32(*l_From, a_rWhere + ".from", 1, UINT32_MAX);
    }
    if (const auto l_Bridge = a_rObject.find("bridge"); l_Bridge != a_rObject.end()) {
        l_Rule.m_Bridge = readU32(*l_Bridge, a_rWhere + ".bridge", 0, UINT32_MAX);
    }
    if (const auto l_Attribute = a_rObject.find("attribute"); l_Attribute != a_rObject.end()) {
        l_Rule.m_Attribute = readU32(*l_Attribute, a_rWhere + ".attribute", 0, UINT32_MAX);
    }

    bool l_DoesSomething = false;
    if (const auto l_Delay = a_rObject.find("delayMs"); l_Delay != a_rObject.end()) {
        l_Rule.m_DelayMs = readU32(*l_Delay, a_rWhere + ".delayMs", 0, kMaxDelayMs);
        l_DoesSomething = true;
    }
    if (const auto l_Gate = a_rObject.find("gate"); l_Gate != a_rObject.end()) {
        l_Rule.m_Gate = readText(*l_Gate, a_rWhere + ".gate");
        if (l_Rule.m_Gate.empty()) {
            fail(a_rWhere + ".gate", "a gate needs a name");
        }
        l_DoesSomething = true;
    }
    if (const auto l_Answer = a_rObject.find("answer"); l_Answer != a_rObject.end()) {
        // A code, or its 32-bit pattern in hexadecimal ("0xFFFB3950" is -313008).
        l_Rule.m_Effect.m_Answer = static_cast<std::int32_t>(static_cast<std::uint32_t>(
            readInteger(*l_Answer, a_rWhere + ".answer", INT32_MIN, UINT32_MAX).asSigned()));
        l_DoesSomething = true;
    }
    if (const auto l_Writes = a_rObject.find("writes"); l_Writes != a_rObject.end()) {
        l_Rule.m_Effect.m_Writes = readBool(*l_Writes, a_rWhere + ".writes");
        l_DoesSomething = true;
    }
    if (const auto l_Value = a_rObject.find("value"); l_Value != a_rObject.end()) {
        l_Rule.m_Effect.m_Value = readU32(*l_Value, a_rWhere + ".value", 0, UINT32_MAX);
        l_DoesSomething = true;
    }
    if (const auto l_Items = a_rObject.find("items"); l_Items != a_rObject.end()) {
        if (!l_Items->is_array()) {
            fail(a_rWhere + ".items", "must be an array");
        }
        checkLength(*l_Items, a_rWhere + ".items");
        l_Rule.m_Effect.m_Items.emplace();
        for (std::size_t l_Index = 0; l_Index < l_Items->size(); ++l_Index) {
            l_Rule.m_Effect.m_Items->push_back(
                readU32((*l_Items)[l_Index], a_rWhere + ".items[" + std::to_string(l_Index) + "]",
                        0, widthMax(l_Info.m_ItemFormat)));
        }
        l_DoesSomething = true;
    }
    if (const auto l_Text = a_rObject.find("text"); l_Text != a_rObject.end()) {
        l_Rule.m_Effect.m_Text = readText(*l_Text, a_rWhere + ".text");
        if (l_Rule.m_Effect.m_Text->size() > kMaxListed) {
            fail(a_rWhere + ".text", "longer than " + std::to_string(kMaxListed) + " bytes");
        }
        l_DoesSomething = true;
    }
    if (const auto l_Terminated = a_rObject.find("terminated"); l_Terminated != a_rObject.end()) {
        l_Rule.m_Effect.m_Terminated = readBool(*l_Terminated, a_rWhere + ".terminated");
        l_DoesSomething = true;
    }
    if (const auto l_Count = a_rObject.find("count"); l_Count != a_rObject.end()) {
        l_Rule.m_Effect.m_Count = readU32(*l_Count, a_rWhere + ".count", 0, UINT32_MAX);
        l_DoesSomething = true;
    }
    if (const auto l_Truncate = a_rObject.find("truncate"); l_Truncate != a_rObject.end()) {
        l_Rule.m_Effect.m_Truncate = readBool(*l_Truncate, a_rWhere + ".truncate");
        l_DoesSomething = true;
    }
    if (!l_DoesSomething) {
        fail(a_rWhere, "does nothing: give at least one of answer, writes, value, items, text, "
                       "terminated, count, truncate, delayMs, gate");
    }
    return l_Rule;
}

std::uint64_t randomSeed() {
    std::random_device l_Device;
    const auto l_Now = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    return (static_cast<std::uint64_t>(l_Device()) << 32) ^ l_Device() ^ l_Now;
}

tChaos readChaos(const tJson& a_rObject, const std::string& a_rWhere) {
    checkObject(a_rObject, a_rWhere, {"comment", "seed", "rate", "entries", "quiet"});
    tChaos l_Chaos;
    const auto l_Seed = a_rObject.find("seed");
    if (l_Seed == a_rObject.end()) {
        fail(a_rWhere, "\"seed\" is missing (a number, or \"random\")");
    }
    if (l_Seed->is_string() && l_Seed->get<std::string>() == "random") {
        l_Chaos.m_Seed = randomSeed();
    } else {
        // Every seed the library draws for "random" can be written back, in either form.
        l_Chaos.m_Seed = readInteger(*l_Seed, a_rWhere + ".seed", 0, UINT64_MAX).m_Magnitude;
    }
    if (const auto l_Rate = a_rObject.find("rate"); l_Rate != a_rObject.end()) {
        l_Chaos.m_Rate = readU32(*l_Rate, a_rWhere + ".rate", 0, 100);
    }
    if (const auto l_Entries = a_rObject.find("entries"); l_Entries != a_rObject.end()) {
        if (!l_Entries->is_array() || l_Entries->empty()) {
            fail(a_rWhere + ".entries", "must be an array of entry point names");
        }
        checkLength(*l_Entries, a_rWhere + ".entries", kEntryCount);
        for (std::size_t l_Index = 0; l_Index < l_Entries->size(); ++l_Index) {
            l_Chaos.m_Entries.push_back(readEntry(
                (*l_Entries)[l_Index], a_rWhere + ".entries[" + std::to_string(l_Index) + "]"));
        }
    }
    if (const auto l_Quiet = a_rObject.find("quiet"); l_Quiet != a_rObject.end()) {
        l_Chaos.m_Quiet = readBool(*l_Quiet, a_rWhere + ".quiet");
    }
    return l_Chaos;
}

// ---- The engine ------------------------------------------------------------------------------

struct tGate {
    std::uint32_t m_Held = 0;
    std::uint64_t m_Permits = 0;
    bool m_Open = false;
};

// Lives as long as the library is loaded: call numbers, the chaos sequence and the gates. Its
// making and undoing mark the library's load and unload in the call log, so that a test can
// tell that its host released the library.
struct tEngine {
    tEngine() { note("# loaded"); }
    ~tEngine() { note("# unloaded"); }
    tEngine(const tEngine&) = delete;
    tEngine& operator=(const tEngine&) = delete;
    static void note(const char* a_pWhat) {
        try {
            appendCallLog(a_pWhat);
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

// splitmix64: seedable with any value, and the same sequence on every platform.
std::uint64_t nextRandom(std::uint64_t& a_rState) {
    std::uint64_t l_Value = (a_rState += 0x9E3779B97F4A7C15ull);
    l_Value = (l_Value ^ (l_Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    l_Value = (l_Value ^ (l_Value >> 27)) * 0x94D049BB133111EBull;
    return l_Value ^ (l_Value >> 31);
}

std::uint32_t below(std::uint64_t& a_rState, std::uint32_t a_Bound) {
    return a_Bound == 0 ? 0 : static_cast<std::uint32_t>(nextRandom(a_rState) % a_Bound);
}

void takeUpLocked(tEngine& a_rEngine, std::shared_ptr<const tFaultScript> a_pScript) {
    a_rEngine.m_pScript = std::move(a_pScript);
    std::fill(std::begin(a_rEngine.m_Calls), std::end(a_rEngine.m_Calls), 0u);
    a_rEngine.m_SeedNamed = false;
    const std::optional<tChaos>& l_Chaos = a_rEngine.m_pScript->m_Chaos;
    if (l_Chaos) {
        a_rEngine.m_ChaosSequence = l_Chaos->m_Seed;
        // A seed alone covers calm runs and stormy ones.
        static const std::uint32_t s_Tempers[] = {0, 0, 1, 6, 25, 60, 100};
        const std::uint32_t l_Temper = s_Tempers[below(a_rEngine.m_ChaosSequence, 7)];
        a_rEngine.m_ChaosRate = l_Chaos->m_Rate.value_or(l_Temper);
    }
}

// The chaos member that gives the same answers again: the seed as drawn, the rate in force.
std::string replayText(const tChaos& a_rChaos, std::uint32_t a_Rate) {
    std::string l_Text = "{\"chaos\": {\"seed\": " + std::to_string(a_rChaos.m_Seed) +
                         ", \"rate\": " + std::to_string(a_Rate);
    for (std::size_t l_Index = 0; l_Index < a_rChaos.m_Entries.size(); ++l_Index) {
        l_Text += std::string(l_Index == 0 ? ", \"entries\": [\"" : ", \"") +
                  entryName(a_rChaos.m_Entries[l_Index]) + "\"";
    }
    return l_Text + (a_rChaos.m_Entries.empty() ? "}}" : "]}}");
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
    tSimTopology l_Topology;
    std::string l_Fault;
    if (!loadTopology(l_Topology, l_Fault)) {
        l_Topology = tSimTopology();
    }
    const std::lock_guard<std::mutex> l_Guard(a_rEngine.m_Lock);
    if (!a_rEngine.m_pScript) {
        takeUpLocked(a_rEngine, std::make_shared<const tFaultScript>(l_Topology.m_Faults));
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
    appendCallLog("# " + l_Arrival);
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

std::string formatted(std::uint32_t a_Value, char a_Format) {
    char l_Text[16];
    switch (a_Format) {
    case 'b':
        std::snprintf(l_Text, sizeof l_Text, "0x%02X", a_Value);
        break;
    case 'w':
        std::snprintf(l_Text, sizeof l_Text, "0x%04X", a_Value);
        break;
    case 'l':
        std::snprintf(l_Text, sizeof l_Text, "0x%08X", a_Value);
        break;
    default:
        std::snprintf(l_Text, sizeof l_Text, "%u", a_Value);
        break;
    }
    return l_Text;
}

std::string logLine(const tSimCall& a_rCall, const std::string& a_rCause) {
    const tEntryInfo& l_Info = infoOf(a_rCall.m_Entry);
    std::string l_Line = std::string(entryName(a_rCall.m_Entry)) + "(" + a_rCall.m_Arguments + ")";
    if (!l_Info.m_Void) {
        l_Line += " -> " + std::to_string(a_rCall.m_Code);
    }
    if (a_rCall.m_WriteOutputs) {
        for (std::size_t l_Index = 0; l_Index < a_rCall.m_Outputs.size(); ++l_Index) {
            if (l_Index < a_rCall.m_OutputGiven.size() && a_rCall.m_OutputGiven[l_Index]) {
                l_Line += std::string(" ") + l_Info.m_Outputs[l_Index] + "=" +
                          formatted(a_rCall.m_Outputs[l_Index], l_Info.m_OutputFormat);
            }
        }
    }
    if (a_rCall.m_WriteCount && a_rCall.m_CountGiven) {
        l_Line += (a_rCall.m_Entry == tEntry::GetBridgeSlotPath ? " size=" : " count=") +
                  std::to_string(a_rCall.m_Count);
    }
    if (!a_rCall.m_Fill.empty()) {
        l_Line += std::string(" ") + l_Info.m_pList + "=";
        if (l_Info.m_ItemFormat == 'c') {
            const std::string l_Bytes(a_rCall.m_Fill.begin(), a_rCall.m_Fill.end());
            l_Line += quotedText(l_Bytes.data(), l_Bytes.size());
        } else {
            for (std::size_t l_Index = 0; l_Index < a_rCall.m_Fill.size(); ++l_Index) {
                l_Line += (l_Index == 0 ? "[" : ",") +
                          formatted(a_rCall.m_Fill[l_Index], l_Info.m_ItemFormat);
            }
            l_Line += "]";
        }
    }
    return a_rCause.empty() ? l_Line : l_Line + " [" + a_rCause + "]";
}

} // namespace

const char* entryName(tEntry a_Entry) {
    return kZuPciBrdEntryNames[static_cast<std::size_t>(a_Entry)] + sizeof "ZuPciBrd_" - 1;
}

bool parseFaults(const nlohmann::json& a_rFaults, tFaultScript& a_rScript, std::string& a_rFault) {
    try {
        checkObject(a_rFaults, "faults", {"comment", "rules", "chaos"});
        tFaultScript l_Script;
        if (const auto l_Rules = a_rFaults.find("rules"); l_Rules != a_rFaults.end()) {
            if (!l_Rules->is_array()) {
                fail("faults.rules", "must be an array");
            }
            checkLength(*l_Rules, "faults.rules", kMaxRules);
            for (std::size_t l_Index = 0; l_Index < l_Rules->size(); ++l_Index) {
                l_Script.m_Rules.push_back(
                    readRule((*l_Rules)[l_Index], "faults.rules[" + std::to_string(l_Index) + "]"));
            }
        }
        if (const auto l_Chaos = a_rFaults.find("chaos"); l_Chaos != a_rFaults.end()) {
            l_Script.m_Chaos = readChaos(*l_Chaos, "faults.chaos");
        }
        a_rScript = std::move(l_Script);
        return true;
    } catch (const tFaultsFault& a_rError) {
        a_rFault = a_rError.m_Text;
    } catch (const std::exception& a_rError) {
        a_rFault = std::string("faults: ") + a_rError.what();
    }
    return false;
}

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
                          !(l_Plan.m_ChaosActs && chaosKind(l_Plan.m_Chaos) == kChaosError);
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
