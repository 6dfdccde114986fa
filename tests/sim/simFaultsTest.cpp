// Scripted faults, the call log and the variants that lack entry points, seen as a client sees
// them: through the library's entry points, over a small machine with a "faults" member.
#include "tests/sim/simClient.h"

#include "tests/support/zuEnvironment.h"
#include "tests/support/zuExecutableFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace nZU7461_14_0 {
namespace nSimTest {
namespace {

using ::testing::HasSubstr;

// Two chassis (bridges 2 and 3) and a root port above the first.
const char kMachine[] = R"("rootBuses": [0], "bridges": [
    {"bus": 0, "device": 28, "function": 0, "secondaryBus": 1, "vendorId": 1, "deviceId": 2,
     "subsystemVendorId": 1, "subsystemId": 2},
    {"bus": 1, "device": 0, "function": 0, "secondaryBus": 2, "vendorId": 1, "deviceId": 2,
     "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "attributes": {"0x20000300": 1}},
    {"bus": 0, "device": 29, "function": 0, "secondaryBus": 3, "vendorId": 1, "deviceId": 2,
     "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E",
     "attributes": {"0x20000300": "0x80000002"}}])";

std::string topology(const std::string& a_rFaults) {
    return "{" + std::string(kMachine) + (a_rFaults.empty() ? "" : ", \"faults\": " + a_rFaults) +
           "}";
}

constexpr std::uint32_t kUntouched = 0xAAAAAAAAu;
constexpr std::uint16_t kChassisVendor = 0x1F3C, kChassisId = 0x5C2E;

std::string hex(std::uint32_t a_Value) {
    char l_Text[16];
    std::snprintf(l_Text, sizeof l_Text, "0x%08X", a_Value);
    return l_Text;
}

// One call as a client makes it, and what the client sees afterwards: the code, each output
// ("-" when not written) and the buffer of the room given ("-" or "~" where untouched). One
// element more than the room guards against a library writing past it.
//   open | find [room] | roots [room] | attr BRIDGE | parent BRIDGE | path BRIDGE [room]
std::string callAndSee(std::uint32_t a_Session, const std::string& a_rCall) {
    const tSimApi& l_Api = simApi();
    std::istringstream l_Words(a_rCall);
    std::string l_Verb;
    l_Words >> l_Verb;
    std::uint32_t l_First = 0;
    std::uint32_t l_Room = 0;
    const bool l_HasFirst = static_cast<bool>(l_Words >> l_First);
    const bool l_HasRoom = static_cast<bool>(l_Words >> l_Room);
    std::ostringstream l_Seen;
    auto l_Single = [&](const char* a_pName, std::int32_t a_Code, std::uint32_t a_Value) {
        l_Seen << a_Code << " " << a_pName << "="
               << (a_Value == kUntouched ? "-" : std::to_string(a_Value));
    };
    auto l_List = [&](std::int32_t a_Code, std::uint32_t a_Count, const auto& a_rBuffer,
                      std::uint32_t a_Shown) {
        l_Seen << a_Code << " count=" << a_Count;
        for (std::uint32_t l_Index = 0; l_Index < a_Shown; ++l_Index) {
            const auto l_Item = a_rBuffer[l_Index];
            l_Seen << (l_Index == 0 ? " [" : ",")
                   << (l_Item == static_cast<std::decay_t<decltype(l_Item)>>(kUntouched)
                           ? std::string("-")
                           : std::to_string(l_Item));
        }
        l_Seen << (a_Shown != 0 ? "]" : "");
        if (a_rBuffer[a_Shown] != static_cast<std::decay_t<decltype(a_rBuffer[0])>>(kUntouched)) {
            l_Seen << " OVERRUN";
        }
    };
    if (l_Verb == "open") {
        std::uint32_t l_Session = kUntouched;
        const std::int32_t l_Code = l_Api.OpenSession(0, &l_Session);
        l_Seen << l_Code << " session=" << (l_Session == kUntouched ? "-" : "set");
        if (l_Code >= 0) {
            l_Api.CloseSession(l_Session);
        }
    } else if (l_Verb == "find" || l_Verb == "roots") {
        const std::uint32_t l_Given = l_HasFirst ? l_First : 0;
        std::uint32_t l_Count = l_Given;
        if (l_Verb == "find") {
            std::vector<std::uint32_t> l_Buffer(l_Given + 1, kUntouched);
            const std::int32_t l_Code =
                l_Api.FindBridgesByPciIds(a_Session, nullptr, nullptr, &kChassisVendor, &kChassisId,
                                          l_HasFirst ? l_Buffer.data() : nullptr, &l_Count);
            l_List(l_Code, l_Count, l_Buffer, l_Given);
        } else {
            std::vector<std::uint8_t> l_Buffer(l_Given + 1, 0xAA);
            const std::int32_t l_Code =
                l_Api.GetRootBuses(a_Session, l_HasFirst ? l_Buffer.data() : nullptr, &l_Count);
            l_List(l_Code, l_Count, l_Buffer, l_Given);
        }
    } else if (l_Verb == "attr") {
        std::uint32_t l_Value = kUntouched;
        const std::int32_t l_Code = l_Api.GetAttributeU32(
            a_Session, l_First, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, &l_Value);
        l_Seen << l_Code << " value=" << (l_Value == kUntouched ? "-" : hex(l_Value));
    } else if (l_Verb == "parent") {
        std::uint32_t l_Parent = kUntouched;
        const std::int32_t l_Code = l_Api.GetBridgeParent(a_Session, l_First, &l_Parent);
        l_Single("parent", l_Code, l_Parent);
    } else if (l_Verb == "path") {
        std::uint32_t l_Size = l_HasRoom ? l_Room : 0;
        std::string l_Buffer(l_Size + 1, '~');
        const std::int32_t l_Code = l_Api.GetBridgeSlotPath(
            a_Session, l_First, l_HasRoom ? &l_Buffer[0] : nullptr, &l_Size);
        l_Seen << l_Code << " size=" << l_Size;
        if (l_HasRoom) {
            std::string l_Shown = l_Buffer.substr(0, l_Buffer.size() - 1);
            for (char& l_Char : l_Shown) {
                l_Char = l_Char == '\0' ? '0' : l_Char;
            }
            l_Seen << " \"" << l_Shown << "\"" << (l_Buffer.back() != '~' ? " OVERRUN" : "");
        }
    } else {
        ADD_FAILURE() << "unknown call " << a_rCall;
    }
    return l_Seen.str();
}

class SimFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simApi().m_Loaded);
        ASSERT_TRUE(simApi().m_Missing.empty()) << simApi().m_Missing.front();
    }
};

struct tStep {
    const char* m_pCall;
    const char* m_pSeen;
};

struct tFaultCase {
    const char* m_pName;
    const char* m_pFaults;
    std::vector<tStep> m_Steps;
};

// "0" in a text shown is a NUL written; "~" a byte left alone.
const tFaultCase kFaultCases[] = {
    {"an error on the second call only",
     R"({"rules": [{"entry": "GetAttributeU32", "call": 2, "answer": -5}]})",
     {{"attr 2", "0 value=0x00000001"},
      {"attr 2", "-5 value=-"},
      {"attr 2", "0 value=0x00000001"}}},
    {"a warning from the second call on, with the answer written",
     R"({"rules": [{"entry": "ZuPciBrd_GetAttributeU32", "from": 2, "answer": 7}]})",
     {{"attr 2", "0 value=0x00000001"},
      {"attr 3", "7 value=0x80000002"},
      {"attr 2", "7 value=0x00000001"}}},
    {"an error for one bridge, given as its 32-bit pattern",
     R"({"rules": [{"entry": "GetAttributeU32", "bridge": 3, "answer": "0xFFFB3950"}]})",
     {{"attr 2", "0 value=0x00000001"}, {"attr 3", "-313008 value=-"}}},
    {"listed calls only",
     R"({"rules": [{"entry": "GetBridgeParent", "call": [1, 3], "answer": -2}]})",
     {{"parent 2", "-2 parent=-"}, {"parent 2", "0 parent=1"}, {"parent 2", "-2 parent=-"}}},
    {"a failure that writes anyway, a success that writes nothing",
     R"({"rules": [{"entry": "GetAttributeU32", "bridge": 2, "answer": -9, "writes": true},
                   {"entry": "GetAttributeU32", "bridge": 3, "writes": false}]})",
     {{"attr 2", "-9 value=0x00000001"}, {"attr 3", "0 value=-"}}},
    {"a value of its own, even for a bridge the machine lacks",
     R"({"rules": [{"entry": "GetBridgeParent", "value": 77}]})",
     {{"parent 2", "0 parent=77"}, {"parent 99", "0 parent=77"}}},
    {"every entry point fails but one, the later rule winning",
     R"({"rules": [{"entry": "*", "answer": -1}, {"entry": "OpenSession", "answer": 0},
                   {"entry": "GetRootBuses", "answer": 0}]})",
     {{"attr 2", "-1 value=-"}, {"roots", "0 count=1"}, {"roots 1", "0 count=1 [0]"}}},
    {"buffer too small out of turn reports only the count",
     R"({"rules": [{"entry": "GetBridgeParent", "answer": -313002}]})",
     {{"parent 2", "-313002 parent=-"}}},
    {"the session refused on the second call",
     R"({"rules": [{"entry": "OpenSession", "call": 2, "answer": -3}]})",
     {{"open", "-3 session=-"}, {"open", "0 session=set"}}},
    {"one count announced, fewer filled",
     R"({"rules": [{"entry": "FindBridgesByPciIds", "call": 2, "items": [3]}]})",
     {{"find", "-313002 count=2"}, {"find 2", "0 count=1 [3,-]"}}},
    {"the count grows between the two calls",
     R"({"rules": [{"entry": "FindBridgesByPciIds", "call": 2, "items": [2, 3, 1]}]})",
     {{"find", "-313002 count=2"}, {"find 2", "-313002 count=3 [-,-]"}}},
    {"a fill that reports more than it filled",
     R"({"rules": [{"entry": "FindBridgesByPciIds", "call": 2, "count": 9}]})",
     {{"find", "-313002 count=2"}, {"find 2", "0 count=9 [2,3]"}}},
    {"more announced than there is",
     R"({"rules": [{"entry": "FindBridgesByPciIds", "call": 1, "count": 4}]})",
     {{"find", "-313002 count=4"}, {"find 4", "0 count=2 [2,3,-,-]"}}},
    {"a fill that writes what fits into too small a buffer",
     R"({"rules": [{"entry": "FindBridgesByPciIds", "truncate": true}]})",
     {{"find 1", "0 count=1 [2]"}}},
    {"a slot path without its end",
     R"({"rules": [{"entry": "GetBridgeSlotPath", "terminated": false}]})",
     {{"path 2", "-313002 size=10"}, {"path 2 10", "0 size=10 \"MR00:E0,00\""}}},
    {"a malformed slot path",
     R"({"rules": [{"entry": "GetBridgeSlotPath", "bridge": 2, "text": "MR0G:,,"}]})",
     {{"path 2", "-313002 size=8"}, {"path 2 8", "0 size=8 \"MR0G:,,0\""}}},
    {"a slot path larger than announced",
     R"({"rules": [{"entry": "GetBridgeSlotPath", "call": 1, "count": 5},
                   {"entry": "GetBridgeSlotPath", "call": 2, "truncate": true}]})",
     {{"path 2", "-313002 size=5"}, {"path 2 5", "0 size=5 \"MR00:\""}}},
    {"a delay changes nothing but the time",
     R"({"rules": [{"entry": "GetAttributeU32", "delayMs": 1}]})",
     {{"attr 3", "0 value=0x80000002"}}},
};

TEST_F(SimFaults, EachScriptedFaultReachesTheCallerAsWritten) {
    for (const tFaultCase& l_Case : kFaultCases) {
        SCOPED_TRACE(l_Case.m_pName);
        const cTempFile l_File("zu-sim-faults", topology(l_Case.m_pFaults));
        const cTopologyVariable l_Variable(l_File.path());
        // The session's own OpenSession is call 1.
        const cSession l_Session;
        ASSERT_EQ(l_Session.code(), 0);
        for (const tStep& l_Step : l_Case.m_Steps) {
            EXPECT_EQ(callAndSee(l_Session.handle(), l_Step.m_pCall), l_Step.m_pSeen)
                << l_Step.m_pCall;
        }
    }
}

TEST_F(SimFaults, CallNumbersRestartOnlyWhenTheFileChanges) {
    const cTempFile l_File(
        "zu-sim-faults",
        topology(R"({"rules": [{"entry": "GetAttributeU32", "call": 1, "answer": -4}]})"));
    const cTopologyVariable l_Variable(l_File.path());
    const cSession l_First;
    EXPECT_EQ(callAndSee(l_First.handle(), "attr 2"), "-4 value=-");
    // Another session on the same file goes on counting.
    const cSession l_Second;
    EXPECT_EQ(callAndSee(l_Second.handle(), "attr 2"), "0 value=0x00000001");
    const cTempFile l_Changed(
        "zu-sim-faults",
        topology(R"({"rules": [{"entry": "GetAttributeU32", "call": 1, "answer": -4}]})"));
    const cTopologyVariable l_Other(l_Changed.path());
    const cSession l_Third;
    EXPECT_EQ(callAndSee(l_Third.handle(), "attr 2"), "-4 value=-");
}

struct tBadFaults {
    const char* m_pFaults;
    const char* m_pFault;
};

const tBadFaults kBadFaults[] = {
    {R"([])", "faults: must be an object"},
    {R"({"rule": []})", "faults: unknown member \"rule\""},
    {R"({"rules": [{"answer": 1}]})", "faults.rules[0]: \"entry\" is missing"},
    {R"({"rules": [{"entry": "GetAttribute", "answer": 1}]})",
     "faults.rules[0].entry: unknown entry point \"GetAttribute\""},
    {R"({"rules": [{"entry": "OpenSession"}]})", "faults.rules[0]: does nothing"},
    {R"({"rules": [{"entry": "OpenSession", "bridge": 1, "answer": 1}]})",
     "faults.rules[0].bridge: applies only to entry points with a bridge argument"},
    {R"({"rules": [{"entry": "CloseSession", "answer": 1}]})",
     "faults.rules[0].answer: applies only to entry points that answer a code"},
    {R"({"rules": [{"entry": "GetRootBuses", "items": [256]}]})",
     "faults.rules[0].items[0]: 256 is out of range 0..255"},
    {R"({"rules": [{"entry": "GetAttributeU32", "call": 0, "answer": 1}]})",
     "faults.rules[0].call: 0 is out of range"},
    {R"({"rules": [{"entry": "GetAttributeU32", "call": 1, "from": 2, "answer": 1}]})",
     "faults.rules[0]: give \"call\" or \"from\", not both"},
    {R"({"rules": [{"entry": "GetAttributeU32", "answer": 4294967296}]})",
     "faults.rules[0].answer: 4294967296 is out of range"},
    {R"({"rules": [{"entry": "GetAttributeU32", "answer": "ten"}]})",
     "faults.rules[0].answer: \"ten\" is not a number"},
    {R"({"rules": [{"entry": "GetAttributeU32", "gate": ""}]})",
     "faults.rules[0].gate: a gate needs a name"},
    {R"({"chaos": {"rate": 5}})", "faults.chaos: \"seed\" is missing"},
    {R"({"chaos": {"seed": 1, "rate": 101}})", "faults.chaos.rate: 101 is out of range 0..100"},
};

TEST_F(SimFaults, AMistakeInTheFaultsIsRefusedWithWhereItIs) {
    for (const tBadFaults& l_Case : kBadFaults) {
        SCOPED_TRACE(l_Case.m_pFaults);
        const cTempFile l_File("zu-sim-bad-faults", topology(l_Case.m_pFaults));
        const cTopologyVariable l_Variable(l_File.path());
        std::uint32_t l_Session = kUntouched;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(simApi().OpenSession(0, &l_Session), ZUPCIBRD_SIM_TOPOLOGY_FAULT);
        EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr(l_Case.m_pFault));
        EXPECT_EQ(l_Session, kUntouched);
    }
}

// A call held at a gate holds up nothing else, and goes on when the test lets it.
TEST_F(SimFaults, AGateHoldsACallUntilTheTestReleasesIt) {
    const cTempFile l_File(
        "zu-sim-gate",
        topology(R"({"rules": [{"entry": "GetAttributeU32", "bridge": 3, "gate": "held"},
                               {"entry": "GetAttributeU32", "bridge": 2, "gate": "ahead"}]})"));
    const cTopologyVariable l_Variable(l_File.path());
    const cSession l_Session;
    const tSimApi& l_Api = simApi();
    std::string l_Held;
    std::thread l_Caller([&] { l_Held = callAndSee(l_Session.handle(), "attr 3"); });
    ASSERT_EQ(l_Api.WaitAtGate("held", 1, 60000), 1u);
    // Released before the call comes: it passes at once.
    l_Api.ReleaseGate("ahead", 1);
    EXPECT_EQ(callAndSee(l_Session.handle(), "attr 2"), "0 value=0x00000001");
    EXPECT_EQ(l_Api.WaitAtGate("held", 1, 0), 1u) << "the held call went on by itself";
    l_Api.ReleaseGate("held", ZUPCIBRD_SIM_GATE_OPEN);
    l_Caller.join();
    EXPECT_EQ(l_Held, "0 value=0x80000002");
    EXPECT_EQ(l_Api.WaitAtGate("held", 0, 0), 0u);
    EXPECT_EQ(callAndSee(l_Session.handle(), "attr 3"), "0 value=0x80000002");
}

// The calls a chaos run makes, and what it answers to them.
std::string chaosRun(std::uint64_t a_Seed, const std::string& a_rMore = "") {
    const cTempFile l_File("zu-sim-chaos",
                           topology(R"({"chaos": {"seed": )" + std::to_string(a_Seed) +
                                    R"(, "quiet": true)" + a_rMore + "}}"));
    const cTopologyVariable l_Variable(l_File.path());
    std::uint32_t l_Session = kUntouched;
    std::string l_Seen = std::to_string(simApi().OpenSession(0, &l_Session)) + ";";
    for (const char* l_pCall : {"find", "find 2", "find 3", "attr 2", "attr 3", "parent 2", "roots",
                                "roots 1", "path 2", "path 2 11", "path 3 4"}) {
        l_Seen += callAndSee(l_Session, l_pCall) + ";";
    }
    simApi().CloseSession(l_Session);
    return l_Seen;
}

TEST_F(SimFaults, ChaosIsReproducibleFromItsSeedAndStaysWithinTheCallersBuffers) {
    EXPECT_EQ(chaosRun(42), chaosRun(42));
    EXPECT_NE(chaosRun(42, R"(, "rate": 100)"), chaosRun(43, R"(, "rate": 100)"));
    EXPECT_EQ(chaosRun(42, R"(, "rate": 0)"), chaosRun(43, R"(, "rate": 0)"));
    // A seed alone picks how stormy its run is; over many seeds most runs differ from the
    // machine's own answers, and none writes past what the caller gave.
    const std::string l_Calm = chaosRun(0, R"(, "rate": 0)");
    int l_Changed = 0;
    for (std::uint64_t l_Seed = 0; l_Seed < 300; ++l_Seed) {
        const std::string l_Seen = chaosRun(l_Seed);
        EXPECT_THAT(l_Seen, ::testing::Not(HasSubstr("OVERRUN"))) << "seed " << l_Seed;
        l_Changed += l_Seen != l_Calm ? 1 : 0;
    }
    EXPECT_GT(l_Changed, 120) << "chaos hardly changes anything";
}

TEST_F(SimFaults, ChaosNamesItsSeedWhenItActs) {
    const cTempFile l_File("zu-sim-chaos", topology(R"({"chaos": {"seed": 977, "rate": 100,
                                                        "entries": ["GetRootBuses"]}})"));
    const cTempFile l_Log("zu-sim-log", "");
    const cTopologyVariable l_Variable(l_File.path());
    zuTest::setEnvironment(ZUPCIBRD_SIM_LOG_VARIABLE, l_Log.path());
    ::testing::internal::CaptureStderr();
    {
        const cSession l_Session;
        callAndSee(l_Session.handle(), "roots");
        callAndSee(l_Session.handle(), "roots");
    }
    const std::string l_Error = ::testing::internal::GetCapturedStderr();
    zuTest::setEnvironment(ZUPCIBRD_SIM_LOG_VARIABLE, "");
    EXPECT_THAT(l_Error, HasSubstr("chaos with seed 977"));
    EXPECT_EQ(std::count(l_Error.begin(), l_Error.end(), '\n'), 1) << l_Error;
    std::ifstream l_In(std::filesystem::u8path(l_Log.path()));
    const std::string l_Text((std::istreambuf_iterator<char>(l_In)),
                             std::istreambuf_iterator<char>());
    // The rules of the regular expressions differ between platforms: plain texts.
    EXPECT_THAT(l_Text, HasSubstr("OpenSession(0,out) -> 0 session="));
    EXPECT_THAT(l_Text, HasSubstr(",null,0) -> "));
    EXPECT_THAT(l_Text, HasSubstr(" [chaos seed=977]\nGetRootBuses("));
}

TEST_F(SimFaults, TheCallLogHasOneLineForEveryCallWithItsAnswer) {
    const cTempFile l_File(
        "zu-sim-log-machine",
        topology(R"({"rules": [{"entry": "GetAttributeU32", "bridge": 3, "answer": -6}]})"));
    const cTempFile l_Log("zu-sim-log", "");
    const cTopologyVariable l_Variable(l_File.path());
    zuTest::setEnvironment(ZUPCIBRD_SIM_LOG_VARIABLE, l_Log.path());
    std::string l_Handle;
    {
        const cSession l_Session;
        l_Handle = std::to_string(l_Session.handle());
        for (const char* l_pCall : {"find", "find 2", "attr 2", "attr 3", "path 2 11", "roots 4"}) {
            callAndSee(l_Session.handle(), l_pCall);
        }
        std::uint16_t l_Ids[4] = {};
        simApi().GetBridgeIds(l_Session.handle(), 1, &l_Ids[0], &l_Ids[1], &l_Ids[2], nullptr);
        const std::uint8_t l_Image[2] = {0xAB, 0x01};
        simApi().EepromUpdate(l_Session.handle(), 2, 1, 2, 0, 0, 2, l_Image);
        simApi().FindBridgeBySlotPath(l_Session.handle(), "MR00:E8", nullptr);
    }
    zuTest::setEnvironment(ZUPCIBRD_SIM_LOG_VARIABLE, "");
    std::ifstream l_In(std::filesystem::u8path(l_Log.path()));
    const std::string l_Text((std::istreambuf_iterator<char>(l_In)),
                             std::istreambuf_iterator<char>());
    const std::string l_S = l_Handle;
    EXPECT_EQ(l_Text,
              "OpenSession(0,out) -> 0 session=" + l_S + "\n" + "FindBridgesByPciIds(" + l_S +
                  ",null,null,0x1F3C,0x5C2E,null,0) -> -313002 "
                  "count=2\n" +
                  "FindBridgesByPciIds(" + l_S +
                  ",null,null,0x1F3C,0x5C2E,buf,2) -> 0 count=2 "
                  "bridges=[2,3]\n" +
                  "GetAttributeU32(" + l_S + ",2,0x20000300,out) -> 0 value=0x00000001\n" +
                  "GetAttributeU32(" + l_S + ",3,0x20000300,out) -> -6 [rules[0]]\n" +
                  "GetBridgeSlotPath(" + l_S + ",2,buf,11) -> 0 size=11 text=\"MR00:E0,00\\0\"\n" +
                  "GetRootBuses(" + l_S + ",buf,4) -> 0 count=1 buses=[0x00]\n" + "GetBridgeIds(" +
                  l_S + ",1,out,out,out,null) -> -313001\n" + "EepromUpdate(" + l_S +
                  ",2,0x0001,0x0002,0,0,2,[AB 01]) -> -313009\n" + "FindBridgeBySlotPath(" + l_S +
                  ",\"MR00:E8\",null) -> -313001\n" + "CloseSession(" + l_S + ")\n");
}

// Each variant lacks exactly its entry point, and is the simulator in all else.
TEST_F(SimFaults, EachVariantLacksExactlyItsEntryPoint) {
    const char* const kVariants[] = {"OpenSession",       "CloseSession", "FindBridgesByPciIds",
                                     "GetBridgeSlotPath", "GetBridgeIds", "GetAttributeU32",
                                     "CloseBridge",       "EepromUpdate"};
    for (const char* l_pMissing : kVariants) {
        SCOPED_TRACE(l_pMissing);
        // By full path, through the system's own loader: the simulator of the same name is
        // loaded already.
#ifdef _WIN32
        const std::string l_Path =
            zuTest::executableFolder() + "\\sim-variants\\no-" + l_pMissing + "\\zupcibrd.dll";
        const HMODULE l_Module =
            LoadLibraryExW(std::filesystem::u8path(l_Path).wstring().c_str(), nullptr, 0);
        auto l_Has = [&](const char* a_pName) { return GetProcAddress(l_Module, a_pName); };
#else
        const std::string l_Path =
            zuTest::executableFolder() + "/sim-variants/no-" + l_pMissing + "/zupcibrd.so";
        void* const l_Module = dlopen(l_Path.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto l_Has = [&](const char* a_pName) { return dlsym(l_Module, a_pName); };
#endif
        ASSERT_NE(l_Module, nullptr) << l_Path;
        std::vector<std::string> l_Absent;
        for (const char* l_pName : kZuPciBrdEntryNames) {
            if (l_Has(l_pName) == nullptr) {
                l_Absent.push_back(l_pName);
            }
        }
        EXPECT_EQ(l_Absent, std::vector<std::string>{std::string("ZuPciBrd_") + l_pMissing});
        EXPECT_NE(l_Has("ZuPciBrdSim_ReleaseGate"), nullptr);
#ifdef _WIN32
        FreeLibrary(l_Module);
#else
        dlclose(l_Module);
#endif
    }
}

} // namespace
} // namespace nSimTest
} // namespace nZU7461_14_0
