#include "pcibrd/dynload.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simBridge.h"

namespace nZU7461_14_0 {
namespace {

using nTest::cDetailedStatus;

TEST(Utf8ToWide, GivesTheUnits) {
    // clang-format off
    const struct {
        std::string bytes;
        std::u16string units;
    } l_Cases[] = {
        {"", u""}, {"zu.dll", u"zu.dll"}, {"\xC3\xA9", u"\xE9"}, {"\xE2\x82\xAC", u"\x20AC"},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"}, {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        {"\xF7\xBF\xBF\xBF", u"\xDFBF\xDFFF"}, // beyond Unicode: the same arithmetic
        {"\xED\xA0\x80", u"\xD800"}, {"\xC3\x41", u"\xC1"}, // only the low six bits of a follower
        {"a\xC0\x80z", u"a\xFFFDz"}, {"\xE0\x80\x80", u"\xFFFD"}, {"\xF0\x80\x80\x80", u"\xFFFD"},
        {"\xC2\x80", u"\x80"}, {"\xE0\xA0\x80", u"\x800"}, {"\xF0\x90\x80\x80", u"\xD800\xDC00"},
        {"\x80\xBF\xF8\xFF", u"\x80\xBF\xF8\xFF"}, // bytes that cannot lead stand for themselves
        {"\xC3", u"\xC3"}, {"a\xE2\x82", u"a\xE2\x82"}, {"\xF0\x9F\x98", u"\xF0\x9F\x98"}, // cut short
        {std::string("\xE2\0\x82\xAC", 4), u"\xE2"}, {std::string(200, 'p'), std::u16string(200, 'p')}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(::testing::PrintToString(l_Case.bytes));
        cDetailedStatus l_Status;
        tWidePath l_Wide = makeWidePath();
        utf8ToWide(l_Case.bytes.c_str(), &l_Wide, &l_Status);
        EXPECT_EQ(l_Status.code, 0);
        EXPECT_EQ(std::u16string(l_Wide.data, l_Wide.data + l_Wide.length), l_Case.units);
        EXPECT_EQ(l_Wide.data == nullptr ? 0 : l_Wide.data[l_Wide.length], 0); // terminated
        releaseWidePath(&l_Wide);
    }
}

// Fails the allocation with the given number (from 1); every other one succeeds.
int g_AllocationNumber = 0;
int g_FailingAllocation = 0;
void* failingAllocate(std::size_t a_Bytes) {
    return ++g_AllocationNumber == g_FailingAllocation ? nullptr : rawAllocate(a_Bytes);
}

TEST(Utf8ToWide, MemoryFailureKeepsWhatWasConvertedAndTheLoadAddsNothing) {
    const std::string l_Path = std::string(127, 'a') + "bcd";
    for (const int l_Failing : {2, 1}) {
        SCOPED_TRACE(l_Failing);
        cDetailedStatus l_Status;
        tWidePath l_Wide = makeWidePath();
        g_AllocationNumber = 0, g_FailingAllocation = l_Failing;
        utf8ToWide(l_Path.c_str(), &l_Wide, &l_Status, &failingAllocate);
        EXPECT_EQ(g_AllocationNumber, l_Failing); // no second attempt once memory ran out
        EXPECT_EQ(l_Wide.length, l_Failing == 2 ? 127u : 0u);
        EXPECT_EQ(l_Wide.data == nullptr ? -1 : l_Wide.data[l_Wide.length],
                  l_Failing == 2 ? 0 : -1);
        releaseWidePath(&l_Wide);
        // A load that fails after the memory failure records only that.
        g_AllocationNumber = 0;
        EXPECT_EQ(loadLibraryUsing("zu-no-such-library.dll", &l_Status, &failingAllocate), nullptr);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_EQ(nTest::detailsOf(l_Status),
                  nTest::errorMembers("zuoskaerr_memoryFull", "Allocator", 32));
    }
}

TEST(LoadLibrary, NegativeRecordDoesNothing) {
    cDetailedStatus l_Status;
    l_Status.code = -1;
    SetLastError(0);
    EXPECT_EQ(loadLibrary("zu-no-such-library.dll", &l_Status), nullptr);
    EXPECT_EQ(loadLibrary(nTest::simPath("").c_str(), &l_Status), nullptr);
    EXPECT_EQ(findSymbol(reinterpret_cast<HMODULE>(1), "ZuPciBrd_OpenSession", &l_Status), nullptr);
    EXPECT_EQ(l_Status.json, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
}

// A customer error number: no system has a text for it.
constexpr DWORD kNoText = 0x2000ABCDu;

TEST(LoadLibrary, FailuresRecordWhatFailedTheErrorNumberAndItsText) {
    cDetailedStatus l_Loaded;
    HMODULE l_Variant = loadLibrary(nTest::simPath("GetBridgeIds").c_str(), &l_Loaded);
    ASSERT_NE(l_Variant, nullptr);
    // clang-format off
    const struct {
        int what; // 0: load the path, 1: look the name up, 2 and 3: record a load or lookup failure
        const char* name;
        std::uint32_t error; // what the system answers
    } l_Cases[] = {{0, "zu-no-such-library-\xC3\xA9.dll", 126}, {0, "zu-no-such-library.dll", 126},
                   {0, "", 126}, {1, "ZuPciBrd_GetBridgeIds", 127}, {2, "x.dll", kNoText},
                   {3, "Entry", kNoText}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.name);
        cDetailedStatus l_Status;
        nTest::presetStatus(&l_Status, 5); // a warning the failure replaces
        if (l_Case.what == 0) {
            EXPECT_EQ(loadLibrary(l_Case.name, &l_Status), nullptr);
        } else if (l_Case.what == 1) {
            EXPECT_EQ(findSymbol(l_Variant, l_Case.name, &l_Status), nullptr);
        } else {
            (l_Case.what == 2 ? recordLoadFailure : recordLookupFailure)(l_Case.name, l_Case.error,
                                                                         &l_Status);
        }
        EXPECT_EQ(l_Status.code, kStatusInvalidParameter);
        nTest::tJson l_Document = nTest::detailsOf(l_Status);
        const bool l_Lookup = l_Case.what % 2 == 1;
        nTest::tJson l_Expected =
            nTest::errorMembers("zuoskaerr_invalidParameter", "dynload", l_Lookup ? 177 : 94);
        l_Expected["zudynlib_debug"] = {{"debug", "failed to zudynlib_load library"},
                                        {l_Lookup ? "zudynlib_symbol" : "path", l_Case.name}};
        l_Expected["internal_error"] = {{"api", "win32"}, {"code", l_Case.error}};
#ifdef _WIN32
        // Windows answers an empty name with an error number of its own choosing.
        if (*l_Case.name == '\0') {
            l_Expected["internal_error"]["code"] = l_Document["internal_error"]["code"];
        }
#endif
        if (l_Case.error != kNoText) {
            EXPECT_NE(l_Document["internal_error"].value("string", ""), "");
            l_Expected["internal_error"]["string"] = l_Document["internal_error"]["string"];
        }
        EXPECT_EQ(l_Document, l_Expected);
        // Once failed, later lookups do nothing.
        const std::string l_Before = l_Status.json;
        EXPECT_EQ(findSymbol(l_Variant, "ZuPciBrd_OpenSession", &l_Status), nullptr);
        EXPECT_EQ(l_Status.json, l_Before);
    }
    FreeLibrary(l_Variant);
}

} // namespace
} // namespace nZU7461_14_0
