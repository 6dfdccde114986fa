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

long offsetIn(const std::string& a_rText, const char* a_pAt) {
    return a_pAt == nullptr ? kNone : static_cast<long>(a_pAt - a_rText.c_str());
}

// What parseValue reports: for an error, the position of the fault and the error kind in place
// of start and length, and no end.
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
    const std::vector<char> l_Copy(a_rCase.text.c_str(),
                                   a_rCase.text.c_str() + a_rCase.text.size() + 1);
    tJsonValue l_Value{};
    l_Value.kind = kJsonNumber;
    const char* l_pEnd = parseValue(l_Copy.data(), &l_Value);
    EXPECT_EQ(l_pEnd == nullptr ? kNone : l_pEnd - l_Copy.data(), a_rCase.end);
    EXPECT_EQ(l_Value.kind, a_rCase.kind);
    EXPECT_EQ(l_Value.start - l_Copy.data(), a_rCase.start);
    EXPECT_EQ(l_Value.length, a_rCase.length);
    EXPECT_EQ(l_Value.hasFraction, a_rCase.hasFraction);
}

TEST(DetailsReader, ValuesAndFaultsAreDescribed) {
    const long kDepth = static_cast<long>(kJsonMaxDepth);
    const tParseCase l_Cases[] = {
        {"\"a\\\"\\u00e9\"x", kJsonString, 1, 9, 11, 0},
        {"\"\xc3\xa9\xff\"", kJsonString, 1, 3, 5, 0},
        {"007", kJsonNumber, 0, 3, 3, 0},
        {"-", kJsonNumber, 0, 1, 1, 0},
        {"1.", kJsonNumber, 0, 2, 2, 1},
        {"1e+", kJsonNumber, 0, 3, 3, 1},
        {"3e2,", kJsonNumber, 0, 3, 3, 1},
        {"null", kJsonNull, 0, 4, 4, 0},
        {"falsey", kJsonBoolean, 0, 5, 5, 0},
        {"{ \"a\" : [ 1 , {} ] }", kJsonObject, 0, 20, 20, 0},
        {std::string(kDepth, '[') + std::string(kDepth, ']'), kJsonArray, 0, 2 * kJsonMaxDepth,
         2 * kDepth, 0},
        {"xyz", kJsonError, 0, kJsonErrorString, kNone, 0},
        {"1ex", kJsonError, 0, kJsonErrorString, kNone, 0},
        {"{\"a\":1,}", kJsonError, 7, kJsonErrorTrailingComma, kNone, 0},
        {"{\"a\" 1}", kJsonError, 5, kJsonErrorColon, kNone, 0},
        {"{\"a\":1 \"b\":2}", kJsonError, 7, kJsonErrorSeparator, kNone, 0},
        {"{\"a\":1", kJsonError, 6, kJsonErrorObject, kNone, 0},
        {"{1:2}", kJsonError, 1, kJsonErrorString, kNone, 0},
        {"\"a\\u12G4\"", kJsonError, 6, kJsonErrorEscape, kNone, 0},
        {"[1 , \n]", kJsonError, 6, kJsonErrorTrailingComma, kNone, 0},
        {"[1 2]", kJsonError, 3, kJsonErrorSeparator, kNone, 0},
        {"[1", kJsonError, 2, kJsonErrorArray, kNone, 0},
        {"[tru]", kJsonError, 1, kJsonErrorString, kNone, 0},
        {"{\"a\":[1,{\"b\":x}]}", kJsonError, 13, kJsonErrorString, kNone, 0},
        {std::string(kDepth + 1, '['), kJsonError, kDepth, kJsonErrorDepth, kNone, 0},
        {"{\"a\":" + std::string(kDepth, '['), kJsonError, kDepth + 4, kJsonErrorDepth, kNone, 0},
        // Lone strings are measured only so far ahead; what lies beyond must still be read.
        {"\"" + std::string(5000, 'a') + "\\nb\"", kJsonString, 1, 5003, 5005, 0},
        {"\"" + std::string(5000, 'a'), kJsonError, 5001, kJsonErrorString, kNone, 0},
        {"\"" + std::string(4100, 'a') + "\x01\"", kJsonError, 4101, kJsonErrorString, kNone, 0},
    };
    for (const tParseCase& l_Case : l_Cases) {
        expectParsed(l_Case);
    }
}

// Strings are scanned a block at a time where the text is long enough and a byte at a time
// elsewhere: every kind of stop byte must be found at every place around a block's edge, and a
// run of plain bytes must be passed over whole, alone and inside a document.
TEST(DetailsReader, StringsAreReadAcrossBlockEdges) {
    const std::string l_Plain = "a \x80\xff";
    const struct {
        std::string tail;
        bool ends;           // the string is complete
        long faultAt;        // from the tail's start, when it does not end
        std::uint32_t fault; // the error kind
        std::size_t moreRaw; // raw bytes the tail adds to the string, when it ends
    } l_Tails[] = {
        {"\"", true, 0, 0, 0},
        {"\\n\"", true, 0, 0, 2},
        {"\\u00e9" + std::string(20, 'b') + "\"", true, 0, 0, 26},
        {"\\\\" + std::string(16, '\\') + "\"", true, 0, 0, 18},
        {"\x01\"", false, 0, kJsonErrorString, 0},
        {"\x1f\"", false, 0, kJsonErrorString, 0},
        {"\x7f\"", false, 0, kJsonErrorString, 0},
        {"\\q\"", false, 1, kJsonErrorEscape, 0},
        {"", false, 0, kJsonErrorString, 0},
    };
    for (const std::size_t l_Run : {0, 1, 14, 15, 16, 17, 30, 31, 32, 33, 47}) {
        std::string l_Bytes;
        for (std::size_t l_Index = 0; l_Index < l_Run; ++l_Index) {
            l_Bytes += l_Plain[l_Index % l_Plain.size()];
        }
        for (const auto& l_Tail : l_Tails) {
            const std::string l_String = "\"" + l_Bytes + l_Tail.tail;
            const long l_TailAt = static_cast<long>(1 + l_Run);
            const long l_End = static_cast<long>(l_String.size());
            SCOPED_TRACE(testing::Message() << l_Run << " plain bytes, then " << l_Tail.tail);
            if (l_Tail.ends) {
                expectParsed({l_String, kJsonString, 1, l_Run + l_Tail.moreRaw, l_End, 0});
                expectParsed({"{\"k\":" + l_String + "}", kJsonObject, 0, l_String.size() + 6,
                              l_End + 6, 0});
            } else {
                const long l_At = l_TailAt + l_Tail.faultAt;
                expectParsed({l_String, kJsonError, l_At, l_Tail.fault, kNone, 0});
                expectParsed({"{\"k\":" + l_String, kJsonError, l_At + 5, l_Tail.fault, kNone, 0});
            }
        }
    }
}

TEST(DetailsReader, FindDocumentEnd) {
    const std::vector<std::pair<std::string, long>> l_Cases = {
        {"{}", 1},
        {"[]", 1},
        {"{\"a\":1}garbage", 6},
        {"[1,]", kNone},
        {" {}", kNone},
        {"", kNone},
        {"\"a\"", kNone},
        {"{\"a\":[1,{\"b\":null}],\"c\":true}", 28},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.first);
        EXPECT_EQ(offsetIn(l_Case.first, findDocumentEnd(l_Case.first.c_str())), l_Case.second);
    }
}

TEST(DetailsReader, FindMemberSearchesOnlyTheRootObject) {
    const struct {
        std::string document;
        long at;
    } l_Cases[] = {
        {"{\"file\":\"x\",\"line\":3}", 8},
        {"{\"line\":3,\"file\":\"x\"}", 17},
        {"{\"a\":{\"file\":\"x\"}}", kNone},
        {"{}", kNone},
        {"{\"file\":1,\"file\":2}", 8},
        {" { \"file\" :\t1 }", 12},
        {"{\"fi\\u006ce\":5}", 13},
        {"{\"files\":5}", kNone},
        {"{\"a\":x,\"file\":1}", kNone},
        {"{\"a\":1 \"file\":2}", kNone},
        {"{\"a\":1,}", kNone},
        {"{\"file\":garbage", 8},
        {"[\"file\",1]", kNone},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.document);
        EXPECT_EQ(offsetIn(l_Case.document, findMember(l_Case.document.c_str(), "file")),
                  l_Case.at);
    }
}

TEST(DetailsReader, UnescapeStringAndKeyEqualsAgree) {
    const struct {
        std::string raw;
        bool decodes;
        std::string decoded; // on failure: what was decoded before it
    } l_Cases[] = {
        {"a\\u00e9b", true,
         "a\xc3\xa9"
         "b"},
        {"\\ud83d\\ude00", true, "\xf0\x9f\x98\x80"},
        {"\\u007F\\u07ff\\u0800\\uffff", true, "\x7f\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
        {"\\\"\\\\\\/\\b\\f\\n\\r\\t", true, "\"\\/\b\f\n\r\t"},
        {"\xc3\xa9\xff", true, "\xc3\xa9\xff"},
        {"x\\u0000", false, "x"},
        {"a\\", false, "a"},
        {"ab\\u12", false, "ab"},
        {"\\x", false, ""},
        {"\\ud83d", false, ""},
        {"\\ud83d\\u0041", false, ""},
        {"ok\\ude00\\ud83d", false, "ok"},
        {std::string("a\0b", 3), false, "a"},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.raw);
        // Exactly sized, unterminated copies: any read or write beyond them is caught by ASan.
        const std::vector<char> l_Raw(l_Case.raw.begin(), l_Case.raw.end());
        std::vector<char> l_Out(l_Raw.size() + 1, '#');
        char* l_pEnd = unescapeString(l_Raw.data(), l_Raw.size(), l_Out.data());
        EXPECT_EQ(l_pEnd != nullptr, l_Case.decodes);
        EXPECT_EQ(std::string(l_Out.data()), l_Case.decoded);
        if (l_pEnd != nullptr) {
            EXPECT_EQ(l_pEnd, l_Out.data() + l_Case.decoded.size());
        }
        EXPECT_EQ(keyEquals(l_Raw.data(), l_Raw.size(), l_Case.decoded.c_str()), l_Case.decodes);
        EXPECT_FALSE(keyEquals(l_Raw.data(), l_Raw.size(), (l_Case.decoded + "x").c_str()));
    }
    EXPECT_FALSE(keyEquals("ab", 2, "a"));
    EXPECT_FALSE(keyEquals("\\u00e9", 6, "\xc3"));
}

void expectNumbers(const std::vector<std::pair<std::string, std::int64_t>>& a_rCases) {
    for (const auto& l_Case : a_rCases) {
        SCOPED_TRACE(l_Case.first);
        const std::vector<char> l_Token(l_Case.first.begin(), l_Case.first.end());
        tJsonValue l_Value{};
        // The fraction flag comes from the reader, as it does for a document's numbers.
        const std::uint8_t l_Fraction =
            parseNumber(l_Case.first.c_str(), &l_Value) != nullptr ? l_Value.hasFraction : 0;
        std::uint32_t l_Out = 0xDEADBEEF;
        EXPECT_EQ(numberToInt32(l_Token.data(), l_Token.size(), l_Fraction, &l_Out),
                  l_Case.second >= -0xFFFFFFFFLL);
        if (l_Case.second >= -0xFFFFFFFFLL) {
            EXPECT_EQ(l_Out, static_cast<std::uint32_t>(l_Case.second));
        }
    }
}

constexpr std::int64_t kRefused = -0x100000000LL;
constexpr std::int64_t kOutside = 0x80000000LL;

TEST(DetailsReader, NumberToInt32) {
    expectNumbers({
        {"42", 42},
        {"010", 8},
        {"0x1F", 31},
        {"-7", -7},
        {"-2147483648", -2147483647LL - 1},
        {"4294967295", 4294967295LL},
        {"4294967296", kOutside},
        {"-2147483649", kOutside},
        {"123456789012345678901234567890", kOutside},
        {std::string(100, '0') + "7", 7},
        {"-", kRefused},
        {"12.7", 12},
        {"-3.9", -3},
        {"1.5e1", 15},
        {"1e+", 1},
        {"2147483647.5", 2147483647},
        {"2147483648.5", kOutside},
        {"-2147483648.5", -2147483647LL - 1},
        {"-2147483649.5", kOutside},
        {"-3e9", kOutside},
        {"-.", kRefused},
        {"1." + std::string(70, '5'), kRefused},
    });
    // Only the token's own bytes count, even when digits follow it in the text.
    std::uint32_t l_Value = 0;
    ASSERT_TRUE(numberToInt32("1234", 2, 0, &l_Value));
    EXPECT_EQ(l_Value, 12u);
    ASSERT_TRUE(numberToInt32("1.75", 3, 1, &l_Value));
    EXPECT_EQ(l_Value, 1u);
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
