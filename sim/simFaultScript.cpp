#include "sim/simFaultScript.h"

#include "sim/simJsonReading.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <climits>
#include <random>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

using tJson = nlohmann::json;

// Limits on what a file may size: each is far beyond what a test needs and keeps the work of
// one call, and the memory of one script, small whatever the file says.
constexpr std::size_t kMaxRules = 1024;
// Items, call numbers and bytes of a slot path text: as many as the finder accepts.
constexpr std::size_t kMaxListed = 65536;

constexpr tNumberWording kWording = {"a whole number", 0x1F, 2, false};

std::uint32_t readU32(const tJson& a_rValue, const std::string& a_rWhere, std::uint32_t a_Min,
                      std::uint32_t a_Max) {
    return static_cast<std::uint32_t>(
        readNumber(a_rValue, a_rWhere, a_Min, a_Max, kWording).m_Magnitude);
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

tFaultRule readRule(const tJson& a_rValue, const std::string& a_rWhere) {
    const cJsonObject l_Object(a_rValue, a_rWhere,
                               {"comment", "entry", "call", "from", "bridge", "attribute",
                                "delayMs", "gate", "answer", "writes", "value", "items", "text",
                                "terminated", "count", "truncate"},
                               kWording);
    tFaultRule l_Rule;
    l_Rule.m_Where = a_rWhere.substr(a_rWhere.find('.') + 1);
    const tJson& l_EntryMember =
        l_Object.required("entry", " (an entry point name, or \"*\" for all)");
    l_Rule.m_AnyEntry = l_EntryMember.is_string() && l_EntryMember.get<std::string>() == "*";
    if (!l_Rule.m_AnyEntry) {
        l_Rule.m_Entry = readEntry(l_EntryMember, l_Object.placeOf("entry"));
    }
    const tEntryInfo& l_Info = infoOf(l_Rule.m_Entry);
    // What a member may say depends on the entry point; "*" allows only what every one has.
    auto l_Only = [&](const char* a_pMember, bool a_Allowed, const char* a_pWhich) {
        if (l_Object.find(a_pMember) != nullptr && (l_Rule.m_AnyEntry || !a_Allowed)) {
            fail(l_Object.placeOf(a_pMember), std::string("applies only to ") + a_pWhich);
        }
    };
    const bool l_IsList = l_Info.m_pList != nullptr;
    const bool l_IsText = l_Rule.m_Entry == tEntry::GetBridgeSlotPath;
    // "*" with an answer passes over the two Close entry points, which answer nothing.
    for (const char* l_pMember : {"answer", "writes"}) {
        if (l_Object.find(l_pMember) != nullptr && !l_Rule.m_AnyEntry && l_Info.m_Void) {
            fail(l_Object.placeOf(l_pMember), "applies only to entry points that answer a code");
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

    if (l_Object.find("call") != nullptr && l_Object.find("from") != nullptr) {
        fail(a_rWhere, "give \"call\" or \"from\", not both");
    }
    const std::string l_CallWhere = l_Object.placeOf("call");
    if (const tJson* l_pCall = l_Object.find("call"); l_pCall != nullptr && l_pCall->is_array()) {
        readArray(*l_pCall, l_CallWhere, kMaxListed);
        for (std::size_t l_Index = 0; l_Index < l_pCall->size(); ++l_Index) {
            l_Rule.m_Calls.push_back(
                readU32((*l_pCall)[l_Index], elementAt(l_CallWhere, l_Index), 1, UINT32_MAX));
        }
        if (l_Rule.m_Calls.empty()) {
            fail(l_CallWhere, "names no call");
        }
    } else if (l_pCall != nullptr) {
        l_Rule.m_Calls.push_back(readU32(*l_pCall, l_CallWhere, 1, UINT32_MAX));
    }
    l_Rule.m_From = l_Object.u32("from", 1, UINT32_MAX).value_or(0);
    l_Rule.m_Bridge = l_Object.u32("bridge", 0, UINT32_MAX);
    l_Rule.m_Attribute = l_Object.u32("attribute", 0, UINT32_MAX);

    l_Rule.m_DelayMs = l_Object.u32("delayMs", 0, kMaxDelayMs).value_or(0);
    const std::optional<std::string> l_Gate = l_Object.text("gate");
    if (l_Gate && l_Gate->empty()) {
        fail(l_Object.placeOf("gate"), "a gate needs a name");
    }
    l_Rule.m_Gate = l_Gate.value_or("");
    tFaultEffect& l_Effect = l_Rule.m_Effect;
    if (const tJson* l_pAnswer = l_Object.find("answer")) {
        // A code, or its 32-bit pattern in hexadecimal ("0xFFFB3950" is -313008).
        const tWholeNumber l_Answer =
            readNumber(*l_pAnswer, l_Object.placeOf("answer"), INT32_MIN, UINT32_MAX, kWording);
        l_Effect.m_Answer =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(l_Answer.asSigned()));
    }
    l_Effect.m_Writes = l_Object.flag("writes");
    l_Effect.m_Value = l_Object.u32("value", 0, UINT32_MAX);
    if (const tJson* l_pItems = l_Object.find("items")) {
        const std::string l_ItemsWhere = l_Object.placeOf("items");
        readArray(*l_pItems, l_ItemsWhere, kMaxListed);
        l_Effect.m_Items.emplace();
        for (std::size_t l_Index = 0; l_Index < l_pItems->size(); ++l_Index) {
            l_Effect.m_Items->push_back(readU32((*l_pItems)[l_Index],
                                                elementAt(l_ItemsWhere, l_Index), 0,
                                                widthMax(l_Info.m_ItemFormat)));
        }
    }
    l_Effect.m_Text = l_Object.text("text");
    if (l_Effect.m_Text && l_Effect.m_Text->size() > kMaxListed) {
        fail(l_Object.placeOf("text"), "longer than " + std::to_string(kMaxListed) + " bytes");
    }
    l_Effect.m_Terminated = l_Object.flag("terminated");
    l_Effect.m_Count = l_Object.u32("count", 0, UINT32_MAX);
    l_Effect.m_Truncate = l_Object.flag("truncate").value_or(false);
    if (!l_Object.hasAny({"delayMs", "gate", "answer", "writes", "value", "items", "text",
                          "terminated", "count", "truncate"})) {
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

tChaos readChaos(const tJson& a_rValue, const std::string& a_rWhere) {
    const cJsonObject l_Object(a_rValue, a_rWhere, {"comment", "seed", "rate", "entries", "quiet"},
                               kWording);
    tChaos l_Chaos;
    const tJson& l_Seed = l_Object.required("seed", " (a number, or \"random\")");
    if (l_Seed.is_string() && l_Seed.get<std::string>() == "random") {
        l_Chaos.m_Seed = randomSeed();
    } else {
        // Every seed the library draws for "random" can be written back, in either form.
        l_Chaos.m_Seed =
            readNumber(l_Seed, l_Object.placeOf("seed"), 0, UINT64_MAX, kWording).m_Magnitude;
    }
    l_Chaos.m_Rate = l_Object.u32("rate", 0, 100);
    if (const tJson* l_pEntries = l_Object.find("entries")) {
        const std::string l_EntriesWhere = l_Object.placeOf("entries");
        if (!l_pEntries->is_array() || l_pEntries->empty()) {
            fail(l_EntriesWhere, "must be an array of entry point names");
        }
        readArray(*l_pEntries, l_EntriesWhere, kEntryCount);
        for (std::size_t l_Index = 0; l_Index < l_pEntries->size(); ++l_Index) {
            l_Chaos.m_Entries.push_back(
                readEntry((*l_pEntries)[l_Index], elementAt(l_EntriesWhere, l_Index)));
        }
    }
    l_Chaos.m_Quiet = l_Object.flag("quiet").value_or(false);
    return l_Chaos;
}

} // namespace

bool parseFaults(const nlohmann::json& a_rFaults, tFaultScript& a_rScript, std::string& a_rFault) {
    try {
        const cJsonObject l_Object(a_rFaults, "faults", {"comment", "rules", "chaos"}, kWording);
        tFaultScript l_Script;
        if (const tJson* l_pRules = l_Object.find("rules")) {
            readArray(*l_pRules, "faults.rules", kMaxRules);
            for (std::size_t l_Index = 0; l_Index < l_pRules->size(); ++l_Index) {
                l_Script.m_Rules.push_back(
                    readRule((*l_pRules)[l_Index], elementAt("faults.rules", l_Index)));
            }
        }
        if (const tJson* l_pChaos = l_Object.find("chaos")) {
            l_Script.m_Chaos = readChaos(*l_pChaos, "faults.chaos");
        }
        a_rScript = std::move(l_Script);
        return true;
    } catch (const tReadFault& a_rError) {
        a_rFault = a_rError.m_Text;
    } catch (const std::exception& a_rError) {
        a_rFault = std::string("faults: ") + a_rError.what();
    }
    return false;
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
