// The texts that come from or go to the bridge driver library, over the same input: slot path
// parsing and the conversion of a library's file name to UTF-16.
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "pcibrd/cSlotPath.h"
#include "pcibrd/dynload.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

std::vector<std::uint8_t> elementsOf(const cSlotPath& a_rPath) {
    return std::vector<std::uint8_t>(a_rPath.begin(), a_rPath.end());
}

void checkSlotPath(const std::uint8_t* a_pData, std::size_t a_Size) {
    // Exactly the text and its terminator, so that any read beyond it is caught.
    const std::string l_Text(reinterpret_cast<const char*>(a_pData), a_Size);
    cSlotPath l_Path;
    tStatus l_Status = makeStatus();
    l_Path.Parse(l_Text.c_str(), &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0 || l_Status.code == kStatusMalformedSlotPath);
    // Every element but the last takes three characters.
    ZU_FUZZ_CHECK(l_Path.ElementCount() <= l_Text.size() / 3 + 1);
    if (l_Status.code != 0) {
        ZU_FUZZ_CHECK(l_Path.RootBus() == 0 && l_Path.ElementCount() == 0);
        return;
    }

    cCheckedString l_Formatted;
    l_Path.Format(l_Formatted, &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0);
    ZU_FUZZ_CHECK(l_Path.ElementCount() != 0);
    ZU_FUZZ_CHECK(l_Formatted.Length() == 5 + 3 * l_Path.ElementCount() - 1);
    // The parse saw the text up to its first zero byte.
    std::string l_Upper = l_Text.c_str();
    for (char& l_Char : l_Upper) {
        l_Char = static_cast<char>(std::toupper(static_cast<unsigned char>(l_Char)));
    }
    ZU_FUZZ_CHECK(l_Upper == l_Formatted.CStr());
    cSlotPath l_Again;
    l_Again.Parse(l_Formatted.CStr(), &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0);
    ZU_FUZZ_CHECK(l_Again.RootBus() == l_Path.RootBus());
    ZU_FUZZ_CHECK(elementsOf(l_Again) == elementsOf(l_Path));
}

// UTF-16 of well-formed UTF-8 (shortest forms, no surrogates, at most 0x10FFFF), or false.
bool strictUtf16(const std::string& a_rText, std::vector<std::uint16_t>& a_rUnits) {
    for (std::size_t l_At = 0; l_At < a_rText.size();) {
        const std::uint8_t l_Lead = static_cast<std::uint8_t>(a_rText[l_At]);
        std::size_t l_Length = 0;
        std::uint32_t l_Point = 0;
        std::uint32_t l_Smallest = 0;
        if (l_Lead < 0x80) {
            l_Length = 1;
            l_Point = l_Lead;
        } else if (l_Lead >= 0xC2 && l_Lead <= 0xDF) {
            l_Length = 2;
            l_Point = l_Lead & 0x1Fu;
            l_Smallest = 0x80;
        } else if (l_Lead >= 0xE0 && l_Lead <= 0xEF) {
            l_Length = 3;
            l_Point = l_Lead & 0x0Fu;
            l_Smallest = 0x800;
        } else if (l_Lead >= 0xF0 && l_Lead <= 0xF4) {
            l_Length = 4;
            l_Point = l_Lead & 0x07u;
            l_Smallest = 0x10000;
        } else {
            return false;
        }
        if (l_At + l_Length > a_rText.size()) {
            return false;
        }
        for (std::size_t l_Index = 1; l_Index < l_Length; ++l_Index) {
            const std::uint8_t l_Next = static_cast<std::uint8_t>(a_rText[l_At + l_Index]);
            if ((l_Next & 0xC0u) != 0x80u) {
                return false;
            }
            l_Point = (l_Point << 6) | (l_Next & 0x3Fu);
        }
        if (l_Point < l_Smallest || l_Point > 0x10FFFF ||
            (l_Point >= 0xD800 && l_Point <= 0xDFFF)) {
            return false;
        }
        if (l_Point < 0x10000) {
            a_rUnits.push_back(static_cast<std::uint16_t>(l_Point));
        } else {
            l_Point -= 0x10000;
            a_rUnits.push_back(static_cast<std::uint16_t>(0xD800 + (l_Point >> 10)));
            a_rUnits.push_back(static_cast<std::uint16_t>(0xDC00 + (l_Point & 0x3FF)));
        }
        l_At += l_Length;
    }
    return true;
}

void checkWidePath(const std::uint8_t* a_pData, std::size_t a_Size) {
    // The text up to the first zero byte, held in storage that ends with its terminator.
    std::string l_Text(reinterpret_cast<const char*>(a_pData), a_Size);
    l_Text.resize(l_Text.find('\0') == std::string::npos ? l_Text.size() : l_Text.find('\0'));
    std::vector<char> l_Storage(l_Text.begin(), l_Text.end());
    l_Storage.push_back('\0');

    tDetailedStatus l_Status = makeDetailedStatus();
    tWidePath l_Wide = makeWidePath();
    utf8ToWide(l_Storage.data(), &l_Wide, &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0);
    // One unit per byte at most: only four bytes make two units.
    ZU_FUZZ_CHECK(l_Wide.length <= l_Text.size());
    ZU_FUZZ_CHECK(l_Wide.length <= l_Wide.capacity);
    ZU_FUZZ_CHECK(l_Wide.data == nullptr ? l_Wide.length == 0 : l_Wide.data[l_Wide.length] == 0);
    // No 0 unit inside: the name must not end early.
    for (std::size_t l_Index = 0; l_Index < l_Wide.length; ++l_Index) {
        ZU_FUZZ_CHECK(l_Wide.data[l_Index] != 0);
    }

    std::vector<std::uint16_t> l_Expected;
    if (strictUtf16(l_Text, l_Expected)) {
        ZU_FUZZ_CHECK(l_Expected.size() == l_Wide.length);
        for (std::size_t l_Index = 0; l_Index < l_Expected.size(); ++l_Index) {
            ZU_FUZZ_CHECK(static_cast<std::uint16_t>(l_Wide.data[l_Index]) == l_Expected[l_Index]);
        }
    }
    releaseWidePath(&l_Wide);
    releaseDetailedStatus(&l_Status);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    checkSlotPath(a_pData, a_Size);
    checkWidePath(a_pData, a_Size);
    return 0;
}
