// The details document: the reader's grammar, string and number decoding, and the builder.
#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>
#include <vector>

#include "status/detailsDocument.h"

using namespace nZU7461_14_0;

namespace {

constexpr long kNone = -1; // no position: a null result
constexpr std::uint32_t kS = kJsonErrorString;

// parseValue's report. A value: where it ends and its fraction flag; an error: where it is and
// its kind, given in place of the value's start and length.
void expectParsed(const std::string& a_rText, std::uint32_t a_Kind, long a_At,
                  std::uint32_t a_Detail) {
    SCOPED_TRACE(a_rText.substr(0, 40));
    const bool l_Error = a_Kind == kJsonError, l_String = a_Kind == kJsonString;
    // Exactly sized, so that a read past the terminator is caught by ASan.
    const std::vector<char> l_Text(a_rText.c_str(), a_rText.c_str() + a_rText.size() + 1);
    tJsonValue l_Value{kJsonNumber, nullptr, 0, 0, false};
    const char* l_pEnd = parseValue(l_Text.data(), &l_Value);
    EXPECT_EQ(l_pEnd == nullptr ? kNone : l_pEnd - l_Text.data(), l_Error ? kNone : a_At);
    EXPECT_EQ(l_Value.kind, a_Kind);
    EXPECT_EQ(l_Value.start - l_Text.data(), l_Error ? a_At : l_String);
    EXPECT_EQ(l_Value.length, l_Error ? a_Detail : a_At - 2 * l_String);
    EXPECT_EQ(l_Value.hasFraction, l_Error ? 0 : a_Detail);
    const bool l_Document = a_Kind == kJsonObject || a_Kind == kJsonArray;
    const char* l_pLast = findDocumentEnd(l_Text.data());
    EXPECT_EQ(l_pLast == nullptr ? kNone : l_pLast - l_Text.data(), l_Document ? a_At - 1 : kNone);
}

TEST(DetailsReader, ValuesAndFaults) {
    const long kDepth = static_cast<long>(kJsonMaxDepth);
    const std::string l_Long(5000, 'a'), l_Open(kDepth, '[');
    const std::tuple<std::string, std::uint32_t, long, std::uint32_t> l_Cases[] = {
        // clang-format off
        {"\"a\\\"\\u00e9\"x", kJsonString, 11, 0}, {"\"\xc3\xa9\xff\"", kJsonString, 5, 0},
        {"007", kJsonNumber, 3, 0}, {"-", kJsonNumber, 1, 0}, {"1.", kJsonNumber, 2, 1},
        {"1e+", kJsonNumber, 3, 1}, {"null", kJsonNull, 4, 0}, {"falsey", kJsonBoolean, 5, 0},
        {"{ \"a\" : [ 1 , {} ] }garbage", kJsonObject, 20, 0},
        {"{\"a\":[1,{\"b\":null}],\"c\":true}", kJsonObject, 29, 0},
        {l_Open + std::string(kDepth, ']'), kJsonArray, 2 * kDepth, 0},
        // Lone strings are measured only so far ahead; what lies beyond must still be read.
        {"\"" + l_Long + "\\nb\"", kJsonString, 5005, 0},
        {"", kJsonError, 0, kS}, {" {}", kJsonError, 0, kS}, {"1ex", kJsonError, 0, kS},
        {"{1:2}", kJsonError, 1, kS}, {"{\"a\":1,}", kJsonError, 7, kJsonErrorTrailingComma},
        {"{\"a\" 1}", kJsonError, 5, kJsonErrorColon}, {"[tru]", kJsonError, 1, kS},
        {"{\"a\":1 \"b\":2}", kJsonError, 7, kJsonErrorSeparator},
        {"{\"a\":1", kJsonError, 6, kJsonErrorObject}, {"{ ", kJsonError, 2, kJsonErrorObject},
        {"[1", kJsonError, 2, kJsonErrorArray}, {"[ ", kJsonError, 2, kJsonErrorArray},
        {"[1 2]", kJsonError, 3, kJsonErrorSeparator}, {"\"a\\u12G4\"", kJsonError, 6, kJsonErrorEscape},
        {"[1 , \n]", kJsonError, 6, kJsonErrorTrailingComma},
        {"{\"a\":[1,{\"b\":x}]}", kJsonError, 13, kS}, {l_Open + "[", kJsonError, kDepth, kJsonErrorDepth},
        {"{\"a\":" + l_Open, kJsonError, kDepth + 4, kJsonErrorDepth},
        {"\"" + l_Long, kJsonError, 5001, kS}, {"\"" + l_Long + "\x01\"", kJsonError, 5001, kS}};
    // clang-format on
    for (const auto& [l_Text, l_Kind, l_At, l_Detail] : l_Cases) {
        expectParsed(l_Text, l_Kind, l_At, l_Detail);
    }
}

// Strings are scanned a block at a time where the text is long enough and a byte at a time
// elsewhere: every stop byte must be found at every place around a block's edge.
TEST(DetailsReader, StringsAreReadAcrossBlockEdges) {
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
        {" { \"file\" :\t1 }", 12},  {"{\"fi\\u006ce\":5}", 13},  {"{\"files\":5}", kNone},
        {"{\"a\":x,\"file\":1}", kNone},  {"{\"a\":1 \"file\":2}", kNone},  {"{\"a\":1,}", kNone},
        {"{\"file\":garbage", 8},  {"[\"file\",1]", kNone}};
    // clang-format on
    for (const auto& [l_Text, l_At] : l_Cases) {
        const char* l_pAt = findMember(l_Text.c_str(), "file");
        EXPECT_EQ(l_pAt == nullptr ? kNone : l_pAt - l_Text.c_str(), l_At) << l_Text;
    }
}

// decodeUnit one unit at a time, unescapeString and keyEquals must read a string alike; the raw
// text, whether it decodes, and what is decoded (on failure: before the fault).
TEST(DetailsReader, StringDecodingAgrees) {
    const std::tuple<std::string, bool, std::string> l_Cases[] = {
        // clang-format off
        {"ab", true, "ab"}, {"a\\u00e9b", true, "a\xc3\xa9" "b"}, {"\xc3\xa9\xff", true, "\xc3\xa9\xff"},
        {"\\ud83d\\ude00", true, "\xf0\x9f\x98\x80"}, {"\\uDBFF\\uDFFF", true, "\xf4\x8f\xbf\xbf"},
        {"\\u007F\\u07ff\\u0800\\uffff", true, "\x7f\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
        {"\\\"\\\\\\/\\b\\f\\n\\r\\t", true, "\"\\/\b\f\n\r\t"}, {"x\\u0000", false, "x"},
        {"a\\", false, "a"}, {"ab\\u12", false, "ab"}, {"\\x", false, ""}, {"\\ud83d", false, ""},
        {"\\ud83d\\u0041", false, ""}, {"\\ud83d\\ue000", false, ""}, {"\\ud83d\\udbff", false, ""},
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

// Each token is read with the fraction flag the reader gives it, as a document's numbers are; the
// document writes a full stop whatever the locale's decimal separator.
TEST(DetailsReader, NumberToInt32) {
    constexpr std::int64_t kRefused = -0x100000000LL, kOutside = 0x80000000LL, kMin = -0x80000000LL;
    // clang-format off
    const std::pair<std::string, std::int64_t> l_Cases[] = {{"42", 42}, {"010", 8}, {"0x1F", 31},
        {"0X1f", 31}, {"0x", 0}, {"-7", -7}, {"+7", 7}, {"-", kRefused}, {"-0x10", -16}, {"09", 0},
        {"-2147483648", kMin}, {"4294967295", 4294967295LL}, {"4294967296", kOutside},
        {"-2147483649", kOutside}, {"123456789012345678901234567890", kOutside},
        {std::string(100, '0') + "7", 7}, {"12.7", 12}, {"-3.9", -3}, {"1.5e1", 15}, {"1e+", 1},
        {"-3e9", kOutside}, {"2147483647.5", 2147483647}, {"2147483648.0", kOutside},
        {"-2147483648.5", kMin}, {"-2147483648.99", kMin}, {"-2147483649.0", kOutside},
        {"-2147483649.5", kOutside}, {"-.", kRefused}, {"1." + std::string(61, '5'), 1},
        {"1." + std::string(62, '5'), kRefused}};
    // clang-format on
    const std::string l_Previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* l_pName : {"C", "de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"}) {
        for (const auto& [l_Text, l_Expected] : l_Cases) {
            if (std::setlocale(LC_NUMERIC, l_pName) == nullptr) {
                break;
            }
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

// An add that does not fit changes nothing; a growth that makes no room ends the add instead of
// trying for ever.
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
