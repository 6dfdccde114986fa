#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "status/tStatus.h"

using namespace nZU7461_14_0;

namespace {

tStatus statusWith(std::int32_t a_Code, const char* a_pComponent, const char* a_pFile,
                   std::uint32_t a_Line) {
    tStatus l_Status = makeStatus();
    setStatus(&l_Status, a_Code, a_pComponent, a_pFile, a_Line);
    return l_Status;
}

std::string letters(std::size_t a_Count) {
    std::string l_Text;
    for (std::size_t l_Index = 0; l_Index < a_Count; ++l_Index) {
        l_Text += static_cast<char>('!' + l_Index % 90);
    }
    return l_Text;
}

// setStatus and mergeStatus follow one rule: the first error wins, an error replaces a warning,
// a warning never replaces a warning and 0 never clears anything.
TEST(Status, PrecedenceDecidesWhatIsStored) {
    const struct {
        std::int32_t stored, incoming;
        bool replaces;
    } l_Cases[] = {{0, 0, false}, {0, 5, true},    {0, -1, true},  {5, 7, false}, {5, 0, false},
                   {5, -1, true}, {-1, -2, false}, {-1, 3, false}, {-1, 0, false}};
    for (const auto& l_Case : l_Cases) {
        for (const bool l_Merge : {false, true}) {
            SCOPED_TRACE(testing::Message() << l_Case.stored << " then " << l_Case.incoming);
            tStatus l_Status = statusWith(l_Case.stored, "first", "firstFile", 11);
            l_Status.extension[0] = 0x1234;
            const tStatus l_Incoming = statusWith(l_Case.incoming, "second", "secondFile", 22);
            EXPECT_EQ(l_Merge ? mergeStatus(&l_Status, &l_Incoming)
                              : setStatus(&l_Status, l_Case.incoming, "second", "secondFile", 22),
                      l_Case.replaces);
            EXPECT_EQ(l_Status.code, l_Case.replaces ? l_Case.incoming : l_Case.stored);
            const bool l_Second = l_Case.replaces && l_Case.incoming != 0;
            EXPECT_STREQ(l_Status.file, l_Second ? "secondFile" : l_Case.stored ? "firstFile" : "");
            EXPECT_EQ(l_Status.line, l_Second ? 22u : l_Case.stored ? 11u : 0u);
            EXPECT_EQ(l_Status.extension[0], l_Second ? 0u : 0x1234u);
        }
    }
}

TEST(Status, TextsAreCutToTheirFieldsAndReplaceTheOldOnesWhole) {
    const std::string l_Long = letters(101);
    const struct {
        std::string component, file, storedComponent, storedFile;
    } l_Cases[] = {
        {"zu7461", letters(100), "zu7461", letters(100)},
        {"abcdefghijkl", l_Long, "abcdefghi", l_Long.substr(0, 49) + ".." + l_Long.substr(52)},
        {"ab", "f", "ab", "f"}};
    for (const auto& l_Case : l_Cases) {
        tStatus l_Status = statusWith(4, "longname1", std::string(100, 'x').c_str(), 1);
        ASSERT_TRUE(setStatus(&l_Status, -4, l_Case.component.c_str(), l_Case.file.c_str(), 2));
        // Whole fields compared: nothing of the older, longer texts may remain behind the zero.
        std::string l_Component(kStatusComponentSize, '\0'), l_File(kStatusFileSize, '\0');
        l_Component.replace(0, l_Case.storedComponent.size(), l_Case.storedComponent);
        l_File.replace(0, l_Case.storedFile.size(), l_Case.storedFile);
        EXPECT_EQ(std::string(l_Status.component, kStatusComponentSize), l_Component);
        EXPECT_EQ(std::string(l_Status.file, kStatusFileSize), l_File);
    }
}

TEST(Status, ShortRecordsCarryOnlyTheCode) {
    tStatus l_Short = makeStatus();
    l_Short.structureSize = 8;
    ASSERT_TRUE(setStatus(&l_Short, -3, "zu7461", "file", 9));
    EXPECT_STREQ(l_Short.file, "");
    EXPECT_EQ(l_Short.line, 0u);
    // Merged into a full record, a short source leaves no place and no extension.
    std::strcpy(l_Short.file, "ignored");
    l_Short.line = 99;
    l_Short.extension[0] = 42;
    tStatus l_Target = makeStatus();
    l_Target.extension[0] = 17;
    ASSERT_TRUE(mergeStatus(&l_Target, &l_Short));
    EXPECT_EQ(l_Target.code, -3);
    EXPECT_STREQ(l_Target.file, "");
    EXPECT_EQ(l_Target.line, 0u);
    EXPECT_EQ(l_Target.extension[0], 0u);
}

TEST(Status, MergeReadsTheSourceNoFurtherThanItsFieldsAndItsExtensionList) {
    // Nothing in the source is zero after the file, nor anything behind the record.
    std::vector<unsigned char> l_Bytes(sizeof(tStatus), 0x41);
    tStatus* l_pSource = reinterpret_cast<tStatus*>(l_Bytes.data());
    l_pSource->structureSize = kStatusFullSize;
    l_pSource->code = -5;
    const std::string l_File = letters(kStatusFileSize);
    std::memcpy(l_pSource->file, l_File.data(), kStatusFileSize);
    const std::uint64_t l_List[] = {1, 2, 0, 3};
    std::memcpy(l_pSource->extension, l_List, sizeof l_List);
    tStatus l_Target = statusWith(2, "warn", "wfile", 6);
    l_Target.extension[3] = 77;
    ASSERT_TRUE(mergeStatus(&l_Target, l_pSource));
    EXPECT_EQ(std::string(l_Target.file), l_File.substr(0, 49) + ".." + l_File.substr(52));
    EXPECT_STREQ(l_Target.component, "AAAAAAAAA");
    EXPECT_EQ(l_Target.line, 0x41414141u);
    EXPECT_EQ(std::vector<std::uint64_t>(l_Target.extension, l_Target.extension + 4),
              (std::vector<std::uint64_t>{1, 2, 0, 77}));
}

} // namespace
