// Texts exchanged with the bridge driver library: slot paths and UTF-16 library file names.
#include <cctype>

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
        const char* const l_pOut = l_Formatted.CStr(); // formatting writes upper case
        ZU_FUZZ_CHECK(
            l_Status.code == 0 &&
            l_Formatted.Length() + (l_Path.ElementCount() != 0) == 5 + 3 * l_Path.ElementCount() &&
            std::equal(l_Text.begin(), l_Text.end(), l_pOut, l_pOut + std::strlen(l_pOut),
                       [](unsigned char a_In, char a_Out) { return std::toupper(a_In) == a_Out; }));
        l_Again.Parse(l_Formatted.CStr(), &l_Status);
        ZU_FUZZ_CHECK(l_Status.code == 0 && l_Again.RootBus() == l_Path.RootBus() &&
                      std::equal(l_Again.begin(), l_Again.end(), l_Path.begin(), l_Path.end()));
    }
    // A file name converts without ending early, and well-formed UTF-8 converts back unchanged.
    tDetailedStatus l_Detailed = makeDetailedStatus();
    tWidePath l_Wide = makeWidePath();
    utf8ToWide(l_Storage.data(), &l_Wide, &l_Detailed);
    // Units go back to UTF-8 through the other parser's reading of their escapes.
    std::string l_Escaped = "\"";
    for (std::size_t l_Index = 0; l_Index < l_Wide.length; ++l_Index) {
        char l_Unit[8];
        std::snprintf(l_Unit, sizeof l_Unit, "\\u%04X", unsigned(l_Wide.data[l_Index]));
        l_Escaped += l_Unit;
    }
    // One unit per byte at most: only four bytes make two units.
    ZU_FUZZ_CHECK(l_Detailed.code == 0 && l_Wide.length <= l_Text.size() &&
                  l_Wide.length <= l_Wide.capacity &&
                  l_Escaped.find("\\u0000") == std::string::npos &&
                  (l_Wide.data == nullptr ? l_Wide.length == 0 : l_Wide.data[l_Wide.length] == 0));
    const nlohmann::json l_Back = nlohmann::json::parse(l_Escaped + '"', nullptr, false);
    // Masking ASCII leaves the other parser judging only the UTF-8.
    std::string l_Masked = l_Text;
    std::replace_if(
        l_Masked.begin(), l_Masked.end(), [](char a_Char) { return a_Char >= 0; }, 'a');
    ZU_FUZZ_CHECK(!nlohmann::json::accept('"' + l_Masked + '"') || l_Back == l_Text);
    releaseWidePath(&l_Wide);
    releaseDetailedStatus(&l_Detailed);
    return 0;
}
