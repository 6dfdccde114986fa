#include "sim/simReading.h"

#include "sim/simCallLog.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

bool tWholeNumber::isWithin(std::int64_t a_Min, std::uint64_t a_Max) const {
    if (m_Negative) {
        // The magnitude of a_Min, computed without negating INT64_MIN.
        const std::uint64_t l_MinMagnitude =
            a_Min < 0 ? static_cast<std::uint64_t>(-(a_Min + 1)) + 1 : 0;
        return m_Magnitude <= l_MinMagnitude;
    }
    return m_Magnitude <= a_Max && (a_Min <= 0 || m_Magnitude >= static_cast<std::uint64_t>(a_Min));
}

std::int64_t tWholeNumber::asSigned() const {
    if (!m_Negative) {
        return static_cast<std::int64_t>(m_Magnitude);
    }
    return -static_cast<std::int64_t>(m_Magnitude - 1) - 1;
}

tNumberProblem parseWholeText(const std::string& a_rText, tWholeNumber& a_rNumber) {
    const bool l_Negative = !a_rText.empty() && a_rText[0] == '-';
    const std::size_t l_Sign = l_Negative ? 1 : 0;
    const bool l_Hex = a_rText.size() > l_Sign + 2 && a_rText[l_Sign] == '0' &&
                       (a_rText[l_Sign + 1] | 0x20) == 'x';
    const std::size_t l_Start = l_Sign + (l_Hex ? 2 : 0);
    const std::uint64_t l_Base = l_Hex ? 16 : 10;
    if (a_rText.size() == l_Start) {
        return tNumberProblem::kNotDigits;
    }
    std::uint64_t l_Value = 0;
    bool l_TooLarge = false;
    for (std::size_t l_Index = l_Start; l_Index < a_rText.size(); ++l_Index) {
        const char l_Char = a_rText[l_Index];
        std::uint64_t l_Digit = 0;
        if (l_Char >= '0' && l_Char <= '9') {
            l_Digit = static_cast<std::uint64_t>(l_Char - '0');
        } else if (l_Hex && (l_Char | 0x20) >= 'a' && (l_Char | 0x20) <= 'f') {
            l_Digit = static_cast<std::uint64_t>((l_Char | 0x20) - 'a' + 10);
        } else {
            return tNumberProblem::kNotDigits;
        }
        // Every character is still looked at, so that "99999999999999999999x" is no number.
        l_TooLarge = l_TooLarge || l_Value > (UINT64_MAX - l_Digit) / l_Base;
        l_Value = l_TooLarge ? 0 : l_Value * l_Base + l_Digit;
    }
    if (l_TooLarge) {
        return tNumberProblem::kTooLarge;
    }
    a_rNumber.m_Negative = l_Negative && l_Value != 0;
    a_rNumber.m_Magnitude = l_Value;
    return tNumberProblem::kNone;
}

tNumberProblem readWholeNumber(const nlohmann::json& a_rValue, tWholeNumber& a_rNumber) {
    if (a_rValue.is_number_unsigned()) {
        a_rNumber = tWholeNumber{false, a_rValue.get<std::uint64_t>()};
        return tNumberProblem::kNone;
    }
    if (a_rValue.is_number_integer()) {
        const auto l_Value = a_rValue.get<std::int64_t>();
        a_rNumber.m_Negative = l_Value < 0;
        a_rNumber.m_Magnitude = l_Value < 0 ? static_cast<std::uint64_t>(-(l_Value + 1)) + 1
                                            : static_cast<std::uint64_t>(l_Value);
        return tNumberProblem::kNone;
    }
    if (a_rValue.is_number_float()) {
        // The JSON reader keeps whole numbers beyond 64 bits as floating point; anything else
        // written with a fraction or an exponent is no whole number of this format.
        const double l_Value = a_rValue.get<double>();
        return std::isfinite(l_Value) && std::fabs(l_Value) >= 18446744073709551616.0
                   ? tNumberProblem::kTooLarge
                   : tNumberProblem::kNotWhole;
    }
    if (a_rValue.is_string()) {
        return parseWholeText(a_rValue.get_ref<const std::string&>(), a_rNumber);
    }
    return tNumberProblem::kWrongType;
}

std::string quotedShort(const std::string& a_rText) {
    constexpr std::size_t kShown = 32;
    std::string l_Text = quotedText(a_rText.data(), std::min(a_rText.size(), kShown));
    if (a_rText.size() > kShown) {
        l_Text.insert(l_Text.size() - 1, "...");
    }
    return l_Text;
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
