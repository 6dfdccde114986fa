#include "sim/simJsonReading.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

namespace {

enum class tNumberProblem : std::uint8_t {
    kNone,
    kNotDigits, // a text that is not "[-]digits" or "[-]0xhexdigits"
    kNotWhole,  // a JSON number with a fraction or an exponent
    kTooLarge,  // beyond 64 bits
    kWrongType, // neither a JSON number nor a text
};

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

// A JSON number, or a text as parseWholeText reads it.
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

tWholeNumber checkedNumber(tNumberProblem a_Problem, const tWholeNumber& a_rNumber,
                           const std::string& a_rShown, const std::string& a_rWhere,
                           std::int64_t a_Min, std::uint64_t a_Max,
                           const tNumberWording& a_rWording) {
    switch (a_Problem) {
    case tNumberProblem::kNone:
    case tNumberProblem::kTooLarge:
        break;
    case tNumberProblem::kNotDigits:
        fail(a_rWhere,
             a_rShown + " is not a number (use decimal digits or 0x and hexadecimal digits)");
    case tNumberProblem::kNotWhole:
        fail(a_rWhere, a_rShown + " is not a whole number (write it without fraction or exponent)");
    case tNumberProblem::kWrongType:
        fail(a_rWhere, a_rShown + " must be " + a_rWording.m_pKind + " or a text such as \"" +
                           hexText(a_rWording.m_Example, a_rWording.m_ExampleDigits) + "\"");
    }
    if (a_Problem == tNumberProblem::kTooLarge || !a_rNumber.isWithin(a_Min, a_Max)) {
        const bool l_Hex = a_rWording.m_HexRange && a_Max >= 0x20;
        fail(a_rWhere, a_rShown + " is out of range " + std::to_string(a_Min) + ".." +
                           (l_Hex ? hexText(a_Max, 0) : std::to_string(a_Max)));
    }
    return a_rNumber;
}

} // namespace

std::string hexText(std::uint64_t a_Value, int a_Digits) {
    char l_Text[24];
    std::snprintf(l_Text, sizeof l_Text, "0x%0*llX", a_Digits,
                  static_cast<unsigned long long>(a_Value));
    return l_Text;
}

std::string quotedText(const char* a_pBytes, std::size_t a_Size) {
    std::string l_Text = "\"";
    for (std::size_t l_Index = 0; l_Index < a_Size; ++l_Index) {
        const auto l_Byte = static_cast<unsigned char>(a_pBytes[l_Index]);
        if (l_Byte == '"' || l_Byte == '\\') {
            l_Text += '\\';
            l_Text += static_cast<char>(l_Byte);
        } else if (l_Byte == 0) {
            l_Text += "\\0";
        } else if (l_Byte < 0x20 || l_Byte > 0x7E) {
            l_Text += "\\x" + hexText(l_Byte, 2).substr(2);
        } else {
            l_Text += static_cast<char>(l_Byte);
        }
    }
    return l_Text + "\"";
}

std::string quotedShort(const std::string& a_rText) {
    constexpr std::size_t kShown = 32;
    std::string l_Text = quotedText(a_rText.data(), std::min(a_rText.size(), kShown));
    if (a_rText.size() > kShown) {
        l_Text.insert(l_Text.size() - 1, "...");
    }
    return l_Text;
}

void fail(const std::string& a_rWhere, const std::string& a_rWhat) {
    throw tReadFault{a_rWhere + ": " + a_rWhat};
}

std::string shown(const nlohmann::json& a_rValue) {
    if (a_rValue.is_structured()) {
        return a_rValue.is_array() ? "an array" : "an object";
    }
    return a_rValue.is_string() ? quotedShort(a_rValue.get_ref<const std::string&>())
                                : a_rValue.dump();
}

std::string elementAt(const std::string& a_rWhere, std::size_t a_Index) {
    return a_rWhere + "[" + std::to_string(a_Index) + "]";
}

tWholeNumber readNumber(const nlohmann::json& a_rValue, const std::string& a_rWhere,
                        std::int64_t a_Min, std::uint64_t a_Max, const tNumberWording& a_rWording) {
    tWholeNumber l_Number;
    const tNumberProblem l_Problem = readWholeNumber(a_rValue, l_Number);
    return checkedNumber(l_Problem, l_Number, shown(a_rValue), a_rWhere, a_Min, a_Max, a_rWording);
}

tWholeNumber readNumberText(const std::string& a_rText, const std::string& a_rWhere,
                            std::int64_t a_Min, std::uint64_t a_Max,
                            const tNumberWording& a_rWording) {
    tWholeNumber l_Number;
    const tNumberProblem l_Problem = parseWholeText(a_rText, l_Number);
    return checkedNumber(l_Problem, l_Number, quotedShort(a_rText), a_rWhere, a_Min, a_Max,
                         a_rWording);
}

std::string readText(const nlohmann::json& a_rValue, const std::string& a_rWhere) {
    if (!a_rValue.is_string()) {
        fail(a_rWhere, shown(a_rValue) + " must be a text");
    }
    return a_rValue.get<std::string>();
}

const nlohmann::json& readArray(const nlohmann::json& a_rValue, const std::string& a_rWhere,
                                std::size_t a_Max) {
    if (!a_rValue.is_array()) {
        fail(a_rWhere, "must be an array");
    }
    if (a_rValue.size() > a_Max) {
        fail(a_rWhere, "more than " + std::to_string(a_Max) + " elements");
    }
    return a_rValue;
}

cJsonObject::cJsonObject(const nlohmann::json& a_rValue, const std::string& a_rWhere,
                         std::initializer_list<const char*> a_Known,
                         const tNumberWording& a_rWording)
    : m_rObject(a_rValue), m_Where(a_rWhere), m_rWording(a_rWording) {
    if (!a_rValue.is_object()) {
        fail(m_Where, "must be an object");
    }
    for (auto l_Member = a_rValue.begin(); l_Member != a_rValue.end(); ++l_Member) {
        if (std::none_of(a_Known.begin(), a_Known.end(),
                         [&](const char* a_pName) { return l_Member.key() == a_pName; })) {
            fail(m_Where, "unknown member " + quotedShort(l_Member.key()));
        }
    }
    const nlohmann::json* l_pComment = find("comment");
    if (l_pComment != nullptr && !l_pComment->is_string()) {
        fail(placeOf("comment"), "must be a text");
    }
}

const nlohmann::json* cJsonObject::find(const char* a_pName) const {
    const auto l_Member = m_rObject.find(a_pName);
    return l_Member == m_rObject.end() ? nullptr : &*l_Member;
}

bool cJsonObject::hasAny(std::initializer_list<const char*> a_Names) const {
    return std::any_of(a_Names.begin(), a_Names.end(),
                       [&](const char* a_pName) { return find(a_pName) != nullptr; });
}

const nlohmann::json& cJsonObject::required(const char* a_pName, const char* a_pHint) const {
    const nlohmann::json* l_pMember = find(a_pName);
    if (l_pMember == nullptr) {
        fail(m_Where, std::string("\"") + a_pName + "\" is missing" + a_pHint);
    }
    return *l_pMember;
}

std::optional<std::uint32_t> cJsonObject::u32(const char* a_pName, std::uint32_t a_Min,
                                              std::uint32_t a_Max) const {
    const nlohmann::json* l_pMember = find(a_pName);
    if (l_pMember == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(
        readNumber(*l_pMember, placeOf(a_pName), a_Min, a_Max, m_rWording).m_Magnitude);
}

std::optional<bool> cJsonObject::flag(const char* a_pName) const {
    const nlohmann::json* l_pMember = find(a_pName);
    if (l_pMember != nullptr && !l_pMember->is_boolean()) {
        fail(placeOf(a_pName), shown(*l_pMember) + " must be true or false");
    }
    return l_pMember == nullptr ? std::nullopt : std::optional<bool>(l_pMember->get<bool>());
}

std::optional<std::string> cJsonObject::text(const char* a_pName) const {
    const nlohmann::json* l_pMember = find(a_pName);
    return l_pMember == nullptr
               ? std::nullopt
               : std::optional<std::string>(readText(*l_pMember, placeOf(a_pName)));
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
