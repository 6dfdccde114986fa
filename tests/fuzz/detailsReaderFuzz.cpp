// parseValue and findDocumentEnd over any text, checked for consistency and against an
// independent parser: a disagreement must be one of the known, intended differences.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/detailsDocument.h"
#include "tests/fuzz/fuzzCheck.h"
#include "tests/fuzz/jsonDifferences.h"

using namespace nZU7461_14_0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    // The reader's text ends at its first zero byte; the heap copy is exactly that long, so
    // any read past it is caught.
    const char* l_pInput = reinterpret_cast<const char*>(a_pData);
    const std::string l_Text(l_pInput, strnlen(l_pInput, a_Size));
    const std::vector<char> l_Copy(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    const char* l_pText = l_Copy.data();
    const char* l_pTextEnd = l_pText + l_Text.size();

    tJsonValue l_Value{};
    const char* l_pEnd = parseValue(l_pText, &l_Value);
    if (l_pEnd != nullptr) {
        ZU_FUZZ_CHECK(l_pEnd > l_pText && l_pEnd <= l_pTextEnd);
        const std::uint64_t l_Whole = static_cast<std::uint64_t>(l_pEnd - l_pText);
        if (l_Value.kind == kJsonString) {
            ZU_FUZZ_CHECK(l_Value.start == l_pText + 1 && l_Value.length == l_Whole - 2);
        } else {
            ZU_FUZZ_CHECK(l_Value.kind >= kJsonNull && l_Value.kind <= kJsonObject);
            ZU_FUZZ_CHECK(l_Value.start == l_pText && l_Value.length == l_Whole);
        }
    } else {
        ZU_FUZZ_CHECK(l_Value.kind == kJsonError);
        ZU_FUZZ_CHECK(l_Value.start >= l_pText && l_Value.start <= l_pTextEnd);
        ZU_FUZZ_CHECK(l_Value.length >= kJsonErrorString && l_Value.length <= kJsonErrorDepth);
    }

    const char* l_pDocumentEnd = findDocumentEnd(l_pText);
    if (l_pText[0] == '{' || l_pText[0] == '[') {
        ZU_FUZZ_CHECK(l_pDocumentEnd == (l_pEnd == nullptr ? nullptr : l_pEnd - 1));
    } else {
        ZU_FUZZ_CHECK(l_pDocumentEnd == nullptr);
    }

    // The reader looks no further than the end of its value, so the other parser judges only
    // that part when the reader accepts.
    if (l_pEnd != nullptr) {
        const std::string l_Accepted(l_pText, l_pEnd);
        if (!nlohmann::json::accept(l_Accepted)) {
            ZU_FUZZ_CHECK((zuFuzz::knownDifferences(l_Accepted) & zuFuzz::kReaderLooser) != 0);
        }
    } else if (nlohmann::json::accept(l_Text)) {
        ZU_FUZZ_CHECK((zuFuzz::knownDifferences(l_Text) & zuFuzz::kReaderStricter) != 0);
    }
    return 0;
}
