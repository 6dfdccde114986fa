// Runs from a folder of its own, where no bridge driver library can be found.
#include <gtest/gtest.h>

#include "tests/support/zuFinderModule.h"

namespace {

TEST(AbsentLibrary, OpenListAnswersInvalidParameterWithNoList) {
    ASSERT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
    const zuTest::tFinderModule l_Finder(zuTest::modulePath("zu7461", ".."));
    for (int l_Round = 0; l_Round < 2; ++l_Round) {
        std::uint32_t l_Count = 4;
        void* l_pList = &l_Count;
        EXPECT_EQ(l_Finder.openList(&l_Count, &l_pList), -52005);
        EXPECT_EQ(l_Count, 0u);
        EXPECT_EQ(l_pList, nullptr);
    }
}

} // namespace
