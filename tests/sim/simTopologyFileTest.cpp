// Topology files: what a good one gives, and how every kind of bad one is refused.
#include "tests/sim/simClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace nZU7461_14_0 {
namespace nSimTest {
namespace {

using ::testing::HasSubstr;

// A bridge with the given placement (and more members), vendor ID as written.
std::string bridge(const std::string& a_rPlace, const std::string& a_rVendorId = "1",
                   const std::string& a_rMore = "") {
    return "{" + a_rPlace + R"(,"vendorId":)" + a_rVendorId +
           R"(,"deviceId":2,"subsystemVendorId":3,"subsystemId":4)" + a_rMore + "}";
}

std::string document(const std::string& a_rBridges, const std::string& a_rRootBuses = "[0]") {
    return R"({"rootBuses":)" + a_rRootBuses + R"(,"bridges":[)" + a_rBridges + "]}";
}

const std::string kPlace = R"("bus":0,"device":28,"function":0,"secondaryBus":1)";
const std::string kBehind = R"("bus":1,"device":0,"function":0,"secondaryBus":2)";

class SimTopologyFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(simApi().m_Loaded);
        ASSERT_TRUE(simApi().m_Missing.empty());
    }
};

TEST_F(SimTopologyFile, AFileReplacesTheBuiltInMachineForSessionsOpenedAfterwards) {
    const cTempFile l_File("zu-sim-good", R"({
        "comment": "two bridges, numbers written both ways",
        "rootBuses": ["0x10"],
        "bridges": [
            {"ref": 100, "bus": 16, "device": "0x02", "function": 0, "secondaryBus": "0x11",
             "vendorId": 7777, "deviceId": "0xbeef", "subsystemVendorId": "0x1F3C",
             "subsystemId": "0x5C2E", "parent": null,
             "attributes": {"536871680": "0x1234ABCD", "0x7": 9}},
            {"ref": 200, "bus": "0x11", "device": 0, "function": 3, "secondaryBus": 18,
             "vendorId": 1, "deviceId": 2, "subsystemVendorId": 3, "subsystemId": 4}
        ]})");
    cSession l_Before;
    ASSERT_EQ(l_Before.code(), 0);
    const cTopologyVariable l_Variable(l_File.path());
    cSession l_After;
    ASSERT_EQ(l_After.code(), 0);
    const tSimApi& l_Api = simApi();

    std::uint32_t l_Value = 0;
    EXPECT_EQ(l_Api.GetAttributeU32(l_After.handle(), 100, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE,
                                    &l_Value),
              0);
    EXPECT_EQ(l_Value, 0x1234ABCDu);
    std::uint16_t l_Ids[4] = {};
    EXPECT_EQ(l_Api.GetBridgeIds(l_After.handle(), 100, &l_Ids[0], &l_Ids[1], &l_Ids[2], &l_Ids[3]),
              0);
    EXPECT_EQ(l_Ids[0], 7777);
    EXPECT_EQ(l_Ids[1], 0xBEEF);
    std::uint32_t l_Parent = 0;
    EXPECT_EQ(l_Api.GetBridgeParent(l_After.handle(), 200, &l_Parent), 0);
    EXPECT_EQ(l_Parent, 100u);
    char l_Path[32] = {};
    std::uint32_t l_Size = sizeof l_Path;
    EXPECT_EQ(l_Api.GetBridgeSlotPath(l_After.handle(), 200, l_Path, &l_Size), 0);
    EXPECT_STREQ(l_Path, "MR10:10,03");

    // The session opened before keeps the machine it started with.
    EXPECT_EQ(l_Api.GetBridgeParent(l_After.handle(), 2, &l_Parent), ZUPCIBRD_SIM_UNKNOWN_BRIDGE);
    EXPECT_EQ(l_Api.GetBridgeParent(l_Before.handle(), 2, &l_Parent), 0);
    EXPECT_EQ(l_Parent, 1u);
}

TEST_F(SimTopologyFile, OmittedReferencesCountFromOne) {
    const cTempFile l_File("zu-sim-numbered", document(bridge(kPlace) + "," + bridge(kBehind)));
    const cTopologyVariable l_Variable(l_File.path());
    cSession l_Session;
    ASSERT_EQ(l_Session.code(), 0);
    std::uint32_t l_Parent = 0;
    EXPECT_EQ(simApi().GetBridgeParent(l_Session.handle(), 2, &l_Parent), 0);
    EXPECT_EQ(l_Parent, 1u);
}

TEST_F(SimTopologyFile, ANameOutsideAsciiIsFound) {
    const cTempFile l_File("zu-sim-\xC3\xA9t\xC3\xA9-\xE6\xA9\x8B", document(bridge(kPlace)));
    const cTopologyVariable l_Variable(l_File.path());
    cSession l_Session;
    EXPECT_EQ(l_Session.code(), 0);
}

struct tBadTopology {
    const char* m_pName;
    std::string m_Content;
    const char* m_pFault; // part of the line on standard error
};

const tBadTopology kBadTopologies[] = {
    {"empty", "", "not valid JSON"},
    {"truncated", "{\"rootBuses\":[0],", "not valid JSON"},
    {"bad UTF-8", "{\"comment\":\"\xFF\",\"rootBuses\":[],\"bridges\":[]}", "not valid JSON"},
    {"array document", "[]", "must be a JSON object"},
    {"null document", "null", "must be a JSON object"},
    {"unknown top member", R"({"rootBuses":[],"bridges":[],"extra":1})",
     "unknown member \"extra\""},
    {"comment not text", R"({"comment":1,"rootBuses":[],"bridges":[]})", "comment: must be a text"},
    {"root buses missing", R"({"bridges":[]})", "\"rootBuses\" is missing"},
    {"bridges missing", R"({"rootBuses":[]})", "\"bridges\" is missing"},
    {"root buses not array", R"({"rootBuses":0,"bridges":[]})", "rootBuses: must be an array"},
    {"root bus too big", document("", "[256]"), "rootBuses[0]: 256 is out of range 0..0xFF"},
    {"root bus negative", document("", "[-1]"), "rootBuses[0]: -1 is negative"},
    {"root bus twice", document("", R"([1,"0x01"])"), "rootBuses[1]: bus 0x01 is listed twice"},
    {"root bus an array", document("", "[[0,1]]"), "rootBuses[0]: an array must be a number"},
    // Under the size limit, yet deep enough to overflow any stack that walks it recursively.
    {"nested without limit", document("", std::string(300000, '[') + std::string(300000, ']')),
     "nested deeper than 8 levels"},
    {"bridges not array", R"({"rootBuses":[0],"bridges":{}})", "bridges: must be an array"},
    {"bridge not object", document("5"), "bridges[0]: must be an object"},
    {"device missing", document(R"({"bus":0})"), "bridges[0]: \"device\" is missing"},
    {"unknown bridge member", document(bridge(kPlace, "1", R"(,"devcie":1)")),
     "unknown member \"devcie\""},
    {"device too big", document(bridge(R"("bus":0,"device":32,"function":0,"secondaryBus":1)")),
     "bridges[0].device: 32 is out of range 0..31"},
    {"function too big", document(bridge(R"("bus":0,"device":0,"function":8,"secondaryBus":1)")),
     "bridges[0].function: 8 is out of range 0..7"},
    {"id too big", document(bridge(kPlace, "\"0x1FFFF\"")),
     "vendorId: \"0x1FFFF\" is out of range"},
    {"id not a number", document(bridge(kPlace, "\"xyz\"")), "\"xyz\" is not a number"},
    {"id only a prefix", document(bridge(kPlace, "\"0x\"")), "\"0x\" is not a number"},
    {"id with sign", document(bridge(kPlace, "\"-1\"")), "\"-1\" is not a number"},
    {"id fraction", document(bridge(kPlace, "1.5")), "1.5 is not a whole number"},
    {"id huge number", document(bridge(kPlace, "1e30")), "is not a whole number"},
    {"id huge text", document(bridge(kPlace, "\"99999999999999999999999\"")), "is too large"},
    {"id boolean", document(bridge(kPlace, "true")), "must be a number or a text"},
    {"reference zero", document(bridge(kPlace, "1", R"(,"ref":0)")), "0 is not a reference"},
    {"reference all ones", document(bridge(kPlace, "1", R"(,"ref":"0xFFFFFFFF")")),
     "ref: \"0xFFFFFFFF\" is out of range"},
    {"reference twice",
     document(bridge(kPlace, "1", R"(,"ref":9)") + "," + bridge(kBehind, "1", R"(,"ref":9)")),
     "bridges[1]: reference 9 is already used by bridges[0]"},
    {"reference meets a numbered one",
     document(bridge(kPlace, "1", R"(,"ref":2)") + "," + bridge(kBehind)),
     "bridges[1]: reference 2 is already used by bridges[0]"},
    {"address twice",
     document(bridge(kPlace) + "," +
              bridge(R"("bus":0,"device":28,"function":0,"secondaryBus":2)")),
     "bridges[1]: address 00:1C.0 is already used by bridges[0]"},
    {"secondary bus twice",
     document(bridge(kPlace) + "," +
              bridge(R"("bus":0,"device":29,"function":0,"secondaryBus":1)")),
     "bridges[1]: secondary bus 0x01 is already behind bridges[0]"},
    {"secondary bus is a root bus",
     document(bridge(R"("bus":0,"device":0,"function":0,"secondaryBus":5)"), "[0,5]"),
     "secondary bus 0x05 is a root bus"},
    {"secondary bus is its own bus",
     document(bridge(R"("bus":0,"device":0,"function":0,"secondaryBus":0)"), "[]"),
     "secondary bus 0x00 is the bus the bridge sits on"},
    {"bus out of reach", document(bridge(R"("bus":5,"device":0,"function":0,"secondaryBus":6)")),
     "bridges[0]: bus 0x05 is neither a root bus nor behind a bridge"},
    {"unknown parent", document(bridge(kPlace) + "," + bridge(kBehind, "1", R"(,"parent":9)")),
     "bridges[1].parent: unknown parent 9"},
    {"parent not the bridge above",
     document(bridge(kPlace) + "," + bridge(kBehind, "1", R"(,"parent":2)")),
     "bridges[1].parent: 2 does not match its bus 0x01, which is behind bridge 1"},
    {"parent given on a root bus",
     document(bridge(kPlace, "1", R"(,"parent":2)") + "," + bridge(kBehind)),
     "bridges[0].parent: 2 does not match its bus 0x00, which is a root bus"},
    {"null parent behind a bridge",
     document(bridge(kPlace) + "," + bridge(kBehind, "1", R"(,"parent":null)")),
     "bridges[1].parent: null does not match"},
    {"loop of bridges",
     document(bridge(R"("bus":1,"device":0,"function":0,"secondaryBus":2)") + "," +
              bridge(R"("bus":2,"device":0,"function":0,"secondaryBus":1)")),
     "its chain of parents forms a loop"},
    {"attributes not object", document(bridge(kPlace, "1", R"(,"attributes":[1])")),
     "bridges[0].attributes: must be an object"},
    {"attribute ID not a number", document(bridge(kPlace, "1", R"(,"attributes":{"abc":1})")),
     "attributes[\"abc\"]: \"abc\" is not a number"},
    {"attribute ID too big", document(bridge(kPlace, "1", R"(,"attributes":{"0x100000000":1})")),
     "attribute ID is out of range"},
    {"attribute value too big",
     document(bridge(kPlace, "1", R"(,"attributes":{"1":"0x100000000"})")), "is out of range"},
    {"attribute in two spellings",
     document(bridge(kPlace, "1", R"(,"attributes":{"0x20000300":1,"536871680":2})")),
     "attribute 0x20000300 is given twice"},
    {"member twice", document(R"({"bus":0,"bus":0})"), "member \"bus\" appears twice"},
    {"oversized", document("") + std::string(1024 * 1024, ' '), "larger than 1048576 bytes"},
};

// Every fault: OpenSession refuses with the topology code, writes no session, and says on one
// line of standard error which file is wrong and why.
TEST_F(SimTopologyFile, EveryMalformedFileIsRefusedWithOneLineNamingFileAndFault) {
    for (const tBadTopology& l_Case : kBadTopologies) {
        SCOPED_TRACE(l_Case.m_pName);
        const cTempFile l_File("zu-sim-bad", l_Case.m_Content);
        const cTopologyVariable l_Variable(l_File.path());
        std::uint32_t l_Session = 0xDEADBEEF;
        ::testing::internal::CaptureStderr();
        const std::int32_t l_Code = simApi().OpenSession(0, &l_Session);
        const std::string l_Error = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(l_Code, ZUPCIBRD_SIM_TOPOLOGY_FAULT);
        EXPECT_EQ(l_Session, 0xDEADBEEFu);
        EXPECT_THAT(l_Error, HasSubstr(l_File.path()));
        EXPECT_THAT(l_Error, HasSubstr(l_Case.m_pFault));
        EXPECT_EQ(std::count(l_Error.begin(), l_Error.end(), '\n'), 1) << l_Error;
    }
    // The library is none the worse for it.
    cSession l_Session;
    EXPECT_EQ(l_Session.code(), 0);
}

TEST_F(SimTopologyFile, AMissingFileIsAFault) {
    std::string l_MissingPath;
    {
        const cTempFile l_Gone("zu-sim-gone", "{}");
        l_MissingPath = l_Gone.path();
    }
    const cTopologyVariable l_Variable(l_MissingPath);
    std::uint32_t l_Session = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(simApi().OpenSession(0, &l_Session), ZUPCIBRD_SIM_TOPOLOGY_FAULT);
    const std::string l_Error = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(l_Error, HasSubstr(l_MissingPath));
    EXPECT_THAT(l_Error, HasSubstr("cannot open"));
}

} // namespace
} // namespace nSimTest
} // namespace nZU7461_14_0
