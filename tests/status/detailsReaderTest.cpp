#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "status/detailsDocument.h"

using namespace nZU7461_14_0;

namespace {

// Offsets stand for positions in the text; -1 for "no position" (a null result).
constexpr long kNone = -1;

// What parseValue reports; an error gives the position of the fault and the error kind in
// place of start and length, and no end.
struct tParseCase {
    std::string text;
    std::uint32_t kind;
    long start;
    std::uint64_t length;
    long end;
    std::uint8_t hasFraction;
};

void expectParsed(const tParseCase& a_rCase) {
    SCOPED_TRACE(a_rCase.text.substr(0, 40));
    // Exactly sized, so that a read past the terminator is caught by ASan.
    const std::vector<char> l_Text(a_rCase.text.c_str(),
                                   a_rCase.text.c_str() + a_rCase.text.size() + 1);
    tJsonValue l_Value{};
    l_Value.kind = kJsonNumber;
    const char* l_pEnd = parseValue(l_Text.data(), &l_Value);
    EXPECT_EQ(l_pEnd == nullptr ? kNone : l_pEnd - l_Text.data(), a_rCase.end);
    EXPECT_EQ(l_Value.kind, a_rCase.kind);
    EXPECT_EQ(l_Value.start - l_Text.data(), a_rCase.start);
    EXPECT_EQ(l_Value.length, a_rCase.length);
    EXPECT_EQ(l_Value.hasFraction, a_rCase.hasFraction);
    // A document is an object or an array; findDocumentEnd answers its closing bracket.
    const bool l_Document = a_rCase.kind == kJsonObject || a_rCase.kind == kJsonArray;
    const char* l_pLast = findDocumentEnd(l_Text.data());
    EXPECT_EQ(l_pLast == nullptr ? kNone : l_pLast - l_Text.data(),
              l_Document ? a_rCase.end - 1 : kNone);
}

TEST(DetailsReader, ValuesAreDescribed) {
    const long kDepth = static_cast<long>(kJsonMaxDepth);
    const struct {
        std::string text;
        std::uint32_t kind;
        long end; // the value starts at 0, a string's bytes at 1
        std::uint8_t hasFraction;
    } l_Cases[] = {
        // clang-format off
        {"\"a\\\"\\u00e9\"x", kJsonString, 11, 0}, {"\"\xc3\xa9\xff\"", kJsonString, 5, 0},
        {"007", kJsonNumber, 3, 0}, {"-", kJsonNumber, 1, 0}, {"1.", kJsonNumber, 2, 1},
        {"1e+", kJsonNumber, 3, 1}, {"null", kJsonNull, 4, 0}, {"falsey", kJsonBoolean, 5, 0},
        {"{ \"a\" : [ 1 , {} ] }garbage", kJsonObject, 20, 0},
        {"{\"a\":[1,{\"b\":null}],\"c\":true}", kJsonObject, 29, 0},
        {std::string(kDepth, '[') + std::string(kDepth, ']'), kJsonArray, 2 * kDepth, 0},
        // Lone strings are measured only so far ahead; what lies beyond must still be read.
        {"\"" + std::string(5000, 'a') + "\\nb\"", kJsonString, 5005, 0}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        const long l_Start = l_Case.kind == kJsonString ? 1 : 0;
        const std::uint64_t l_Length = static_cast<std::uint64_t>(l_Case.end - 2 * l_Start);
        expectParsed({l_Case.text, l_Case.kind, l_Start, l_Length, l_Case.end, l_Case.hasFraction});
    }
}

TEST(DetailsReader, FaultsAreReportedWhereTheyAre) {
    const long kDepth = static_cast<long>(kJsonMaxDepth);
    const std::string l_Long(5000, 'a');
    const struct {
        std::string text;
        long at;
        std::uint32_t fault;
    } l_Cases[] = {// clang-format off
        {"", 0, kJsonErrorString}, {" {}", 0, kJsonErrorString}, {"1ex", 0, kJsonErrorString},
        {"{1:2}", 1, kJsonErrorString}, {"{\"a\":1,}", 7, kJsonErrorTrailingComma},
        {"{\"a\" 1}", 5, kJsonErrorColon}, {"{\"a\":1 \"b\":2}", 7, kJsonErrorSeparator},
        {"{\"a\":1", 6, kJsonErrorObject}, {"[1", 2, kJsonErrorArray},
        {"[1 2]", 3, kJsonErrorSeparator},
        {"[1 , \n]", 6, kJsonErrorTrailingComma}, {"[tru]", 1, kJsonErrorString},
        {"\"a\\u12G4\"", 6, kJsonErrorEscape}, {"{\"a\":[1,{\"b\":x}]}", 13, kJsonErrorString},
        {std::string(kDepth + 1, '['), kDepth, kJsonErrorDepth},
        {"{\"a\":" + std::string(kDepth, '['), kDepth + 4, kJsonErrorDepth},
        {"\"" + l_Long, 5001, kJsonErrorString},
        {"\"" + l_Long + "\x01\"", 5001, kJsonErrorString}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        expectParsed({l_Case.text, kJsonError, l_Case.at, l_Case.fault, kNone, 0});
    }
}

// Strings are scanned a block at a time where the text is long enough and a byte at a time
// elsewhere: every kind of stop byte must be found at every place around a block's edge, and a
// run of plain bytes passed over whole, in a lone string and in a document.
TEST(DetailsReader, StringsAreReadAcrossBlockEdges) {
    const struct {
        std::string tail;
        long faultAt;         // from the tail's start; kNone when the string ends well
        std::uint64_t result; // raw bytes the tail adds to the string, or the error kind
    } l_Tails[] = {           // clang-format off
        {"\"", kNone, 0}, {"\\n\"", kNone, 2}, {"\\u00e9" + std::string(20, 'b') + "\"", kNone, 26},
        {std::string(18, '\\') + "\"", kNone, 18}, {"\x01\"", 0, kJsonErrorString},
        {"\x1f\"", 0, kJsonErrorString}, {"\x7f\"", 0, kJsonErrorString},
        {"\\q\"", 1, kJsonErrorEscape}, {"", 0, kJsonErrorString}};
    // clang-format on
    for (const std::size_t l_Run : {0, 1, 14, 15, 16, 17, 30, 31, 32, 33, 47}) {
        std::string l_Plain;
        for (std::size_t l_Index = 0; l_Index < l_Run; ++l_Index) {
            l_Plain += "a \x80\xff"[l_Index % 4];
        }
        for (const auto& l_Tail : l_Tails) {
            SCOPED_TRACE(testing::Message() << l_Run << " plain bytes, then " << l_Tail.tail);
            const std::string l_String = "\"" + l_Plain + l_Tail.tail;
            const long l_End = static_cast<long>(l_String.size());
            const long l_At = static_cast<long>(1 + l_Run) + l_Tail.faultAt;
            if (l_Tail.faultAt == kNone) {
                expectParsed({l_String, kJsonString, 1, l_Run + l_Tail.result, l_End, 0});
                expectParsed({"{\"k\":" + l_String + "}", kJsonObject, 0, l_String.size() + 6,
                              l_End + 6, 0});
            } else {
                expectParsed({l_String, kJsonError, l_At, l_Tail.result, kNone, 0});
                expectParsed({"{\"k\":" + l_String, kJsonError, l_At + 5, l_Tail.result, kNone, 0});
            }
        }
    }
}

TEST(DetailsReader, FindMemberSearchesOnlyTheRootObject) {
    // clang-format off
    const std::pair<std::string, long> l_Cases[] = {
        {"{\"file\":\"x\",\"line\":3}", 8},  {"{\"line\":3,\"file\":\"x\"}", 17},  {"{}", kNone},
        {"{\"a\":{\"file\":\"x\"}}", kNone},  {"{\"file\":1,\"file\":2}", 8},
        {" { \"file\" :\t1 }", 12},
        {"{\"fi\\u006ce\":5}", 13},  {"{\"files\":5}", kNone},  {"{\"a\":x,\"file\":1}", kNone},
        {"{\"a\":1 \"file\":2}", kNone},  {"{\"a\":1,}", kNone},  {"{\"file\":garbage", 8},
        {"[\"file\",1]", kNone}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        const char* l_pAt = findMember(l_Case.first.c_str(), "file");
        EXPECT_EQ(l_pAt == nullptr ? kNone : l_pAt - l_Case.first.c_str(), l_Case.second)
            << l_Case.first;
    }
}

TEST(DetailsReader, UnescapeStringAndKeyEqualsAgree) {
    const struct {
        std::string raw;
        bool decodes;
        std::string decoded; // on failure: what was decoded before it
    } l_Cases[] = {          // clang-format off
        {"a\\u00e9b", true, "a\xc3\xa9" "b"},  {"\\ud83d\\ude00", true, "\xf0\x9f\x98\x80"},
        {"\\u007F\\u07ff\\u0800\\uffff", true, "\x7f\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
        {"\\\"\\\\\\/\\b\\f\\n\\r\\t", true, "\"\\/\b\f\n\r\t"},
        {"\xc3\xa9\xff", true, "\xc3\xa9\xff"}, {"x\\u0000", false, "x"},  {"a\\", false, "a"},
        {"ab\\u12", false, "ab"},  {"\\x", false, ""},
        {"\\ud83d", false, ""},  {"\\ud83d\\u0041", false, ""},  {"ok\\ude00\\ud83d", false, "ok"},
        {std::string("a\0", 2), false, "a"}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.raw);
        // Exactly sized, unterminated copies: any read or write beyond them is caught by ASan.
        const std::vector<char> l_Raw(l_Case.raw.begin(), l_Case.raw.end());
        std::vector<char> l_Out(l_Raw.size() + 1, '#');
        const char* l_pEnd = unescapeString(l_Raw.data(), l_Raw.size(), l_Out.data());
        EXPECT_EQ(l_pEnd == nullptr ? kNone : l_pEnd - l_Out.data(),
                  l_Case.decodes ? static_cast<long>(l_Case.decoded.size()) : kNone);
        EXPECT_EQ(std::string(l_Out.data()), l_Case.decoded);
        EXPECT_EQ(keyEquals(l_Raw.data(), l_Raw.size(), l_Case.decoded.c_str()), l_Case.decodes);
        EXPECT_FALSE(keyEquals(l_Raw.data(), l_Raw.size(), (l_Case.decoded + "x").c_str()));
    }
    EXPECT_FALSE(keyEquals("ab", 2, "a"));
    EXPECT_FALSE(keyEquals("\\u00e9", 6, "\xc3"));
}

constexpr std::int64_t kRefused = -0x100000000LL;
constexpr std::int64_t kOutside = 0x80000000LL;

// Each token is read with the fraction flag the reader gives it, as a document's numbers are.
void expectNumbers(const std::vector<std::pair<std::string, std::int64_t>>& a_rCases) {
    for (const auto& l_Case : a_rCases) {
        const std::vector<char> l_Token(l_Case.first.begin(), l_Case.first.end());
        tJsonValue l_Value{};
        parseNumber(l_Case.first.c_str(), &l_Value);
        std::uint32_t l_Out = 0xDEADBEEF;
        const bool l_Converted =
            numberToInt32(l_Token.data(), l_Token.size(), l_Value.hasFraction, &l_Out);
        EXPECT_EQ(l_Converted ? static_cast<std::int64_t>(l_Out) : kRefused,
                  l_Case.second == kRefused ? kRefused : static_cast<std::uint32_t>(l_Case.second))
            << l_Case.first;
    }
}

TEST(DetailsReader, NumberToInt32) {
    // clang-format off
    expectNumbers({{"42", 42}, {"010", 8}, {"0x1F", 31}, {"-7", -7}, {"-", kRefused},
                   {"-2147483648", -2147483647LL - 1}, {"4294967295", 4294967295LL},
                   {"4294967296", kOutside}, {"-2147483649", kOutside},
                   {"123456789012345678901234567890", kOutside}, {std::string(100, '0') + "7", 7},
                   {"12.7", 12}, {"-3.9", -3}, {"1.5e1", 15}, {"1e+", 1}, {"-3e9", kOutside},
                   {"2147483647.5", 2147483647}, {"2147483648.5", kOutside},
                   {"-2147483648.5", -2147483647LL - 1}, {"-2147483649.5", kOutside},
                   {"-2147483649.0", kOutside}, {"2147483648.0", kOutside},
                   {"-.", kRefused}, {"1." + std::string(70, '5'), kRefused}});
    // clang-format on
    // Only the token's own bytes count, even when digits follow it in the text.
    std::uint32_t l_Value = 0;
    EXPECT_TRUE(numberToInt32("1234", 2, 0, &l_Value) && l_Value == 12u);
    EXPECT_TRUE(numberToInt32("1.75", 3, 1, &l_Value) && l_Value == 1u);
}

TEST(DetailsReader, NumberToInt32InACommaDecimalLocale) {
    const std::string l_Previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* l_pName : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "German"}) {
        char l_Probe[16] = {};
        if (std::setlocale(LC_NUMERIC, l_pName) != nullptr &&
            std::snprintf(l_Probe, sizeof l_Probe, "%.1f", 1.5) > 0 && l_Probe[1] == ',') {
            expectNumbers({{"12.7", 12}, {"-3.9e0", -3}, {"1.5e1", 15}, {"42", 42}});
            std::setlocale(LC_NUMERIC, l_Previous.c_str());
            return;
        }
    }
    std::setlocale(LC_NUMERIC, l_Previous.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed";
}

} // namespace
