#include <gtest/gtest.h>

#include <functional>
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

TEST(DetailsBuilder, MembersLandWhereTheCursorIs) {
    const struct {
        const char* document;
        std::function<char*(tBuffer&)> adds; // answers the cursor after the last add
        std::string expected;                // '|' marks where that cursor stands
    } l_Cases[] = {
        {"{}", [](tBuffer& a_r) { return addInt(addString(a_r.end(), "file", "a"), "line", 5); },
         "{\"file\":\"a\",\"line\":5|}"},
        // At the opening brace the member becomes the first one; the chain continues after it.
        {"{\"a\":1}", [](tBuffer& a_r) { return addUInt(addInt(a_r.at(0), "new", 2), "x", 3); },
         "{\"new\":2,\"x\":3|,\"a\":1}"},
        {"{ }", [](tBuffer& a_r) { return addInt(a_r.at(0), "a", 1); }, "{\"a\":1| }"},
        {"[ ]", [](tBuffer& a_r) { return addInt(a_r.end(), nullptr, 1); }, "[ 1|]"},
        {"[ ]", [](tBuffer& a_r) { return addInt(a_r.at(0), nullptr, 1); }, "[1| ]"},
        {"{\"o\":{ }}", [](tBuffer& a_r) { return addInt(a_r.at(5), "i", 1); },
         "{\"o\":{\"i\":1| }}"},
        // Nesting by stepping back onto the new object's brace, then past its end.
        {"{\"a\":1}",
         [](tBuffer& a_r) {
             char* l_pIn = addString(addObject(a_r.end(), "d") - 1, "debug", "x");
             return addInt(l_pIn + 1, "b", 2);
         },
         "{\"a\":1,\"d\":{\"debug\":\"x\"},\"b\":2|}"},
        {"{}", [](tBuffer& a_r) { return addInt(addObject(a_r.end(), "o"), "b", 1); },
         "{\"o\":{},\"b\":1|}"},
        // Without keys the values form an array.
        {"[]",
         [](tBuffer& a_r) {
             char* l_pAt =
                 addUInt(addInt(a_r.end(), nullptr, -2147483647 - 1), nullptr, 4294967295u);
             return addObject(
                 addString(addInt(addInt(l_pAt, nullptr, -1), nullptr, 0), nullptr, ""), nullptr);
         },
         "[-2147483648,4294967295,-1,0,\"\",{}|]"},
    };
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.expected);
        tBuffer l_Buffer(64, l_Case.document);
        const char* l_pCursor = l_Case.adds(l_Buffer);
        std::string l_Expected = l_Case.expected;
        const std::size_t l_Mark = l_Expected.find('|');
        EXPECT_EQ(l_Buffer.text(), l_Expected.erase(l_Mark, 1));
        EXPECT_EQ(l_pCursor, l_Buffer.at(l_Mark));
    }
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

TEST(DetailsBuilder, AnAddThatDoesNotFitChangesNothing) {
    std::vector<char> l_Three(3, '#');
    EXPECT_EQ(initDocument(l_Three.data(), 3, "{}"), nullptr);
    // The smallest capacity that takes the member, including the comma it may need.
    const struct {
        const char* document;
        std::size_t fits;
        const char* result;
    } l_Cases[] = {
        {"{}", 9, "{\"a\":1}"}, {"{\"b\":2}", 15, "{\"b\":2,\"a\":1}"}, {"{ }", 10, "{ \"a\":1}"}};
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.document);
        tBuffer l_Small(l_Case.fits - 1, l_Case.document);
        const std::vector<char> l_Unchanged = l_Small.bytes;
        EXPECT_EQ(addInt(l_Small.end(), "a", 1), nullptr);
        EXPECT_EQ(addObject(l_Small.end(), "a"), nullptr);
        EXPECT_EQ(l_Small.bytes, l_Unchanged);
        tBuffer l_Exact(l_Case.fits, l_Case.document);
        EXPECT_NE(addInt(l_Exact.end(), "a", 1), nullptr);
        EXPECT_EQ(l_Exact.text(), l_Case.result);
        EXPECT_EQ(l_Exact.bytes.back(), kDocumentEndMark);
    }
    // A growth that makes no room ends the add instead of trying for ever.
    tBuffer l_Full(4, "{}");
    const tGrowth l_Idle{[](char* a_pCursor, void*) { return a_pCursor; }, nullptr};
    EXPECT_EQ(addStringGrowing(l_Full.end(), "k", "v", l_Idle), nullptr);
    EXPECT_EQ(addIntGrowing(l_Full.end(), "k", 1, tGrowth{nullptr, nullptr}), nullptr);
    EXPECT_EQ(l_Full.text(), "{}");
}

} // namespace
