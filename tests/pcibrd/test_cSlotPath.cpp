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

// Parses a_pText over MR77:05,06; the path afterwards, written back.
std::string parsed(const char* a_pText, tStatus* a_pStatus) {
    cSlotPath l_Path;
    fill(l_Path, 0x77, {0x05, 0x06});
    l_Path.Parse(a_pText, a_pStatus);
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Path.Format(l_Text, &l_Status);
    return l_Text.CStr();
}

TEST(SlotPath, ParseReplacesThePathOrLeavesItAloneWhenMalformed) {
    const char* const l_Good[][2] = {{"MR02:1C,00", "MR02:1C,00"},
                                     {"MR01:07", "MR01:07"},
                                     {"MRff:0a,Bc", "MRFF:0A,BC"},
                                     {"MR0A:01,02,03,04,05", "MR0A:01,02,03,04,05"}};
    for (const auto& l_Case : l_Good) {
        tStatus l_Status = makeStatus();
        EXPECT_EQ(parsed(l_Case[0], &l_Status), l_Case[1]);
        EXPECT_EQ(l_Status.code, 0);
    }
    // A path names a bridge: one element at least. A "%02X" scan would also take a blank, a sign
    // or "0x" before the digits.
    for (const char* l_pText :
         {"MR00:", "", "1C,00", "MR00:1C,", "MR00:1C;00", "MR00:1C,ZZ", "MRff:a,b", "MR7",
          "MR12x34", "XR02:1C", "MR:1C", "MR01: 1C", "MR01:+1", "MR01:0x1C"}) {
        tStatus l_Status = makeStatus();
        EXPECT_EQ(parsed(l_pText, &l_Status), "MR77:05,06") << l_pText;
        EXPECT_EQ(l_Status.code, kStatusMalformedSlotPath) << l_pText;
        EXPECT_STREQ(l_Status.file, "cSlotPath");
        EXPECT_EQ(l_Status.line, 427u);
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
