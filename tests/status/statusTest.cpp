// Status records and the details documents they carry.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "status/tDetailedStatus.h"
#include "tests/support/failingAllocator.h"

using namespace nZU7461_14_0;

namespace {

tStatus statusWith(std::int32_t a_Code, const char* a_pComponent, const char* a_pFile,
                   std::uint32_t a_Line) {
    tStatus l_Status = makeStatus();
    setStatus(&l_Status, a_Code, a_pComponent, a_pFile, a_Line);
    return l_Status;
}

// What a record says, compared whole so that a mismatch shows every field.
std::tuple<std::int32_t, std::string, std::string, std::uint32_t> fields(const tStatus& a_r) {
    return {a_r.code, a_r.component, a_r.file, a_r.line};
}

// a_pUnit a_Count times; without it, characters unlike their neighbours, so an off-by-one shows.
std::string repeated(std::size_t a_Count, const char* a_pUnit = nullptr) {
    std::string l_Text;
    for (std::size_t l_Index = 0; l_Index < a_Count; ++l_Index) {
        l_Text += a_pUnit ? std::string(a_pUnit) : std::string(1, '!' + l_Index % 90);
    }
    return l_Text;
}

// The first error wins, an error replaces a warning, nothing else replaces anything.
TEST(Status, PrecedenceDecidesWhatIsStored) {
    // clang-format off
    const std::tuple<std::int32_t, std::int32_t, bool> l_Cases[] = {{0, 0, false}, {0, 5, true},
        {0, -1, true}, {5, 7, false}, {5, 0, false}, {5, -1, true}, {-1, -2, false}, {-1, 3, false},
        {-1, 0, false}};
    // clang-format on
    for (const auto& [l_Stored, l_Incoming, l_Replaces] : l_Cases) {
        for (const bool l_Merge : {false, true}) {
            SCOPED_TRACE(testing::Message() << l_Stored << " then " << l_Incoming << l_Merge);
            const tStatus l_Old = statusWith(l_Stored, "first", "firstFile", 11);
            tStatus l_Status = l_Old;
            l_Status.extension[0] = 0x1234;
            const tStatus l_New = statusWith(l_Incoming, "second", "secondFile", 22);
            EXPECT_EQ(l_Merge ? mergeStatus(&l_Status, &l_New)
                              : setStatus(&l_Status, l_Incoming, "second", "secondFile", 22),
                      l_Replaces);
            const bool l_Second = l_Replaces && l_Incoming != 0, l_First = !l_Second && l_Stored;
            EXPECT_EQ(fields(l_Status), l_Second  ? fields(l_New)
                                        : l_First ? fields(l_Old)
                                                  : fields(makeStatus()));
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

// A short record carries only the code; a full source is read no further than its fields.
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
        EXPECT_EQ(fields(l_Target), fields(l_Full ? statusWith(-5, "AAAAAAAAA", l_File.c_str(), 9)
                                                  : statusWith(-5, "", "", 0)));
        EXPECT_EQ(std::vector<std::uint64_t>(l_Target.extension, l_Target.extension + 4),
                  (std::vector<std::uint64_t>{l_Full, 2, 0, 77}));
    }
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
    // Growth gives up on refused memory, a buffer said to grow but left as it was, too small or
    // large a buffer, a broken document.
    const tReallocateDetails l_Pretend = [](tDetailedStatus*, std::uint32_t) { return true; };
    const std::tuple<tReallocateDetails, std::uint32_t, char> l_GivingUp[] = {
        {&refuseToGrow, 4096, '{'},
        {l_Pretend, 4096, '{'},
        {&reallocateDetails, 2, '{'},
        {&reallocateDetails, 1, '{'},
        {&reallocateDetails, 0x40000001u, '{'},
        {&reallocateDetails, 4096, 'x'}};
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

// An error replaces a warning and its document; a second is refused; without memory the code stays.
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
        EXPECT_EQ(fields(l_Status),
                  fields(statusWith(-7, l_Component.c_str(), l_File.c_str(), l_Line)));
    }
}

constexpr long kNone = -1; // no position: a null result
constexpr std::uint32_t kS = kJsonErrorString;

// parseValue's report: a value's end and fraction flag (a boolean's value), or an error.
void expectParsed(const std::string& a_rText, std::uint32_t a_Kind, long a_At,
                  std::uint32_t a_Detail) {
    SCOPED_TRACE(a_rText.substr(0, 40));
    const bool l_Error = a_Kind == kJsonError, l_String = a_Kind == kJsonString;
    // Exactly sized, so that a read past the terminator is caught by ASan.
    const std::vector<char> l_Text(a_rText.c_str(), a_rText.c_str() + a_rText.size() + 1);
    tJsonValue l_Value{kJsonNumber, nullptr, 0, 0, false};
    const char* l_pEnd = parseValue(l_Text.data(), &l_Value);
    const bool l_Document = a_Kind == kJsonObject || a_Kind == kJsonArray;
    const char* l_pLast = findDocumentEnd(l_Text.data());
    // The end, kind, start, length or error, fraction flag, and where a document closes.
    EXPECT_EQ(std::make_tuple(
                  l_pEnd == nullptr ? kNone : l_pEnd - l_Text.data(), l_Value.kind,
                  l_Value.start - l_Text.data(), l_Value.length,
                  std::uint8_t(a_Kind == kJsonBoolean ? l_Value.booleanValue : l_Value.hasFraction),
                  l_pLast == nullptr ? kNone : l_pLast - l_Text.data()),
              std::make_tuple(l_Error ? kNone : a_At, a_Kind, l_Error ? a_At : long{l_String},
                              static_cast<std::uint64_t>(l_Error ? a_Detail : a_At - 2 * l_String),
                              std::uint8_t(l_Error ? 0 : a_Detail), l_Document ? a_At - 1 : kNone));
}

TEST(DetailsReader, ValuesAndFaults) {
    const long kDepth = static_cast<long>(kJsonMaxDepth);
    const std::string l_Long(5000, 'a'), l_Open(kDepth, '[');
    const std::tuple<std::string, std::uint32_t, long, std::uint32_t> l_Cases[] = {
        // clang-format off
        {"007", kJsonNumber, 3, 0}, {"-", kJsonNumber, 1, 0}, {"1.", kJsonNumber, 2, 1},
        {"1e+", kJsonNumber, 3, 1}, {"null", kJsonNull, 4, 0}, {"falsey", kJsonBoolean, 5, 0}, {"true", kJsonBoolean, 4, 1},
        {"{ \"a\" : [ 1 , {} ] }garbage", kJsonObject, 20, 0},
        {"{\"a\":[1,{\"b\":null}],\"c\":true}", kJsonObject, 29, 0},
        {l_Open + std::string(kDepth, ']'), kJsonArray, 2 * kDepth, 0},
        {"{\"a\":" + l_Open.substr(1) + std::string(kDepth - 1, ']') + "}", kJsonObject, 2 * kDepth + 4, 0},
        // Lone strings are measured only so far ahead; what lies beyond must still be read.
        {"\"" + l_Long + "\\nb\"", kJsonString, 5005, 0},
        {"", kJsonError, 0, kS}, {"1ex", kJsonError, 0, kS},
        {"{1:2}", kJsonError, 1, kS}, {"{\"a\":1,}", kJsonError, 7, kJsonErrorTrailingComma},
        {"{\"a\" 1}", kJsonError, 5, kJsonErrorColon}, {"[tru]", kJsonError, 1, kS},
        {"{\"a\":1 \"b\":2}", kJsonError, 7, kJsonErrorSeparator},
        {"{\"a\":1", kJsonError, 6, kJsonErrorObject}, {"{ ", kJsonError, 2, kJsonErrorObject},
        {"[1", kJsonError, 2, kJsonErrorArray}, {"[ ", kJsonError, 2, kJsonErrorArray},
        {"[1 2]", kJsonError, 3, kJsonErrorSeparator}, {"\"a\\u12G4\"", kJsonError, 6, kJsonErrorEscape},
        {"[1 , \n]", kJsonError, 6, kJsonErrorTrailingComma},
        {"{\"a\":[1,{\"b\":x}]}", kJsonError, 13, kS}, {l_Open + "[", kJsonError, kDepth, kJsonErrorDepth},
        {"{\"a\":" + l_Open, kJsonError, kDepth + 4, kJsonErrorDepth},
        {"\"" + l_Long, kJsonError, 5001, kS}};
    // clang-format on
    for (const auto& [l_Text, l_Kind, l_At, l_Detail] : l_Cases) {
        expectParsed(l_Text, l_Kind, l_At, l_Detail);
    }
    // Strings are scanned by blocks where long enough: every stop byte is found around a block's
    // edge.
    // The tail, where it fails (kNone: it ends the string) and the error.
    const std::tuple<std::string, long, std::uint32_t> l_Tails[] = {
        // clang-format off
        {"\"", kNone, 0}, {"\\n\"", kNone, 0}, {"\\u00e9" + std::string(20, 'b') + "\"", kNone, 0},
        {std::string(18, '\\') + "\"", kNone, 0}, {"\x01\"", 0, kS}, {"\x1f\"", 0, kS},
        {"\x7f\"", 0, kS}, {"\\q\"", 1, kJsonErrorEscape}, {"", 0, kS}};
    // clang-format on
    for (const std::size_t l_Run : {0, 1, 14, 15, 16, 17, 30, 31, 32, 33, 47}) {
        std::string l_Plain;
        for (std::size_t l_Index = 0; l_Index < l_Run; ++l_Index) {
            l_Plain += "a \x80\xff"[l_Index % 4];
        }
        for (const auto& [l_Tail, l_FaultAt, l_Error] : l_Tails) {
            SCOPED_TRACE(l_Run);
            const std::string l_String = "\"" + l_Plain + l_Tail;
            const long l_End = static_cast<long>(l_String.size()), l_At = 1 + l_Run + l_FaultAt;
            if (l_FaultAt == kNone) {
                expectParsed(l_String, kJsonString, l_End, 0);
                expectParsed("{\"k\":" + l_String + "}", kJsonObject, l_End + 6, 0);
            } else {
                expectParsed(l_String, kJsonError, l_At, l_Error);
                expectParsed("{\"k\":" + l_String, kJsonError, l_At + 5, l_Error);
            }
        }
    }
}

TEST(DetailsReader, FindMemberSearchesOnlyTheRootObject) {
    // clang-format off
    const std::pair<std::string, long> l_Cases[] = {
        {"{\"file\":\"x\",\"line\":3}", 8},  {"{\"line\":3,\"file\":\"x\"}", 17},  {"{}", kNone},
        {"{\"a\":{\"file\":\"x\"}}", kNone},  {"{\"file\":1,\"file\":2}", 8},
        {" { \"file\" :\t1 }", 12},  {"{\"fi\\u006ce\":5}", 13},  
        {"{\"a\":x,\"file\":1}", kNone},  {"{\"a\":1 \"file\":2}", kNone},  {"{\"a\":1,}", kNone},
        {"[\"file\",1]", kNone}};
    // clang-format on
    for (const auto& [l_Text, l_At] : l_Cases) {
        const char* l_pAt = findMember(l_Text.c_str(), "file");
        EXPECT_EQ(l_pAt == nullptr ? kNone : l_pAt - l_Text.c_str(), l_At) << l_Text;
    }
}

// decodeUnit, unescapeString and keyEquals read a string alike (on failure: up to the fault).
TEST(DetailsReader, StringDecodingAgrees) {
    const std::tuple<std::string, bool, std::string> l_Cases[] = {
        // clang-format off
        {"a\\u00e9b", true, "a\xc3\xa9" "b"}, {"\xc3\xa9\xff", true, "\xc3\xa9\xff"},
        {"\\ud800\\udc00", true, "\xf0\x90\x80\x80"}, {"\\uDBFF\\uDFFF", true, "\xf4\x8f\xbf\xbf"},
        {"\\u007F\\u07ff\\u0800\\uffff", true, "\x7f\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
        {"\\\"\\\\\\/\\b\\f\\n\\r\\t", true, "\"\\/\b\f\n\r\t"}, {"x\\u0000", false, "x"},
        {"a\\", false, "a"}, {"ab\\u12", false, "ab"}, {"\\x0041", false, ""}, {"\\ud83d", false, ""},
        {"\\ud83d\\ue000", false, ""}, {"\\ud83d\\udbff", false, ""},
        {"ok\\ude00\\ud83d", false, "ok"}, {std::string("a\0", 2), false, "a"}};
    // clang-format on
    for (const auto& [l_Text, l_Decodes, l_Decoded] : l_Cases) {
        SCOPED_TRACE(l_Text);
        // Exactly sized, unterminated copies: any read or write beyond them is caught by ASan.
        const std::vector<char> l_Raw(l_Text.begin(), l_Text.end());
        std::vector<char> l_Out(l_Raw.size() + 1, '#');
        const char* l_pEnd = unescapeString(l_Raw.data(), l_Raw.size(), l_Out.data());
        EXPECT_EQ(l_pEnd == nullptr ? kNone : l_pEnd - l_Out.data(),
                  l_Decodes ? static_cast<long>(l_Decoded.size()) : kNone);
        EXPECT_EQ(std::string(l_Out.data()), l_Decoded);
        EXPECT_EQ(keyEquals(l_Raw.data(), l_Raw.size(), l_Decoded.c_str()), l_Decodes);
        EXPECT_FALSE(keyEquals(l_Raw.data(), l_Raw.size(), (l_Decoded + "x").c_str()));
        std::string l_Units;
        std::size_t l_At = 0;
        for (tDecodedUnit l_Unit{}; l_At < l_Raw.size(); l_At += l_Unit.rawLength) {
            l_Unit = decodeUnit(l_Raw.data() + l_At, l_Raw.size() - l_At);
            if (l_Unit.rawLength == 0) {
                break;
            }
            l_Units.append(reinterpret_cast<const char*>(l_Unit.bytes), l_Unit.byteCount);
        }
        EXPECT_EQ(l_Units, l_Decoded);
        EXPECT_EQ(l_At == l_Raw.size(), l_Decodes);
    }
    EXPECT_FALSE(keyEquals("ab", 2, "a") || keyEquals("\\u00e9", 6, "\xc3"));
}

// Tokens read with the reader's fraction flag; a full stop whatever the locale's separator.
TEST(DetailsReader, NumberToInt32) {
    constexpr std::int64_t kRefused = -0x100000000LL, kOutside = 0x80000000LL, kMin = -0x80000000LL;
    // clang-format off
    const std::pair<std::string, std::int64_t> l_Cases[] = {{"42", 42}, {"010", 8}, {"0x1F", 31},
        {"0X1f", 31}, {"0x", 0}, {"-7", -7}, {"+7", 7}, {"-", kRefused}, {"-0x10", -16}, {"09", 0},
        {"-2147483648", kMin}, {"4294967295", 4294967295LL}, {"4294967296", kOutside},
        {"-2147483649", kOutside}, {"123456789012345678901234567890", kOutside},
        {"12.7", 12}, {"-3.9", -3}, {"1.5e1", 15}, {"1e+", 1}, {"2147483647.5", 2147483647},
        {"2147483648.0", kOutside}, {"-2147483648.99", kMin}, {"-2147483649.0", kOutside},
        {"-.", kRefused}, {"1." + std::string(61, '5'), 1}, {"1." + std::string(62, '5'), kRefused}};
    // clang-format on
    const std::string l_Previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* l_pName : {"C", "de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"}) {
        if (std::setlocale(LC_NUMERIC, l_pName) == nullptr) {
            continue;
        }
        for (const auto& [l_Text, l_Expected] : l_Cases) {
            const std::vector<char> l_Token(l_Text.begin(), l_Text.end());
            tJsonValue l_Value{};
            parseNumber(l_Text.c_str(), &l_Value);
            std::uint32_t l_Out = 0xDEADBEEF;
            const bool l_Done =
                numberToInt32(l_Token.data(), l_Token.size(), l_Value.hasFraction, &l_Out);
            EXPECT_EQ(l_Done ? static_cast<std::int64_t>(l_Out) : kRefused,
                      l_Expected == kRefused ? kRefused : static_cast<std::uint32_t>(l_Expected))
                << l_Text << " in " << l_pName;
        }
    }
    std::setlocale(LC_NUMERIC, l_Previous.c_str());
    // Only the token's own bytes count, even when digits follow it in the text.
    std::uint32_t l_Value = 0;
    EXPECT_TRUE(numberToInt32(" 1234", 3, 0, &l_Value) && l_Value == 12u);
    EXPECT_TRUE(numberToInt32("1.75", 3, 1, &l_Value) && l_Value == 1u);
    EXPECT_FALSE(numberToInt32(nullptr, 1, 0, &l_Value) || numberToInt32("1", 1, 0, nullptr) ||
                 numberToInt32("1.\0005", 4, 1, &l_Value));
}

// A details buffer of a fixed capacity holding a document.
struct tBuffer {
    std::vector<char> bytes;
    tBuffer(std::size_t a_Capacity, const char* a_pText) : bytes(a_Capacity, '#') {
        EXPECT_NE(initDocument(bytes.data(), bytes.size(), a_pText), nullptr);
    }
    char* at(std::size_t a_Offset) { return bytes.data() + a_Offset; }
    char* end() { return findDocumentEnd(bytes.data()); }
    std::string text() const { return std::string(bytes.data()); }
};

TEST(DetailsBuilder, MembersLandWhereTheCursorIs) {
    // The document, the adds (answering the last cursor), and the result with '|' at that cursor.
    using tAdds = std::function<char*(tBuffer&)>;
    const std::tuple<const char*, tAdds, std::string> l_Cases[] = {
        // clang-format off
        {"{}", [](tBuffer& a_r) { return addInt(addString(a_r.end(), "file", "a"), "line", 5); }, "{\"file\":\"a\",\"line\":5|}"},
        {"{\"a\":1}", [](tBuffer& a_r) { return addUInt(addInt(a_r.at(0), "new", 2), "x", 3); }, "{\"new\":2,\"x\":3|,\"a\":1}"},
        {"{ }", [](tBuffer& a_r) { return addInt(a_r.at(0), "a", 1); }, "{\"a\":1| }"},
        {"[ ]", [](tBuffer& a_r) { return addInt(a_r.end(), nullptr, 1); }, "[ 1|]"},
        {"[ ]", [](tBuffer& a_r) { return addInt(a_r.at(0), nullptr, 1); }, "[1| ]"},
        {"{\"o\":{ }}", [](tBuffer& a_r) { return addInt(a_r.at(5), "i", 1); }, "{\"o\":{\"i\":1| }}"},
        {"{\"a\":1}", [](tBuffer& a_r) { return addInt(leaveObject(addString(enterObject(addObject(a_r.end(), "d")), "debug", "x")), "b", 2); },
         "{\"a\":1,\"d\":{\"debug\":\"x\"},\"b\":2|}"},
        {"{}", [](tBuffer& a_r) { return addInt(addObject(a_r.end(), "o"), "b", 1); }, "{\"o\":{},\"b\":1|}"},
        {"[]", [](tBuffer& a_r) { return addUInt(addInt(a_r.end(), nullptr, -2147483647 - 1), nullptr, 4294967295u); },
         "[-2147483648,4294967295|]"},
        {"[]", [](tBuffer& a_r) { return addObject(addString(addInt(a_r.end(), nullptr, -1), nullptr, ""), nullptr); },
         "[-1,\"\",{}|]"},
        {"{}", [](tBuffer& a_r) { return addString(a_r.end(), "q\"b\\t\t\x01/\xc3\xa9\xff", "\b\f\n\r\x0b\x1f\x7f"); },
         "{\"q\\\"b\\\\t\\t\\u0001/\xc3\xa9\xff\":\"\\b\\f\\n\\r\\u000b\\u001f\\u007f\"|}"}};
    // clang-format on
    for (const auto& [l_Document, l_Adds, l_Result] : l_Cases) {
        SCOPED_TRACE(l_Result);
        tBuffer l_Buffer(64, l_Document);
        const char* l_pCursor = l_Adds(l_Buffer);
        std::string l_Expected = l_Result;
        const std::size_t l_Mark = l_Expected.find('|');
        EXPECT_EQ(l_Buffer.text(), l_Expected.erase(l_Mark, 1));
        EXPECT_EQ(l_pCursor, l_Buffer.at(l_Mark));
    }
    EXPECT_EQ(escapedLength("q\"\x01\xc3\xa9\x7f"), 17u);
    EXPECT_TRUE(addString(nullptr, "k", "v") == nullptr &&
                enterObject(nullptr) == leaveObject(nullptr));
}

// An add that does not fit changes nothing; growth that makes no room ends the add.
TEST(DetailsBuilder, AnAddThatDoesNotFitChangesNothing) {
    std::vector<char> l_Three(3, '#');
    EXPECT_EQ(initDocument(l_Three.data(), 3, "{}"), nullptr);
    // The document, the smallest capacity that takes the member (with its comma), the result.
    const std::tuple<const char*, std::size_t, const char*> l_Cases[] = {
        {"{}", 9, "{\"a\":1}"}, {"{\"b\":2}", 15, "{\"b\":2,\"a\":1}"}, {"{ }", 10, "{ \"a\":1}"}};
    for (const auto& [l_Document, l_Fits, l_Result] : l_Cases) {
        SCOPED_TRACE(l_Document);
        tBuffer l_Small(l_Fits - 1, l_Document), l_Exact(l_Fits, l_Document);
        const std::vector<char> l_Unchanged = l_Small.bytes;
        EXPECT_TRUE(addInt(l_Small.end(), "a", 1) == nullptr &&
                    addObject(l_Small.end(), "a") == nullptr);
        EXPECT_EQ(l_Small.bytes, l_Unchanged);
        EXPECT_NE(addInt(l_Exact.end(), "a", 1), nullptr);
        EXPECT_EQ(l_Exact.text(), l_Result);
        EXPECT_EQ(l_Exact.bytes.back(), kDocumentEndMark);
    }
    tBuffer l_Full(4, "{}");
    const tGrowth l_Idle{[](char* a_pCursor, void*) { return a_pCursor; }, nullptr};
    EXPECT_EQ(addStringGrowing(l_Full.end(), "k", "v", l_Idle), nullptr);
    EXPECT_EQ(addUIntGrowing(l_Full.end(), "k", 1, l_Idle), nullptr);
    EXPECT_EQ(addObjectGrowing(l_Full.end(), "k", l_Idle), nullptr);
    EXPECT_EQ(addIntGrowing(l_Full.end(), "k", 1, tGrowth{nullptr, nullptr}), nullptr);
    EXPECT_EQ(addIntGrowing(nullptr, "k", 1, l_Idle), nullptr);
    EXPECT_EQ(l_Full.text(), "{}");
}

} // namespace
