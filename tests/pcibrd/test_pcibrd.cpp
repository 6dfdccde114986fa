// The bridge driver side; the simulator is held by full path so that a load by bare name gets it.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "pcibrd/cPciBrdWrapper_sc.h"
#include "pcibrd/cSlotPath.h"
#include "pcibrd/dynload.h"
#include "tests/support/failingAllocator.h"
#include "tests/support/zuModuleLoader.h"
#include "tests/support/zuSim.h"

namespace nZU7461_14_0 {
namespace {

using tW = nZuPciBrdWrapper_15_0::cPciBrdWrapper_sc;
using tS = tDetailedStatus;
using tJson = nlohmann::ordered_json;

tJson detailsOf(const tDetailedStatus& a_rStatus) {
    return a_rStatus.json == nullptr ? tJson() : tJson::parse(a_rStatus.json, nullptr, false);
}

tJson errorMembers(const std::string& a_rConstant, const std::string& a_rFile, int a_Line) {
    return {{"error_constant", a_rConstant},
            {"file", a_rFile},
            {"line", a_Line},
            {"component", "zu7461"}};
}

struct cDetailedStatus : tDetailedStatus {
    cDetailedStatus() : tDetailedStatus(makeDetailedStatus()) {}
    ~cDetailedStatus() { releaseDetailedStatus(this); }
};

// a_Code with a small document of its own, as an earlier producer would leave it.
void presetStatus(tDetailedStatus* a_pStatus, std::int32_t a_Code) {
    char* l_pCursor = nullptr;
    if (setDetailedError(a_pStatus, a_Code, &l_pCursor)) {
        addErrorMembers(l_pCursor, detailsGrowth(a_pStatus), "earlier", "earlier", 1);
    }
}

// a_rLacking: "" for the simulator, else the entry point its variant lacks.
std::string simPath(const std::string& a_rLacking) {
    const std::filesystem::path l_Folder = std::filesystem::path("sim-variants") / "no-";
    return zuTest::modulePath("zupcibrd", a_rLacking.empty() ? "" : l_Folder.string() + a_rLacking);
}

class cSimBridge {
public:
    explicit cSimBridge(const std::string& a_rLack = "") : m_Held(simPath(a_rLack)) {
        m_Log.take();
    }

    // The rules for the calls from the next session on.
    void script(const std::string& a_rRules) {
        static int s_Version = 0; // a new file content, so that the simulator reads it again
        m_Topology.use(zuTest::chassisTopology({1, 2}, "{\"comment\":\"" +
                                                           std::to_string(++s_Version) +
                                                           "\",\"rules\":[" + a_rRules + "]}"));
    }

    // The calls since the last look, "Name(arguments)" a line, the session a_Session shown as S.
    std::string calls(std::uint32_t a_Session = 0) {
        std::istringstream l_Lines(m_Log.take());
        const std::regex l_Session(a_Session == 0 ? "^$"
                                                  : "\\(" + std::to_string(a_Session) + "([,)])");
        std::string l_Calls;
        for (std::string l_Line; std::getline(l_Lines, l_Line);) {
            l_Line = l_Line.substr(0, std::min(l_Line.find(" -> "), l_Line.find(" [")));
            l_Calls += std::regex_replace(l_Line, l_Session, "(S$1") + "\n";
        }
        return l_Calls;
    }

    zuTest::cTopologyFile m_Topology{zuTest::chassisTopology({1, 2})};
    zuTest::cCallLog m_Log;
    zuTest::tLoadedModule m_Held;
};

std::string formatted(const cSlotPath& a_rPath) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.Append("left over", &l_Status);
    a_rPath.Format(l_Text, &l_Status);
    return l_Text.CStr();
}

TEST(SlotPath, ParseTakesOnlyWellFormedTextAndFormatWritesItBack) {
    // Anything else leaves the path alone; a "%02X" scan would take a blank, a sign or "0x".
    // clang-format off
    const char* const l_Cases[][2] = { // "": refused
        {"MR02:1C,00", "MR02:1C,00"}, {"MR01:07", "MR01:07"}, {"MRff:0a,Bc", "MRFF:0A,BC"}, {"MR0A:01,02,03,04,05", "MR0A:01,02,03,04,05"},
        {"MR00:", "MR00:"}, {"MRA7:", "MRA7:"}, {"", ""}, {"MR00:1C,", ""}, {"MR00:1C;00", ""}, {"MR00:1C,ZZ", ""}, {"MRff:a,b", ""}, {"MR7", ""}, {"XR02:1C", ""},
        {"MX01:01", ""}, {"MR01;01", ""}, {"MR:1C", ""}, {"MR01: 1C", ""}, {"MR01:+1", ""}, {"MR01:0x1C", ""}, {"MR01:1", ""}};
    // clang-format on
    for (const auto& [l_pText, l_pFormatted] : l_Cases) {
        SCOPED_TRACE(l_pText);
        cSlotPath l_Path;
        tStatus l_Status = makeStatus();
        l_Path.Parse("MR77:05,06", &l_Status);
        l_Path.Parse(l_pText, &l_Status);
        EXPECT_EQ(formatted(l_Path), *l_pFormatted != '\0' ? l_pFormatted : "MR77:05,06");
        EXPECT_EQ(l_Status.code, *l_pFormatted != '\0' ? 0 : kStatusMalformedSlotPath);
        EXPECT_EQ(l_Status.line, *l_pFormatted != '\0' ? 0u : 427u);
        cCheckedString l_Elements;
        l_Path.FormatElements(l_Elements, &(l_Status = makeStatus()));
        EXPECT_EQ(l_Elements.CStr(), formatted(l_Path).substr(5));
        cSlotPath l_Again; // what Format writes, Parse takes back
        l_Again.Parse(formatted(l_Path).c_str(), &(l_Status = makeStatus()));
        EXPECT_EQ(formatted(l_Again) + std::to_string(l_Status.code), formatted(l_Path) + "0");
    }
    cSlotPath l_Path; // built up: no elements, then more than the first text storage holds
    tStatus l_Status = makeStatus();
    l_Path.SetRootBus(0x10);
    EXPECT_EQ(formatted(l_Path), "MR10:");
    cSlotPath l_Again;
    l_Again.Parse(formatted(l_Path).c_str(), &l_Status);
    EXPECT_EQ(formatted(l_Again) + std::to_string(l_Status.code), "MR10:0");
    std::string l_Text = "MR10:A5";
    for (int l_Index = 0; l_Index < 300; ++l_Index) {
        l_Path.AppendElement(0xA5, &l_Status);
        l_Text += l_Index == 0 ? "" : ",A5";
    }
    EXPECT_EQ(formatted(l_Path), l_Text);
    EXPECT_EQ(l_Path.ElementCount(), 300u);
}

TEST(CheckedString, GrowsKeepingItsTextAndRefusesSizesThatOverflow) {
    tStatus l_Status = makeStatus();
    cCheckedString l_Text;
    l_Text.EraseLast();
    l_Text.Append("q", &l_Status);
    l_Text.Append(std::string(150, 'r').c_str(), &l_Status); // a single character across growth
    const std::string l_Start = l_Text.CStr();
    EXPECT_EQ(l_Start, "q" + std::string(150, 'r'));
    l_Text.Append(l_Text.Data(), l_Text.Length(), &l_Status); // its own storage, while it moves
    l_Text.Append(l_Text.Data(), 2, &l_Status);
    l_Text.EraseLast();
    EXPECT_EQ(l_Text.CStr(), l_Start + l_Start + "q");
    EXPECT_EQ(l_Status.code, 0);
    l_Text.Append("x", std::numeric_limits<std::uint64_t>::max() - 1, &l_Status);
    EXPECT_EQ(l_Status.line, 51u);
    EXPECT_EQ(l_Text.CStr(), l_Start + l_Start + "q");
    cCheckedString l_Empty;
    l_Empty.Reserve(std::numeric_limits<std::uint64_t>::max(), &(l_Status = makeStatus()));
    EXPECT_EQ(l_Status.code, kStatusMemoryFull);
    EXPECT_EQ(l_Empty.Capacity(), 0u);
}

TEST(SlotPath, AFailureKeepsWhatWasDoneAndIsRecordedWhereItHappened) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    // How: 0 its own error, 1 one on entry, 2 memory (the second node, or the element text).
    // clang-format off
    const struct { int how, operation; std::uint32_t line; const char* text; const char* path; } l_Cases[] = {
        {0, 0, 12, "kept", "MR09:01,02"}, {0, 1, 12, "kept", "MR09:01,02"}, {0, 2, 12, "kept", "MR09:01,02"}, {1, 0, 12, "kept", "MR09:01,02"},
        {1, 1, 12, "kept", "MR09:01,02"}, {1, 2, 12, "kept", "MR09:01,02"}, {2, 0, 291, "kept", "MR04:01"}, {2, 1, 51, "MR09:", "MR09:01,02"}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(std::to_string(l_Case.how) + " " + std::to_string(l_Case.operation));
        cSlotPath l_Path;
        tStatus l_Status = makeStatus();
        cCheckedString l_Text;
        l_Text.Append("kept", &l_Status);
        l_Path.Parse("MR09:01,02", &l_Status);
        if (l_Case.how < 2) {
            setStatus(l_Case.how == 0 ? &l_Path.OwnStatus() : &l_Status, -1, "zu7461", "x", 12);
        }
        zuTest::cFailingAllocationScope l_Scope; // disarmed in the first check: the others allocate
        zuTest::armAllocationFailure(l_Case.how == 2 && l_Case.operation == 0 ? 2 : 1);
        l_Case.operation == 0   ? l_Path.Parse("MR04:01,02,03", &l_Status)
        : l_Case.operation == 1 ? l_Path.Format(l_Text, &l_Status)
                                : l_Path.FormatElements(l_Text, &l_Status);
        EXPECT_EQ(zuTest::disarmAllocationFailure().failed, l_Case.how == 2 ? 1 : 0);
        EXPECT_EQ(l_Status.code, l_Case.how == 2 ? kStatusMemoryFull : -1);
        EXPECT_EQ(l_Status.line, l_Case.line);
        EXPECT_STREQ(l_Text.CStr(), l_Case.text);
        l_Path.OwnStatus() = makeStatus();
        EXPECT_EQ(formatted(l_Path), l_Case.path);
    }
}

TEST(Utf8ToWide, GivesTheUnitsOrWhatWasConvertedBeforeMemoryRanOut) {
    const std::string l_Long = std::string(127, 'a') + "bcd";
    static int s_Number = 0, s_Failing = 0; // fails allocation number s_Failing, counted from 1
    const tUnitAllocate l_Allocate = [](std::size_t a_Bytes) {
        return ++s_Number == s_Failing ? nullptr : rawAllocate(a_Bytes);
    };
    // The allocation that fails (0: none), the bytes and the units.
    // clang-format off
    const std::tuple<int, std::string, std::u16string> l_Cases[] = {
        {0, "", u""}, {0, "\xC2\x80", u"\x80"}, {0, "\xE0\xA0\x80", u"\x800"}, {0, "\xEF\xBF\xBF", u"\xFFFF"}, {0, "\xF0\x90\x80\x80", u"\xD800\xDC00"}, {0, "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"}, {0, std::string(200, 'p'), std::u16string(200, 'p')}, {2, l_Long, std::u16string(127, 'a')}, {1, l_Long, u""}, // growth, and memory running out in it
        {0, "\xF7\xBF\xBF\xBF", u"\xDFBF\xDFFF"}, {0, "\xED\xA0\x80", u"\xD800"}, {0, "\xC3\x41", u"\xC1"}, // beyond Unicode: the same arithmetic; a follower's low six bits
        {0, "a\xC0\x80z", u"a\xFFFDz"}, {0, "\xE0\x80\x80", u"\xFFFD"}, {0, "\xF0\x80\x80\x80", u"\xFFFD"}, {0, "\x80\xBF\xF8\xFF", u"\x80\xBF\xF8\xFF"}, // overlong; no lead
        {0, "\xC3", u"\xC3"}, {0, "a\xE2\x82", u"a\xE2\x82"}, {0, "\xF0\x9F\x98", u"\xF0\x9F\x98"}, {0, std::string("\xE2\0\x82\xAC", 4), u"\xE2"}}; // cut short
    // clang-format on
    for (const auto& [l_Failing, l_Bytes, l_Units] : l_Cases) {
        SCOPED_TRACE(::testing::PrintToString(l_Bytes));
        cDetailedStatus l_Status;
        tWidePath l_Wide = makeWidePath();
        s_Number = 0, s_Failing = l_Failing;
        utf8ToWide(l_Bytes.c_str(), &l_Wide, &l_Status, l_Allocate);
        EXPECT_EQ(l_Status.code, l_Failing == 0 ? 0 : kStatusMemoryFull);
        EXPECT_EQ(std::u16string(l_Wide.data, l_Wide.data + l_Wide.length), l_Units);
        EXPECT_EQ(l_Wide.data == nullptr ? 0 : l_Wide.data[l_Wide.length], 0); // terminated
        releaseWidePath(&l_Wide);
        if (l_Failing != 0) { // no second attempt, and a load after it records nothing more
            EXPECT_EQ(s_Number, l_Failing);
            s_Number = 0;
            EXPECT_EQ(loadLibraryUsing("zu-no-such.dll", &l_Status, l_Allocate), nullptr);
            EXPECT_EQ(detailsOf(l_Status), errorMembers("zuoskaerr_memoryFull", "Allocator", 32));
        }
    }
}

constexpr DWORD kNoText = 0x2000ABCDu; // a customer error number: no system has a text for it
#ifdef _WIN32
constexpr DWORD kNotALibrary = 193; // ERROR_BAD_EXE_FORMAT
#else
constexpr DWORD kNotALibrary = ERROR_MOD_NOT_FOUND;
#endif

TEST(LoadLibrary, FailuresRecordWhatFailedTheErrorNumberAndItsText) {
    cDetailedStatus l_Loaded;
    HMODULE l_Variant = loadLibrary(simPath("GetBridgeIds").c_str(), &l_Loaded);
    ASSERT_NE(l_Variant, nullptr);
    const std::string l_NotALibrary = zuTest::modulePath("zu-not-a-library");
    std::ofstream(std::filesystem::u8path(l_NotALibrary)) << "text, not a library\n";
    // 0: load the path, 1: look the name up, 2 and 3: record a load or lookup failure.
    // clang-format off
    const std::tuple<int, const char*, DWORD> l_Cases[] = {{0, l_NotALibrary.c_str(), kNotALibrary}, {0, "zu-no-such-library-\xC3\xA9.dll", 126},
        {0, "zu-no-such-library.dll", 126}, {0, "", 126}, {1, "ZuPciBrd_GetBridgeIds", 127}, {2, "x.dll", kNoText}, {3, "Entry", kNoText}};
    // clang-format on
    for (const auto& [l_What, l_pName, l_Error] : l_Cases) {
        SCOPED_TRACE(l_pName);
        cDetailedStatus l_Status;
        presetStatus(&l_Status, 5); // a warning the failure replaces
        const bool l_Lookup = l_What % 2 == 1;
        if (l_What >= 2) {
            (l_Lookup ? recordLookupFailure : recordLoadFailure)(l_pName, l_Error, &l_Status);
        } else {
            EXPECT_TRUE(l_Lookup ? findSymbol(l_Variant, l_pName, &l_Status) == nullptr
                                 : loadLibrary(l_pName, &l_Status) == nullptr);
        }
        EXPECT_EQ(l_Status.code, kStatusInvalidParameter);
        tJson l_Document = detailsOf(l_Status);
        tJson l_Expected =
            errorMembers("zuoskaerr_invalidParameter", "dynload", l_Lookup ? 177 : 94);
        l_Expected["zudynlib_debug"] = {{"debug", "failed to zudynlib_load library"},
                                        {l_Lookup ? "zudynlib_symbol" : "path", l_pName}};
        l_Expected["internal_error"] = {{"api", "win32"}, {"code", l_Error}};
#ifdef _WIN32
        if (*l_pName == '\0') { // Windows answers an empty name with an error number of its own
            l_Expected["internal_error"]["code"] = l_Document["internal_error"]["code"];
        }
#endif
        const std::string l_Text = l_Document["internal_error"].value("string", "");
        EXPECT_EQ(l_Text != "", l_Error != kNoText);
        // Why a file that is there failed to load: the text names it, with no insert left open.
        EXPECT_EQ(
            l_Text.find("%1") == std::string::npos &&
                (l_pName != l_NotALibrary.c_str() || l_Text.find(l_pName) != std::string::npos),
            true)
            << l_Text;
        l_Document["internal_error"].erase("string");
        EXPECT_EQ(l_Document, l_Expected);
        const std::string l_Before =
            l_Status.json + std::string("0"); // once failed, later loads do nothing
        SetLastError(0);
        EXPECT_EQ(loadLibrary(simPath("").c_str(), &l_Status), nullptr);
        EXPECT_EQ(findSymbol(l_Variant, "ZuPciBrd_OpenSession", &l_Status), nullptr);
        EXPECT_EQ(l_Status.json + std::to_string(GetLastError()), l_Before);
    }
    FreeLibrary(l_Variant);
}

// Paths reach the system as UTF-16: a folder named beyond the basic plane, from its very first
// code point on, must come out whole at the other end.
TEST(LoadLibrary, LoadsFromAFolderNamedBeyondTheBasicPlane) {
    namespace fs = std::filesystem;
    const std::string l_Folder =
        zuTest::executableFolder() + "/zu-\xF0\x90\x80\x80\xF0\x9F\x98\x80";
    const fs::path l_Original = fs::u8path(simPath(""));
    const std::string l_Copy = l_Folder + "/" + l_Original.filename().u8string();
    fs::create_directories(fs::u8path(l_Folder));
    fs::copy_file(l_Original, fs::u8path(l_Copy), fs::copy_options::overwrite_existing);
    cDetailedStatus l_Status;
    const HMODULE l_Module = loadLibrary(l_Copy.c_str(), &l_Status);
    EXPECT_TRUE(l_Module != nullptr && l_Status.code == 0);
    FreeLibrary(l_Module); // none: refused, harmlessly
    fs::remove_all(fs::u8path(l_Folder));
}

// For a_Line 0 the document a_Text, else the one recorded at a_Line for entry or constant a_Text.
void expectStatus(const tS& a_rStatus, std::int32_t a_Code, std::string a_Text, int a_Line) {
    EXPECT_EQ(a_rStatus.code, a_Code);
    if (a_Line == 0) {
        EXPECT_EQ(a_rStatus.json == nullptr ? "" : a_rStatus.json, a_Text);
        return;
    }
    a_Text = a_Text.rfind("zuoskaerr_", 0) == 0 ? a_Text : "m_PciBrdDynLib." + a_Text + "( ";
    tJson l_Document = detailsOf(a_rStatus);
    if (l_Document.is_object() && l_Document.value("error_constant", "").rfind(a_Text, 0) == 0) {
        l_Document["error_constant"] = a_Text;
    }
    EXPECT_EQ(l_Document, errorMembers(a_Text, "cPciBrdWrapper_sc", a_Line));
}

std::uint32_t g_Out = 0;
std::uint8_t g_Bytes[3] = {};
std::uint16_t g_Ids[4] = {};
const std::uint8_t g_Image[2] = {7, 8};
const std::uint16_t g_Vid = 0x10B5, g_SsPid = 0x5C2E;
std::vector<std::uint32_t> g_Array; // what the array operations hand on
cSlotPath g_Path;                   // what GetBridgeSlotPath fills

void rootBuses(tW& a_rW, tS* a_pS) {
    std::vector<std::uint8_t> l_Buses(g_Array.begin(), g_Array.end());
    a_rW.GetRootBuses(l_Buses, a_pS);
    g_Array.assign(l_Buses.begin(), l_Buses.end());
}

void findBySlotPath(tW& a_rW, tS* a_pS) {
    cSlotPath l_Path;
    tStatus l_Status = makeStatus();
    l_Path.Parse("MR02:1C", &l_Status);
    a_rW.FindBridgeBySlotPath(l_Path, g_Out, a_pS);
}

#define ZU_CALL(a_Call) [](tW& a_rW, tS* a_pS) { a_rW.a_Call; }
// clang-format off
const struct tOperation { // in the entry table's order
    int lines[3]; // of the call; for arrays of the count call, the fill and the memory failure
    const char* call; // as logged
    std::function<void(tW&, tS*)> run;
    std::string entry() const { return std::string(call, std::strcspn(call, "(")); }
} kOperations[] = {
    {{64}, "OpenSession(5,out)", ZU_CALL(OpenSession(5, a_pS))},
    {{113, 133, 123}, "FindBridgesByPciIds(S,0x10B5,null,null,0x5C2E,null,0)", ZU_CALL(FindBridgesByPciIds(&g_Vid, nullptr, nullptr, &g_SsPid, g_Array, a_pS))},
    {{164}, "FindBridgeByAddress(S,1,2,3,out)", ZU_CALL(FindBridgeByAddress(1, 2, 3, g_Out, a_pS))}, {{185}, "FindBridgeBySlotPath(S,\"MR02:1C\",out)", findBySlotPath},
    {{206}, "FindParentBridgeForBus(S,4,out)", ZU_CALL(FindParentBridgeForBus(4, g_Out, a_pS))}, {{227}, "GetBridgeParent(S,5,out)", ZU_CALL(GetBridgeParent(5, g_Out, a_pS))},
    {{251, 268, 260}, "GetBridgeChildren(S,9,null,0)", ZU_CALL(GetBridgeChildren(9, g_Array, a_pS))}, {{298, 315, 307}, "GetBusChildren(S,9,null,0)", ZU_CALL(GetBusChildren(9, g_Array, a_pS))},
    {{343, 359, 351}, "GetRootBuses(S,null,0)", rootBuses}, {{390}, "GetBridgeAddress(S,6,out,out,out)", ZU_CALL(GetBridgeAddress(6, g_Bytes, g_Bytes + 1, g_Bytes + 2, a_pS))},
    {{411}, "GetBridgeSlotPath(S,2,null,0)", ZU_CALL(GetBridgeSlotPath(2, g_Path, a_pS))}, {{438}, "GetBridgeIds(S,8,out,out,out,out)", ZU_CALL(GetBridgeIds(8, g_Ids, g_Ids + 1, g_Ids + 2, g_Ids + 3, a_pS))},
    {{461}, "SetAttributeU32(S,9,0x0000000A,0x0000000B)", ZU_CALL(SetAttributeU32(9, 10, 11, a_pS))}, {{484}, "GetAttributeU32(S,12,0x0000000D,out)", ZU_CALL(GetAttributeU32(12, 13, g_Out, a_pS))},
    {{503}, "OpenBridge(S,14)", ZU_CALL(OpenBridge(14, a_pS))}, {{545}, "EepromUpdate(S,15,0xAAAA,0xBBBB,1,0,2,[07 08])", ZU_CALL(EepromUpdate(15, 0xAAAA, 0xBBBB, 1, 0, 2, g_Image, a_pS))},
};
// clang-format on

// A missing entry point disables itself and all after it, as the table is loaded in order.
TEST(EntryTable, EachOperationForwardsOrIsDisabledAndRecordsItsOwnSite) {
    // The missing entry point, the status on building, the operations still usable.
    // clang-format off
    const std::tuple<const char*, std::int32_t, std::size_t> l_Variants[] = {{"", 0, 16},
        {"OpenSession", 0, 0}, {"FindBridgesByPciIds", 0, 1}, {"GetBridgeIds", 0, 11}, {"CloseBridge", 0, 15}, {"", -1, 0}};
    // clang-format on
    for (const auto& [l_pLacking, l_Before, l_Usable] : l_Variants) {
        for (const std::int32_t l_Answer : {-44, 0}) {
            SCOPED_TRACE(std::string(l_pLacking) + " " + std::to_string(l_Answer));
            cSimBridge l_Sim(l_pLacking);
            l_Sim.script(R"({"entry":"*","answer":)" + std::to_string(l_Answer) + "}");
            cDetailedStatus l_Built;
            l_Built.code = l_Before;
            tW l_Wrap(&l_Built);
            EXPECT_EQ(l_Built.code, *l_pLacking != '\0' ? kStatusInvalidParameter : l_Before);
            EXPECT_EQ(detailsOf(l_Built)["zudynlib_debug"]["zudynlib_symbol"],
                      *l_pLacking != '\0' ? tJson("ZuPciBrd_" + std::string(l_pLacking)) : tJson());
            for (const tOperation& l_Operation : kOperations) {
                SCOPED_TRACE(l_Operation.call);
                const std::uint32_t l_Session = l_Wrap.Session();
                cDetailedStatus l_Status;
                l_Operation.run(l_Wrap, &l_Status);
                const bool l_Forwarded = std::size_t(&l_Operation - kOperations) < l_Usable;
                const bool l_Fine = l_Forwarded && l_Answer == 0;
                expectStatus(l_Status, l_Forwarded ? l_Answer : kStatusEntryPointNotLoaded,
                             l_Fine ? "" : l_Operation.entry(), l_Fine ? 0 : l_Operation.lines[0]);
                EXPECT_EQ(l_Sim.calls(l_Session),
                          l_Forwarded ? l_Operation.call + std::string("\n") : "");
                presetStatus(&l_Status, -1); // failed before: no call, record and session kept
                const std::string l_Kept = l_Status.json + std::to_string(l_Wrap.Session());
                l_Operation.run(l_Wrap, &l_Status);
                EXPECT_EQ(l_Status.json + l_Sim.calls() + std::to_string(l_Wrap.Session()), l_Kept);
            }
        }
    }
}

class Wrapper : public ::testing::Test {
protected:
    void open(const std::string& a_rRules) {
        m_Sim.script(a_rRules);
        m_pWrapper->OpenSession(0, &m_Status);
        m_Session = m_pWrapper->Session();
        m_Sim.calls();
        tStatus l_Status = makeStatus(); // the path fetched into, failed or not by a test before
        g_Path.OwnStatus() = l_Status;
        g_Path.Parse("MR07:05", &l_Status);
    }
    std::string calls() { return m_Sim.calls(m_Session); }

    cSimBridge m_Sim;
    cDetailedStatus m_Status; // for building and opening
    std::unique_ptr<tW> m_pWrapper = std::make_unique<tW>(&m_Status);
    std::uint32_t m_Session = 0;
};

TEST_F(Wrapper, FetchesHandOnOnlyWhatTheLibraryFilled) {
    const std::string l_Three = R"({"items":[3,1,2]},{"call":2,)"; // each rule for the entry tried
    // clang-format off
    std::string l_Zeros = "0"; while (l_Zeros.size() < 2 * 65536 - 1) l_Zeros += ",0";
    // Path or array, rules, code on entry (5: a warning's document), output ("": the caller's), code,
    // document ("earlier": the one on entry) or its site (3: memory), the fill's arguments ("": none).
    const struct { bool path; std::string rules; std::int32_t before; std::string output; std::int32_t code; const char* document; int site; const char* fill; } l_Cases[] = {
        {false, R"({"items":[3,1,2]})", 0, "3,1,2", 0, "{}", 0, "buf,3"}, {false, R"({"items":[]})", 0, "", 0, "", 0, ""}, {false, l_Three + R"("items":[0,9]})", 0, "0,9", 0, "{}", 0, "buf,3"},
        {false, l_Three + R"("items":[3,1,2,4]})", 0, "", -313002, "", 2, "buf,3"}, {false, l_Three + R"("count":4})", 0, "", -313002, "", 2, "buf,3"}, {false, R"({"items":[5]})", 5, "5", 0, "{}", 0, "buf,1"}, // the count grew; a fill beyond its buffer
        {false, R"({"items":[]})", 5, "", 5, "earlier", 0, ""}, {false, R"({"call":1,"answer":-7})", 0, "", -7, "", 1, ""}, {false, R"({"items":[6,7]},{"call":2,"answer":9})", 0, "6,7", 9, "", 2, "buf,2"},
        {false, R"({"items":[],"count":65536},{"call":1,"answer":-313002})", 0, l_Zeros, 0, "{}", 0, "buf,65536"}, {false, R"({"call":1,"answer":-313002,"count":65537})", 0, "", kStatusMemoryFull, "", 3, ""}, // 256 buses * 32 * 8
        {true, R"({"text":"MR02:1C,00"})", 0, "MR02:1C,00", 0, "", 0, "buf,11"}, {true, R"({"text":"MR02:1C,00","terminated":false})", 0, "MR02:1C,00", 0, "", 0, "buf,10"},
        {true, R"({"text":"","terminated":false},{"call":1,"answer":-313002})", 0, "", -313325, "", 1, "buf,0"}, {true, R"({"text":"MR00:1C,ZZ"})", 0, "", -313325, "", 1, "buf,11"},
        {true, R"({"call":1,"count":4},{"call":2,"truncate":true})", 0, "", -313325, "", 1, "buf,4"}, {true, R"({"text":"MR03:0A"},{"call":2,"answer":6})", 0, "MR03:0A", 0, "", 0, "buf,8"},
        {true, R"({"call":1,"answer":0})", 0, "", 0, "", 0, ""}, {true, R"({"call":1,"answer":4})", 0, "", 4, "", 1, ""}, {true, R"({"call":2,"answer":-31})", 0, "", -31, "", 1, "buf,8"},
        {true, R"({"count":65537})", 0, "", kStatusMemoryFull, "", 1, ""}, // no path is that long
    };
    // clang-format on
    for (const tOperation& l_Operation : kOperations) {
        const bool l_IsPath = l_Operation.entry() == "GetBridgeSlotPath";
        for (const auto& l_Case : l_Cases) {
            if (l_Case.path != l_IsPath || (!l_IsPath && l_Operation.lines[1] == 0)) {
                continue;
            }
            SCOPED_TRACE(l_Operation.entry() + " " + l_Case.rules);
            open(std::regex_replace(l_Case.rules, std::regex("\\{"),
                                    "{\"entry\":\"" + l_Operation.entry() + "\","));
            cDetailedStatus l_Status;
            presetStatus(&l_Status, l_Case.before);
            const std::string l_Earlier = l_Status.json != nullptr ? l_Status.json : "";
            g_Array = {0xEE, 0xDD};
            l_Operation.run(*m_pWrapper, &l_Status);
            std::string l_Output = l_IsPath ? formatted(g_Path) + "," : "";
            for (std::size_t l_Index = 0; !l_IsPath && l_Index < g_Array.size(); ++l_Index) {
                l_Output += std::to_string(g_Array[l_Index]) + ",";
            }
            const std::string l_Kept = l_IsPath ? "MR07:05" : "238,221";
            EXPECT_EQ(l_Output, (l_Case.output.empty() ? l_Kept : l_Case.output) + ",");
            expectStatus(l_Status, l_Case.code,
                         l_Case.site == 3                            ? "zuoskaerr_memoryFull"
                         : l_Case.site != 0                          ? l_Operation.entry()
                         : l_Case.document == std::string("earlier") ? l_Earlier
                                                                     : l_Case.document,
                         l_Case.site == 0 ? 0 : l_Operation.lines[l_Case.site - 1]);
            const std::string l_Call = l_Operation.call, l_Fill = l_Case.fill;
            const std::string l_Second = l_Call.substr(0, l_Call.rfind("null,0")) + l_Fill + ")\n";
            EXPECT_EQ(calls(), l_Call + "\n" + (l_Fill.empty() ? "" : l_Second));
        }
    }
}

TEST_F(Wrapper, SessionsAreClosedBeforeAnotherOpensAndBeforeTheLibraryGoes) {
    open("");
    // The library may hand out a closed session's number again; calls() shows the first as S.
    auto l_Shown = [&] {
        const std::uint32_t l_Session = m_pWrapper->Session();
        return l_Session == m_Session ? std::string("S") : std::to_string(l_Session);
    };
    m_pWrapper->OpenSession(0, &m_Status);
    const std::string l_Second = l_Shown();
    m_pWrapper->CloseSession();
    EXPECT_FALSE(m_pWrapper->IsSessionOpen());
    m_pWrapper->CloseSession(); // with none open the library is still told
    m_pWrapper->OpenSession(0, &m_Status);
    const std::string l_Third = l_Shown();
    m_Sim.m_Held.release();
    m_pWrapper.reset();
    EXPECT_EQ(calls(), "CloseSession(S)\nOpenSession(0,out)\nCloseSession(" + l_Second +
                           ")\nCloseSession(4294967295)\nOpenSession(0,out)\nCloseSession(" +
                           l_Third + ")\n# unloaded\n");
}

TEST_F(Wrapper, SlotPathMemoryFailureAnswersMemoryFull) {
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    // An unusual size, so that only the text buffer is that large: refused, or its bookkeeping.
    open(R"({"entry":"GetBridgeSlotPath","answer":-313002,"count":5000})");
    for (auto l_pArm : {&zuTest::failAllocationsOfSize, &zuTest::failAllocationsAfterSize}) {
        cDetailedStatus l_Status;
        zuTest::cFailingAllocationScope l_Scope; // disarmed in the first check: the others allocate
        l_pArm(5001);
        m_pWrapper->GetBridgeSlotPath(2, g_Path, &l_Status);
        EXPECT_GE(zuTest::disarmAllocationFailure().failed, 1);
        EXPECT_EQ(l_Status.code, kStatusMemoryFull);
        EXPECT_EQ(formatted(g_Path), "MR07:05");
    }
    cDetailedStatus l_FindStatus; // a path failed on its own: that failure, where it is handed on
    setStatus(&g_Path.OwnStatus(), kStatusMemoryFull, "zu7461", "elsewhere", 1);
    m_pWrapper->FindBridgeBySlotPath(g_Path, g_Out = 5, &l_FindStatus);
    expectStatus(l_FindStatus, kStatusMemoryFull, "FindBridgeBySlotPath", 185);
    EXPECT_EQ(g_Out, 5u);
    EXPECT_EQ(calls(), "GetBridgeSlotPath(S,2,null,0)\nGetBridgeSlotPath(S,2,null,0)\n");
}

} // namespace
} // namespace nZU7461_14_0
