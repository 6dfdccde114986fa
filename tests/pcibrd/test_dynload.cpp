#include "pcibrd/dynload.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pcibrd/zupcibrd.h"
#include "simBridge.h"

namespace nZU7461_14_0 {
namespace {

using nTest::cDetailedStatus;
using nTest::detailsOf;
using nTest::tJson;

// The system's message text for an error number, or "" when it has none.
std::string systemMessage(DWORD a_Error) {
    char* l_pMessage = nullptr;
    const DWORD l_Length = FormatMessageA(0x1300, nullptr, a_Error, 0x400,
                                          reinterpret_cast<LPSTR>(&l_pMessage), 0, nullptr);
    std::string l_Text = (l_Length != 0 && l_pMessage != nullptr) ? l_pMessage : "";
    LocalFree(l_pMessage);
    return l_Text;
}

// Checks a load or lookup failure document; returns the recorded error number.
std::uint32_t expectLoaderDocument(const tDetailedStatus& a_rStatus, int a_Line, const char* a_pKey,
                                   const std::string& a_rValue) {
    EXPECT_EQ(a_rStatus.code, kStatusInvalidParameter);
    const tJson l_Document = detailsOf(a_rStatus);
    const tJson l_Number = l_Document.is_object() && l_Document.contains("internal_error")
                               ? l_Document["internal_error"].value("code", tJson())
                               : tJson();
    EXPECT_TRUE(l_Number.is_number_unsigned());
    const std::uint32_t l_Code = l_Number.is_number() ? l_Number.get<std::uint32_t>() : 0;
    tJson l_Expected = nTest::errorMembers("zuoskaerr_invalidParameter", "dynload", a_Line);
    l_Expected["zudynlib_debug"] = {{"debug", "failed to zudynlib_load library"},
                                    {a_pKey, a_rValue}};
    l_Expected["internal_error"] = {{"api", "win32"}, {"code", l_Code}};
    if (!systemMessage(l_Code).empty()) {
        l_Expected["internal_error"]["string"] = systemMessage(l_Code);
    }
    EXPECT_EQ(l_Document, l_Expected);
    return l_Code;
}

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
        utf8ToWide(l_Case.bytes.c_str(), &l_Wide, l_Status.get());
        EXPECT_EQ(l_Status->code, 0);
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
    ++g_AllocationNumber;
    return g_AllocationNumber == g_FailingAllocation ? nullptr : rawAllocate(a_Bytes);
}
void failAllocation(int a_Number) {
    g_AllocationNumber = 0;
    g_FailingAllocation = a_Number;
}

void expectMemoryDocument(const tDetailedStatus& a_rStatus) {
    EXPECT_EQ(a_rStatus.code, kStatusMemoryFull);
    EXPECT_EQ(detailsOf(a_rStatus), nTest::errorMembers("zuoskaerr_memoryFull", "Allocator", 32));
}

TEST(Utf8ToWideMemory, FailureKeepsWhatWasConvertedAndAppendsNothingMore) {
    cDetailedStatus l_Status;
    tWidePath l_Wide = makeWidePath();
    failAllocation(2);
    const std::string l_Path = std::string(127, 'a') + "bcd";
    utf8ToWide(l_Path.c_str(), &l_Wide, l_Status.get(), &failingAllocate);
    expectMemoryDocument(*l_Status);
    EXPECT_EQ(g_AllocationNumber, 2);
    EXPECT_EQ(l_Wide.length, 127u);
    EXPECT_EQ(l_Wide.data[127], 0);
    releaseWidePath(&l_Wide);

    cDetailedStatus l_First;
    failAllocation(1);
    utf8ToWide("abc", &l_Wide, l_First.get(), &failingAllocate);
    expectMemoryDocument(*l_First);
    // No second attempt once memory ran out.
    EXPECT_EQ(g_AllocationNumber, 1);
    EXPECT_EQ(l_Wide.data, nullptr);
    EXPECT_EQ(l_Wide.length, 0u);
}

TEST(Utf8ToWideMemory, LoadIsStillAttemptedWithTheUnitsConverted) {
    // A path whose first 127 or 190 characters name the simulator, followed by more: the growth
    // after them fails, and the loader gets exactly that prefix.
    const std::string l_Named = nTest::simPath("");
    const std::size_t l_Slash = l_Named.find_last_of("\\/") + 1;
    const std::size_t l_Target = (l_Named.size() % 2 == 1) ? 127 : 190;
    if (l_Named.size() > l_Target) {
        GTEST_SKIP() << "build folder path too long for this check";
    }
    std::string l_Path = l_Named.substr(0, l_Slash);
    while (l_Path.size() + l_Named.size() - l_Slash < l_Target) {
        l_Path += "." + l_Named.substr(l_Slash - 1, 1);
    }
    l_Path += l_Named.substr(l_Slash) + "-not-converted";
    cDetailedStatus l_Status;
    failAllocation(l_Target == 127 ? 2 : 3);
    HMODULE l_Module = loadLibraryUsing(l_Path.c_str(), l_Status.get(), &failingAllocate);
    EXPECT_NE(l_Module, nullptr);
    expectMemoryDocument(*l_Status);
    if (l_Module != nullptr) {
        FreeLibrary(l_Module);
    }
    // A load that fails after the memory failure adds nothing to the record.
    cDetailedStatus l_Failing;
    failAllocation(1);
    EXPECT_EQ(loadLibraryUsing("zu-no-such-library.dll", l_Failing.get(), &failingAllocate),
              nullptr);
    expectMemoryDocument(*l_Failing);
}

TEST(LoadLibrary, NegativeRecordDoesNothing) {
    cDetailedStatus l_Status;
    l_Status->code = -1;
    SetLastError(0);
    EXPECT_EQ(loadLibrary("zu-no-such-library.dll", l_Status.get()), nullptr);
    EXPECT_EQ(loadLibrary(nTest::simPath("").c_str(), l_Status.get()), nullptr);
    EXPECT_EQ(findSymbol(reinterpret_cast<HMODULE>(1), "ZuPciBrd_OpenSession", l_Status.get()),
              nullptr);
    EXPECT_EQ(l_Status->code, -1);
    EXPECT_EQ(l_Status->json, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(LoadLibrary, LoadFailureRecordsThePathAsGivenAndTheSystemError) {
    const struct {
        const char* path;
        bool earlierWarning; // replaced by the failure alone
    } l_Cases[] = {
        {"zu-no-such-library-\xC3\xA9.dll", false}, {"zu-no-such-library.dll", true}, {"", false}};
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.path);
        cDetailedStatus l_Status;
        if (l_Case.earlierWarning) {
            nTest::presetStatus(l_Status.get(), 5);
        }
        EXPECT_EQ(loadLibrary(l_Case.path, l_Status.get()), nullptr);
        const std::uint32_t l_Code = expectLoaderDocument(*l_Status, 94, "path", l_Case.path);
        // Windows answers an empty name with an error number of its own choosing.
#ifdef _WIN32
        if (*l_Case.path == '\0') {
            EXPECT_NE(l_Code, 0u);
            continue;
        }
#endif
        EXPECT_EQ(l_Code, 126u);
    }
}

TEST(LoadLibrary, MissingEntryPointIsNamedAndLaterLookupsDoNothing) {
    cDetailedStatus l_Status;
    HMODULE l_Module = loadLibrary(nTest::simPath("GetBridgeIds").c_str(), l_Status.get());
    ASSERT_NE(l_Module, nullptr);
    EXPECT_EQ(findSymbol(l_Module, "ZuPciBrd_GetBridgeIds", l_Status.get()), nullptr);
    EXPECT_EQ(expectLoaderDocument(*l_Status, 177, "zudynlib_symbol", "ZuPciBrd_GetBridgeIds"),
              127u);
    const std::string l_Document = l_Status->json;
    EXPECT_EQ(findSymbol(l_Module, "ZuPciBrd_OpenSession", l_Status.get()), nullptr);
    EXPECT_EQ(l_Status->json, l_Document);
    FreeLibrary(l_Module);
}

TEST(LoadLibrary, NoMessageTextLeavesOutTheString) {
    // A customer error number: no system has a text for it.
    const DWORD l_Error = 0x2000ABCDu;
    ASSERT_EQ(systemMessage(l_Error), "");
    cDetailedStatus l_Status;
    recordLoadFailure("x.dll", l_Error, l_Status.get());
    EXPECT_EQ(expectLoaderDocument(*l_Status, 94, "path", "x.dll"), l_Error);
    cDetailedStatus l_Lookup;
    recordLookupFailure("Entry", l_Error, l_Lookup.get());
    EXPECT_EQ(expectLoaderDocument(*l_Lookup, 177, "zudynlib_symbol", "Entry"), l_Error);
}

} // namespace
} // namespace nZU7461_14_0
