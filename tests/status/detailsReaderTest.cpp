#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
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

struct tErrorCase {
    std::string text;
    std::uint32_t kind;
    long at;
};

TEST(DetailsReader, MalformedTextsReportKindAndPosition) {
    const std::vector<tErrorCase> l_Cases = {
        {"xyz", kJsonErrorString, 0},
        {"{\"a\":1,}", kJsonErrorTrailingComma, 7},
        {"{\"a\" 1}", kJsonErrorColon, 5},
        {"{\"a\":1 \"b\":2}", kJsonErrorSeparator, 7},
        {"{\"a\":1", kJsonErrorObject, 6},
        {"{\"a\":}", kJsonErrorString, 5},
        {"{1:2}", kJsonErrorString, 1},
        {"\"ab", kJsonErrorString, 3},
        {"\"a\\qb\"", kJsonErrorEscape, 3},
        {"\"a\\u12G4\"", kJsonErrorEscape, 6},
        {"\"a\\", kJsonErrorEscape, 3},
        {"\"a\x01\"", kJsonErrorString, 2},
        {"\"a\x7f\"", kJsonErrorString, 2},
        {"[1,]", kJsonErrorTrailingComma, 3},
        {"[1 , \n]", kJsonErrorTrailingComma, 6},
        {"[1 2]", kJsonErrorSeparator, 3},
        {"[tru]", kJsonErrorString, 1},
        {"1e", kJsonErrorString, 0},
        {"{\"a\":[1,{\"b\":x}]}", kJsonErrorString, 13},
        {std::string(kJsonMaxDepth + 1, '['), kJsonErrorDepth, static_cast<long>(kJsonMaxDepth)},
        {"{\"a\":" + std::string(kJsonMaxDepth, '['), kJsonErrorDepth,
         static_cast<long>(kJsonMaxDepth + 4)},
        // Lone strings are measured only so far ahead; faults beyond that must still be found.
        {"\"" + std::string(5000, 'a'), kJsonErrorString, 5001},
        {"\"" + std::string(4100, 'a') + "\x01\"", kJsonErrorString, 4101},
        {"\"" + std::string(4094, 'a') + "\\", kJsonErrorEscape, 4096},
    };
    for (const tErrorCase& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.text.substr(0, 40));
        tJsonValue l_Value{};
        l_Value.kind = kJsonNumber;
        EXPECT_EQ(parseValue(l_Case.text.c_str(), &l_Value), nullptr);
        EXPECT_EQ(l_Value.kind, kJsonError);
        EXPECT_EQ(l_Value.length, l_Case.kind);
        EXPECT_EQ(offsetIn(l_Case.text, l_Value.start), l_Case.at);
        EXPECT_EQ(findDocumentEnd(l_Case.text.c_str()), nullptr);
    }
}

struct tValueCase {
    std::string text;
    std::uint32_t kind;
    long start;
    std::uint64_t length;
    std::uint8_t hasFraction;
    long end;
};

TEST(DetailsReader, ValuesAreDescribed) {
    const std::vector<tValueCase> l_Cases = {
        {"\"abc\"", kJsonString, 1, 3, 0, 5},
        {"\"a\\\"\\u00e9\"x", kJsonString, 1, 9, 0, 11},
        {"\"\xc3\xa9\xff\"", kJsonString, 1, 3, 0, 5},
        {"\"" + std::string(5000, 'a') + "\\nb\"", kJsonString, 1, 5003, 0, 5005},
        {"\"" + std::string(4094, 'a') + "\"", kJsonString, 1, 4094, 0, 4096},
        {"007", kJsonNumber, 0, 3, 0, 3},
        {"-", kJsonNumber, 0, 1, 0, 1},
        {"1.", kJsonNumber, 0, 2, 1, 2},
        {"1e+", kJsonNumber, 0, 3, 1, 3},
        {"2.5", kJsonNumber, 0, 3, 1, 3},
        {"3e2,", kJsonNumber, 0, 3, 1, 3},
        {"null", kJsonNull, 0, 4, 0, 4},
        {"falsey", kJsonBoolean, 0, 5, 0, 5},
        {"{ \"a\" : [ 1 , {} ] }", kJsonObject, 0, 20, 0, 20},
        {"[]", kJsonArray, 0, 2, 0, 2},
        {std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']'), kJsonArray, 0,
         2 * kJsonMaxDepth, 0, 2 * kJsonMaxDepth},
    };
    for (const tValueCase& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.text.substr(0, 40));
        tJsonValue l_Value{};
        EXPECT_EQ(offsetIn(l_Case.text, parseValue(l_Case.text.c_str(), &l_Value)), l_Case.end);
        EXPECT_EQ(l_Value.kind, l_Case.kind);
        EXPECT_EQ(offsetIn(l_Case.text, l_Value.start), l_Case.start);
        EXPECT_EQ(l_Value.length, l_Case.length);
        EXPECT_EQ(l_Value.hasFraction, l_Case.hasFraction);
    }
    tJsonValue l_Value{};
    EXPECT_EQ(parseNumber("1ex", &l_Value), nullptr);
    ASSERT_NE(parseBoolean("true", &l_Value), nullptr);
    EXPECT_TRUE(l_Value.booleanValue);
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
    struct tCase {
        std::string document;
        const char* key;
        long at;
    };
    const std::vector<tCase> l_Cases = {
        {"{\"file\":\"x\",\"line\":3}", "file", 8},
        {"{\"file\":\"x\",\"line\":3}", "line", 19},
        {"{\"a\":{\"file\":\"x\"}}", "file", kNone},
        {"{}", "file", kNone},
        {"{\"file\":1,\"file\":2}", "file", 8},
        {" { \"file\" :\t1 }", "file", 12},
        {"{\"fi\\u006ce\":5}", "file", 13},
        {"{\"files\":5}", "file", kNone},
        {"{\"a\":x,\"file\":1}", "file", kNone},
        {"{\"a\":1 \"file\":2}", "file", kNone},
        {"{\"file\":garbage", "file", 8},
        {"[\"file\",1]", "file", kNone},
    };
    for (const tCase& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.document);
        EXPECT_EQ(offsetIn(l_Case.document, findMember(l_Case.document.c_str(), l_Case.key)),
                  l_Case.at);
    }
}

TEST(DetailsReader, UnescapeStringAndKeyEqualsAgree) {
    struct tCase {
        std::string raw;
        bool decodes;
        std::string decoded; // on failure: what was decoded before it
    };
    const std::vector<tCase> l_Cases = {
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
    for (const tCase& l_Case : l_Cases) {
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
    }
    EXPECT_FALSE(keyEquals("ab", 2, "a"));
    EXPECT_FALSE(keyEquals("a", 1, "ab"));
    EXPECT_FALSE(keyEquals("\\u00e9", 6, "\xc3"));
}

struct tNumberCase {
    std::string token;
    std::uint8_t hasFraction;
    bool converts;
    std::uint32_t value;
};

void expectNumbers(const std::vector<tNumberCase>& a_rCases) {
    for (const tNumberCase& l_Case : a_rCases) {
        SCOPED_TRACE(l_Case.token);
        const std::vector<char> l_Token(l_Case.token.begin(), l_Case.token.end());
        std::uint32_t l_Value = 0xDEADBEEF;
        EXPECT_EQ(numberToInt32(l_Token.data(), l_Token.size(), l_Case.hasFraction, &l_Value),
                  l_Case.converts);
        if (l_Case.converts) {
            EXPECT_EQ(l_Value, l_Case.value);
        }
    }
}

TEST(DetailsReader, NumberToInt32) {
    expectNumbers({
        {"42", 0, true, 42},
        {"010", 0, true, 8},
        {"0x1F", 0, true, 31},
        {"-7", 0, true, 0xFFFFFFF9u},
        {"-2147483648", 0, true, 0x80000000u},
        {"4294967295", 0, true, 0xFFFFFFFFu},
        {"4294967296", 0, true, 0x80000000u},
        {"-2147483649", 0, true, 0x80000000u},
        {"123456789012345678901234567890", 0, true, 0x80000000u},
        {std::string(100, '0') + "7", 0, true, 7},
        {"-", 0, false, 0},
        {"12.7", 1, true, 12},
        {"-3.9", 1, true, 0xFFFFFFFDu},
        {"1e+", 1, true, 1},
        {"3e9", 1, true, 0x80000000u},
        {"-.", 1, false, 0},
        {"1." + std::string(70, '5'), 1, false, 0},
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
    const char* l_pLocale = nullptr;
    for (const char* l_pName :
         {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "de-DE", "German"}) {
        if (std::setlocale(LC_NUMERIC, l_pName) != nullptr) {
            char l_Probe[16];
            std::snprintf(l_Probe, sizeof l_Probe, "%.1f", 1.5);
            if (l_Probe[1] == ',') {
                l_pLocale = l_pName;
                break;
            }
        }
    }
    if (l_pLocale == nullptr) {
        std::setlocale(LC_NUMERIC, l_Previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    expectNumbers({{"12.7", 1, true, 12}, {"-3.9e0", 1, true, 0xFFFFFFFDu}, {"42", 0, true, 42}});
    std::setlocale(LC_NUMERIC, l_Previous.c_str());
}

} // namespace
