// Conversion of the details document's numbers to 32-bit values, as the C library's scans
// would read them but bounded to the token and defined for every input.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "status/detailsDocument.h"

namespace nZU7461_14_0 {

namespace {

constexpr std::size_t kNumberScratchSize = 64;

bool isScanSpace(char a_Byte) {
    return a_Byte == ' ' || (a_Byte >= '\t' && a_Byte <= '\r');
}

// What "%i" reads (optional sign; "0x" hex, a leading 0 octal, else decimal), done by hand so
// that the scan stays inside the token however long it is, and an out-of-range value has a
// defined result instead of the C library's undefined one. Values from INT32_MIN up to
// UINT32_MAX are kept as their 32-bit pattern, so every number the builder writes with "%i" or
// "%u" reads back unchanged; anything beyond gives 0x80000000, as an oversized fraction does.
bool scanInteger(const char* a_pStart, std::size_t a_Length, std::uint32_t* a_pOut) {
    std::size_t l_At = 0;
    while (l_At < a_Length && isScanSpace(a_pStart[l_At])) {
        ++l_At;
    }
    bool l_Negative = false;
    if (l_At < a_Length && (a_pStart[l_At] == '-' || a_pStart[l_At] == '+')) {
        l_Negative = a_pStart[l_At] == '-';
        ++l_At;
    }
    unsigned l_Base = 10;
    if (l_At < a_Length && a_pStart[l_At] == '0') {
        l_Base = 8;
        if (l_At + 2 < a_Length && (a_pStart[l_At + 1] == 'x' || a_pStart[l_At + 1] == 'X') &&
            hexDigitValue(a_pStart[l_At + 2]) >= 0) {
            l_Base = 16;
            l_At += 2;
        }
    }
    constexpr std::uint64_t kLimit = 0x100000000ULL; // anything at or above is out of range
    std::uint64_t l_Magnitude = 0;
    bool l_Any = false;
    bool l_Overflow = false;
    for (; l_At < a_Length; ++l_At) {
        const int l_Digit = hexDigitValue(a_pStart[l_At]);
        if (l_Digit < 0 || static_cast<unsigned>(l_Digit) >= l_Base) {
            break;
        }
        l_Any = true;
        if (!l_Overflow) {
            l_Magnitude = l_Magnitude * l_Base + static_cast<unsigned>(l_Digit);
            l_Overflow = l_Magnitude >= kLimit;
        }
    }
    if (!l_Any) {
        return false;
    }
    if (l_Overflow || (l_Negative && l_Magnitude > 0x80000000ULL)) {
        *a_pOut = 0x80000000U;
    } else {
        *a_pOut = static_cast<std::uint32_t>(l_Negative ? 0 - l_Magnitude : l_Magnitude);
    }
    return true;
}

} // namespace

bool numberToInt32(const char* a_pStart, std::size_t a_Length, std::uint8_t a_HasFraction,
                   std::uint32_t* a_pOut) {
    if (a_pStart == nullptr || a_pOut == nullptr) {
        return false;
    }
    if (a_HasFraction == 0) {
        return scanInteger(a_pStart, a_Length, a_pOut);
    }
    // The token is not terminated in the document, so the floating scan runs on a terminated
    // copy. A fraction that does not fit is refused: cutting it could change its magnitude.
    char l_Token[kNumberScratchSize];
    if (a_Length >= sizeof l_Token || std::memchr(a_pStart, '\0', a_Length) != nullptr) {
        return false;
    }
    std::memcpy(l_Token, a_pStart, a_Length);
    l_Token[a_Length] = '\0';
    // The document always writes a full stop; the C library reads the locale's separator.
    char l_Probe[kNumberScratchSize];
    std::snprintf(l_Probe, sizeof l_Probe, "%.1f", 1.5);
    if (l_Probe[1] == ',') {
        for (char* l_pAt = l_Token; *l_pAt != '\0' && *l_pAt != ','; ++l_pAt) {
            if (*l_pAt == '.') {
                *l_pAt = ',';
                break;
            }
        }
    }
    char* l_pEnd = nullptr;
    const double l_Value = std::strtod(l_Token, &l_pEnd);
    if (l_pEnd == l_Token) {
        return false;
    }
    // NaN and the infinities land outside too; converting them would be undefined.
    if (l_Value > -2147483649.0 && l_Value < 2147483648.0) {
        *a_pOut = static_cast<std::uint32_t>(static_cast<std::int32_t>(l_Value));
    } else {
        *a_pOut = 0x80000000U;
    }
    return true;
}

} // namespace nZU7461_14_0
