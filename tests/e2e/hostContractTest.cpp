// The six exports as a resource host sees them: the module loaded through the platform loader.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "tests/support/zuFinderModule.h"
#include "zu7461/zu7461.h"

namespace {

class HostContract : public ::testing::Test {
protected:
    std::unique_ptr<zuTest::tFinderModule> m_pFinder = std::make_unique<zuTest::tFinderModule>();
    zuTest::tFinderModule& m_Exports = *m_pFinder;
};

void* forgedHandle(std::uintptr_t a_Value) {
    return reinterpret_cast<void*>(a_Value);
}

TEST_F(HostContract, NullOutputsAreRefusedAndNothingIsWritten) {
    std::uint32_t l_Count = 77;
    void* l_pList = forgedHandle(0x1234);
    EXPECT_EQ(m_Exports.openList(nullptr, &l_pList), -52005);
    EXPECT_EQ(l_pList, forgedHandle(0x1234));
    EXPECT_EQ(m_Exports.openList(&l_Count, nullptr), -52005);
    EXPECT_EQ(l_Count, 77u);
    EXPECT_EQ(m_Exports.openList(nullptr, nullptr), -52005);

    // The output pointer is checked before the handle is looked at.
    for (const std::uintptr_t l_Handle : {std::uintptr_t{0}, std::uintptr_t{0xDEADBEEF}}) {
        EXPECT_EQ(m_Exports.getNthItem(forgedHandle(l_Handle), 0, nullptr), -52005);
        EXPECT_EQ(m_Exports.getU32Attribute(forgedHandle(l_Handle), 0, nullptr), -52005);
        EXPECT_EQ(m_Exports.getStringAttribute(forgedHandle(l_Handle), 0, nullptr), -52005);
    }
}

TEST_F(HostContract, ControllerMapIsNeverProvided) {
    for (int l_Call = 0; l_Call < 3; ++l_Call) {
        EXPECT_EQ(m_Exports.getControllerIDSELMap(), -52002);
    }
}

TEST_F(HostContract, QueriesWithNoListOpenAreRefused) {
    const std::uintptr_t l_Forged[] = {0, 1, 0xDEADBEEF, ~std::uintptr_t{0}};
    for (const std::uintptr_t l_Handle : l_Forged) {
        void* l_pItem = forgedHandle(0x55);
        EXPECT_EQ(m_Exports.getNthItem(forgedHandle(l_Handle), 0, &l_pItem), -52005);
        EXPECT_EQ(l_pItem, forgedHandle(0x55));
        std::uint32_t l_Value = 5;
        EXPECT_EQ(m_Exports.getU32Attribute(forgedHandle(l_Handle), 0, &l_Value), -52005);
        EXPECT_EQ(l_Value, 5u);
        const char* l_pText = "untouched";
        EXPECT_EQ(m_Exports.getStringAttribute(forgedHandle(l_Handle), 1, &l_pText), -52005);
        EXPECT_STREQ(l_pText, "untouched");
        m_Exports.closeList(forgedHandle(l_Handle));
    }
}

TEST_F(HostContract, ModuleLoadsAndUnloadsRepeatedly) {
    m_pFinder.reset();
    for (int l_Cycle = 0; l_Cycle < 5; ++l_Cycle) {
        zuTest::tLoadedModule l_Module(zuTest::modulePath("zu7461"));
        auto l_Map =
            l_Module.get<tZU7461_getControllerIDSELMap>("nZUPXIFINDER100_getControllerIDSELMap");
        EXPECT_EQ(l_Map(), -52002);
    }
}

} // namespace
