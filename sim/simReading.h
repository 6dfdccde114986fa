// What the topology reader and the faults reader share: whole numbers as a file writes them,
// and texts of a file shown in a one-line message.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {

// A whole number as sign and magnitude, so that every 64-bit value of either signedness is
// held exactly and nothing is ever negated or wrapped on the way.
struct tWholeNumber {
    bool m_Negative = false; // never together with a magnitude of 0: "-0" is 0
    std::uint64_t m_Magnitude = 0;

    bool isWithin(std::int64_t a_Min, std::uint64_t a_Max) const;
    // Only for a number within an int64 range.
    std::int64_t asSigned() const;
};

enum class tNumberProblem : std::uint8_t {
    kNone,
    kNotDigits, // a text that is not "[-]digits" or "[-]0xhexdigits"
    kNotWhole,  // a JSON number with a fraction or an exponent
    kTooLarge,  // beyond 64 bits
    kWrongType, // neither a JSON number nor a text
};

// A JSON number, or a text in decimal or with 0x in hexadecimal, either with a leading minus.
tNumberProblem readWholeNumber(const nlohmann::json& a_rValue, tWholeNumber& a_rNumber);
tNumberProblem parseWholeText(const std::string& a_rText, tWholeNumber& a_rNumber);

// A text of the file as a message shows it: quoted, escaped and cut short, so that a name or
// value of any length or content keeps the message on one short line.
std::string quotedShort(const std::string& a_rText);

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
