#include <gtest/gtest.h>

#include <tuple>

#include "source/cPxi7461Chassis.h"

using namespace nZU7461_14_0;

namespace {

// Each attribute as a number and a text: the answer, or the refusal's line with nothing written.
TEST(Chassis, AttributesAnswerOrAreRefusedWhereTheQueryIs) {
    const struct {
        std::uint32_t attribute;
        std::int64_t number; // or -line
        const char* text;    // or null: refused at line 125
    } l_Cases[] = {          // clang-format off
        {0x0, 2, "Velmora"}, {0x20000, 65535, nullptr}, {0x1, -79, "ZU PXI-7461"}, {0x2, -79, nullptr},
        {0x20001, -79, nullptr}, {0x1FFFF, -79, nullptr}, {0xFFFFFFFF, -79, nullptr}};
    // clang-format on
    const cPxi7461Chassis l_Chassis(0xFFFF), l_Other(1);
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.attribute);
        tStatus l_Numeric = makeStatus(), l_String = makeStatus();
        l_Chassis.getU32Attribute(l_Case.attribute, nullptr, &l_Numeric);
        l_Chassis.getStringAttribute(l_Case.attribute, nullptr, &l_String);
        // An earlier error stays, and nothing is written.
        std::uint32_t l_Value = 0xA5A5A5A5;
        const char* l_pText = "untouched";
        l_Chassis.getU32Attribute(l_Case.attribute, &l_Value, &l_Numeric);
        l_Chassis.getStringAttribute(l_Case.attribute, &l_pText, &l_String);
        l_Chassis.getU32Attribute(l_Case.attribute, nullptr, &l_String);
        EXPECT_EQ(std::tie(l_Numeric.code, l_Numeric.line, l_String.code, l_String.line, l_Value),
                  std::make_tuple(-52005, 52u, -52005, 98u, 0xA5A5A5A5u));
        EXPECT_STREQ(l_pText, "untouched");
        tStatus l_Status = makeStatus();
        l_Chassis.getU32Attribute(l_Case.attribute, &l_Value, &l_Status);
        EXPECT_EQ(l_Status.code, l_Case.number < 0 ? -52005 : 0);
        EXPECT_EQ(l_Value, l_Case.number < 0 ? 0xA5A5A5A5u : l_Case.number);
        EXPECT_EQ(l_Status.line, l_Case.number < 0 ? -l_Case.number : 0);
        EXPECT_STREQ(l_Status.file, l_Case.number < 0 ? "cPxi7461Chassis" : "");
        EXPECT_STREQ(l_Status.component, l_Case.number < 0 ? "zu7461" : "");
        const char* l_pOther = nullptr;
        l_Status = makeStatus();
        l_Chassis.getStringAttribute(l_Case.attribute, &l_pText, &l_Status);
        l_Other.getStringAttribute(l_Case.attribute, &l_pOther, &l_Status);
        EXPECT_EQ(l_Status.code, l_Case.text == nullptr ? -52005 : 0);
        EXPECT_EQ(l_Status.line, l_Case.text == nullptr ? 125u : 0u);
        EXPECT_STREQ(l_pText, l_Case.text == nullptr ? "untouched" : l_Case.text);
        EXPECT_EQ(l_pOther, l_Case.text == nullptr ? nullptr : l_pText); // one constant for all
    }
}

} // namespace
