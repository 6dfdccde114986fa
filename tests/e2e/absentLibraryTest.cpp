// Runs from a folder of its own, where no bridge driver library can be found.
#include <gtest/gtest.h>

#include "tests/support/zuFinderModule.h"

namespace {

std::string finderBesideTheParentFolder() {
#ifdef _WIN32
    return zuTest::executableFolder() + "\\..\\zu7461.dll";
#else
    return zuTest::executableFolder() + "/../zu7461.so";
#endif
}

TEST(AbsentLibrary, OpenListAnswersInvalidParameterWithNoList) {
    ASSERT_FALSE(zuTest::isModuleLoaded("zupcibrd.dll"));
    zuTest::tFinderModule l_Finder(finderBesideTheParentFolder());
    for (int l_Round = 0; l_Round < 2; ++l_Round) {
        std::uint32_t l_Count = 4;
        void* l_pList = &l_Count;
        EXPECT_EQ(l_Finder.openList(&l_Count, &l_pList), -52005);
        EXPECT_EQ(l_Count, 0u);
        EXPECT_EQ(l_pList, nullptr);
    }
}

} // namespace
