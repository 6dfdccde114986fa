// The texts that come from or go to the bridge driver library, over the same input: slot paths
// (parse, format, parse again) and a library's file name in UTF-16 (back to UTF-8 again).
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pcibrd/cSlotPath.h"
#include "pcibrd/dynload.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

void checkSlotPath(const std::string& a_rText) {
    cSlotPath l_Path;
    tStatus l_Status = makeStatus();
    l_Path.Parse(a_rText.c_str(), &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0 || l_Status.code == kStatusMalformedSlotPath);
    if (l_Status.code != 0) {
        ZU_FUZZ_CHECK(l_Path.RootBus() == 0 && l_Path.ElementCount() == 0);
        return;
    }
    cCheckedString l_Formatted;
    l_Path.Format(l_Formatted, &l_Status);
    // The parse saw the text up to its first zero byte, and formatting writes upper case.
    std::string l_Upper = a_rText.c_str();
    for (char& l_Char : l_Upper) {
        l_Char = static_cast<char>(std::toupper(static_cast<unsigned char>(l_Char)));
    }
    ZU_FUZZ_CHECK(l_Status.code == 0 && l_Upper == l_Formatted.CStr());
    ZU_FUZZ_CHECK(l_Path.ElementCount() != 0 &&
                  l_Formatted.Length() == 5 + 3 * l_Path.ElementCount() - 1);
    cSlotPath l_Again;
    l_Again.Parse(l_Formatted.CStr(), &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0 && l_Again.RootBus() == l_Path.RootBus());
    ZU_FUZZ_CHECK(std::vector<std::uint8_t>(l_Again.begin(), l_Again.end()) ==
                  std::vector<std::uint8_t>(l_Path.begin(), l_Path.end()));
}

void appendUtf8(std::uint32_t a_Point, std::string& a_rOut) {
    const int l_Tail = a_Point < 0x80 ? 0 : a_Point < 0x800 ? 1 : a_Point < 0x10000 ? 2 : 3;
    const unsigned l_Lead = l_Tail == 0 ? 0 : (0xFFu << (7 - l_Tail)) & 0xFFu;
    a_rOut += static_cast<char>(l_Lead | (a_Point >> (6 * l_Tail)));
    for (int l_Shift = 6 * (l_Tail - 1); l_Shift >= 0; l_Shift -= 6) {
        a_rOut += static_cast<char>(0x80 | ((a_Point >> l_Shift) & 0x3F));
    }
}

void checkWidePath(const std::string& a_rText) {
    // Storage that ends with the terminator, so any read past it is caught.
    const std::vector<char> l_Storage(a_rText.c_str(), a_rText.c_str() + a_rText.size() + 1);
    tDetailedStatus l_Status = makeDetailedStatus();
    tWidePath l_Wide = makeWidePath();
    utf8ToWide(l_Storage.data(), &l_Wide, &l_Status);
    // One unit per byte at most: only four bytes make two units.
    ZU_FUZZ_CHECK(l_Status.code == 0 && l_Wide.length <= a_rText.size());
    ZU_FUZZ_CHECK(l_Wide.length <= l_Wide.capacity &&
                  (l_Wide.data == nullptr ? l_Wide.length == 0 : l_Wide.data[l_Wide.length] == 0));
    std::string l_Back;
    for (std::size_t l_Index = 0; l_Index < l_Wide.length; ++l_Index) {
        std::uint32_t l_Point = static_cast<std::uint16_t>(l_Wide.data[l_Index]);
        const std::uint32_t l_Low = l_Index + 1 < l_Wide.length ? l_Wide.data[l_Index + 1] : 0;
        ZU_FUZZ_CHECK(l_Point != 0); // the name must not end early
        if (l_Point >= 0xD800 && l_Point < 0xDC00 && l_Low >= 0xDC00 && l_Low < 0xE000) {
            l_Point = 0x10000 + ((l_Point - 0xD800) << 10) + (l_Low - 0xDC00);
            ++l_Index;
        }
        appendUtf8(l_Point, l_Back);
    }
    // Well-formed UTF-8 (as the other parser judges it within a string) comes back unchanged.
    std::string l_Masked = a_rText;
    for (char& l_Char : l_Masked) {
        l_Char = static_cast<unsigned char>(l_Char) < 0x80 ? 'a' : l_Char;
    }
    ZU_FUZZ_CHECK(!nlohmann::json::accept('"' + l_Masked + '"') || l_Back == a_rText);
    releaseWidePath(&l_Wide);
    releaseDetailedStatus(&l_Status);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    const std::string l_Input(reinterpret_cast<const char*>(a_pData), a_Size);
    checkSlotPath(l_Input);
    checkWidePath(l_Input.c_str());
    return 0;
}
