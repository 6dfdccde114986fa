// The simulated bridge driver library as a client sees it through its entry points.
#include "tests/support/zuSim.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>

namespace nZU7461_14_0 {
namespace {

using ::testing::HasSubstr;

// Held by full path for the whole program: its gates and call numbers live as long as it does.
const zuTest::tLoadedModule& simulator() {
    static const zuTest::tLoadedModule s_Module(zuTest::modulePath("zupcibrd"));
    return s_Module;
}
#define ZU_SIM(a_Name) simulator().get<tZuPciBrd_##a_Name>("ZuPciBrd_" #a_Name)

struct tSession {
    std::uint32_t m_Handle = 0;
    std::int32_t m_Code = ZU_SIM(OpenSession)(0, &m_Handle);
    ~tSession() { ZU_SIM(CloseSession)(m_Handle); }
};

// Two chassis (bridges 2 and 3; 2 behind root port 1), each with its bridge value.
std::string topology(const std::string& a_rFaults) {
    return R"({"faults": )" + a_rFaults + R"(, "rootBuses": [0], "bridges": [
      {"bus": 0, "device": 28, "function": 0, "secondaryBus": 1, "vendorId": 1, "deviceId": 2, "subsystemVendorId": 1, "subsystemId": 2},
      {"bus": 1, "device": 0, "function": 0, "secondaryBus": 2, "vendorId": 1, "deviceId": 2, "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "attributes": {"0x20000300": 1}},
      {"bus": 0, "device": 29, "function": 0, "secondaryBus": 3, "vendorId": 1, "deviceId": 2, "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "attributes": {"0x20000300": "0x80000002"}}]})";
}

// Buffers are filled with this byte value, which no answer of the machines here holds.
constexpr std::uint32_t kUntouched = 0xAA;
std::string shown(std::uint32_t a_Value) {
    return a_Value == kUntouched ? "-" : std::to_string(a_Value);
}

// One call's code and outputs ("-" unwritten; in a text "0" a NUL, "~" untouched), OVERRUN past
// the room. Calls: find|roots [room] | attr BRIDGE [ATTRIBUTE] | parent BRIDGE | path BRIDGE [room]
std::string callAndSee(std::uint32_t a_Session, const std::string& a_rCall) {
    std::istringstream l_Words(a_rCall);
    std::string l_Verb;
    std::uint32_t l_First = 0, l_Second = ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE;
    l_Words >> l_Verb >> l_First;
    const bool l_HasSecond = static_cast<bool>(l_Words >> l_Second);
    std::ostringstream l_Seen;
    std::uint32_t l_Out = kUntouched;
    if (l_Verb == "attr" || l_Verb == "parent") {
        l_Seen << (l_Verb == "attr" ? ZU_SIM(GetAttributeU32)(a_Session, l_First, l_Second, &l_Out)
                                    : ZU_SIM(GetBridgeParent)(a_Session, l_First, &l_Out))
               << (l_Verb == "attr" ? " value=" : " parent=") << shown(l_Out);
        return l_Seen.str();
    }
    if (l_Verb == "path") {
        l_Out = l_HasSecond ? l_Second : 0;
        std::string l_Text(l_Out + 1, '~');
        char* const l_pText = l_HasSecond ? &l_Text[0] : nullptr;
        l_Seen << ZU_SIM(GetBridgeSlotPath)(a_Session, l_First, l_pText, &l_Out) << " size=";
        std::replace(l_Text.begin(), l_Text.end(), '\0', '0');
        l_Seen << l_Out << (l_HasSecond ? " \"" + l_Text.substr(0, l_Second) + "\"" : "");
        return l_Seen.str() + (l_Text.back() != '~' ? " OVERRUN" : "");
    }
    std::vector<std::uint32_t> l_Items(l_First + 1, kUntouched);
    std::vector<std::uint8_t> l_Buses(l_First + 1, kUntouched);
    const std::uint16_t l_Ids[] = {0x1F3C, 0x5C2E};
    l_Out = l_First;
    if (l_Verb == "find") {
        l_Seen << ZU_SIM(FindBridgesByPciIds)(a_Session, nullptr, nullptr, &l_Ids[0], &l_Ids[1],
                                              l_First != 0 ? l_Items.data() : nullptr, &l_Out);
    } else {
        l_Seen << ZU_SIM(GetRootBuses)(a_Session, l_First != 0 ? l_Buses.data() : nullptr, &l_Out);
        l_Items.assign(l_Buses.begin(), l_Buses.end());
    }
    l_Seen << " count=" << l_Out;
    for (std::uint32_t l_Index = 0; l_Index < l_First; ++l_Index) {
        l_Seen << (l_Index == 0 ? " [" : ",") << shown(l_Items[l_Index]);
    }
    return l_Seen.str() + (l_First != 0 ? "]" : "") +
           (l_Items[l_First] != kUntouched ? " OVERRUN" : "");
}

// A file of cases/: "faults" for that machine, commented "CALL -> SEEN; ..." after OpenSession.
TEST(Sim, EachScriptedFaultReachesTheCallerAsWritten) {
    std::size_t l_Calls = 0;
    for (const auto& l_Case : std::filesystem::directory_iterator(ZU_SIM_CASES)) {
        SCOPED_TRACE(l_Case.path().filename().string());
        std::ifstream l_In(l_Case.path(), std::ios::binary);
        const std::string l_Faults{std::istreambuf_iterator<char>(l_In), {}};
        const zuTest::cTopologyFile l_File(topology(l_Faults));
        const tSession l_Session;
        ASSERT_EQ(l_Session.m_Code, 0);
        std::istringstream l_Steps(
            nlohmann::json::parse(l_Faults).at("comment").get<std::string>());
        for (std::string l_Step; std::getline(l_Steps, l_Step, ';'); ++l_Calls) {
            const std::size_t l_Arrow = l_Step.find(" -> ");
            EXPECT_EQ(callAndSee(l_Session.m_Handle, l_Step.substr(0, l_Arrow)),
                      l_Step.substr(l_Arrow + 4))
                << l_Step;
        }
    }
    EXPECT_GT(l_Calls, 0u) << "no case in " << ZU_SIM_CASES;
}

// One row per refusal; no content means a file named but absent, or the path given instead.
struct tBadTopology {
    std::optional<std::string> m_Content;
    const char* m_pFault;
    const char* m_pPath = nullptr;
};
std::string rule(const std::string& a_rMembers) {
    return topology(R"({"rules": [{"entry": "GetAttributeU32", )" + a_rMembers + "}]}");
}
// clang-format off
const tBadTopology kBadTopologies[] = {
    {std::nullopt, "\": cannot open"},
    {std::nullopt, "\": is a folder", "."},
    {"", "not valid JSON"},
    {R"({"rootBuses":[],"bridges":[],"extra":1})", "unknown member \"extra\""},
    {R"({"rootBuses":[1,"0x100"],"bridges":[]})", "rootBuses[1]: \"0x100\" is out of range 0..0xFF"},
    {R"({"rootBuses":[0],"bridges":[{"bus":0},{"bus":0,"bus":0}]})", ": bridges[1]: member \"bus\" is given twice"},
    {topology(R"({"rules": [{"entry": "OpenSession", "entry": "OpenSession"}]})"), ": faults.rules[0]: member \"entry\" is given twice"},
    // Deep enough to overflow any stack that walks it recursively.
    {"{\"rootBuses\":" + std::string(300000, '[') + std::string(300000, ']') + "}", ": rootBuses[0][0][0][0][0][0][0]: arrays and objects nested deeper than 8 levels"},
    {rule(R"("items": [[[[[1]]]]])"), ": faults.rules[0].items[0][0][0][0]: arrays and objects nested deeper"},
    {R"({"rootBuses":["-0x8000000000000000"],"bridges":[]})", ": rootBuses[0]: \"-0x8000000000000000\" is out of range 0..0xFF"},
    {R"({"rootBuses":[1.0],"bridges":[]})", ": rootBuses[0]: 1.0 is not a whole number"},
    {rule(R"("answer": "-0x8000000000000000")"), ": faults.rules[0].answer: \"-0x8000000000000000\" is out of range -2147483648..4294967295"},
    {rule(R"("answer": "-9223372036854775809")"), ": faults.rules[0].answer: \"-9223372036854775809\" is out of range"},
    {rule(R"("answer": -9223372036854775808)"), ": faults.rules[0].answer: -9223372036854775808 is out of range"},
    {rule(R"("value": 18446744073709551616)"), ": faults.rules[0].value: 1.8446744073709552e+19 is out of range 0..4294967295"},
    {rule(R"("value": 1e3)"), ": faults.rules[0].value: 1000.0 is not a whole number"},
    {rule(R"("value": "-0x")"), ": faults.rules[0].value: \"-0x\" is not a number"},
    {rule(R"("answer": 1, "call": [)" + std::regex_replace(std::string(65536, '1'), std::regex("1"), "1,") + "1]"), ": faults.rules[0].call: more than 65536 elements"},
    {topology(R"({"chaos": {"seed": "18446744073709551616"}})"), ": faults.chaos.seed: \"18446744073709551616\" is out of range 0..18446744073709551615"},
    {R"({"rootBuses":[],"bridges":[]})" + std::string(1024 * 1024, ' '), "larger than 1048576 bytes"},
    {topology("[]"), "faults: must be an object"},
    {topology(R"({"rules": [{"entry": "GetAttribute", "answer": 1}]})"), "faults.rules[0].entry: unknown entry point \"GetAttribute\""},
    {topology(R"({"rules": [{"entry": "OpenSession"}]})"), "faults.rules[0]: does nothing"},
    {topology(R"({"rules": [{"entry": "GetAttributeU32", "call": 1, "from": 2, "answer": 1}]})"), "faults.rules[0]: give \"call\" or \"from\", not both"},
    {topology(R"({"chaos": {"seed": 1, "rate": 101}})"), "faults.chaos.rate: 101 is out of range 0..100"},
};
// clang-format on

TEST(Sim, AMalformedFileIsRefusedWithOneLineNamingFileAndFault) {
    for (const tBadTopology& l_Case : kBadTopologies) {
        SCOPED_TRACE(l_Case.m_pFault);
        const zuTest::cTopologyFile l_File(l_Case.m_Content.value_or(""));
        if (!l_Case.m_Content) {
            l_File.clear();
        }
        if (l_Case.m_pPath != nullptr) {
            zuTest::setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", l_Case.m_pPath);
        }
        std::uint32_t l_Session = kUntouched;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ZU_SIM(OpenSession)(0, &l_Session), ZUPCIBRD_SIM_TOPOLOGY_FAULT);
        const std::string l_Error = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(l_Session, kUntouched);
        EXPECT_THAT(l_Error,
                    ::testing::AllOf(HasSubstr(l_Case.m_pPath ? l_Case.m_pPath : "topology-"),
                                     HasSubstr(l_Case.m_pFault)));
        EXPECT_EQ(std::count(l_Error.begin(), l_Error.end(), '\n'), 1) << l_Error;
    }
    EXPECT_EQ(tSession().m_Code, 0) << "the built-in machine once no file is named";
}

// A chaos run's answers to fixed calls; a file of its own, so that its draws start at the seed.
// With a_pError, the run is not quiet: standard error goes there, and the call log (sessions
// as "#") follows the answers.
std::string chaosRun(const std::string& a_rChaos, std::string* a_pError = nullptr) {
    static int s_Run = 0;
    const std::string l_Faults = R"({"chaos": {)" +
                                 std::string(a_pError ? "" : R"("quiet": true, )") + a_rChaos +
                                 R"(}, "comment": ")";
    const zuTest::cTopologyFile l_File(topology(l_Faults + std::to_string(++s_Run) + "\"}"));
    const zuTest::cCallLog l_Log;
    ::testing::internal::CaptureStderr();
    std::string l_Seen;
    {
        const tSession l_Session;
        l_Seen = std::to_string(l_Session.m_Code);
        for (const char* l_pCall : {"find", "find 2", "find 3", "attr 2", "attr 3", "parent 2",
                                    "roots", "roots 1", "path 2", "path 2 11", "path 3 4"}) {
            l_Seen += ";" + callAndSee(l_Session.m_Handle, l_pCall);
        }
    }
    const std::string l_Error = ::testing::internal::GetCapturedStderr();
    if (a_pError == nullptr) {
        return l_Seen;
    }
    *a_pError = l_Error;
    const std::string l_Calls =
        std::regex_replace(l_Log.text(), std::regex("session=\\d+|# loaded\n"), "");
    return l_Seen + "\n" + std::regex_replace(l_Calls, std::regex("\\(\\d+([,)])"), "(#$1");
}

TEST(Sim, ChaosIsReproducibleFromItsSeedAndStaysWithinTheCallersBuffers) {
    EXPECT_EQ(chaosRun(R"("seed": 42)"), chaosRun(R"("seed": 42)"));
    EXPECT_NE(chaosRun(R"("seed": 42, "rate": 100)"), chaosRun(R"("seed": 43, "rate": 100)"));
    EXPECT_EQ(chaosRun(R"("seed": 42, "rate": 0)"), chaosRun(R"("seed": 43, "rate": 0)"));
    // The full 64-bit range, quoted or not; chaos spares the session, so a refused seed shows.
    const std::string l_Entries = R"("entries": ["GetAttributeU32", "GetBridgeSlotPath"])";
    const std::string l_Largest =
        chaosRun(R"("seed": 18446744073709551615, "rate": 100, )" + l_Entries);
    EXPECT_THAT(l_Largest, ::testing::StartsWith("0;"));
    EXPECT_EQ(chaosRun(R"("seed": "18446744073709551615", "rate": 100, )" + l_Entries), l_Largest);
    EXPECT_EQ(chaosRun(R"("seed": "0xFFFFFFFFFFFFFFFF", "rate": 100, )" + l_Entries), l_Largest);
    for (int l_Seed = 0; l_Seed < 100; ++l_Seed) {
        const std::string l_Run = chaosRun(R"("seed": )" + std::to_string(l_Seed));
        EXPECT_THAT(l_Run, ::testing::Not(HasSubstr("OVERRUN"))) << l_Seed;
    }
}

// Chaos names its seed once on standard error and marks every call it changed ("#" the session).
// No test here controls gates, so a gate holds nothing: the call passes, reported once.
TEST(Sim, TheCallLogHasOneLineForEveryCallWithItsAnswer) {
    const zuTest::cTopologyFile l_File(topology(R"({"rules": [{"entry": "GetAttributeU32",
        "bridge": 3, "answer": -6}, {"entry": "GetBridgeSlotPath", "gate": "paths"}], "chaos": {"seed": 977, "entries": ["GetRootBuses"], "rate": 100}})"));
    const zuTest::cCallLog l_Log;
    std::string l_Expected;
    ::testing::internal::CaptureStderr();
    {
        const tSession l_Session;
        for (auto l_pCall : {"find", "find 2", "attr 2", "attr 3", "path 2 11", "roots", "roots"}) {
            callAndSee(l_Session.m_Handle, l_pCall);
        }
        std::uint16_t l_Id = 0;
        ZU_SIM(GetBridgeIds)(l_Session.m_Handle, 1, &l_Id, &l_Id, &l_Id, nullptr);
        const std::uint8_t l_Image[2] = {0xAB, 0x01};
        ZU_SIM(EepromUpdate)(l_Session.m_Handle, 2, 1, 2, 0, 0, 2, l_Image);
        ZU_SIM(FindBridgeBySlotPath)(l_Session.m_Handle, "MR00:E8", nullptr);
        // clang-format off
        for (const char* l_pLine : {"OpenSession(0,out) -> 0 session=#", "FindBridgesByPciIds(#,null,null,0x1F3C,0x5C2E,null,0) -> -313002 count=2",
                "FindBridgesByPciIds(#,null,null,0x1F3C,0x5C2E,buf,2) -> 0 count=2 bridges=[2,3]", "GetAttributeU32(#,2,0x20000300,out) -> 0 value=0x00000001",
                "GetAttributeU32(#,3,0x20000300,out) -> -6 [rules[0]]", "gate", "GetBridgeSlotPath(#,2,buf,11) -> 0 size=11 text=\"MR00:E0,00\\0\" [rules[1]]", "chaos", "chaos",
                "GetBridgeIds(#,1,out,out,out,null) -> -313001", "EepromUpdate(#,2,0x0001,0x0002,0,0,2,[AB 01]) -> -313009",
                "FindBridgeBySlotPath(#,\"MR00:E8\",null) -> -313001", "CloseSession(#)"}) {
            l_Expected += std::regex_replace(l_pLine, std::regex("#"), std::to_string(l_Session.m_Handle)) + "\n";
        }
        // clang-format on
    }
    const std::string l_Error = ::testing::internal::GetCapturedStderr();
    const std::string l_Gate =
        "gate \"paths\" of rules[1]: GetBridgeSlotPath call 1 passes (no gate control called)";
    EXPECT_THAT(l_Error, ::testing::AllOf(HasSubstr("chaos with seed 977"), HasSubstr(l_Gate)));
    EXPECT_EQ(std::count(l_Error.begin(), l_Error.end(), '\n'), 2) << l_Error;
    // Chaos picks those answers, the log frames them; the load note comes with the first load only.
    const std::regex l_Chaos("GetRootBuses\\(.*\\[chaos seed=977\\]\n");
    const std::string l_Text = std::regex_replace(l_Log.text(), std::regex("# loaded\n"), "");
    EXPECT_EQ(std::regex_replace(l_Text, l_Chaos, "chaos\n"),
              std::regex_replace(l_Expected, std::regex("gate\n"), "# " + l_Gate + "\n"));
}

// The one line chaos writes names the member that replays the run: drawn seeds, drawn rates.
// A session whose handle the caller never got is forgotten, and numbers restart once every
// session is closed: a chaos run replays alike whether or not the library stayed loaded.
TEST(Sim, SessionsTheCallerNeverGotAreForgotten) {
    const zuTest::cTopologyFile l_File(
        topology(R"({"rules": [{"entry": "OpenSession", "call": 2, "value": 77}]})"));
    const std::uint32_t l_First = tSession().m_Handle;
    std::uint32_t l_Lost = 0;
    EXPECT_EQ(ZU_SIM(OpenSession)(0, &l_Lost), 0);
    EXPECT_EQ(l_Lost, 77u);
    EXPECT_EQ(tSession().m_Handle, l_First);
}

TEST(Sim, ChaosNamesTheMemberThatReplaysItsRun) {
    for (const char* l_pChaos :
         {R"("seed": "random", "rate": 100)", R"("seed": "0xFFFFFFFFFFFFFFF5")",
          R"("seed": 8, "entries": ["GetRootBuses", "ZuPciBrd_GetBridgeSlotPath"])"}) {
        std::string l_Error, l_ReplayError;
        const std::string l_Run = chaosRun(l_pChaos, &l_Error);
        std::smatch l_Member;
        const std::regex l_Replay("write \"faults\": \\{\"chaos\": \\{(.*)\\}\\}\n$");
        ASSERT_TRUE(std::regex_search(l_Error, l_Member, l_Replay)) << l_Error;
        EXPECT_EQ(chaosRun(l_Member[1].str(), &l_ReplayError), l_Run) << l_Error;
        EXPECT_EQ(l_ReplayError, l_Error);
        EXPECT_EQ(std::count(l_Error.begin(), l_Error.end(), '\n'), 1) << l_Error;
    }
}

TEST(Sim, EachVariantLacksExactlyItsEntryPoint) {
    for (const std::string l_Missing :
         {"OpenSession", "CloseSession", "FindBridgesByPciIds", "GetBridgeSlotPath", "GetBridgeIds",
          "GetAttributeU32", "CloseBridge", "EepromUpdate"}) {
        const zuTest::tLoadedModule l_Variant(
            zuTest::modulePath("zupcibrd", "sim-variants/no-" + l_Missing));
        for (const char* l_pName : kZuPciBrdEntryNames) {
            EXPECT_EQ(l_Variant.has(l_pName), l_pName != "ZuPciBrd_" + l_Missing) << l_pName;
        }
        EXPECT_TRUE(l_Variant.has("ZuPciBrdSim_ReleaseGate")) << l_Missing;
    }
}

} // namespace
} // namespace nZU7461_14_0
