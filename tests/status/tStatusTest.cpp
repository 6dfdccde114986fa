#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "status/tStatus.h"

using namespace nZU7461_14_0;

namespace {

struct tPrecedenceCase {
    std::int32_t stored;
    std::int32_t incoming;
    bool replaces;
};

class StatusPrecedence : public ::testing::TestWithParam<tPrecedenceCase> {};

TEST_P(StatusPrecedence, SetStatusFollowsTheRule) {
    const tPrecedenceCase l_Case = GetParam();
    tStatus l_Status = makeStatus();
    setStatus(&l_Status, l_Case.stored, "first", "firstFile", 11);
    l_Status.extension[0] = 0x1234; // a word that only a stored code clears

    EXPECT_EQ(setStatus(&l_Status, l_Case.incoming, "second", "secondFile", 22), l_Case.replaces);
    if (l_Case.replaces) {
        EXPECT_EQ(l_Status.code, l_Case.incoming);
        EXPECT_STREQ(l_Status.component, "second");
        EXPECT_STREQ(l_Status.file, "secondFile");
        EXPECT_EQ(l_Status.line, 22u);
        EXPECT_EQ(l_Status.extension[0], 0u);
    } else {
        EXPECT_EQ(l_Status.code, l_Case.stored);
        EXPECT_EQ(l_Status.extension[0], 0x1234u);
        if (l_Case.stored != 0) {
            EXPECT_STREQ(l_Status.file, "firstFile");
            EXPECT_EQ(l_Status.line, 11u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusPrecedence,
    ::testing::Values(tPrecedenceCase{0, 0, false}, tPrecedenceCase{0, 5, true},
                      tPrecedenceCase{0, -1, true}, tPrecedenceCase{5, 7, false},
                      tPrecedenceCase{5, 0, false}, tPrecedenceCase{5, -1, true},
                      tPrecedenceCase{-1, -2, false}, tPrecedenceCase{-1, 3, false},
                      tPrecedenceCase{-1, 0, false}));

TEST(StatusTexts, FileOfExactly100CharactersIsKeptWhole) {
    const std::string l_File(100, 'f');
    tStatus l_Status = makeStatus();
    ASSERT_TRUE(setStatus(&l_Status, -1, "zu7461", l_File.c_str(), 1));
    EXPECT_EQ(std::string(l_Status.file), l_File);
}

TEST(StatusTexts, LongerFileKeepsHeadAndTail) {
    std::string l_File;
    for (int l_Index = 0; l_Index < 101; ++l_Index) {
        l_File += static_cast<char>('!' + l_Index % 90);
    }
    tStatus l_Status = makeStatus();
    ASSERT_TRUE(setStatus(&l_Status, -1, "zu7461", l_File.c_str(), 1));
    EXPECT_EQ(std::string(l_Status.file), l_File.substr(0, 49) + ".." + l_File.substr(101 - 49));
    EXPECT_EQ(l_Status.file[100], '\0');
}

TEST(StatusTexts, ComponentIsCutToNineCharacters) {
    tStatus l_Status = makeStatus();
    ASSERT_TRUE(setStatus(&l_Status, -1, "abcdefghijkl", "f", 1));
    EXPECT_STREQ(l_Status.component, "abcdefghi");
}

TEST(StatusTexts, RefilledTextsLeaveNoTailOfTheOldOnes) {
    tStatus l_Status = makeStatus();
    ASSERT_TRUE(setStatus(&l_Status, 4, "longname1", std::string(80, 'x').c_str(), 1));
    ASSERT_TRUE(setStatus(&l_Status, -4, "ab", "cd", 2));
    const char l_Zeros[kStatusFileSize] = {};
    EXPECT_EQ(std::memcmp(l_Status.component + 3, l_Zeros, kStatusComponentSize - 3), 0);
    EXPECT_EQ(std::memcmp(l_Status.file + 3, l_Zeros, kStatusFileSize - 3), 0);
}

TEST(StatusShortRecord, KeepsOnlyTheCode) {
    tStatus l_Status = makeStatus();
    l_Status.structureSize = 8;
    ASSERT_TRUE(setStatus(&l_Status, -3, "zu7461", "file", 9));
    EXPECT_EQ(l_Status.code, -3);
    EXPECT_STREQ(l_Status.file, "");
    EXPECT_EQ(l_Status.line, 0u);
}

TEST(StatusMerge, FromShortSourceStoresCodeWithEmptyPlace) {
    tStatus l_Source = makeStatus();
    l_Source.structureSize = 8;
    l_Source.code = -7;
    std::strcpy(l_Source.file, "ignored");
    l_Source.line = 99;
    l_Source.extension[0] = 42;

    tStatus l_Target = makeStatus();
    l_Target.extension[0] = 17;
    ASSERT_TRUE(mergeStatus(&l_Target, &l_Source));
    EXPECT_EQ(l_Target.code, -7);
    EXPECT_STREQ(l_Target.component, "");
    EXPECT_STREQ(l_Target.file, "");
    EXPECT_EQ(l_Target.line, 0u);
    EXPECT_EQ(l_Target.extension[0], 0u);
}

TEST(StatusMerge, CopiesPlaceAndExtensionListUpToItsEnd) {
    tStatus l_Source = makeStatus();
    setStatus(&l_Source, -9, "comp", "file", 5);
    l_Source.extension[0] = 1;
    l_Source.extension[1] = 2;
    l_Source.extension[2] = 0;
    l_Source.extension[3] = 3; // after the end of the list: not copied

    tStatus l_Target = makeStatus();
    setStatus(&l_Target, 2, "warn", "wfile", 6);
    l_Target.extension[3] = 77;
    ASSERT_TRUE(mergeStatus(&l_Target, &l_Source));
    EXPECT_EQ(l_Target.code, -9);
    EXPECT_STREQ(l_Target.component, "comp");
    EXPECT_STREQ(l_Target.file, "file");
    EXPECT_EQ(l_Target.line, 5u);
    EXPECT_EQ(l_Target.extension[0], 1u);
    EXPECT_EQ(l_Target.extension[1], 2u);
    EXPECT_EQ(l_Target.extension[2], 0u);
    EXPECT_EQ(l_Target.extension[3], 77u);
}

TEST(StatusMerge, ASourceFileWithoutItsZeroIsReadNoFurtherThanItsStorage) {
    // Nothing in the record is zero after the file, nor anything behind the record.
    std::vector<unsigned char> l_Bytes(sizeof(tStatus), 0x41);
    tStatus* l_pSource = reinterpret_cast<tStatus*>(l_Bytes.data());
    l_pSource->structureSize = kStatusFullSize;
    l_pSource->code = -5;
    l_pSource->component[0] = '\0';
    std::string l_File;
    for (std::size_t l_Index = 0; l_Index < kStatusFileSize; ++l_Index) {
        l_File += static_cast<char>('a' + l_Index % 26);
    }
    std::memcpy(l_pSource->file, l_File.data(), kStatusFileSize);

    tStatus l_Target = makeStatus();
    ASSERT_TRUE(mergeStatus(&l_Target, l_pSource));
    EXPECT_EQ(std::string(l_Target.file), l_File.substr(0, 49) + ".." + l_File.substr(101 - 49));
}

TEST(StatusMerge, RefusedMergeChangesNothing) {
    tStatus l_Source = makeStatus();
    setStatus(&l_Source, -2, "src", "srcFile", 1);
    tStatus l_Target = makeStatus();
    setStatus(&l_Target, -1, "dst", "dstFile", 2);
    EXPECT_FALSE(mergeStatus(&l_Target, &l_Source));
    EXPECT_EQ(l_Target.code, -1);
    EXPECT_STREQ(l_Target.file, "dstFile");
}

} // namespace
