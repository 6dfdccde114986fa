// Slot path parsing over any text: it either fails with the malformed-path code and leaves the
// path alone, or the text was exactly the path's own text form (hex digits of either case), which
// parses back to the same value.
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "pcibrd/cSlotPath.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

std::vector<std::uint8_t> elementsOf(const cSlotPath& a_rPath) {
    return std::vector<std::uint8_t>(a_rPath.begin(), a_rPath.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
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
        return 0;
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
    return 0;
}
