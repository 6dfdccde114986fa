#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "status/detailsDocument.h"

using namespace nZU7461_14_0;

namespace {

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

TEST(DetailsBuilder, InitDocument) {
    std::vector<char> l_Three(3, '#');
    EXPECT_EQ(initDocument(l_Three.data(), 3, "{}"), nullptr);
    EXPECT_EQ(std::string(l_Three.begin(), l_Three.end()), "###");

    tBuffer l_Four(4, "{}");
    EXPECT_EQ(l_Four.end(), l_Four.at(1));
    EXPECT_EQ(std::string(l_Four.bytes.begin(), l_Four.bytes.end()), std::string("{}\0J", 4));

    // Without a text, the buffer's own text is kept and everything behind it cleared.
    std::vector<char> l_Old = {'{', '}', '\0', 'x', 'y', 'z'};
    EXPECT_EQ(initDocument(l_Old.data(), l_Old.size(), nullptr), l_Old.data() + 1);
    EXPECT_EQ(std::string(l_Old.begin(), l_Old.end()), std::string("{}\0\0\0J", 6));
    std::vector<char> l_Unterminated(5, 'x');
    EXPECT_EQ(initDocument(l_Unterminated.data(), l_Unterminated.size(), nullptr), nullptr);
    EXPECT_EQ(std::string(l_Unterminated.begin(), l_Unterminated.end()), "xxxxx");
}

TEST(DetailsBuilder, IsEmptyContainerLooksAcrossWhitespaceEitherWay) {
    struct tCase {
        const char* text;
        std::size_t at;
        bool empty;
    };
    const tCase l_Cases[] = {
        {"{}", 0, true},
        {"{ \n}", 0, true},
        {"{ \n}", 3, true},
        {"[\t]", 0, true},
        {"[\t]", 2, true},
        {"{\"a\":1}", 0, false},
        {"{\"a\":1}", 6, false},
        {"[1]", 0, false},
        {"[1]", 2, false},
        {"{\"a\":{}}", 5, true},
        {"{\"a\":1}", 1, false},
        // The walk back ends at the text's first byte.
        {" \t]", 2, false},
    };
    for (const tCase& l_Case : l_Cases) {
        SCOPED_TRACE(std::string(l_Case.text) + " at " + std::to_string(l_Case.at));
        // In storage of its own, so that a read before the text is caught.
        const std::vector<char> l_Text(l_Case.text, l_Case.text + std::strlen(l_Case.text) + 1);
        EXPECT_EQ(isEmptyContainer(l_Text.data() + l_Case.at, l_Text.data()), l_Case.empty);
    }
    EXPECT_FALSE(isEmptyContainer(nullptr, nullptr));
}

TEST(DetailsBuilder, MembersLandWhereTheCursorIs) {
    tBuffer l_Buffer(128, "{}");
    char* l_pCursor = addString(l_Buffer.end(), "file", "a");
    EXPECT_EQ(l_Buffer.text(), "{\"file\":\"a\"}");
    l_pCursor = addInt(l_pCursor, "line", 5);
    EXPECT_EQ(l_Buffer.text(), "{\"file\":\"a\",\"line\":5}");
    ASSERT_EQ(l_pCursor, l_Buffer.end());

    // At the opening brace the member becomes the first one; the chain continues after it.
    tBuffer l_Front(128, "{\"a\":1}");
    l_pCursor = addInt(l_Front.at(0), "new", 2);
    EXPECT_EQ(l_Front.text(), "{\"new\":2,\"a\":1}");
    addUInt(l_pCursor, "x", 3);
    EXPECT_EQ(l_Front.text(), "{\"new\":2,\"x\":3,\"a\":1}");
    // An opening bracket followed by whitespace alone needs no comma after the new member.
    tBuffer l_Blank(128, "[ ]");
    EXPECT_EQ(addInt(l_Blank.at(0), nullptr, 1), l_Blank.at(2));
    EXPECT_EQ(l_Blank.text(), "[1 ]");

    // Nesting by stepping the cursor back onto the new object's brace, then past it.
    tBuffer l_Nested(128, "{\"a\":1}");
    l_pCursor = addObject(l_Nested.end(), "zudynlib_debug");
    l_pCursor = addString(l_pCursor - 1, "debug", "x");
    addInt(l_pCursor + 1, "b", 2);
    EXPECT_EQ(l_Nested.text(), "{\"a\":1,\"zudynlib_debug\":{\"debug\":\"x\"},\"b\":2}");

    tBuffer l_Empty(128, "{}");
    l_pCursor = addObject(l_Empty.end(), "o");
    addInt(l_pCursor, "b", 1);
    EXPECT_EQ(l_Empty.text(), "{\"o\":{},\"b\":1}");

    // Without keys the values form an array.
    tBuffer l_Array(128, "[]");
    l_pCursor = addInt(l_Array.end(), nullptr, -2147483647 - 1);
    l_pCursor = addUInt(l_pCursor, nullptr, 4294967295u);
    l_pCursor = addString(l_pCursor, nullptr, "");
    addObject(l_pCursor, nullptr);
    EXPECT_EQ(l_Array.text(), "[-2147483648,4294967295,\"\",{}]");
}

TEST(DetailsBuilder, StringsAreEscaped) {
    const std::vector<std::pair<std::string, std::string>> l_Cases = {
        {"q\"b\\t\t\x01", "q\\\"b\\\\t\\t\\u0001"},
        {"/\xc3\xa9\xff", "/\xc3\xa9\xff"},
        {"\b\f\n\r\x0b\x1f\x7f", "\\b\\f\\n\\r\\u000b\\u001f\\u007f"},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.second);
        EXPECT_EQ(escapedLength(l_Case.first.c_str()), l_Case.second.size());
        tBuffer l_Buffer(128, "{}");
        addString(l_Buffer.end(), l_Case.first.c_str(), l_Case.first.c_str());
        EXPECT_EQ(l_Buffer.text(), "{\"" + l_Case.second + "\":\"" + l_Case.second + "\"}");
    }
}

TEST(DetailsBuilder, AddsWithoutRoomChangeNothing) {
    // A 4-byte buffer holds "{}" and nothing more.
    tBuffer l_Full(4, "{}");
    const std::vector<char> l_Before = l_Full.bytes;
    EXPECT_EQ(addString(l_Full.end(), nullptr, ""), nullptr);
    EXPECT_EQ(addInt(l_Full.end(), nullptr, 0), nullptr);
    EXPECT_EQ(addUInt(l_Full.end(), nullptr, 0), nullptr);
    EXPECT_EQ(addObject(l_Full.end(), nullptr), nullptr);
    EXPECT_EQ(l_Full.bytes, l_Before);

    // The smallest capacity that takes the member, including the comma it may need.
    struct tCase {
        const char* document;
        std::size_t fits;
        const char* result;
    };
    for (const tCase& l_Case :
         {tCase{"{}", 9, "{\"a\":1}"}, tCase{"{\"b\":2}", 15, "{\"b\":2,\"a\":1}"},
          tCase{"{ }", 10, "{ \"a\":1}"}}) {
        SCOPED_TRACE(l_Case.document);
        tBuffer l_Small(l_Case.fits - 1, l_Case.document);
        const std::vector<char> l_Unchanged = l_Small.bytes;
        EXPECT_EQ(addInt(l_Small.end(), "a", 1), nullptr);
        EXPECT_EQ(l_Small.bytes, l_Unchanged);
        tBuffer l_Exact(l_Case.fits, l_Case.document);
        EXPECT_NE(addInt(l_Exact.end(), "a", 1), nullptr);
        EXPECT_EQ(l_Exact.text(), l_Case.result);
        EXPECT_EQ(l_Exact.bytes.back(), kDocumentEndMark);
    }
}

TEST(DetailsBuilder, GrowthThatMakesNoRoomEndsTheAdd) {
    tBuffer l_Full(4, "{}");
    const tGrowth l_Idle{[](char* a_pCursor, void*) { return a_pCursor; }, nullptr};
    EXPECT_EQ(addStringGrowing(l_Full.end(), "k", "v", l_Idle), nullptr);
    EXPECT_EQ(l_Full.text(), "{}");
}

} // namespace
