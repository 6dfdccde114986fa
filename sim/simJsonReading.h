// Reading a JSON file whose faults say where they are ("bridges[3].device: ..."): whole numbers
// as a file writes them, the members of an object at their places, and texts of the file shown
// in a one-line message. The topology reader and the faults reader share all of it.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
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

// "0x" and at least a_Digits upper-case hexadecimal digits.
std::string hexText(std::uint64_t a_Value, int a_Digits);

// Text in double quotes, with quotes, backslashes and bytes outside printable ASCII escaped
// (\" \\ \0 \xNN), as the call log and the messages show it.
std::string quotedText(const char* a_pBytes, std::size_t a_Size);
// A text of the file as a message shows it: quoted, escaped and cut short, so that a name or
// value of any length or content keeps the message on one short line.
std::string quotedShort(const std::string& a_rText);

// A fault of the file: where it is and what is wrong, thrown by fail() and caught by the reader
// that turns it into its one-line description.
struct tReadFault {
    std::string m_Text;
};
[[noreturn]] void fail(const std::string& a_rWhere, const std::string& a_rWhat);

// What the user wrote, short enough for a one-line message. A container is named, never dumped:
// its text could be as long as the file.
std::string shown(const nlohmann::json& a_rValue);
// The place of an array's element: "bridges" and 3 give "bridges[3]".
std::string elementAt(const std::string& a_rWhere, std::size_t a_Index);

// How a reader words a number it refuses; each part of the file keeps the wording its users
// know. Plain data, so that loading the library registers no destructor.
struct tNumberWording {
    const char* m_pKind; // "must be <kind> or a text such as "0x<example>""
    std::uint32_t m_Example;
    int m_ExampleDigits;
    bool m_HexRange; // "0..0xFF" (decimal below 32) rather than "min..max" in decimal
};

// A JSON number, or a text in decimal or with 0x in hexadecimal, either with a leading minus,
// refused unless it is whole and within a_Min..a_Max.
tWholeNumber readNumber(const nlohmann::json& a_rValue, const std::string& a_rWhere,
                        std::int64_t a_Min, std::uint64_t a_Max, const tNumberWording& a_rWording);
// The same for a text alone, such as a member's name.
tWholeNumber readNumberText(const std::string& a_rText, const std::string& a_rWhere,
                            std::int64_t a_Min, std::uint64_t a_Max,
                            const tNumberWording& a_rWording);
std::string readText(const nlohmann::json& a_rValue, const std::string& a_rWhere);
// An array of at most a_Max elements.
const nlohmann::json& readArray(const nlohmann::json& a_rValue, const std::string& a_rWhere,
                                std::size_t a_Max = SIZE_MAX);

// An object of the file at its place, whose members are read at theirs ("bridges[3].bus").
class cJsonObject {
public:
    // Refuses anything but an object, a member not in a_Known, and a "comment" that is no text.
    cJsonObject(const nlohmann::json& a_rValue, const std::string& a_rWhere,
                std::initializer_list<const char*> a_Known, const tNumberWording& a_rWording);

    const std::string& where() const { return m_Where; }
    std::string placeOf(const char* a_pName) const { return m_Where + "." + a_pName; }
    // Null when the member is not given.
    const nlohmann::json* find(const char* a_pName) const;
    bool hasAny(std::initializer_list<const char*> a_Names) const;
    // a_pHint follows the message that the member is missing.
    const nlohmann::json& required(const char* a_pName, const char* a_pHint = "") const;

    // The members that may be left out: empty when they are.
    std::optional<std::uint32_t> u32(const char* a_pName, std::uint32_t a_Min,
                                     std::uint32_t a_Max) const;
    std::optional<bool> flag(const char* a_pName) const;
    std::optional<std::string> text(const char* a_pName) const;

private:
    const nlohmann::json& m_rObject;
    std::string m_Where;
    const tNumberWording& m_rWording;
};

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
