// Where the details reader and an RFC 8259 parser may rightly disagree about a text. The reader
// is meant for the documents this component writes, so it is looser in some places and
// stricter in others; every other disagreement is a fault.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "status/detailsDocument.h"

namespace zuFuzz {

enum : unsigned {
    // What the reader accepts and the other parser refuses.
    kLooseNumber = 1u << 0,       // leading zeros, a lone minus, "1.", "1e+"
    kUnboundedNumber = 1u << 1,   // a magnitude beyond double; the reader does not convert
    kUnvalidatedUtf8 = 1u << 2,   // bytes from 0x80 up are taken as they are
    kUnpairedSurrogate = 1u << 3, // a \u escape's value is not checked while validating
    kReaderLooser = kLooseNumber | kUnboundedNumber | kUnvalidatedUtf8 | kUnpairedSurrogate,
    // What the other parser accepts and the reader refuses.
    kDeleteInString = 1u << 4, // the builder escapes DEL, so a raw one means foreign text
    kTooDeep = 1u << 5,        // the reader's nesting limit
    kLeadingWhitespace = 1u << 6,
    kByteOrderMark = 1u << 7,
    kReaderStricter = kDeleteInString | kTooDeep | kLeadingWhitespace | kByteOrderMark,
};

inline bool isJsonWhitespace(char a_Byte) {
    return a_Byte == ' ' || a_Byte == '\t' || a_Byte == '\n' || a_Byte == '\r';
}

inline bool isDigit(char a_Byte) {
    return a_Byte >= '0' && a_Byte <= '9';
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool isValidUtf8(const std::string& a_rBytes) {
    std::size_t l_At = 0;
    while (l_At < a_rBytes.size()) {
        const unsigned char l_Lead = static_cast<unsigned char>(a_rBytes[l_At]);
        std::size_t l_Count = 0;
        std::uint32_t l_Min = 0;
        std::uint32_t l_CodePoint = 0;
        if (l_Lead < 0x80) {
            ++l_At;
            continue;
        } else if ((l_Lead & 0xE0) == 0xC0) {
            l_Count = 1;
            l_Min = 0x80;
            l_CodePoint = l_Lead & 0x1F;
        } else if ((l_Lead & 0xF0) == 0xE0) {
            l_Count = 2;
            l_Min = 0x800;
            l_CodePoint = l_Lead & 0x0F;
        } else if ((l_Lead & 0xF8) == 0xF0) {
            l_Count = 3;
            l_Min = 0x10000;
            l_CodePoint = l_Lead & 0x07;
        } else {
            return false;
        }
        if (l_At + l_Count >= a_rBytes.size()) {
            return false;
        }
        for (std::size_t l_Index = 1; l_Index <= l_Count; ++l_Index) {
            const unsigned char l_Next = static_cast<unsigned char>(a_rBytes[l_At + l_Index]);
            if ((l_Next & 0xC0) != 0x80) {
                return false;
            }
            l_CodePoint = (l_CodePoint << 6) | (l_Next & 0x3F);
        }
        if (l_CodePoint < l_Min || l_CodePoint > 0x10FFFF ||
            (l_CodePoint >= 0xD800 && l_CodePoint <= 0xDFFF)) {
            return false;
        }
        l_At += l_Count + 1;
    }
    return true;
}

inline bool isStrictNumber(const std::string& a_rToken) {
    std::size_t l_At = 0;
    const std::size_t l_End = a_rToken.size();
    if (l_At < l_End && a_rToken[l_At] == '-') {
        ++l_At;
    }
    if (l_At >= l_End || !isDigit(a_rToken[l_At])) {
        return false;
    }
    if (a_rToken[l_At] == '0') {
        ++l_At;
    } else {
        while (l_At < l_End && isDigit(a_rToken[l_At])) {
            ++l_At;
        }
    }
    if (l_At < l_End && a_rToken[l_At] == '.') {
        ++l_At;
        if (l_At >= l_End || !isDigit(a_rToken[l_At])) {
            return false;
        }
        while (l_At < l_End && isDigit(a_rToken[l_At])) {
            ++l_At;
        }
    }
    if (l_At < l_End && (a_rToken[l_At] == 'e' || a_rToken[l_At] == 'E')) {
        ++l_At;
        if (l_At < l_End && (a_rToken[l_At] == '+' || a_rToken[l_At] == '-')) {
            ++l_At;
        }
        if (l_At >= l_End || !isDigit(a_rToken[l_At])) {
            return false;
        }
        while (l_At < l_End && isDigit(a_rToken[l_At])) {
            ++l_At;
        }
    }
    return l_At == l_End;
}

// Scans a text that at least one of the two parsers accepted (so its strings and numbers can
// be told apart) and reports which of the known differences it contains.
inline unsigned knownDifferences(const std::string& a_rText) {
    unsigned l_Found = 0;
    if (!a_rText.empty() && isJsonWhitespace(a_rText[0])) {
        l_Found |= kLeadingWhitespace;
    }
    if (a_rText.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        l_Found |= kByteOrderMark;
    }
    unsigned l_Depth = 0;
    std::size_t l_At = 0;
    const std::size_t l_End = a_rText.size();
    while (l_At < l_End) {
        const char l_Byte = a_rText[l_At];
        if (l_Byte == '{' || l_Byte == '[') {
            if (++l_Depth > nZU7461_14_0::kJsonMaxDepth) {
                l_Found |= kTooDeep;
            }
            ++l_At;
        } else if (l_Byte == '}' || l_Byte == ']') {
            l_Depth = l_Depth == 0 ? 0 : l_Depth - 1;
            ++l_At;
        } else if (l_Byte == '"') {
            std::string l_Raw;
            ++l_At;
            while (l_At < l_End && a_rText[l_At] != '"') {
                if (a_rText[l_At] == '\x7f') {
                    l_Found |= kDeleteInString;
                }
                if (a_rText[l_At] != '\\') {
                    l_Raw += a_rText[l_At++];
                    continue;
                }
                // An escape ends any multi-byte sequence before it.
                if (!isValidUtf8(l_Raw)) {
                    l_Found |= kUnvalidatedUtf8;
                }
                l_Raw.clear();
                if (l_At + 1 < l_End && a_rText[l_At + 1] == 'u' && l_At + 5 < l_End) {
                    std::uint32_t l_Unit = 0;
                    for (std::size_t l_Index = 2; l_Index < 6; ++l_Index) {
                        l_Unit = (l_Unit << 4) |
                                 static_cast<std::uint32_t>(
                                     nZU7461_14_0::hexDigitValue(a_rText[l_At + l_Index]) & 0xF);
                    }
                    l_At += 6;
                    if (l_Unit >= 0xDC00 && l_Unit <= 0xDFFF) {
                        l_Found |= kUnpairedSurrogate;
                    } else if (l_Unit >= 0xD800 && l_Unit <= 0xDBFF) {
                        std::uint32_t l_Second = 0;
                        const bool l_Escape =
                            l_At + 5 < l_End && a_rText[l_At] == '\\' && a_rText[l_At + 1] == 'u';
                        if (l_Escape) {
                            for (std::size_t l_Index = 2; l_Index < 6; ++l_Index) {
                                l_Second =
                                    (l_Second << 4) |
                                    static_cast<std::uint32_t>(
                                        nZU7461_14_0::hexDigitValue(a_rText[l_At + l_Index]) & 0xF);
                            }
                        }
                        if (!l_Escape || l_Second < 0xDC00 || l_Second > 0xDFFF) {
                            l_Found |= kUnpairedSurrogate;
                        } else {
                            l_At += 6;
                        }
                    }
                    continue;
                }
                l_At += 2;
            }
            ++l_At;
            if (!isValidUtf8(l_Raw)) {
                l_Found |= kUnvalidatedUtf8;
            }
        } else if (l_Byte == '-' || isDigit(l_Byte)) {
            const std::size_t l_Start = l_At;
            while (l_At < l_End &&
                   (isDigit(a_rText[l_At]) || a_rText[l_At] == '-' || a_rText[l_At] == '+' ||
                    a_rText[l_At] == '.' || a_rText[l_At] == 'e' || a_rText[l_At] == 'E')) {
                ++l_At;
            }
            const std::string l_Token = a_rText.substr(l_Start, l_At - l_Start);
            if (!isStrictNumber(l_Token)) {
                l_Found |= kLooseNumber;
            } else if (!std::isfinite(std::strtod(l_Token.c_str(), nullptr))) {
                l_Found |= kUnboundedNumber;
            }
        } else {
            ++l_At;
        }
    }
    return l_Found;
}

} // namespace zuFuzz
