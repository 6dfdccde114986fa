// The simulator's answers over its built-in machine, as a client sees them: directly, and
// through the component's wrapper with its own bare-name load through the real loader.
#include "tests/sim/simClient.h"

#include "pcibrd/cPciBrdWrapper_sc.h"
#include "tests/pcibrd/detailsCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <thread>

namespace nZU7461_14_0 {
namespace nSimTest {
namespace {

using ::testing::ElementsAreArray;

struct tBridgeFacts {
    std::uint32_t m_Ref;
    std::uint8_t m_Bus, m_Device, m_Function;
    std::uint16_t m_Vid, m_Pid, m_SsVid, m_SsPid;
    std::uint32_t m_Parent;
    const char* m_SlotPath;
};

const tBridgeFacts kBridges[] = {
    {1, 0x00, 0x1C, 0, 0x1E5A, 0x0A01, 0x1E5A, 0x0001, 0, "MR00:E0"},
    {2, 0x01, 0x00, 0, 0x1E5A, 0x8114, 0x1F3C, 0x5C2E, 1, "MR00:E0,00"},
    {3, 0x02, 0x08, 0, 0x1E5A, 0x8114, 0x1E5A, 0x8114, 2, "MR00:E0,00,40"},
    {4, 0x00, 0x1D, 0, 0x1E5A, 0x0A02, 0x1E5A, 0x0002, 0, "MR00:E8"},
    {5, 0x04, 0x00, 0, 0x1E5A, 0x8114, 0x1F3C, 0x5C2E, 4, "MR00:E8,00"},
    {6, 0x80, 0x03, 1, 0x1E5A, 0x0B10, 0x1F3C, 0x5C2F, 0, "MR80:19"},
    {7, 0x81, 0x00, 0, 0x1D0F, 0x0C20, 0x1D0F, 0x5C2E, 6, "MR80:19,00"},
};

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

class SimDefault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(api().m_Loaded) << "zupcibrd.dll not found beside the test program";
        ASSERT_TRUE(api().m_Missing.empty()) << api().m_Missing.front();
        ASSERT_EQ(m_Session.code(), 0);
    }
    static const tSimApi& api() { return simApi(); }
    std::uint32_t session() const { return m_Session.handle(); }

    // Count-then-fill as a caller does it, checking the first answer on the way.
    std::vector<std::uint32_t> findBridges(std::optional<std::uint16_t> a_Vid,
                                           std::optional<std::uint16_t> a_Pid,
                                           std::optional<std::uint16_t> a_SsVid,
                                           std::optional<std::uint16_t> a_SsPid) {
        auto l_Pointer = [](std::optional<std::uint16_t>& a_rId) {
            return a_rId ? &*a_rId : nullptr;
        };
        std::uint32_t l_Count = 0;
        const std::int32_t l_First =
            api().FindBridgesByPciIds(session(), l_Pointer(a_Vid), l_Pointer(a_Pid),
                                      l_Pointer(a_SsVid), l_Pointer(a_SsPid), nullptr, &l_Count);
        if (l_Count == 0) {
            EXPECT_EQ(l_First, 0);
            return {};
        }
        EXPECT_EQ(l_First, ZUPCIBRD_SIM_BUFFER_TOO_SMALL);
        std::vector<std::uint32_t> l_Refs(l_Count, kUntouched);
        EXPECT_EQ(api().FindBridgesByPciIds(session(), l_Pointer(a_Vid), l_Pointer(a_Pid),
                                            l_Pointer(a_SsVid), l_Pointer(a_SsPid), l_Refs.data(),
                                            &l_Count),
                  0);
        EXPECT_EQ(l_Count, l_Refs.size());
        return l_Refs;
    }

    cSession m_Session;
};

// ---- Through the wrapper -------------------------------------------------------------------

using nTest::cDetailedStatus;
using nZuPciBrdWrapper_15_0::cPciBrdWrapper_sc;

class SimWrapper : public SimDefault {
protected:
    void SetUp() override {
        SimDefault::SetUp();
        m_pWrapper.reset(new cPciBrdWrapper_sc(m_Status.get()));
        ASSERT_EQ(m_Status->code, 0);
        m_pWrapper->OpenSession(ZUPCIBRD_SIM_SESSION_FLAGS, m_Status.get());
        ASSERT_TRUE(m_pWrapper->IsSessionOpen());
    }

    cDetailedStatus m_Status;
    std::unique_ptr<cPciBrdWrapper_sc> m_pWrapper;
};

const tBridgeFacts& factsOf(std::uint32_t a_Ref) {
    for (const tBridgeFacts& l_Facts : kBridges) {
        if (l_Facts.m_Ref == a_Ref) {
            return l_Facts;
        }
    }
    ADD_FAILURE() << "unknown bridge " << a_Ref;
    return kBridges[0];
}

std::string formatted(const cSlotPath& a_rPath) {
    cCheckedString l_Text;
    tStatus l_Status = makeStatus();
    a_rPath.Format(l_Text, &l_Status);
    return l_Text.CStr();
}

TEST_F(SimWrapper, WalkFromTheRootBusesReachesEveryBridgeWithItsDetails) {
    std::vector<std::uint8_t> l_RootBuses;
    m_pWrapper->GetRootBuses(l_RootBuses, m_Status.get());
    EXPECT_EQ(l_RootBuses, (std::vector<std::uint8_t>{0x00, 0x80}));

    std::vector<std::uint32_t> l_Pending;
    for (std::uint8_t l_Bus : l_RootBuses) {
        std::vector<std::uint32_t> l_Children;
        m_pWrapper->GetBusChildren(l_Bus, l_Children, m_Status.get());
        l_Pending.insert(l_Pending.end(), l_Children.begin(), l_Children.end());
    }
    std::set<std::uint32_t> l_Seen;
    while (!l_Pending.empty()) {
        const std::uint32_t l_Ref = l_Pending.back();
        l_Pending.pop_back();
        ASSERT_TRUE(l_Seen.insert(l_Ref).second) << l_Ref << " reached twice";
        const tBridgeFacts& l_rFacts = factsOf(l_Ref);
        SCOPED_TRACE(l_rFacts.m_SlotPath);

        std::uint32_t l_Parent = kUntouched;
        m_pWrapper->GetBridgeParent(l_Ref, l_Parent, m_Status.get());
        EXPECT_EQ(l_Parent, l_rFacts.m_Parent);
        std::uint8_t l_Address[3] = {0xFF, 0xFF, 0xFF};
        m_pWrapper->GetBridgeAddress(l_Ref, &l_Address[0], &l_Address[1], &l_Address[2],
                                     m_Status.get());
        EXPECT_THAT(l_Address,
                    ElementsAreArray({l_rFacts.m_Bus, l_rFacts.m_Device, l_rFacts.m_Function}));
        std::uint32_t l_ByAddress = 0;
        m_pWrapper->FindBridgeByAddress(l_Address[0], l_Address[1], l_Address[2], l_ByAddress,
                                        m_Status.get());
        EXPECT_EQ(l_ByAddress, l_Ref);
        std::uint32_t l_ParentOfBus = kUntouched;
        m_pWrapper->FindParentBridgeForBus(l_rFacts.m_Bus, l_ParentOfBus, m_Status.get());
        EXPECT_EQ(l_ParentOfBus, l_rFacts.m_Parent);
        std::uint16_t l_Ids[4] = {};
        m_pWrapper->GetBridgeIds(l_Ref, &l_Ids[0], &l_Ids[1], &l_Ids[2], &l_Ids[3], m_Status.get());
        EXPECT_THAT(l_Ids, ElementsAreArray({l_rFacts.m_Vid, l_rFacts.m_Pid, l_rFacts.m_SsVid,
                                             l_rFacts.m_SsPid}));

        // Slot paths both ways: the library's text parses, and formats back to what it finds.
        cSlotPath l_Path;
        m_pWrapper->GetBridgeSlotPath(l_Ref, l_Path, m_Status.get());
        EXPECT_EQ(formatted(l_Path), l_rFacts.m_SlotPath);
        std::uint32_t l_BySlotPath = 0;
        m_pWrapper->FindBridgeBySlotPath(l_Path, l_BySlotPath, m_Status.get());
        EXPECT_EQ(l_BySlotPath, l_Ref);

        std::vector<std::uint32_t> l_Children;
        m_pWrapper->GetBridgeChildren(l_Ref, l_Children, m_Status.get());
        l_Pending.insert(l_Pending.end(), l_Children.begin(), l_Children.end());
        ASSERT_EQ(m_Status->code, 0) << m_Status->json;
    }
    EXPECT_EQ(l_Seen.size(), std::size(kBridges));
}

TEST_F(SimWrapper, ChassisSearchAttributesEepromAndLibraryCodes) {
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

    const std::uint8_t l_Image[4] = {1, 2, 3, 4};
    m_pWrapper->OpenBridge(3, m_Status.get());
    m_pWrapper->EepromUpdate(3, 0x1E5A, 0x8114, 0, 0, sizeof l_Image, l_Image, m_Status.get());
    m_pWrapper->CloseBridge(3);
    EXPECT_EQ(m_Status->code, 0);

    // Once closed, the bridge refuses; the library's own code is recorded with the call.
    m_pWrapper->EepromUpdate(3, 0x1E5A, 0x8114, 0, 0, sizeof l_Image, l_Image, m_Status.get());
    EXPECT_EQ(m_Status->code, ZUPCIBRD_SIM_BRIDGE_NOT_OPEN);
    EXPECT_EQ(nTest::detailsOf(*m_Status)["line"], 545);

    cDetailedStatus l_Unknown;
    std::uint32_t l_Parent = 0;
    m_pWrapper->GetBridgeParent(99, l_Parent, l_Unknown.get());
    EXPECT_EQ(l_Unknown->code, ZUPCIBRD_SIM_UNKNOWN_BRIDGE);
    EXPECT_EQ(nTest::detailsOf(*l_Unknown)["line"], 227);
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    cDetailedStatus l_Closed;
    std::vector<std::uint8_t> l_RootBuses;
    m_pWrapper->GetRootBuses(l_RootBuses, l_Closed.get());
    EXPECT_EQ(l_Closed->code, ZUPCIBRD_SIM_UNKNOWN_SESSION);
    EXPECT_TRUE(l_RootBuses.empty());
}

// ---- Directly ------------------------------------------------------------------------------

TEST_F(SimDefault, CountThenFillAsksForTheCountAndFillsOnlyABufferThatFits) {
    std::uint8_t l_Buses[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    std::uint32_t l_Count = 0;
    EXPECT_EQ(api().GetRootBuses(session(), nullptr, &l_Count), ZUPCIBRD_SIM_BUFFER_TOO_SMALL);
    EXPECT_EQ(l_Count, 2u);

    l_Count = 1;
    EXPECT_EQ(api().GetRootBuses(session(), l_Buses, &l_Count), ZUPCIBRD_SIM_BUFFER_TOO_SMALL);
    EXPECT_EQ(l_Count, 2u);
    EXPECT_EQ(l_Buses[0], 0xAA);

    l_Count = 4;
    EXPECT_EQ(api().GetRootBuses(session(), l_Buses, &l_Count), 0);
    EXPECT_EQ(l_Count, 2u);
    EXPECT_THAT(l_Buses, ElementsAreArray({0x00, 0x80, 0xAA, 0xAA}));

    // Text sizes count the NUL, and a buffer one byte short is refused whole.
    char l_Text[16];
    std::memset(l_Text, 'x', sizeof l_Text);
    std::uint32_t l_Size = 0;
    EXPECT_EQ(api().GetBridgeSlotPath(session(), 3, nullptr, &l_Size),
              ZUPCIBRD_SIM_BUFFER_TOO_SMALL);
    EXPECT_EQ(l_Size, sizeof "MR00:E0,00,40");
    l_Size = sizeof "MR00:E0,00,40" - 1;
    EXPECT_EQ(api().GetBridgeSlotPath(session(), 3, l_Text, &l_Size),
              ZUPCIBRD_SIM_BUFFER_TOO_SMALL);
    EXPECT_EQ(l_Text[0], 'x');
    l_Size = sizeof "MR00:E0,00,40";
    EXPECT_EQ(api().GetBridgeSlotPath(session(), 3, l_Text, &l_Size), 0);
    EXPECT_STREQ(l_Text, "MR00:E0,00,40");

    // Nothing to list is success at once, and the buffer is left alone.
    std::uint32_t l_Children[1] = {kUntouched};
    l_Count = 1;
    EXPECT_EQ(api().GetBridgeChildren(session(), 3, l_Children, &l_Count), 0);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(l_Children[0], kUntouched);
}

TEST_F(SimDefault, NullIdsMatchAnyValue) {
    const std::uint16_t l_Maker = 0x1F3C, l_Chassis = 0x5C2E;
    struct tCase {
        std::optional<std::uint16_t> m_Vid, m_Pid, m_SsVid, m_SsPid;
        std::vector<std::uint32_t> m_Expected;
    };
    const tCase l_Cases[] = {
        {{}, {}, l_Maker, l_Chassis, {2, 5}}, {{}, {}, l_Maker, {}, {2, 5, 6}},
        {{}, {}, {}, l_Chassis, {2, 5, 7}},   {{}, {}, {}, {}, {1, 2, 3, 4, 5, 6, 7}},
        {0x1E5A, 0x8114, {}, {}, {2, 3, 5}},  {0x1E5A, 0x8114, l_Maker, l_Chassis, {2, 5}},
        {0x1D0F, {}, l_Maker, l_Chassis, {}}, {{}, {}, 0xFFFF, 0xFFFF, {}},
    };
    for (const tCase& l_Case : l_Cases) {
        EXPECT_EQ(findBridges(l_Case.m_Vid, l_Case.m_Pid, l_Case.m_SsVid, l_Case.m_SsPid),
                  l_Case.m_Expected);
    }
}

// The walk through the wrapper follows every bridge; here the buses without a bridge on them.
TEST_F(SimDefault, BusesWithoutBridgesHaveNoChildrenAndTheirParentIsTheBridgeAbove) {
    std::uint32_t l_Count = 5;
    EXPECT_EQ(api().GetBusChildren(session(), 0x03, nullptr, &l_Count), 0);
    EXPECT_EQ(l_Count, 0u);
    EXPECT_EQ(api().GetBusChildren(session(), 0x42, nullptr, &l_Count), ZUPCIBRD_SIM_NOT_FOUND);

    const std::pair<std::uint8_t, std::uint32_t> l_Parents[] = {{0x05, 5}, {0x82, 7}};
    for (const auto& l_Parent : l_Parents) {
        std::uint32_t l_Bridge = kUntouched;
        EXPECT_EQ(api().FindParentBridgeForBus(session(), l_Parent.first, &l_Bridge), 0);
        EXPECT_EQ(l_Bridge, l_Parent.second) << int{l_Parent.first};
    }
    std::uint32_t l_Bridge = kUntouched;
    EXPECT_EQ(api().FindParentBridgeForBus(session(), 0x42, &l_Bridge), ZUPCIBRD_SIM_NOT_FOUND);
    EXPECT_EQ(l_Bridge, kUntouched);
}

TEST_F(SimDefault, SlotPathLookupIsStrictAboutItsText) {
    const std::pair<const char*, std::int32_t> l_Cases[] = {
        {"MR00:e0,00", 0},
        {"MR00:", ZUPCIBRD_SIM_NOT_FOUND},
        {"MR01:00", ZUPCIBRD_SIM_NOT_FOUND},
        {"MR00:E0,08", ZUPCIBRD_SIM_NOT_FOUND},
        {"MR00:F0", ZUPCIBRD_SIM_NOT_FOUND},
        {"", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"mr00:E0", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR0", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00-E0", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00:E", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00:E0,", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00:E0;00", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00:E0,0", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00:GG", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {"MR00:E0 ", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
        {" MR00:E0", ZUPCIBRD_SIM_MALFORMED_SLOT_PATH},
    };
    for (const auto& l_Case : l_Cases) {
        std::uint32_t l_Bridge = kUntouched;
        EXPECT_EQ(api().FindBridgeBySlotPath(session(), l_Case.first, &l_Bridge), l_Case.second)
            << '"' << l_Case.first << '"';
        EXPECT_EQ(l_Bridge, l_Case.second == 0 ? 2u : kUntouched) << l_Case.first;
    }
}

TEST_F(SimDefault, AttributesReadBackWhatWasSetWithinTheSession) {
    const std::uint32_t kBridgeValue = ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE;
    std::uint32_t l_Value = 0;
    EXPECT_EQ(api().GetAttributeU32(session(), 2, kBridgeValue, &l_Value), 0);
    EXPECT_EQ(l_Value, 0x00000001u);
    EXPECT_EQ(api().GetAttributeU32(session(), 5, kBridgeValue, &l_Value), 0);
    EXPECT_EQ(l_Value, 0x80000002u);
    EXPECT_EQ(api().GetAttributeU32(session(), 1, kBridgeValue, &l_Value),
              ZUPCIBRD_SIM_UNKNOWN_ATTRIBUTE);

    EXPECT_EQ(api().SetAttributeU32(session(), 2, kBridgeValue, 0xABCD1234u), 0);
    EXPECT_EQ(api().SetAttributeU32(session(), 1, 0x42, 7), 0);
    EXPECT_EQ(api().GetAttributeU32(session(), 2, kBridgeValue, &l_Value), 0);
    EXPECT_EQ(l_Value, 0xABCD1234u);
    EXPECT_EQ(api().GetAttributeU32(session(), 1, 0x42, &l_Value), 0);
    EXPECT_EQ(l_Value, 7u);

    cSession l_Other;
    ASSERT_EQ(l_Other.code(), 0);
    EXPECT_EQ(api().GetAttributeU32(l_Other.handle(), 2, kBridgeValue, &l_Value), 0);
    EXPECT_EQ(l_Value, 0x00000001u);
}

// An image is taken by an open bridge meant for it, or by any open bridge when forced, which
// then answers with the image's IDs.
TEST_F(SimDefault, EepromUpdateNeedsAnOpenBridgeAndItsIdsUnlessForced) {
    const char kImage[] = "x";
    auto l_Update = [&](std::uint32_t a_Bridge, std::uint16_t a_Vid, std::uint32_t a_Always,
                        const void* a_pBytes) {
        return api().EepromUpdate(session(), a_Bridge, a_Vid, 0x5678, a_Always, 0, 1, a_pBytes);
    };
    EXPECT_EQ(l_Update(5, 0x1234, 1, kImage), ZUPCIBRD_SIM_BRIDGE_NOT_OPEN);
    ASSERT_EQ(api().OpenBridge(session(), 5), 0);
    EXPECT_EQ(l_Update(5, 0x1234, 1, nullptr), ZUPCIBRD_SIM_INVALID_ARGUMENT);
    EXPECT_EQ(l_Update(5, 0x1234, 0, kImage), ZUPCIBRD_SIM_EEPROM_ID_MISMATCH);
    EXPECT_EQ(findBridges(0x1234, {}, {}, {}), std::vector<std::uint32_t>());
    EXPECT_EQ(l_Update(5, 0x1234, 1, kImage), 0);
    EXPECT_EQ(findBridges(0x1234, 0x5678, {}, {}), std::vector<std::uint32_t>({5}));
}

TEST_F(SimDefault, SessionsGetFreshHandlesAndEndAtClose) {
    std::uint32_t l_First = 0, l_Second = 0;
    ASSERT_EQ(api().OpenSession(0, &l_First), 0);
    ASSERT_EQ(api().OpenSession(0, &l_Second), 0);
    EXPECT_GT(l_Second, l_First);
    EXPECT_NE(l_First, session());
    api().CloseSession(l_First);
    api().CloseSession(l_First);

    std::uint32_t l_Count = 0;
    EXPECT_EQ(api().GetRootBuses(l_First, nullptr, &l_Count), ZUPCIBRD_SIM_UNKNOWN_SESSION);
    EXPECT_EQ(api().GetRootBuses(l_Second, nullptr, &l_Count), ZUPCIBRD_SIM_BUFFER_TOO_SMALL);
    api().CloseSession(l_Second);

    std::uint32_t l_Handle = kUntouched;
    EXPECT_EQ(api().OpenSession(1, &l_Handle), ZUPCIBRD_SIM_INVALID_ARGUMENT);
    EXPECT_EQ(l_Handle, kUntouched);
    EXPECT_EQ(api().OpenSession(0, nullptr), ZUPCIBRD_SIM_INVALID_ARGUMENT);
}

// Every entry point that names a session or a bridge refuses unknown ones, and every out
// pointer may be null without harm.
TEST_F(SimDefault, UnknownSessionsBridgesAndNullOutputsAreRefused) {
    std::uint32_t l_U32 = 0;
    std::uint16_t l_U16 = 0;
    std::uint8_t l_U8 = 0;
    char l_Text[32];
    const char l_Byte = 0;
    // Each call with the session and bridge given; the out pointers are valid.
    using tU = std::uint32_t;
    const std::function<std::int32_t(std::uint32_t, std::uint32_t)> l_Calls[] = {
        [&](tU s, tU) {
            return api().FindBridgesByPciIds(s, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             &l_U32);
        },
        [&](tU s, tU) { return api().FindBridgeByAddress(s, 0, 0x1C, 0, &l_U32); },
        [&](tU s, tU) { return api().FindBridgeBySlotPath(s, "MR00:E0", &l_U32); },
        [&](tU s, tU) { return api().FindParentBridgeForBus(s, 0, &l_U32); },
        [&](tU s, tU) { return api().GetBusChildren(s, 0, nullptr, &l_U32); },
        [&](tU s, tU) { return api().GetRootBuses(s, nullptr, &l_U32); },
        [&](tU s, tU b) { return api().GetBridgeParent(s, b, &l_U32); },
        [&](tU s, tU b) { return api().GetBridgeChildren(s, b, nullptr, &l_U32); },
        [&](tU s, tU b) { return api().GetBridgeAddress(s, b, &l_U8, &l_U8, &l_U8); },
        [&](tU s, tU b) {
            l_U32 = sizeof l_Text;
            return api().GetBridgeSlotPath(s, b, l_Text, &l_U32);
        },
        [&](tU s, tU b) { return api().GetBridgeIds(s, b, &l_U16, &l_U16, &l_U16, &l_U16); },
        [&](tU s, tU b) { return api().SetAttributeU32(s, b, 0x42, 1); },
        [&](tU s, tU b) {
            return api().GetAttributeU32(s, b, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, &l_U32);
        },
        [&](tU s, tU b) { return api().OpenBridge(s, b); },
        [&](tU s, tU b) { return api().EepromUpdate(s, b, 0, 0, 1, 0, 1, &l_Byte); },
    };
    const std::size_t kFirstBridgeCall = 6;
    for (std::size_t l_Index = 0; l_Index < std::size(l_Calls); ++l_Index) {
        SCOPED_TRACE(l_Index);
        const auto& l_Call = l_Calls[l_Index];
        for (const std::uint32_t l_BadSession : {0u, 0xFFFFFFFFu, session() + 1000}) {
            EXPECT_EQ(l_Call(l_BadSession, 2), ZUPCIBRD_SIM_UNKNOWN_SESSION);
        }
        if (l_Index >= kFirstBridgeCall) {
            for (const std::uint32_t l_BadBridge : {0u, 8u, 0xFFFFFFFFu}) {
                EXPECT_EQ(l_Call(session(), l_BadBridge), ZUPCIBRD_SIM_UNKNOWN_BRIDGE);
            }
        }
    }
    api().CloseBridge(session() + 1000, 2);
    api().CloseBridge(session(), 0);

    const std::uint32_t s = session();
    const std::int32_t l_NullResults[] = {
        api().FindBridgesByPciIds(s, nullptr, nullptr, nullptr, nullptr, &l_U32, nullptr),
        api().FindBridgeByAddress(s, 0, 0x1C, 0, nullptr),
        api().FindBridgeBySlotPath(s, nullptr, &l_U32),
        api().FindBridgeBySlotPath(s, "MR00:E0", nullptr),
        api().FindParentBridgeForBus(s, 0, nullptr),
        api().GetBridgeParent(s, 2, nullptr),
        api().GetBridgeChildren(s, 1, &l_U32, nullptr),
        api().GetBusChildren(s, 0, &l_U32, nullptr),
        api().GetRootBuses(s, &l_U8, nullptr),
        api().GetBridgeAddress(s, 2, nullptr, &l_U8, &l_U8),
        api().GetBridgeAddress(s, 2, &l_U8, &l_U8, nullptr),
        api().GetBridgeSlotPath(s, 2, l_Text, nullptr),
        api().GetBridgeIds(s, 2, &l_U16, nullptr, &l_U16, &l_U16),
        api().GetBridgeIds(s, 2, &l_U16, &l_U16, &l_U16, nullptr),
        api().GetAttributeU32(s, 2, ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, nullptr),
        api().FindBridgeByAddress(s, 0, 32, 0, &l_U32),
        api().FindBridgeByAddress(s, 0, 0, 8, &l_U32),
    };
    for (const std::int32_t l_Result : l_NullResults) {
        EXPECT_EQ(l_Result, ZUPCIBRD_SIM_INVALID_ARGUMENT);
    }
}

TEST_F(SimDefault, ConcurrentSessionsKeepTheirOwnState) {
    constexpr int kThreads = 4, kRounds = 40;
    std::vector<std::vector<std::uint32_t>> l_Handles(kThreads);
    std::vector<int> l_Failures(kThreads, 0);
    std::vector<std::thread> l_Threads;
    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        l_Threads.emplace_back([&, l_Thread] {
            for (int l_Round = 0; l_Round < kRounds; ++l_Round) {
                std::uint32_t l_Session = 0, l_Value = 0, l_Count = 0;
                const auto l_Mine = static_cast<std::uint32_t>(l_Thread * 1000 + l_Round);
                if (api().OpenSession(0, &l_Session) != 0) {
                    ++l_Failures[l_Thread];
                    continue;
                }
                l_Handles[l_Thread].push_back(l_Session);
                if (api().SetAttributeU32(l_Session, 2, 0x42, l_Mine) != 0 ||
                    api().GetAttributeU32(l_Session, 2, 0x42, &l_Value) != 0 || l_Value != l_Mine ||
                    api().GetRootBuses(l_Session, nullptr, &l_Count) !=
                        ZUPCIBRD_SIM_BUFFER_TOO_SMALL) {
                    ++l_Failures[l_Thread];
                }
                api().CloseSession(l_Session);
            }
        });
    }
    for (std::thread& l_Thread : l_Threads) {
        l_Thread.join();
    }
    std::set<std::uint32_t> l_Distinct;
    for (int l_Thread = 0; l_Thread < kThreads; ++l_Thread) {
        EXPECT_EQ(l_Failures[l_Thread], 0);
        l_Distinct.insert(l_Handles[l_Thread].begin(), l_Handles[l_Thread].end());
    }
    EXPECT_EQ(l_Distinct.size(), std::size_t{kThreads * kRounds});
}

} // namespace
} // namespace nSimTest
} // namespace nZU7461_14_0
