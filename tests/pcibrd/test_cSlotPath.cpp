#include "pcibrd/cSlotPath.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/failingAllocator.h"

namespace nZU7461_14_0 {
namespace {

std::vector<std::uint8_t> elementsOf(const cSlotPath& a_rPath) {
    return std::vector<std::uint8_t>(a_rPath.begin(), a_rPath.end());
}

void fill(cSlotPath& a_rPath, std::uint8_t a_RootBus,
          const std::vector<std::uint8_t>& a_rElements) {
    tStatus l_Status = makeStatus();
    a_rPath.SetRootBus(a_RootBus);
    a_rPath.ClearElements();
    for (std::uint8_t l_Element : a_rElements) {
        a_rPath.AppendElement(l_Element, &l_Status);
    }
    ASSERT_EQ(l_Status.code, 0);
}

struct tParseCase {
    const char* text;
    std::uint8_t rootBus;
    std::vector<std::uint8_t> elements;
    std::int32_t code;
};

void PrintTo(const tParseCase& a_rCase, std::ostream* a_pOut) {
    *a_pOut << '"' << a_rCase.text << '"';
}

class SlotPathParse : public ::testing::TestWithParam<tParseCase> {};

TEST_P(SlotPathParse, GivesRootBusElementsAndCode) {
    const tParseCase& l_Case = GetParam();
    cSlotPath l_Path;
    // Whatever was there before must be replaced, not extended.
    fill(l_Path, 0x77, {0x05, 0x06});
    tStatus l_Status = makeStatus();
    l_Path.Parse(l_Case.text, &l_Status);
    EXPECT_EQ(l_Status.code, l_Case.code);
    EXPECT_EQ(l_Path.RootBus(), l_Case.rootBus);
    EXPECT_EQ(elementsOf(l_Path), l_Case.elements);
    if (l_Case.code == kStatusMalformedSlotPath) {
        EXPECT_STREQ(l_Status.file, "cSlotPath");
        EXPECT_EQ(l_Status.line, 427u);
        EXPECT_STREQ(l_Status.component, "zu7461");
    }
}

// What a malformed text leaves: the path as it was before.
tParseCase malformed(const char* a_pText) {
    return tParseCase{a_pText, 0x77, {0x05, 0x06}, kStatusMalformedSlotPath};
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SlotPathParse,
    ::testing::Values(tParseCase{"MR02:1C,00", 0x02, {0x1C, 0x00}, 0},
                      tParseCase{"MR01:07", 0x01, {0x07}, 0},
                      tParseCase{"MRff:0a,Bc", 0xFF, {0x0A, 0xBC}, 0},
                      tParseCase{"MR0A:01,02,03,04,05", 0x0A, {1, 2, 3, 4, 5}, 0},
                      // A path names a bridge: one element at least.
                      malformed("MR00:"), malformed(""), malformed("1C,00"), malformed("MR00:1C,"),
                      malformed("MR00:1C;00"), malformed("MR00:1C,ZZ"), malformed("MRff:a,b"),
                      malformed("MR7"), malformed("MR12x34"), malformed("XR02:1C"),
                      malformed("MR:1C"),
                      // A "%02X" scan would also take a blank, a sign or "0x" before the digits.
                      malformed("MR01: 1C")));

struct tFormatCase {
    std::uint8_t rootBus;
    std::vector<std::uint8_t> elements;
    const char* text;
    const char* elementText;
};

void PrintTo(const tFormatCase& a_rCase, std::ostream* a_pOut) {
    *a_pOut << a_rCase.text;
}

class SlotPathFormat : public ::testing::TestWithParam<tFormatCase> {};

TEST_P(SlotPathFormat, WritesTextAndParsesBack) {
    const tFormatCase& l_Case = GetParam();
    cSlotPath l_Path;
    fill(l_Path, l_Case.rootBus, l_Case.elements);
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("left over from before", &l_Status);
    l_Path.Format(l_Text, &l_Status);
    cCheckedString l_ElementText;
    l_Path.FormatElements(l_ElementText, &l_Status);
    ASSERT_EQ(l_Status.code, 0);
    EXPECT_STREQ(l_Text.CStr(), l_Case.text);
    EXPECT_EQ(l_Text.Length(), std::strlen(l_Case.text));
    EXPECT_STREQ(l_ElementText.CStr(), l_Case.elementText);

    // A root bus alone names no bridge, so only a path with elements parses back.
    cSlotPath l_Back;
    l_Back.Parse(l_Text.CStr(), &l_Status);
    EXPECT_EQ(l_Status.code, l_Case.elements.empty() ? kStatusMalformedSlotPath : 0);
    if (!l_Case.elements.empty()) {
        EXPECT_EQ(l_Back.RootBus(), l_Case.rootBus);
        EXPECT_EQ(elementsOf(l_Back), l_Case.elements);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, SlotPathFormat,
    ::testing::Values(tFormatCase{0x02, {0x1C, 0x00}, "MR02:1C,00", "1C,00"},
                      tFormatCase{0x00, {}, "MR00:", ""}, tFormatCase{0x10, {}, "MR10:", ""},
                      tFormatCase{0x10, {0xAB}, "MR10:AB", "AB"},
                      tFormatCase{
                          0xFF, {0x00, 0x0F, 0xF0, 0xFF}, "MRFF:00,0F,F0,FF", "00,0F,F0,FF"}));

TEST(SlotPath, LongPathsSurviveGrowthBothWays) {
    cSlotPath l_Path;
    std::vector<std::uint8_t> l_Elements;
    for (int l_Index = 0; l_Index < 300; ++l_Index) {
        l_Elements.push_back(static_cast<std::uint8_t>(l_Index * 7));
    }
    fill(l_Path, 0x3C, l_Elements);
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Path.Format(l_Text, &l_Status);
    ASSERT_EQ(l_Status.code, 0);
    EXPECT_EQ(l_Text.Length(), 5u + 300u * 3u - 1u);
    cSlotPath l_Back;
    l_Back.Parse(l_Text.CStr(), &l_Status);
    EXPECT_EQ(l_Status.code, 0);
    EXPECT_EQ(elementsOf(l_Back), l_Elements);
}

TEST(SlotPath, ErrorInOwnStatusIsHandedOnAndNothingChangesButAWarningIsNot) {
    cSlotPath l_Path;
    fill(l_Path, 0x02, {0x1C});
    ASSERT_TRUE(setStatus(&l_Path.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 12));

    tStatus l_ParseStatus = makeStatus();
    l_Path.Parse("MR05:01,02", &l_ParseStatus);
    EXPECT_EQ(l_ParseStatus.code, kStatusMemoryFull);
    EXPECT_STREQ(l_ParseStatus.file, "elsewhere");
    EXPECT_EQ(l_ParseStatus.line, 12u);
    EXPECT_EQ(l_Path.RootBus(), 0x02);
    EXPECT_EQ(elementsOf(l_Path), (std::vector<std::uint8_t>{0x1C}));

    tStatus l_FormatStatus = makeStatus();
    tStatus l_Scratch = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("kept", &l_Scratch);
    l_Path.Format(l_Text, &l_FormatStatus);
    EXPECT_EQ(l_FormatStatus.code, kStatusMemoryFull);
    EXPECT_STREQ(l_Text.CStr(), "kept");

    tStatus l_ElementStatus = makeStatus();
    l_Path.FormatElements(l_Text, &l_ElementStatus);
    EXPECT_EQ(l_ElementStatus.code, kStatusMemoryFull);
    EXPECT_STREQ(l_Text.CStr(), "kept");

    // A warning of its own is not handed on.
    l_Path.OwnStatus() = makeStatus();
    ASSERT_TRUE(setStatus(&l_Path.OwnStatus(), 5, "zu7461", "elsewhere", 12));
    tStatus l_Status = makeStatus();
    l_Path.Parse("MR03:04", &l_Status);
    EXPECT_EQ(l_Status.code, 0);
    EXPECT_EQ(l_Path.RootBus(), 0x03);
}

TEST(SlotPath, ErrorOnEntryLeavesEverythingAlone) {
    cSlotPath l_Path;
    fill(l_Path, 0x02, {0x1C});
    tStatus l_Status = makeStatus();
    ASSERT_TRUE(setStatus(&l_Status, -1, "zu7461", "before", 1));
    l_Path.Parse("MR05:01", &l_Status);
    cCheckedString l_Text;
    l_Path.Format(l_Text, &l_Status);
    EXPECT_EQ(l_Status.code, -1);
    EXPECT_STREQ(l_Status.file, "before");
    EXPECT_EQ(l_Path.RootBus(), 0x02);
    EXPECT_EQ(elementsOf(l_Path), (std::vector<std::uint8_t>{0x1C}));
    EXPECT_EQ(l_Text.Data(), nullptr);
}

TEST(CheckedString, GrowthRule) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("a", &l_Status);
    EXPECT_EQ(l_Text.Capacity(), 127u);

    cCheckedString l_Large;
    l_Large.Reserve(200, &l_Status);
    EXPECT_EQ(l_Large.Capacity(), 200u);
    l_Large.Reserve(200, &l_Status);
    EXPECT_EQ(l_Large.Capacity(), 200u);
    const std::string l_Full(201, 'x');
    l_Large.Append(l_Full.c_str(), &l_Status);
    EXPECT_EQ(l_Large.Capacity(), 300u);
    // When half again is not enough, exactly the request is taken.
    l_Large.Reserve(1000, &l_Status);
    EXPECT_EQ(l_Large.Capacity(), 1000u);
    EXPECT_EQ(l_Status.code, 0);
    EXPECT_EQ(std::string(l_Large.CStr()), l_Full);
}

TEST(CheckedString, AppendsARangeOfItsOwnStorageAcrossGrowth) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    const std::string l_Start(100, 'q');
    l_Text.Append((l_Start + "tail").c_str(), &l_Status);
    ASSERT_EQ(l_Text.Capacity(), 127u);
    // 104 more characters do not fit into 127: the storage moves while being read from.
    l_Text.Append(l_Text.Data(), l_Text.Length(), &l_Status);
    EXPECT_EQ(l_Status.code, 0);
    EXPECT_EQ(std::string(l_Text.CStr()), l_Start + "tail" + l_Start + "tail");
    l_Text.Append(l_Text.Data() + 100, 4, &l_Status);
    EXPECT_EQ(std::string(l_Text.CStr()), l_Start + "tail" + l_Start + "tail" + "tail");
}

TEST(CheckedString, ClearAndEraseKeepStorage) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.Clear();
    l_Text.EraseLast();
    EXPECT_EQ(l_Text.Data(), nullptr);
    EXPECT_STREQ(l_Text.CStr(), "");
    l_Text.Append("ab,", &l_Status);
    const char* l_pStorage = l_Text.Data();
    l_Text.EraseLast();
    EXPECT_STREQ(l_Text.CStr(), "ab");
    l_Text.Clear();
    EXPECT_EQ(l_Text.Length(), 0u);
    EXPECT_EQ(l_Text.Data(), l_pStorage);
    EXPECT_STREQ(l_Text.CStr(), "");
    EXPECT_EQ(l_Text.Capacity(), 127u);
}

TEST(CheckedString, SizesThatOverflowAreMemoryFailures) {
    const std::uint64_t l_Max = std::numeric_limits<std::uint64_t>::max();
    {
        tStatus l_Status = makeStatus();
        cCheckedString l_Text;
        l_Text.Append("abc", &l_Status);
        l_Text.Append("x", l_Max - 1, &l_Status);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_STREQ(l_Status.file, "cAllocator");
        EXPECT_EQ(l_Status.line, 51u);
        EXPECT_STREQ(l_Text.CStr(), "abc");
    }
    {
        tStatus l_Status = makeStatus();
        cCheckedString l_Text;
        l_Text.Reserve(l_Max, &l_Status);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_EQ(l_Status.line, 51u);
        EXPECT_EQ(l_Text.Capacity(), 0u);
    }
}

TEST(SlotPathMemory, FailureIsRecordedWhereItHappenedAndKeepsWhatWasDone) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    const struct {
        const char* what;
        std::vector<std::uint8_t> before; // elements on root bus 0x09
        const char* parse;                // text to parse, or null to format
        long failAt;
        const char* file;
        std::uint32_t line;
        std::uint8_t rootBus;
        std::vector<std::uint8_t> elements;
        const char* text;
    } l_Cases[] = {
        // One node per element: the second allocation is the second node.
        {"node", {}, "MR04:01,02,03,04", 2, "memoryAllocation", 291, 0x04, {0x01}, ""},
        // The element text is the second storage made.
        {"format", {0x01, 0x02}, nullptr, 2, "cAllocator", 51, 0x09, {0x01, 0x02}, "MR09:"},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.what);
        cSlotPath l_Path;
        fill(l_Path, 0x09, l_Case.before);
        tStatus l_Status = makeStatus();
        cCheckedString l_Text;
        long l_Failed = 0;
        {
            // Checks wait until the failing scope ends: a failing check allocates.
            zuTest::cFailingAllocationScope l_Scope;
            zuTest::armAllocationFailure(l_Case.failAt);
            if (l_Case.parse != nullptr) {
                l_Path.Parse(l_Case.parse, &l_Status);
            } else {
                l_Path.Format(l_Text, &l_Status);
            }
            l_Failed = zuTest::disarmAllocationFailure().failed;
        }
        EXPECT_EQ(l_Failed, 1);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_STREQ(l_Status.file, l_Case.file);
        EXPECT_EQ(l_Status.line, l_Case.line);
        EXPECT_EQ(l_Path.RootBus(), l_Case.rootBus);
        EXPECT_EQ(elementsOf(l_Path), l_Case.elements);
        EXPECT_STREQ(l_Text.CStr(), l_Case.text);
    }
}

} // namespace
} // namespace nZU7461_14_0
