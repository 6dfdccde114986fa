// The status records (fixed and detailed, and the conversions between them) and the trace.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "source/finder.h"
#include "status/tDetailedStatus.h"
#include "status/trace.h"
#include "tests/support/failingAllocator.h"

using namespace nZU7461_14_0;

namespace {

tStatus statusWith(std::int32_t a_Code, const char* a_pComponent, const char* a_pFile,
                   std::uint32_t a_Line) {
    tStatus l_Status = makeStatus();
    setStatus(&l_Status, a_Code, a_pComponent, a_pFile, a_Line);
    return l_Status;
}

// a_pUnit a_Count times; without it, characters that each differ from their neighbours, so that
// a cut one place off shows.
std::string repeated(std::size_t a_Count, const char* a_pUnit = nullptr) {
    std::string l_Text;
    for (std::size_t l_Index = 0; l_Index < a_Count; ++l_Index) {
        l_Text += a_pUnit ? std::string(a_pUnit) : std::string(1, '!' + l_Index % 90);
    }
    return l_Text;
}

// The first error wins, an error replaces a warning, a warning never replaces a warning and 0
// never clears anything; setStatus and mergeStatus alike.
TEST(Status, PrecedenceDecidesWhatIsStored) {
    // clang-format off
    const std::tuple<std::int32_t, std::int32_t, bool> l_Cases[] = {{0, 0, false}, {0, 5, true},
        {0, -1, true}, {5, 7, false}, {5, 0, false}, {5, -1, true}, {-1, -2, false}, {-1, 3, false},
        {-1, 0, false}};
    // clang-format on
    for (const auto& [l_Stored, l_Incoming, l_Replaces] : l_Cases) {
        for (const bool l_Merge : {false, true}) {
            SCOPED_TRACE(testing::Message() << l_Stored << " then " << l_Incoming << l_Merge);
            tStatus l_Status = statusWith(l_Stored, "first", "firstFile", 11);
            l_Status.extension[0] = 0x1234;
            const tStatus l_New = statusWith(l_Incoming, "second", "secondFile", 22);
            EXPECT_EQ(l_Merge ? mergeStatus(&l_Status, &l_New)
                              : setStatus(&l_Status, l_Incoming, "second", "secondFile", 22),
                      l_Replaces);
            EXPECT_EQ(l_Status.code, l_Replaces ? l_Incoming : l_Stored);
            const bool l_Second = l_Replaces && l_Incoming != 0;
            EXPECT_STREQ(l_Status.file, l_Second ? "secondFile" : l_Stored ? "firstFile" : "");
            EXPECT_EQ(l_Status.line, l_Second ? 22u : l_Stored ? 11u : 0u);
            EXPECT_EQ(l_Status.extension[0], l_Second ? 0u : 0x1234u);
        }
    }
    EXPECT_FALSE(setStatus(nullptr, -1, "", "", 0) || mergeStatus(nullptr, nullptr));
}

// Whole fields compared: nothing of the older, longer texts may remain behind the zero.
TEST(Status, TextsAreCutToTheirFieldsAndReplaceTheOldOnesWhole) {
    const std::string l_Long = repeated(101),
                      l_Cut = l_Long.substr(0, 49) + ".." + l_Long.substr(52);
    const std::string l_Cases[][4] = {{"zu7461", repeated(100), "zu7461", repeated(100)},
                                      {"abcdefghijkl", l_Long, "abcdefghi", l_Cut},
                                      {"ab", "f", "ab", "f"}};
    for (const auto& l_Case : l_Cases) {
        tStatus l_Status = statusWith(4, "longname1", std::string(100, 'x').c_str(), 1);
        ASSERT_TRUE(setStatus(&l_Status, -4, l_Case[0].c_str(), l_Case[1].c_str(), 2));
        EXPECT_EQ(std::string(l_Status.component, kStatusComponentSize),
                  l_Case[2] + std::string(kStatusComponentSize - l_Case[2].size(), '\0'));
        EXPECT_EQ(std::string(l_Status.file, kStatusFileSize),
                  l_Case[3] + std::string(kStatusFileSize - l_Case[3].size(), '\0'));
    }
}

// A short record carries only the code. Merged, a full source is read no further than its
// fields and its extension list (nothing in it is zero after the file, nor behind the record).
TEST(Status, MergeReadsTheSourceNoFurtherThanItsFields) {
    const std::string l_File = repeated(kStatusFileSize);
    const std::uint64_t l_List[] = {1, 2, 0, 3};
    for (const std::uint32_t l_Size : {kStatusFullSize, 8u}) {
        std::vector<unsigned char> l_Bytes(sizeof(tStatus), 0x41);
        tStatus* l_pSource = reinterpret_cast<tStatus*>(l_Bytes.data());
        l_pSource->structureSize = l_Size;
        l_pSource->code = 2;
        ASSERT_EQ(setStatus(l_pSource, -5, "zu7461", "file", 9), true);
        EXPECT_EQ(l_pSource->line, l_Size == 8 ? 0x41414141u : 9u);
        std::memcpy(l_pSource->file, l_File.data(), kStatusFileSize);
        std::memcpy(l_pSource->component, "AAAAAAAAAAAA", kStatusComponentSize);
        std::memcpy(l_pSource->extension, l_List, sizeof l_List);
        tStatus l_Target = statusWith(2, "warn", "wfile", 6);
        l_Target.extension[3] = 77;
        ASSERT_TRUE(mergeStatus(&l_Target, l_pSource));
        const std::uint64_t l_Full = l_Size == kStatusFullSize ? 1 : 0;
        EXPECT_EQ(l_Target.code, -5);
        EXPECT_EQ(std::string(l_Target.file),
                  l_Full ? l_File.substr(0, 49) + ".." + l_File.substr(52) : "");
        EXPECT_STREQ(l_Target.component, l_Full ? "AAAAAAAAA" : "");
        EXPECT_EQ(l_Target.line, l_Full ? 9u : 0u);
        EXPECT_EQ(std::vector<std::uint64_t>(l_Target.extension, l_Target.extension + 4),
                  (std::vector<std::uint64_t>{l_Full, 2, 0, 77}));
    }
}

std::string g_Captured; // what the trace sent to the debugger output

// The module's trace lives from attach to detach, and its console destination writes, cut to its
// buffers, to the debugger output and describes itself within the buffer it is given.
TEST(Trace, ConsoleDestinationWritesAndDescribesWithinItsBuffers) {
    using namespace nZUOSKA000;
    const tDebugOutput l_Previous =
        setDebugOutputForTesting([](const char* a_pText) { g_Captured += a_pText; });
    for (int l_Round = 0; l_Round < 2; ++l_Round) {
        moduleAttach();
        ASSERT_TRUE(moduleTrace() != nullptr && moduleTrace()->isActive());
        ASSERT_NE(moduleTrace()->destination(), nullptr);
        moduleTrace()->destination()->writeText("attached");
        moduleDetach();
        EXPECT_EQ(moduleTrace(), nullptr);
    }
    tConsoleTraceDestination l_Destination;
    const std::string l_Long(600, 'q');
    l_Destination.writeTextN("abcdef", 3);
    l_Destination.writeTextN("xy", 5);
    l_Destination.writeText(l_Long.c_str());
    l_Destination.writeTextN(l_Long.c_str(), 0xFFFFFFFF);
    setDebugOutputForTesting(l_Previous);
    EXPECT_EQ(g_Captured, "attachedattachedabcxy" + std::string(1022, 'q'));
    // The buffer's size, what it receives (the rest of it untouched) and where the copy stopped.
    // clang-format off
    const std::tuple<std::uint32_t, const char*, long> l_Cases[] = {{10, " --destin", 10},
        {20, " --destination oska", 20}, {64, " --destination oska", 20}, {1, "", 1}, {0, "", 0}};
    // clang-format on
    for (const auto& [l_Size, l_pExpected, l_Stop] : l_Cases) {
        SCOPED_TRACE(l_Size);
        std::vector<char> l_Buffer(l_Size + 4, 'Z');
        l_Buffer[0] = '\0';
        std::uint32_t l_Needed = 0;
        char* l_pStop = l_Destination.describeDestination(l_Buffer.data(), l_Size, &l_Needed);
        EXPECT_STREQ(l_Buffer.data(), l_pExpected);
        EXPECT_EQ(l_Needed, 20u);
        EXPECT_EQ(l_pStop - l_Buffer.data(), l_Stop);
        EXPECT_EQ(l_Buffer[l_Size + (l_Size == 0 ? 1 : 0)], 'Z');
    }
    EXPECT_EQ(l_Destination.describeDestination(nullptr, 0, nullptr), nullptr);
}

struct tOwnedDetailed {
    tDetailedStatus value = makeDetailedStatus();
    ~tOwnedDetailed() { releaseDetailedStatus(&value); }
    tDetailedStatus* operator->() { return &value; }
    std::string text() const { return value.json == nullptr ? "<none>" : value.json; }
};

// Frees, but never provides memory: stands for an exhausted heap.
bool refuseToGrow(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    return a_Capacity == 0 && reallocateDetails(a_pDetailed, 0);
}
// Says it grew the buffer but leaves it as it was.
bool pretendToGrow(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    return a_Capacity != 0 || reallocateDetails(a_pDetailed, 0);
}

TEST(DetailedStatus, GrowthDoublesAndKeepsTheDocumentAndTheCursor) {
    const std::string l_Filler(499, 'f'), l_Big(2500, 'b');
    tOwnedDetailed l_Detailed;
    char* l_pCursor = nullptr;
    zuTest::cFailingAllocationScope l_Scope;
    zuTest::armAllocationFailure(0); // every buffer, 512 to 4096, is given back
    ASSERT_TRUE(setDetailedError(&l_Detailed.value, -1, &l_pCursor));
    EXPECT_EQ(l_Detailed->capacity, 512u);
    // A filler that leaves no free byte: a full document must survive the growth too.
    l_pCursor = addString(l_pCursor, "fill", l_Filler.c_str());
    const std::ptrdiff_t l_Distance = l_pCursor - l_Detailed->json;
    l_pCursor = growDetails(l_pCursor, &l_Detailed.value);
    EXPECT_EQ(l_pCursor, l_Detailed->json + l_Distance);
    EXPECT_EQ(l_Detailed->capacity, 1024u);
    // Larger than two doublings, added at the root's opening brace: it comes first.
    EXPECT_NE(
        addStringGrowing(l_Detailed->json, "big", l_Big.c_str(), detailsGrowth(&l_Detailed.value)),
        nullptr);
    EXPECT_EQ(l_Detailed->capacity, 4096u);
    EXPECT_EQ(l_Detailed.text(), "{\"big\":\"" + l_Big + "\",\"fill\":\"" + l_Filler + "\"}");
    EXPECT_EQ(l_Detailed->json[l_Detailed->capacity - 1], kDocumentEndMark);
    releaseDetailedStatus(&l_Detailed.value);
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
    EXPECT_FALSE(reallocateDetails(&l_Detailed.value, 0x80000000u));
    EXPECT_TRUE(reallocateDetails(&l_Detailed.value, 4096u) && l_Detailed->capacity == 4096u);
    // Growth gives up on refused memory, on growth that does not grow, on a buffer too small or
    // too large to double and on a broken document.
    const std::tuple<tReallocateDetails, std::uint32_t, char> l_GivingUp[] = {
        // clang-format off
        {&refuseToGrow, 4096, '{'}, {&pretendToGrow, 4096, '{'}, {&reallocateDetails, 2, '{'},
        {&reallocateDetails, 1, '{'}, {&reallocateDetails, 0x40000001u, '{'}, {&reallocateDetails, 4096, 'x'}};
    // clang-format on
    for (const auto& [l_Reallocate, l_Capacity, l_First] : l_GivingUp) {
        SCOPED_TRACE(l_Capacity);
        l_Detailed->reallocate = l_Reallocate;
        l_Detailed->capacity = l_Capacity;
        l_Detailed->json[0] = l_First;
        EXPECT_EQ(growDetails(l_Detailed->json + 1, &l_Detailed.value), nullptr);
        l_Detailed->capacity = 4096;
    }
    l_Detailed->reallocate = &reallocateDetails;
    EXPECT_EQ(growDetails(nullptr, &l_Detailed.value), nullptr);
}

// An error replaces the warning and its document; a second error is refused. Without memory the
// code is still stored and the chain does nothing.
TEST(DetailedStatus, SetDetailedErrorRestartsTheDocument) {
    tOwnedDetailed l_Detailed, l_Starved;
    char* l_pCursor = nullptr;
    ASSERT_TRUE(setDetailedError(&l_Detailed.value, 3, &l_pCursor));
    addErrorMembers(l_pCursor, detailsGrowth(&l_Detailed.value), "warn", "first", 1);
    ASSERT_TRUE(setDetailedError(&l_Detailed.value, kStatusInvalidParameter, &l_pCursor));
    EXPECT_EQ(l_Detailed.text(), "{}");
    l_pCursor =
        addErrorMembers(l_pCursor, detailsGrowth(&l_Detailed.value), "zuoskaerr_x", "dl", -94);
    EXPECT_EQ(l_pCursor, findDocumentEnd(l_Detailed->json));
    EXPECT_FALSE(setDetailedError(&l_Detailed.value, -2, &l_pCursor) || l_pCursor != nullptr);
    EXPECT_EQ(l_Detailed->code, kStatusInvalidParameter);
    EXPECT_EQ(l_Detailed.text(), "{\"error_constant\":\"zuoskaerr_x\",\"file\":\"dl\",\"line\":-94,"
                                 "\"component\":\"zu7461\"}");
    releaseDetailedStatus(&l_Detailed.value);
    EXPECT_TRUE(l_Detailed->code == 0 && l_Detailed->json == nullptr);
    l_Starved->reallocate = &refuseToGrow;
    ASSERT_TRUE(setDetailedError(&l_Starved.value, kStatusMemoryFull, &l_pCursor));
    EXPECT_EQ(addErrorMembers(l_pCursor, detailsGrowth(&l_Starved.value), "e", "f", 1), nullptr);
    EXPECT_TRUE(l_pCursor == nullptr && l_Starved->code == kStatusMemoryFull);
}

TEST(DetailedStatus, StatusToDetailed) {
    tStatus l_Short = statusWith(-4, "zu7461", "f", 1);
    l_Short.structureSize = 8;
    const tStatus l_Empty = statusWith(-4, "", "", 0);
    // The stored code, whether a document is there already, the code and document afterwards.
    const std::tuple<tStatus, std::int32_t, bool, std::int32_t, std::string> l_Cases[] = {
        // clang-format off
        {statusWith(-4, "zu", "cSlotPath", 77), 0, false, -4, "{\"file\":\"cSlotPath\",\"line\":77,\"component\":\"zu\"}"},
        // Texts full of escapes take more room than the usual members: none of it may be lost.
        {statusWith(-4, "\x01\"", std::string(100, '\x1f').c_str(), 4294967295u), 0, false, -4,
         "{\"file\":\"" + repeated(100, "\\u001f") + "\",\"line\":4294967295,\"component\":\"\\u0001\\\"\"}"},
        {l_Empty, 0, false, -4, "<none>"}, {l_Empty, 0, true, -4, "{}"}, {l_Short, 0, true, -4, "{}"},
        {statusWith(-4, "c", "", 9), 0, true, -4, "{\"component\":\"c\"}"},
        {statusWith(-4, "", "f", 9), 0, true, -4, "{\"file\":\"f\",\"line\":9}"},
        {makeStatus(), 0, true, 0, "{\"old\":1}"}, {statusWith(-4, "c", "f", 1), -1, true, -1, "{\"old\":1}"}};
    // clang-format on
    for (const auto& [l_Status, l_Stored, l_WithBuffer, l_Code, l_Text] : l_Cases) {
        SCOPED_TRACE(l_Text);
        tOwnedDetailed l_Detailed;
        l_Detailed->code = l_Stored;
        if (l_WithBuffer) {
            reallocateDetails(&l_Detailed.value, 4);
            addInt(findDocumentEnd(l_Detailed->json), "old", 1);
        }
        EXPECT_TRUE(statusToDetailed(&l_Status, &l_Detailed.value));
        EXPECT_EQ(l_Detailed->code, l_Code);
        EXPECT_EQ(l_Detailed.text(), l_Text);
    }
    for (const char* l_pComponent : {"", "c"}) {
        tOwnedDetailed l_Starved;
        l_Starved->reallocate = &refuseToGrow;
        const tStatus l_Status = statusWith(-4, l_pComponent, "f", 1);
        EXPECT_FALSE(statusToDetailed(&l_Status, &l_Starved.value));
        EXPECT_EQ(l_Starved->code, -4);
    }
    EXPECT_FALSE(statusToDetailed(nullptr, nullptr));
}

TEST(DetailedStatus, DetailedToStatusReadsTheMembersBack) {
    const std::string l_Path = "dir\\\\" + std::string(140, 'p') + "\\\\file";
    // The document and the component, file and line read from it.
    const std::tuple<std::string, std::string, std::string, std::uint32_t> l_Cases[] = {
        // clang-format off
        {"{\"component\":\"zu7461\",\"file\":\"dynload\",\"line\":94}", "zu7461", "dynload", 94},
        {"{\"component\":\"abcdefghijkl\",\"file\":\"" + l_Path + "\",\"line\":12.7}", "defghijkl",
         std::string(95, 'p') + "\\file", 12},
        // The last 100 characters are kept, not the last 100 raw bytes.
        {"{\"file\":\"ab" + repeated(110, "\\\\") + "c\"}", "", std::string(99, '\\') + "c", 0},
        {"{\"component\":\"\xc3\xa9z2345678\"}", "z2345678", "", 0},  // cut inside UTF-8
        {"{\"component\" : \"x\\ud83d\\ude00abcde\"}", "\xf0\x9f\x98\x80" "abcde", "", 0},
        {"{\"x\":{\"file\":\"n\"},\"component\":1,\"line\":\"3\"}", "", "", 0},
        {"{\"file\":\"a\\u0000\",\"line\":-1}", "", "", 0xFFFFFFFFu}, {"{\"file\":\"\",\"line\":2}", "", "", 2},
        {"{\"line\":-}", "", "", 0}, {"{\"line\":1." + std::string(70, '5') + "}", "", "", 0},
        {"{\"file\":\"f\",\"line\":5,", "", "", 0}};
    // clang-format on
    for (const auto& [l_Document, l_Component, l_File, l_Line] : l_Cases) {
        SCOPED_TRACE(l_Document.substr(0, 60));
        tOwnedDetailed l_Detailed;
        ASSERT_TRUE(reallocateDetails(&l_Detailed.value, 1024));
        initDocument(l_Detailed->json, l_Detailed->capacity, l_Document.c_str());
        l_Detailed->code = -7;
        tStatus l_Status = statusWith(3, "warn", "wfile", 1);
        EXPECT_TRUE(detailedToStatus(&l_Detailed.value, &l_Status));
        EXPECT_EQ(l_Status.code, -7);
        EXPECT_EQ(std::string(l_Status.component), l_Component);
        EXPECT_EQ(std::string(l_Status.file), l_File);
        EXPECT_EQ(l_Status.line, l_Line);
    }
}

// An error handed down is kept (the inner layers cannot replace it); an error raised inside
// travels up, and back down through a tStatusScope, which writes it into the detailed one.
TEST(DetailedStatus, ScopesCarryTheOutcomeBothWays) {
    tStatus l_Failed = statusWith(kStatusInvalidParameter, "zu7461", "cSessionManager", 5);
    {
        tDetailedStatusScope l_Scope(&l_Failed);
        EXPECT_FALSE(setDetailedError(l_Scope.get(), -313008, nullptr));
    }
    EXPECT_TRUE(l_Failed.code == kStatusInvalidParameter && l_Failed.line == 5);
    tStatus l_Outer = makeStatus();
    tOwnedDetailed l_Detailed;
    {
        tDetailedStatusScope l_Scope(&l_Outer);
        char* l_pCursor = nullptr;
        ASSERT_TRUE(setDetailedError(l_Scope.get(), -313008, &l_pCursor));
        addErrorMembers(l_pCursor, detailsGrowth(l_Scope.get()), "e", "cPciBrdWrapper_sc", 301);
        tStatusScope l_Lifted(l_Scope.get()), l_Down(&l_Detailed.value);
        *l_Down.get() = *l_Lifted.get();
    }
    EXPECT_EQ(l_Outer.code, -313008);
    EXPECT_STREQ(l_Outer.component, "zu7461");
    EXPECT_STREQ(l_Outer.file, "cPciBrdWrapper_sc");
    EXPECT_EQ(l_Outer.line, 301u);
    EXPECT_EQ(l_Detailed->code, -313008);
    EXPECT_EQ(l_Detailed.text(),
              "{\"file\":\"cPciBrdWrapper_sc\",\"line\":301,\"component\":\"zu7461\"}");
}

} // namespace
