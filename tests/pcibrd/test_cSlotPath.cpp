#include "pcibrd/cSlotPath.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/failingAllocator.h"

namespace nZU7461_14_0 {
namespace {

std::string formatted(const cSlotPath& a_rPath) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("left over", &l_Status);
    a_rPath.Format(l_Text, &l_Status);
    return l_Text.CStr();
}

TEST(SlotPath, ParseTakesOnlyWellFormedTextAndFormatWritesItBack) {
    // Anything but the form leaves the path alone; a "%02X" scan would take a blank, a sign or
    // "0x".
    // clang-format off
    const char* const l_Cases[][2] = {
        {"MR02:1C,00", "MR02:1C,00"}, {"MR01:07", "MR01:07"}, {"MRff:0a,Bc", "MRFF:0A,BC"},
        {"MR0A:01,02,03,04,05", "MR0A:01,02,03,04,05"}, {"MR00:", nullptr}, {"", nullptr},
        {"1C,00", nullptr}, {"MR00:1C,", nullptr}, {"MR00:1C;00", nullptr}, {"MR00:1C,ZZ", nullptr},
        {"MRff:a,b", nullptr}, {"MR7", nullptr}, {"MR12x34", nullptr}, {"XR02:1C", nullptr},
        {"MR:1C", nullptr}, {"MR01: 1C", nullptr}, {"MR01:+1", nullptr}, {"MR01:0x1C", nullptr},
        {"MR0", nullptr}, {"MR01:1", nullptr}, {"MX01:01", nullptr}, {"MR01;01", nullptr}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case[0]);
        cSlotPath l_Path;
        tStatus l_Status = makeStatus();
        l_Path.Parse("MR77:05,06", &l_Status);
        l_Path.Parse(l_Case[0], &l_Status);
        EXPECT_EQ(formatted(l_Path), l_Case[1] != nullptr ? l_Case[1] : "MR77:05,06");
        EXPECT_EQ(l_Status.code, l_Case[1] != nullptr ? 0 : kStatusMalformedSlotPath);
        EXPECT_EQ(l_Status.line, l_Case[1] != nullptr ? 0u : 427u);
        cCheckedString l_Elements;
        l_Path.FormatElements(l_Elements, &(l_Status = makeStatus()));
        EXPECT_EQ(l_Elements.CStr(), formatted(l_Path).substr(5));
    }
    // Built up rather than parsed: no elements, and more than the first text storage holds.
    cSlotPath l_Path;
    tStatus l_Status = makeStatus();
    l_Path.SetRootBus(0x10);
    EXPECT_EQ(formatted(l_Path), "MR10:");
    std::string l_Text = "MR10:A5";
    for (int l_Index = 0; l_Index < 300; ++l_Index) {
        l_Path.AppendElement(0xA5, &l_Status);
        l_Text += l_Index == 0 ? "" : ",A5";
    }
    EXPECT_EQ(formatted(l_Path), l_Text);
    EXPECT_EQ(l_Path.ElementCount(), 300u);
}

TEST(SlotPath, AnErrorOfItsOwnOrOnEntryChangesNothingButAWarningIsNotHandedOn) {
    cSlotPath l_Path;
    tStatus l_Status = makeStatus();
    l_Path.Parse("MR02:1C", &l_Status);
    cCheckedString l_Text;
    l_Text.Append("kept", &l_Status);
    for (const bool l_OwnError : {true, false}) {
        tStatus l_Entry = makeStatus();
        l_Path.OwnStatus() = makeStatus();
        setStatus(l_OwnError ? &l_Path.OwnStatus() : &l_Entry, -1, "zu7461", "failed", 12);
        tStatus l_Parse = l_Entry, l_Format = l_Entry, l_Elements = l_Entry;
        l_Path.Parse("MR05:01,02", &l_Parse);
        l_Path.Format(l_Text, &l_Format);
        l_Path.FormatElements(l_Text, &l_Elements);
        for (const tStatus* l_pStatus : {&l_Parse, &l_Format, &l_Elements}) {
            EXPECT_STREQ(l_pStatus->file, "failed");
        }
        EXPECT_STREQ(l_Text.CStr(), "kept");
        EXPECT_EQ(l_Path.RootBus(), 0x02);
    }
    l_Path.OwnStatus() = makeStatus();
    setStatus(&l_Path.OwnStatus(), 5, "zu7461", "own", 12);
    tStatus l_Parsed = makeStatus();
    l_Path.Parse("MR03:04", &l_Parsed);
    EXPECT_EQ(l_Parsed.code, 0);
    EXPECT_EQ(formatted(l_Path), "MR03:04");
}

TEST(CheckedString, GrowsKeepingItsTextAndRefusesSizesThatOverflow) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.EraseLast();
    l_Text.Append("q", &l_Status);
    l_Text.Append(std::string(150, 'r').c_str(), &l_Status); // a single character across growth
    const std::string l_Start = l_Text.CStr();
    EXPECT_EQ(l_Start, "q" + std::string(150, 'r'));
    // A range of its own storage, read while that storage moves.
    l_Text.Append(l_Text.Data(), l_Text.Length(), &l_Status);
    l_Text.Append(l_Text.Data(), 2, &l_Status);
    l_Text.EraseLast();
    EXPECT_EQ(l_Text.CStr(), l_Start + l_Start + "q");
    EXPECT_EQ(l_Status.code, 0);
    l_Text.Append("x", std::numeric_limits<std::uint64_t>::max() - 1, &l_Status);
    EXPECT_EQ(l_Status.line, 51u);
    EXPECT_EQ(l_Text.CStr(), l_Start + l_Start + "q");
    tStatus l_Reserve = makeStatus();
    cCheckedString l_Empty;
    l_Empty.Reserve(std::numeric_limits<std::uint64_t>::max(), &l_Reserve);
    EXPECT_EQ(l_Reserve.code, kStatusMemoryFull);
    EXPECT_EQ(l_Empty.Capacity(), 0u);
}

TEST(SlotPath, MemoryFailureIsRecordedWhereItHappenedAndKeepsWhatWasDone) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    for (const bool l_Parse : {true, false}) {
        cSlotPath l_Path;
        tStatus l_Status = makeStatus();
        l_Path.Parse("MR09:01,02", &l_Status);
        cCheckedString l_Text;
        long l_Failed = 0;
        {
            zuTest::cFailingAllocationScope l_Scope; // a failing check would allocate
            zuTest::armAllocationFailure(2);         // the second node, or the element text
            l_Parse ? l_Path.Parse("MR04:01,02,03", &l_Status) : l_Path.Format(l_Text, &l_Status);
            l_Failed = zuTest::disarmAllocationFailure().failed;
        }
        EXPECT_EQ(l_Failed, 1);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_EQ(l_Status.line, l_Parse ? 291u : 51u);
        EXPECT_STREQ(l_Text.CStr(), l_Parse ? "" : "MR09:");
        l_Path.OwnStatus() = makeStatus();
        EXPECT_EQ(formatted(l_Path), l_Parse ? "MR04:01" : "MR09:01,02");
    }
}

} // namespace
} // namespace nZU7461_14_0
