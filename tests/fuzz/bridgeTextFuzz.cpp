// Texts exchanged with the bridge driver library: slot paths and UTF-16 library file names.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pcibrd/cSlotPath.h"
#include "pcibrd/dynload.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    // Both readers stop at the first zero byte; storage that ends there lets ASan catch overreads.
    const std::string l_Text(reinterpret_cast<const char*>(a_pData),
                             std::find(a_pData, a_pData + a_Size, 0) - a_pData);
    const std::vector<char> l_Storage(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    // A slot path is refused cleanly, or formats back to its own text and parses to the same path.
    cSlotPath l_Path, l_Again;
    tStatus l_Status = makeStatus();
    l_Path.Parse(l_Storage.data(), &l_Status);
    ZU_FUZZ_CHECK(l_Status.code == 0 || (l_Status.code == kStatusMalformedSlotPath &&
                                         l_Path.RootBus() == 0 && l_Path.ElementCount() == 0));
    if (l_Status.code == 0) {
        cCheckedString l_Formatted;
        l_Path.Format(l_Formatted, &l_Status);
        std::string l_Upper = l_Text; // formatting writes upper case
        std::transform(l_Upper.begin(), l_Upper.end(), l_Upper.begin(), [](unsigned char a_Char) {
            return static_cast<char>(std::toupper(a_Char));
        });
        ZU_FUZZ_CHECK(l_Status.code == 0 && l_Upper == l_Formatted.CStr() &&
                      l_Path.ElementCount() != 0 &&
                      l_Formatted.Length() == 5 + 3 * l_Path.ElementCount() - 1);
        l_Again.Parse(l_Formatted.CStr(), &l_Status);
        ZU_FUZZ_CHECK(l_Status.code == 0 && l_Again.RootBus() == l_Path.RootBus() &&
                      std::equal(l_Again.begin(), l_Again.end(), l_Path.begin(), l_Path.end()));
    }
    // A file name converts without ending early, and well-formed UTF-8 converts back unchanged.
    tDetailedStatus l_Detailed = makeDetailedStatus();
    tWidePath l_Wide = makeWidePath();
    utf8ToWide(l_Storage.data(), &l_Wide, &l_Detailed);
    // One unit per byte at most: only four bytes make two units.
    ZU_FUZZ_CHECK(l_Detailed.code == 0 && l_Wide.length <= l_Text.size() &&
                  l_Wide.length <= l_Wide.capacity &&
                  (l_Wide.data == nullptr ? l_Wide.length == 0 : l_Wide.data[l_Wide.length] == 0));
    std::string l_Back;
    for (std::size_t l_Index = 0; l_Index < l_Wide.length; ++l_Index) {
        std::uint32_t l_Point = static_cast<std::uint16_t>(l_Wide.data[l_Index]);
        const std::uint32_t l_Low = l_Index + 1 < l_Wide.length ? l_Wide.data[l_Index + 1] : 0;
        ZU_FUZZ_CHECK(l_Point != 0);
        if (l_Point >= 0xD800 && l_Point < 0xDC00 && l_Low >= 0xDC00 && l_Low < 0xE000) {
            l_Point = 0x10000 + ((l_Point - 0xD800) << 10) + (l_Low - 0xDC00);
            ++l_Index;
        }
        const int l_Tail = l_Point < 0x80 ? 0 : l_Point < 0x800 ? 1 : l_Point < 0x10000 ? 2 : 3;
        l_Back +=
            static_cast<char>(((0xF0E0C000u >> (8 * l_Tail)) & 0xFFu) | (l_Point >> (6 * l_Tail)));
        for (int l_Shift = 6 * (l_Tail - 1); l_Shift >= 0; l_Shift -= 6) {
            l_Back += static_cast<char>(0x80 | ((l_Point >> l_Shift) & 0x3F));
        }
    }
    // Masking ASCII leaves the other parser judging only the UTF-8.
    std::string l_Masked = l_Text;
    std::replace_if(
        l_Masked.begin(), l_Masked.end(), [](char a_Char) { return a_Char >= 0; }, 'a');
    ZU_FUZZ_CHECK(!nlohmann::json::accept('"' + l_Masked + '"') || l_Back == l_Text);
    releaseWidePath(&l_Wide);
    releaseDetailedStatus(&l_Detailed);
    return 0;
}
