// numberToInt32 over any token (first input byte: whether it has a fraction), checked against
// the C library's own conversion on a terminated copy.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "status/detailsDocument.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    if (a_Size == 0) {
        return 0;
    }
    const std::uint8_t l_HasFraction = a_pData[0] & 1;
    // The token as the document holds it: not terminated, so any read past it is caught.
    const std::vector<char> l_Token(a_pData + 1, a_pData + a_Size);
    const char* l_pToken = l_Token.empty() ? "" : l_Token.data();
    std::uint32_t l_Value = 0;
    const bool l_Converted = numberToInt32(l_pToken, l_Token.size(), l_HasFraction, &l_Value);

    const std::string l_Terminated(l_Token.begin(), l_Token.end());
    if (l_HasFraction == 0) {
        errno = 0;
        char* l_pEnd = nullptr;
        const long long l_Reference = std::strtoll(l_Terminated.c_str(), &l_pEnd, 0);
        const bool l_OutOfRange = errno == ERANGE || l_Reference < INT32_MIN ||
                                  l_Reference > static_cast<long long>(UINT32_MAX);
        ZU_FUZZ_CHECK(l_Converted == (l_pEnd != l_Terminated.c_str()));
        if (l_Converted) {
            ZU_FUZZ_CHECK(l_Value ==
                          (l_OutOfRange ? 0x80000000u : static_cast<std::uint32_t>(l_Reference)));
        }
    } else if (l_Token.size() >= 64 || l_Terminated.find('\0') != std::string::npos) {
        ZU_FUZZ_CHECK(!l_Converted);
    } else {
        char* l_pEnd = nullptr;
        const double l_Reference = std::strtod(l_Terminated.c_str(), &l_pEnd);
        ZU_FUZZ_CHECK(l_Converted == (l_pEnd != l_Terminated.c_str()));
        if (l_Converted && l_Reference > -2147483649.0 && l_Reference < 2147483648.0) {
            ZU_FUZZ_CHECK(l_Value ==
                          static_cast<std::uint32_t>(static_cast<std::int32_t>(l_Reference)));
        } else if (l_Converted) {
            ZU_FUZZ_CHECK(l_Value == 0x80000000u);
        }
    }
    return 0;
}
