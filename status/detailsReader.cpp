// The grammar of the details document: the validating reader and the member lookup. It works on
// NUL-terminated text in place: the terminating zero is the end of the text, nothing past it is
// ever read, nothing is allocated and nothing is written except the caller's descriptor. String
// decoding is in detailsString.cpp, number conversion in detailsNumber.cpp.
#include "status/detailsDocument.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

namespace nZU7461_14_0 {

namespace {

const char* skipWhitespace(const char* a_pText) {
    while (isWhitespace(*a_pText)) {
        ++a_pText;
    }
    return a_pText;
}

bool isDigit(char a_Byte) {
    return a_Byte >= '0' && a_Byte <= '9';
}

const char* fail(tJsonValue* a_pValue, const char* a_pAt, std::uint32_t a_Kind) {
    if (a_pValue != nullptr) {
        a_pValue->kind = kJsonError;
        a_pValue->start = a_pAt;
        a_pValue->length = a_Kind;
        a_pValue->hasFraction = 0;
        a_pValue->booleanValue = false;
    }
    return nullptr;
}

void fill(tJsonValue* a_pValue, std::uint32_t a_Kind, const char* a_pStart, std::uint64_t a_Length,
          std::uint8_t a_HasFraction) {
    if (a_pValue != nullptr) {
        a_pValue->kind = a_Kind;
        a_pValue->start = a_pStart;
        a_pValue->length = a_Length;
        a_pValue->hasFraction = a_HasFraction;
        a_pValue->booleanValue = false;
    }
}

// Containers carry their nesting depth (the number of containers around them) so that hostile
// text cannot drive the recursion arbitrarily deep.
const char* parseValueAt(const char* a_pText, const char* a_pEnd, tJsonValue* a_pValue,
                         unsigned a_Depth);
const char* parseStringIn(const char* a_pText, const char* a_pEnd, tJsonValue* a_pValue);

const char* parseObjectAt(const char* a_pText, const char* a_pEnd, tJsonValue* a_pValue,
                          unsigned a_Depth) {
    if (*a_pText != '{') {
        return fail(a_pValue, a_pText, kJsonErrorObject);
    }
    const char* l_pAt = skipWhitespace(a_pText + 1);
    if (*l_pAt == '\0') {
        return fail(a_pValue, l_pAt, kJsonErrorObject);
    }
    for (;;) {
        if (*l_pAt == '}') {
            fill(a_pValue, kJsonObject, a_pText, static_cast<std::uint64_t>(l_pAt + 1 - a_pText),
                 0);
            return l_pAt + 1;
        }
        l_pAt = parseStringIn(l_pAt, a_pEnd, a_pValue);
        if (l_pAt == nullptr) {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt);
        if (*l_pAt != ':') {
            return fail(a_pValue, l_pAt, kJsonErrorColon);
        }
        l_pAt = parseValueAt(skipWhitespace(l_pAt + 1), a_pEnd, a_pValue, a_Depth + 1);
        if (l_pAt == nullptr) {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt);
        if (*l_pAt == ',') {
            l_pAt = skipWhitespace(l_pAt + 1);
            if (*l_pAt == '}') {
                return fail(a_pValue, l_pAt, kJsonErrorTrailingComma);
            }
        } else if (*l_pAt == '\0') {
            return fail(a_pValue, l_pAt, kJsonErrorObject);
        } else if (*l_pAt != '}') {
            return fail(a_pValue, l_pAt, kJsonErrorSeparator);
        }
    }
}

const char* parseArrayAt(const char* a_pText, const char* a_pEnd, tJsonValue* a_pValue,
                         unsigned a_Depth) {
    if (*a_pText != '[') {
        return fail(a_pValue, a_pText, kJsonErrorArray);
    }
    const char* l_pAt = skipWhitespace(a_pText + 1);
    if (*l_pAt == '\0') {
        return fail(a_pValue, l_pAt, kJsonErrorArray);
    }
    for (;;) {
        if (*l_pAt == ']') {
            fill(a_pValue, kJsonArray, a_pText, static_cast<std::uint64_t>(l_pAt + 1 - a_pText), 0);
            return l_pAt + 1;
        }
        l_pAt = parseValueAt(l_pAt, a_pEnd, a_pValue, a_Depth + 1);
        if (l_pAt == nullptr) {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt);
        if (*l_pAt == ',') {
            l_pAt = skipWhitespace(l_pAt + 1);
            if (*l_pAt == ']') {
                return fail(a_pValue, l_pAt, kJsonErrorTrailingComma);
            }
        } else if (*l_pAt == '\0') {
            return fail(a_pValue, l_pAt, kJsonErrorArray);
        } else if (*l_pAt != ']') {
            return fail(a_pValue, l_pAt, kJsonErrorSeparator);
        }
    }
}

const char* parseValueAt(const char* a_pText, const char* a_pEnd, tJsonValue* a_pValue,
                         unsigned a_Depth) {
    // The six parsers are tried in the order string, number, object, array, boolean, null, and
    // a failure reports the error found furthest into the text, the earlier parser's on a tie.
    // Each parser but the one the first byte selects fails right at that byte, and only the
    // string, object and array parsers report errors; so the outcome is the selected parser's
    // success, else its error when it got past the first byte (an object or array always
    // does), else the string parser's error at the first byte.
    switch (*a_pText) {
    case '"':
        return parseStringIn(a_pText, a_pEnd, a_pValue);
    case '{':
    case '[':
        // Checked before parsing: the nesting limit is reported as such, not as a string error.
        if (a_Depth >= kJsonMaxDepth) {
            return fail(a_pValue, a_pText, kJsonErrorDepth);
        }
        return *a_pText == '{' ? parseObjectAt(a_pText, a_pEnd, a_pValue, a_Depth)
                               : parseArrayAt(a_pText, a_pEnd, a_pValue, a_Depth);
    default:
        break;
    }
    const char* l_pEnd = parseNumber(a_pText, a_pValue);
    if (l_pEnd == nullptr) {
        l_pEnd = parseBoolean(a_pText, a_pValue);
    }
    if (l_pEnd == nullptr) {
        l_pEnd = parseNull(a_pText, a_pValue);
    }
    if (l_pEnd == nullptr) {
        return fail(a_pValue, a_pText, kJsonErrorString);
    }
    return l_pEnd;
}

} // namespace

namespace {

// Inside a string, the bytes that need a closer look: the closing quotation mark, the
// backslash, control characters (the terminating zero among them) and DEL, which the builder
// escapes.
bool isStringStop(unsigned char a_Byte) {
    return a_Byte < 0x20 || a_Byte == 0x7F || a_Byte == '\\' || a_Byte == '"';
}

// The first stop byte at or after a_pAt; the text's terminating zero is itself a stop, so the
// search ends there at the latest. a_pEnd, when not null, is a point no further than that zero:
// sixteen bytes are compared at a time while all of them lie before or at it.
const char* findStringStop(const char* a_pAt, const char* a_pEnd) {
#if defined(__SSE2__)
    if (a_pEnd == nullptr) {
        a_pEnd = a_pAt;
    }
    const __m128i l_Quote = _mm_set1_epi8('"');
    const __m128i l_Backslash = _mm_set1_epi8('\\');
    const __m128i l_Delete = _mm_set1_epi8(0x7F);
    const __m128i l_LastControl = _mm_set1_epi8(0x1F);
    while (a_pEnd - a_pAt >= 15) {
        const __m128i l_Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a_pAt));
        // Unsigned "at most 0x1F": the minimum with 0x1F is the byte itself.
        const __m128i l_Control = _mm_cmpeq_epi8(_mm_min_epu8(l_Bytes, l_LastControl), l_Bytes);
        const __m128i l_Marks =
            _mm_or_si128(_mm_cmpeq_epi8(l_Bytes, l_Quote), _mm_cmpeq_epi8(l_Bytes, l_Backslash));
        const __m128i l_Stops =
            _mm_or_si128(l_Control, _mm_or_si128(l_Marks, _mm_cmpeq_epi8(l_Bytes, l_Delete)));
        const int l_Mask = _mm_movemask_epi8(l_Stops);
        if (l_Mask != 0) {
            return a_pAt + __builtin_ctz(static_cast<unsigned>(l_Mask));
        }
        a_pAt += 16;
    }
#else
    (void)a_pEnd;
#endif
    while (!isStringStop(static_cast<unsigned char>(*a_pAt))) {
        ++a_pAt;
    }
    return a_pAt;
}

// a_pEnd is the text's terminating zero or a point before it, or null when unknown; knowing it
// lets the scan take the text in blocks.
const char* parseStringIn(const char* a_pText, const char* a_pEnd, tJsonValue* a_pValue) {
    if (*a_pText != '"') {
        return fail(a_pValue, a_pText, kJsonErrorString);
    }
    const char* const l_pStart = a_pText + 1;
    const char* l_pAt = l_pStart;
    for (;;) {
        l_pAt = findStringStop(l_pAt, a_pEnd);
        if (*l_pAt == '"') {
            fill(a_pValue, kJsonString, l_pStart, static_cast<std::uint64_t>(l_pAt - l_pStart), 0);
            return l_pAt + 1;
        }
        if (*l_pAt != '\\') {
            // A control character, or the end of the text inside the string.
            return fail(a_pValue, l_pAt, kJsonErrorString);
        }
        const char l_Escape = l_pAt[1];
        if (l_Escape == '"' || l_Escape == '/' || l_Escape == '\\' || l_Escape == 'b' ||
            l_Escape == 'f' || l_Escape == 'n' || l_Escape == 'r' || l_Escape == 't') {
            l_pAt += 2;
        } else if (l_Escape == 'u') {
            // The first byte that is not a hex digit is where the escape went wrong; the
            // terminating zero is not one, so the scan stops there at the latest.
            for (int l_Index = 2; l_Index < 6; ++l_Index) {
                if (hexDigitValue(l_pAt[l_Index]) < 0) {
                    return fail(a_pValue, l_pAt + l_Index, kJsonErrorEscape);
                }
            }
            l_pAt += 6;
        } else {
            return fail(a_pValue, l_pAt + 1, kJsonErrorEscape);
        }
    }
}

} // namespace

// A lone string is read without measuring the rest of the text, which may be long: only this
// far ahead, which covers every string the component writes. The block scan needs no more than
// a point that is not past the terminating zero.
constexpr std::size_t kLoneStringLookahead = 4096;

const char* parseString(const char* a_pText, tJsonValue* a_pValue) {
    return parseStringIn(a_pText, a_pText + strnlen(a_pText, kLoneStringLookahead), a_pValue);
}

const char* parseNumber(const char* a_pText, tJsonValue* a_pValue) {
    const char* l_pAt = a_pText;
    if (*l_pAt != '-' && !isDigit(*l_pAt)) {
        return nullptr;
    }
    if (*l_pAt == '-') {
        ++l_pAt;
    }
    std::uint8_t l_HasFraction = 0;
    while (isDigit(*l_pAt)) {
        ++l_pAt;
    }
    if (*l_pAt == '.') {
        l_HasFraction = 1;
        ++l_pAt;
        while (isDigit(*l_pAt)) {
            ++l_pAt;
        }
    }
    if (*l_pAt == 'e' || *l_pAt == 'E') {
        ++l_pAt;
        if (*l_pAt != '+' && *l_pAt != '-' && !isDigit(*l_pAt)) {
            return nullptr;
        }
        l_HasFraction = 1;
        ++l_pAt;
        while (isDigit(*l_pAt)) {
            ++l_pAt;
        }
    }
    fill(a_pValue, kJsonNumber, a_pText, static_cast<std::uint64_t>(l_pAt - a_pText),
         l_HasFraction);
    return l_pAt;
}

const char* parseObject(const char* a_pText, tJsonValue* a_pValue) {
    return parseObjectAt(a_pText, a_pText + std::strlen(a_pText), a_pValue, 0);
}

const char* parseArray(const char* a_pText, tJsonValue* a_pValue) {
    return parseArrayAt(a_pText, a_pText + std::strlen(a_pText), a_pValue, 0);
}

const char* parseBoolean(const char* a_pText, tJsonValue* a_pValue) {
    // strncmp stops at the text's terminating zero, so a short text is never overrun.
    bool l_Value = false;
    const char* l_pEnd = nullptr;
    if (std::strncmp(a_pText, "true", 4) == 0) {
        l_Value = true;
        l_pEnd = a_pText + 4;
    } else if (std::strncmp(a_pText, "false", 5) == 0) {
        l_pEnd = a_pText + 5;
    } else {
        return nullptr;
    }
    fill(a_pValue, kJsonBoolean, a_pText, static_cast<std::uint64_t>(l_pEnd - a_pText), 0);
    if (a_pValue != nullptr) {
        a_pValue->booleanValue = l_Value;
    }
    return l_pEnd;
}

const char* parseNull(const char* a_pText, tJsonValue* a_pValue) {
    if (std::strncmp(a_pText, "null", 4) != 0) {
        return nullptr;
    }
    fill(a_pValue, kJsonNull, a_pText, 4, 0);
    return a_pText + 4;
}

const char* parseValue(const char* a_pText, tJsonValue* a_pValue) {
    if (*a_pText == '"') {
        return parseString(a_pText, a_pValue);
    }
    return parseValueAt(a_pText, a_pText + std::strlen(a_pText), a_pValue, 0);
}

const char* findDocumentEnd(const char* a_pDocument) {
    if (a_pDocument == nullptr) {
        return nullptr;
    }
    const char* l_pEnd = nullptr;
    const char* l_pTextEnd = a_pDocument + std::strlen(a_pDocument);
    if (*a_pDocument == '{') {
        l_pEnd = parseObjectAt(a_pDocument, l_pTextEnd, nullptr, 0);
    } else if (*a_pDocument == '[') {
        l_pEnd = parseArrayAt(a_pDocument, l_pTextEnd, nullptr, 0);
    }
    return l_pEnd == nullptr ? nullptr : l_pEnd - 1;
}

const char* findMember(const char* a_pDocument, const char* a_pKey) {
    if (a_pDocument == nullptr || a_pKey == nullptr) {
        return nullptr;
    }
    const char* l_pTextEnd = a_pDocument + std::strlen(a_pDocument);
    const char* l_pAt = skipWhitespace(a_pDocument);
    if (*l_pAt != '{') {
        return nullptr;
    }
    l_pAt = skipWhitespace(l_pAt + 1);
    for (;;) {
        tJsonValue l_Key{};
        l_pAt = parseStringIn(l_pAt, l_pTextEnd, &l_Key);
        if (l_pAt == nullptr) {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt);
        if (*l_pAt != ':') {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt + 1);
        if (keyEquals(l_Key.start, static_cast<std::size_t>(l_Key.length), a_pKey)) {
            return l_pAt;
        }
        l_pAt = parseValueAt(l_pAt, l_pTextEnd, nullptr, 1);
        if (l_pAt == nullptr) {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt);
        if (*l_pAt != ',') {
            return nullptr;
        }
        l_pAt = skipWhitespace(l_pAt + 1);
        if (*l_pAt == '}') {
            return nullptr;
        }
    }
}

} // namespace nZU7461_14_0
