// Every wrapper operation against the simulated bridge driver library's built-in machine, loaded
// by the component's own bare-name load through the real loader.
#include "pcibrd/cPciBrdWrapper_sc.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detailsCheck.h"
#include "sim/zupcibrdSim.h"
#include "zuTestLibrary.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {
namespace {

using nTest::cDetailedStatus;

struct tBridge {
    std::uint8_t bus, device, function;
    std::uint32_t parent;
    std::uint16_t vid, pid, ssVid, ssPid;
    const char* slotPath;
};

// The built-in machine, as the simulator documents it.
const std::map<std::uint32_t, tBridge> kMachine = {
    {1, {0x00, 0x1C, 0, 0, 0x1E5A, 0x0A01, 0x1E5A, 0x0001, "MR00:E0"}},
    {2, {0x01, 0x00, 0, 1, 0x1E5A, 0x8114, 0x1F3C, 0x5C2E, "MR00:E0,00"}},
    {3, {0x02, 0x08, 0, 2, 0x1E5A, 0x8114, 0x1E5A, 0x8114, "MR00:E0,00,40"}},
    {4, {0x00, 0x1D, 0, 0, 0x1E5A, 0x0A02, 0x1E5A, 0x0002, "MR00:E8"}},
    {5, {0x04, 0x00, 0, 4, 0x1E5A, 0x8114, 0x1F3C, 0x5C2E, "MR00:E8,00"}},
    {6, {0x80, 0x03, 1, 0, 0x1E5A, 0x0B10, 0x1F3C, 0x5C2F, "MR80:19"}},
    {7, {0x81, 0x00, 0, 6, 0x1D0F, 0x0C20, 0x1D0F, 0x5C2E, "MR80:19,00"}},
};

std::string formatted(const cSlotPath& a_rPath) {
    cCheckedString l_Text;
    tStatus l_Status = makeStatus();
    a_rPath.Format(l_Text, &l_Status);
    return l_Text.CStr();
}

class Simulator : public ::testing::Test {
protected:
    void SetUp() override {
        // The built-in machine, not a file another test may have named.
#ifdef _WIN32
        SetEnvironmentVariableA(ZUPCIBRD_SIM_TOPOLOGY_VARIABLE, nullptr);
#else
        unsetenv(ZUPCIBRD_SIM_TOPOLOGY_VARIABLE);
#endif
        m_pHeld = nZuTest::loadByPath(nZuTest::executableFolder() + nZuTest::pathSeparator() +
                                      nZuTest::bridgeLibraryFileName());
        ASSERT_NE(m_pHeld, nullptr) << "the simulator is built beside the test program";
        m_pWrapper = new cPciBrdWrapper_sc(m_Status.get());
        ASSERT_EQ(m_Status->code, 0);
        m_pWrapper->OpenSession(ZUPCIBRD_SIM_SESSION_FLAGS, m_Status.get());
        ASSERT_TRUE(m_pWrapper->IsSessionOpen());
    }
    void TearDown() override {
        delete m_pWrapper;
        nZuTest::unloadByHandle(m_pHeld);
    }

    void* m_pHeld = nullptr;
    cDetailedStatus m_Status;
    cPciBrdWrapper_sc* m_pWrapper = nullptr;
};

TEST_F(Simulator, WalkFromTheRootBusesReachesEveryBridgeWithItsDetails) {
    std::vector<std::uint8_t> l_RootBuses;
    m_pWrapper->GetRootBuses(l_RootBuses, m_Status.get());
    EXPECT_EQ(l_RootBuses, (std::vector<std::uint8_t>{0x00, 0x80}));

    std::vector<std::uint32_t> l_Pending;
    for (std::uint8_t l_Bus : l_RootBuses) {
        std::vector<std::uint32_t> l_Children;
        m_pWrapper->GetBusChildren(l_Bus, l_Children, m_Status.get());
        l_Pending.insert(l_Pending.end(), l_Children.begin(), l_Children.end());
    }
    std::vector<std::uint32_t> l_Seen;
    while (!l_Pending.empty()) {
        const std::uint32_t l_Ref = l_Pending.back();
        l_Pending.pop_back();
        l_Seen.push_back(l_Ref);
        ASSERT_EQ(kMachine.count(l_Ref), 1u) << l_Ref;
        const tBridge& l_rExpected = kMachine.at(l_Ref);
        SCOPED_TRACE(l_rExpected.slotPath);

        std::uint32_t l_Parent = 0xFFFF;
        m_pWrapper->GetBridgeParent(l_Ref, l_Parent, m_Status.get());
        EXPECT_EQ(l_Parent, l_rExpected.parent);

        std::uint8_t l_Address[3] = {0xFF, 0xFF, 0xFF};
        m_pWrapper->GetBridgeAddress(l_Ref, &l_Address[0], &l_Address[1], &l_Address[2],
                                     m_Status.get());
        EXPECT_EQ(l_Address[0], l_rExpected.bus);
        EXPECT_EQ(l_Address[1], l_rExpected.device);
        EXPECT_EQ(l_Address[2], l_rExpected.function);
        std::uint32_t l_ByAddress = 0;
        m_pWrapper->FindBridgeByAddress(l_Address[0], l_Address[1], l_Address[2], l_ByAddress,
                                        m_Status.get());
        EXPECT_EQ(l_ByAddress, l_Ref);
        std::uint32_t l_ParentOfBus = 0xFFFF;
        m_pWrapper->FindParentBridgeForBus(l_rExpected.bus, l_ParentOfBus, m_Status.get());
        EXPECT_EQ(l_ParentOfBus, l_rExpected.parent);

        std::uint16_t l_Ids[4] = {};
        m_pWrapper->GetBridgeIds(l_Ref, &l_Ids[0], &l_Ids[1], &l_Ids[2], &l_Ids[3], m_Status.get());
        EXPECT_EQ(l_Ids[0], l_rExpected.vid);
        EXPECT_EQ(l_Ids[1], l_rExpected.pid);
        EXPECT_EQ(l_Ids[2], l_rExpected.ssVid);
        EXPECT_EQ(l_Ids[3], l_rExpected.ssPid);

        // Slot paths both ways: the library's text parses, and formats back to what it finds.
        cSlotPath l_Path;
        m_pWrapper->GetBridgeSlotPath(l_Ref, l_Path, m_Status.get());
        EXPECT_EQ(formatted(l_Path), l_rExpected.slotPath);
        std::uint32_t l_BySlotPath = 0;
        m_pWrapper->FindBridgeBySlotPath(l_Path, l_BySlotPath, m_Status.get());
        EXPECT_EQ(l_BySlotPath, l_Ref);

        std::vector<std::uint32_t> l_Children;
        m_pWrapper->GetBridgeChildren(l_Ref, l_Children, m_Status.get());
        l_Pending.insert(l_Pending.end(), l_Children.begin(), l_Children.end());
        ASSERT_EQ(m_Status->code, 0) << m_Status->json;
    }
    EXPECT_EQ(l_Seen.size(), kMachine.size());
}

TEST_F(Simulator, ChassisSearchAndAttributes) {
    const std::uint16_t l_SsVid = 0x1F3C;
    const std::uint16_t l_SsPid = 0x5C2E;
    std::vector<std::uint32_t> l_Bridges;
    m_pWrapper->FindBridgesByPciIds(nullptr, nullptr, &l_SsVid, &l_SsPid, l_Bridges,
                                    m_Status.get());
    EXPECT_EQ(l_Bridges, (std::vector<std::uint32_t>{2, 5}));

    std::uint32_t l_Value = 0;
    m_pWrapper->GetAttributeU32(5, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, l_Value,
                                m_Status.get());
    EXPECT_EQ(l_Value, 0x80000002u);
    m_pWrapper->SetAttributeU32(3, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, 0xABCD1234u,
                                m_Status.get());
    m_pWrapper->GetAttributeU32(3, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, l_Value,
                                m_Status.get());
    EXPECT_EQ(l_Value, 0xABCD1234u);
    EXPECT_EQ(m_Status->code, 0);
}

TEST_F(Simulator, EepromUpdateOnAnOpenBridge) {
    const std::uint8_t l_Image[4] = {1, 2, 3, 4};
    m_pWrapper->OpenBridge(3, m_Status.get());
    m_pWrapper->EepromUpdate(3, 0x1E5A, 0x8114, 0, ZUPCIBRD_SIM_EEPROM_REPLACE, sizeof l_Image,
                             l_Image, m_Status.get());
    std::uint32_t l_Size = 0;
    std::uint32_t l_Crc = 0;
    m_pWrapper->GetAttributeU32(3, ZUPCIBRD_SIM_ATTRIBUTE_EEPROM_SIZE, l_Size, m_Status.get());
    m_pWrapper->GetAttributeU32(3, ZUPCIBRD_SIM_ATTRIBUTE_EEPROM_CRC32, l_Crc, m_Status.get());
    m_pWrapper->CloseBridge(3);
    EXPECT_EQ(m_Status->code, 0);
    EXPECT_EQ(l_Size, 4u);
    EXPECT_EQ(l_Crc, 0xB63CFBCDu);

    // Once closed, the bridge refuses; the library's own code is recorded with the call.
    m_pWrapper->EepromUpdate(3, 0x1E5A, 0x8114, 0, ZUPCIBRD_SIM_EEPROM_REPLACE, sizeof l_Image,
                             l_Image, m_Status.get());
    EXPECT_EQ(m_Status->code, ZUPCIBRD_SIM_BRIDGE_NOT_OPEN);
    EXPECT_EQ(nTest::detailsOf(*m_Status)["line"], 545);
}

TEST_F(Simulator, LibraryCodesPassThroughAndTheSessionCloses) {
    std::uint32_t l_Parent = 0;
    m_pWrapper->GetBridgeParent(99, l_Parent, m_Status.get());
    EXPECT_EQ(m_Status->code, ZUPCIBRD_SIM_UNKNOWN_BRIDGE);
    EXPECT_EQ(nTest::detailsOf(*m_Status)["line"], 227);
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());

    cDetailedStatus l_Closed;
    std::vector<std::uint8_t> l_RootBuses;
    m_pWrapper->GetRootBuses(l_RootBuses, l_Closed.get());
    EXPECT_EQ(l_Closed->code, ZUPCIBRD_SIM_UNKNOWN_SESSION);
    EXPECT_TRUE(l_RootBuses.empty());
}

} // namespace
} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
