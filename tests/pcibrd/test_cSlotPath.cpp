#include "pcibrd/cSlotPath.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/failingAllocator.h"

namespace nZU7461_14_0 {
namespace {

using tElements = std::vector<std::uint8_t>;

tElements elementsOf(const cSlotPath& a_rPath) {
    return tElements(a_rPath.begin(), a_rPath.end());
}

void fill(cSlotPath& a_rPath, std::uint8_t a_RootBus, const tElements& a_rElements) {
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
    tElements elements;
    std::int32_t code;
};

// What a malformed text leaves: the path as it was before.
tParseCase malformed(const char* a_pText) {
    return tParseCase{a_pText, 0x77, {0x05, 0x06}, kStatusMalformedSlotPath};
}

TEST(SlotPath, ParseReplacesThePathOrLeavesItAloneWhenMalformed) {
    const tParseCase l_Cases[] = {
        {"MR02:1C,00", 0x02, {0x1C, 0x00}, 0},
        {"MR01:07", 0x01, {0x07}, 0},
        {"MRff:0a,Bc", 0xFF, {0x0A, 0xBC}, 0},
        {"MR0A:01,02,03,04,05", 0x0A, {1, 2, 3, 4, 5}, 0},
        // A path names a bridge: one element at least.
        malformed("MR00:"),
        malformed(""),
        malformed("1C,00"),
        malformed("MR00:1C,"),
        malformed("MR00:1C;00"),
        malformed("MR00:1C,ZZ"),
        malformed("MRff:a,b"),
        malformed("MR7"),
        malformed("MR12x34"),
        malformed("XR02:1C"),
        malformed("MR:1C"),
        // A "%02X" scan would also take a blank, a sign or "0x" before the digits.
        malformed("MR01: 1C"),
        malformed("MR01:+1"),
        malformed("MR01:0x1C")};
    for (const tParseCase& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.text);
        cSlotPath l_Path;
        fill(l_Path, 0x77, {0x05, 0x06});
        tStatus l_Status = makeStatus();
        l_Path.Parse(l_Case.text, &l_Status);
        EXPECT_EQ(l_Status.code, l_Case.code);
        EXPECT_EQ(l_Path.RootBus(), l_Case.rootBus);
        EXPECT_EQ(elementsOf(l_Path), l_Case.elements);
        if (l_Case.code != 0) {
            EXPECT_STREQ(l_Status.file, "cSlotPath");
            EXPECT_EQ(l_Status.line, 427u);
        }
    }
}

TEST(SlotPath, FormatWritesTheTextThatParsesBack) {
    tElements l_Long;
    for (int l_Index = 0; l_Index < 300; ++l_Index) {
        l_Long.push_back(static_cast<std::uint8_t>(l_Index * 7));
    }
    const struct {
        std::uint8_t rootBus;
        tElements elements;
        std::string text;
    } l_Cases[] = {{0x02, {0x1C, 0x00}, "MR02:1C,00"},
                   {0x10, {}, "MR10:"},
                   {0xFF, {0x00, 0x0F, 0xF0, 0xFF}, "MRFF:00,0F,F0,FF"},
                   {0x3C, l_Long, ""}};
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.text);
        cSlotPath l_Path;
        fill(l_Path, l_Case.rootBus, l_Case.elements);
        tStatus l_Status = makeStatus();
        cCheckedString l_Text, l_ElementText;
        l_Text.Append("left over from before", &l_Status);
        l_Path.Format(l_Text, &l_Status);
        l_Path.FormatElements(l_ElementText, &l_Status);
        ASSERT_EQ(l_Status.code, 0);
        EXPECT_EQ(l_Text.Length(), 5u + l_Case.elements.size() * 3 - !l_Case.elements.empty());
        if (!l_Case.text.empty()) {
            EXPECT_EQ(std::string(l_Text.CStr()), l_Case.text);
            EXPECT_EQ(std::string(l_ElementText.CStr()), l_Case.text.substr(5));
        }
        // A root bus alone names no bridge, so only a path with elements parses back.
        cSlotPath l_Back;
        l_Back.Parse(l_Text.CStr(), &l_Status);
        EXPECT_EQ(l_Status.code, l_Case.elements.empty() ? kStatusMalformedSlotPath : 0);
        EXPECT_EQ(elementsOf(l_Back), l_Case.elements);
    }
}

TEST(SlotPath, AnErrorOfItsOwnOrOnEntryChangesNothingButAWarningIsNotHandedOn) {
    cSlotPath l_Path;
    fill(l_Path, 0x02, {0x1C});
    tStatus l_Scratch = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("kept", &l_Scratch);
    ASSERT_TRUE(setStatus(&l_Path.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 12));
    for (int l_Operation = 0; l_Operation < 3; ++l_Operation) {
        tStatus l_Status = makeStatus();
        l_Operation == 0   ? l_Path.Parse("MR05:01,02", &l_Status)
        : l_Operation == 1 ? l_Path.Format(l_Text, &l_Status)
                           : l_Path.FormatElements(l_Text, &l_Status);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_STREQ(l_Status.file, "elsewhere");
        EXPECT_EQ(l_Status.line, 12u);
    }
    l_Path.OwnStatus() = makeStatus();
    tStatus l_Status = makeStatus();
    ASSERT_TRUE(setStatus(&l_Status, -1, "zu7461", "before", 1));
    l_Path.Parse("MR05:01", &l_Status);
    l_Path.Format(l_Text, &l_Status);
    EXPECT_STREQ(l_Status.file, "before");
    EXPECT_EQ(l_Path.RootBus(), 0x02);
    EXPECT_EQ(elementsOf(l_Path), tElements{0x1C});
    EXPECT_STREQ(l_Text.CStr(), "kept");

    ASSERT_TRUE(setStatus(&l_Path.OwnStatus(), 5, "zu7461", "elsewhere", 12));
    tStatus l_Parsed = makeStatus();
    l_Path.Parse("MR03:04", &l_Parsed);
    EXPECT_EQ(l_Parsed.code, 0);
    EXPECT_EQ(l_Path.RootBus(), 0x03);
}

TEST(CheckedString, AppendsARangeOfItsOwnStorageAcrossGrowth) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.EraseLast();
    EXPECT_STREQ(l_Text.CStr(), "");
    const std::string l_Start = std::string(100, 'q') + "tail";
    l_Text.Append(l_Start.c_str(), &l_Status);
    // 104 more characters do not fit into the first storage: it moves while being read from.
    l_Text.Append(l_Text.Data(), l_Text.Length(), &l_Status);
    l_Text.Append(l_Text.Data() + 100, 4, &l_Status);
    EXPECT_EQ(l_Status.code, 0);
    EXPECT_EQ(std::string(l_Text.CStr()), l_Start + l_Start + "tail");
    l_Text.EraseLast();
    EXPECT_EQ(std::string(l_Text.CStr()), l_Start + l_Start + "tai");
}

TEST(CheckedString, SizesThatOverflowAreMemoryFailures) {
    const std::uint64_t l_Max = std::numeric_limits<std::uint64_t>::max();
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("abc", &l_Status);
    l_Text.Append("x", l_Max - 1, &l_Status);
    EXPECT_EQ(l_Status.code, kStatusMemoryFull);
    EXPECT_STREQ(l_Status.file, "cAllocator");
    EXPECT_EQ(l_Status.line, 51u);
    EXPECT_STREQ(l_Text.CStr(), "abc");
    tStatus l_Reserve = makeStatus();
    cCheckedString l_Empty;
    l_Empty.Reserve(l_Max, &l_Reserve);
    EXPECT_EQ(l_Reserve.code, kStatusMemoryFull);
    EXPECT_EQ(l_Empty.Capacity(), 0u);
}

TEST(SlotPathMemory, FailureIsRecordedWhereItHappenedAndKeepsWhatWasDone) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    const struct {
        tElements before;  // elements on root bus 0x09
        const char* parse; // text to parse, or null to format
        const char* file;
        std::uint32_t line;
        std::uint8_t rootBus;
        tElements elements;
        const char* text;
    } l_Cases[] = {
        // One node per element: the second allocation is the second node.
        {{}, "MR04:01,02,03,04", "memoryAllocation", 291, 0x04, {0x01}, ""},
        // The element text is the second storage made.
        {{0x01, 0x02}, nullptr, "cAllocator", 51, 0x09, {0x01, 0x02}, "MR09:"},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.file);
        cSlotPath l_Path;
        fill(l_Path, 0x09, l_Case.before);
        tStatus l_Status = makeStatus();
        cCheckedString l_Text;
        long l_Failed = 0;
        {
            // Checks wait until the failing scope ends: a failing check allocates.
            zuTest::cFailingAllocationScope l_Scope;
            zuTest::armAllocationFailure(2);
            l_Case.parse != nullptr ? l_Path.Parse(l_Case.parse, &l_Status)
                                    : l_Path.Format(l_Text, &l_Status);
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
