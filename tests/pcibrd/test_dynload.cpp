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
    const struct {
        std::string bytes;
        std::vector<std::uint16_t> units;
    } l_Cases[] = {{"", {}},
                   {"zu.dll", {'z', 'u', '.', 'd', 'l', 'l'}},
                   {"\xC3\xA9", {0x00E9}},
                   {"\xE2\x82\xAC", {0x20AC}},
                   {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
                   {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
                   // Beyond the Unicode range the same arithmetic still gives two units.
                   {"\xF7\xBF\xBF\xBF", {0xDFBF, 0xDFFF}},
                   // Surrogate values pass as they are.
                   {"\xED\xA0\x80", {0xD800}},
                   // Continuation bytes are not checked, only their low six bits used.
                   {"\xC3\x41", {0x00C1}},
                   // An overlong form would give a 0 unit inside the name.
                   {"a\xC0\x80z", {'a', 0xFFFD, 'z'}},
                   // Bytes that cannot lead stand for themselves.
                   {"\x80\xBF\xF8\xFF", {0x0080, 0x00BF, 0x00F8, 0x00FF}},
                   // Sequences cut short by the terminator give their bytes one by one.
                   {"\xC3", {0x00C3}},
                   {"a\xE2\x82", {'a', 0x00E2, 0x0082}},
                   {"\xF0\x9F\x98", {0x00F0, 0x009F, 0x0098}},
                   // Bytes after the terminator that would complete the sequence are never read.
                   {std::string("\xE2\0\x82\xAC", 4), {0x00E2}},
                   // Beyond the first storage of 127 units.
                   {std::string(200, 'p'), std::vector<std::uint16_t>(200, 'p')}};
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(::testing::PrintToString(l_Case.bytes));
        cDetailedStatus l_Status;
        tWidePath l_Wide = makeWidePath();
        utf8ToWide(l_Case.bytes.c_str(), &l_Wide, &l_Status);
        EXPECT_EQ(l_Status.code, 0);
        // The terminator included; no storage stands for an empty path.
        std::vector<std::uint16_t> l_Units{0};
        if (l_Wide.data != nullptr) {
            l_Units.assign(l_Wide.data, l_Wide.data + l_Wide.length + 1);
        }
        std::vector<std::uint16_t> l_Expected = l_Case.units;
        l_Expected.push_back(0);
        EXPECT_EQ(l_Units, l_Expected);
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
        g_AllocationNumber = 0;
        g_FailingAllocation = l_Failing;
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
    const struct {
        int what; // 0: load the path, 1: look the name up, 2 and 3: record a load or lookup failure
        const char* name;
        std::uint32_t error; // what the system answers
    } l_Cases[] = {{0, "zu-no-such-library-\xC3\xA9.dll", 126},
                   {0, "zu-no-such-library.dll", 126},
                   {0, "", 126},
                   {1, "ZuPciBrd_GetBridgeIds", 127},
                   {2, "x.dll", kNoText},
                   {3, "Entry", kNoText}};
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
