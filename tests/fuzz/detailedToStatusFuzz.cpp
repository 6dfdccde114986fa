// detailedToStatus over any details text. What it reads must fit the status record, and must
// come back unchanged after being written into a document and read again.
#include <cstdint>
#include <cstring>
#include <string>

#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

bool terminatedWithin(const char* a_pText, std::size_t a_Size) {
    return std::memchr(a_pText, '\0', a_Size) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    const char* l_pInput = reinterpret_cast<const char*>(a_pData);
    const std::string l_Text(l_pInput, strnlen(l_pInput, a_Size));

    tDetailedStatus l_Detailed = makeDetailedStatus();
    ZU_FUZZ_CHECK(reallocateDetails(&l_Detailed, static_cast<std::uint32_t>(l_Text.size() + 2)));
    ZU_FUZZ_CHECK(initDocument(l_Detailed.json, l_Detailed.capacity, l_Text.c_str()) != nullptr);
    l_Detailed.code = -1;
    tStatus l_Read = makeStatus();
    ZU_FUZZ_CHECK(detailedToStatus(&l_Detailed, &l_Read));
    ZU_FUZZ_CHECK(l_Read.code == -1);
    ZU_FUZZ_CHECK(terminatedWithin(l_Read.component, sizeof l_Read.component));
    ZU_FUZZ_CHECK(terminatedWithin(l_Read.file, sizeof l_Read.file));
    // Reading never changes the document.
    ZU_FUZZ_CHECK(l_Text == l_Detailed.json);
    releaseDetailedStatus(&l_Detailed);

    tDetailedStatus l_Written = makeDetailedStatus();
    ZU_FUZZ_CHECK(statusToDetailed(&l_Read, &l_Written));
    if (l_Written.json != nullptr) {
        ZU_FUZZ_CHECK(findDocumentEnd(l_Written.json) != nullptr);
    }
    tStatus l_Again = makeStatus();
    detailedToStatus(&l_Written, &l_Again);
    ZU_FUZZ_CHECK(l_Again.code == -1);
    ZU_FUZZ_CHECK(std::strcmp(l_Again.component, l_Read.component) == 0);
    ZU_FUZZ_CHECK(std::strcmp(l_Again.file, l_Read.file) == 0);
    // The line travels with the file only.
    ZU_FUZZ_CHECK(l_Again.line == (l_Read.file[0] == '\0' ? 0 : l_Read.line));
    releaseDetailedStatus(&l_Written);
    return 0;
}
