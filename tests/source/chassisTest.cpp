#include <gtest/gtest.h>

#include "source/cPxi7461Chassis.h"

using namespace nZU7461_14_0;

namespace {

struct tU32Case {
    std::uint32_t attribute;
    std::int32_t code;
    std::uint32_t value; // expected answer when code is 0
    std::uint32_t line;  // expected place when code is not 0
};

class ChassisU32Attribute : public ::testing::TestWithParam<tU32Case> {};

TEST_P(ChassisU32Attribute, AnswersOrRefuses) {
    const tU32Case l_Case = GetParam();
    const cPxi7461Chassis l_Chassis(0xFFFF);
    tStatus l_Status = makeStatus();
    std::uint32_t l_Value = 0xA5A5A5A5;
    l_Chassis.getU32Attribute(l_Case.attribute, &l_Value, &l_Status);
    EXPECT_EQ(l_Status.code, l_Case.code);
    if (l_Case.code == 0) {
        EXPECT_EQ(l_Value, l_Case.value);
    } else {
        EXPECT_EQ(l_Value, 0xA5A5A5A5u) << "a refused query writes nothing";
        EXPECT_STREQ(l_Status.file, "cPxi7461Chassis");
        EXPECT_STREQ(l_Status.component, "zu7461");
        EXPECT_EQ(l_Status.line, l_Case.line);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ChassisU32Attribute,
                         ::testing::Values(tU32Case{0x0, 0, 2, 0},
                                           // 0xFFFF widened with zeros, never sign-extended
                                           tU32Case{0x20000, 0, 65535, 0},
                                           tU32Case{0x1, -52005, 0, 79},
                                           tU32Case{0x20001, -52005, 0, 79},
                                           tU32Case{0x1FFFF, -52005, 0, 79},
                                           tU32Case{0xFFFFFFFF, -52005, 0, 79}));

struct tStringCase {
    std::uint32_t attribute;
    const char* text; // null when refused
};

class ChassisStringAttribute : public ::testing::TestWithParam<tStringCase> {};

TEST_P(ChassisStringAttribute, AnswersTheSameConstantForEveryChassis) {
    const tStringCase l_Case = GetParam();
    const cPxi7461Chassis l_First(1);
    const cPxi7461Chassis l_Second(2);
    tStatus l_Status = makeStatus();
    const char* l_pFirst = "untouched";
    const char* l_pSecond = "untouched";
    l_First.getStringAttribute(l_Case.attribute, &l_pFirst, &l_Status);
    l_Second.getStringAttribute(l_Case.attribute, &l_pSecond, &l_Status);
    if (l_Case.text != nullptr) {
        EXPECT_EQ(l_Status.code, 0);
        EXPECT_STREQ(l_pFirst, l_Case.text);
        EXPECT_EQ(l_pFirst, l_pSecond);
    } else {
        EXPECT_EQ(l_Status.code, -52005);
        EXPECT_EQ(l_Status.line, 125u);
        EXPECT_STREQ(l_pFirst, "untouched");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ChassisStringAttribute,
                         ::testing::Values(tStringCase{0, "Velmora"}, tStringCase{1, "ZU PXI-7461"},
                                           tStringCase{2, nullptr}, tStringCase{0x20000, nullptr}));

TEST(ChassisNullOutput, IsRefusedWhateverTheAttribute) {
    const cPxi7461Chassis l_Chassis(3);
    for (const std::uint32_t l_Attribute : {0u, 1u, 0x20000u, 7u}) {
        tStatus l_Status = makeStatus();
        l_Chassis.getU32Attribute(l_Attribute, nullptr, &l_Status);
        EXPECT_EQ(l_Status.code, -52005);
        EXPECT_EQ(l_Status.line, 52u);
        l_Status = makeStatus();
        l_Chassis.getStringAttribute(l_Attribute, nullptr, &l_Status);
        EXPECT_EQ(l_Status.code, -52005);
        EXPECT_EQ(l_Status.line, 98u);
    }
}

TEST(ChassisEarlierError, StaysAndNothingIsWritten) {
    const cPxi7461Chassis l_Chassis(3);
    tStatus l_Status = makeStatus();
    setStatus(&l_Status, -1, "other", "earlier", 5);
    std::uint32_t l_Value = 77;
    l_Chassis.getU32Attribute(0, &l_Value, &l_Status);
    l_Chassis.getU32Attribute(0, nullptr, &l_Status);
    EXPECT_EQ(l_Value, 77u);
    EXPECT_EQ(l_Status.code, -1);
    EXPECT_STREQ(l_Status.file, "earlier");
}

} // namespace
