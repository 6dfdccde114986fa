// The in-place builder of the details document. A member is inserted by measuring it, moving
// the text behind the insertion point once, and writing the member into the gap. The end mark
// in the buffer's last byte bounds every move, so no add needs to know the buffer's size.
#include "status/detailsDocument.h"

#include <cstring>

namespace nZU7461_14_0 {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
// Digits of any 32-bit number, a sign and room to spare.
constexpr std::size_t kNumberScratchSize = 64;

// How each byte is written inside a string: its escaped width (1, 2 or 6) and, for a width of
// 2, the letter after the backslash. A table keeps the per-byte work to one lookup, which is
// what appends spend their time on.
struct tEscapeTable {
    unsigned char width[256];
    char letter[256];
};

constexpr tEscapeTable makeEscapeTable() {
    tEscapeTable l_Table{};
    for (int l_Byte = 0; l_Byte < 256; ++l_Byte) {
        l_Table.width[l_Byte] = (l_Byte < 0x20 || l_Byte == 0x7F) ? 6 : 1;
    }
    const char l_Escaped[] = {'"', '\\', '\b', '\t', '\n', '\f', '\r'};
    const char l_Letters[] = {'"', '\\', 'b', 't', 'n', 'f', 'r'};
    for (int l_Index = 0; l_Index < 7; ++l_Index) {
        const unsigned char l_Byte = static_cast<unsigned char>(l_Escaped[l_Index]);
        l_Table.width[l_Byte] = 2;
        l_Table.letter[l_Byte] = l_Letters[l_Index];
    }
    return l_Table;
}

constexpr tEscapeTable kEscapes = makeEscapeTable();

// Writes the digits of a magnitude backwards from a_pEnd and returns where they start.
char* formatDigits(std::uint32_t a_Magnitude, char* a_pEnd) {
    char* l_pAt = a_pEnd;
    do {
        *--l_pAt = static_cast<char>('0' + a_Magnitude % 10);
        a_Magnitude /= 10;
    } while (a_Magnitude != 0);
    return l_pAt;
}

// A text measured once: most texts need no escape and are then copied whole.
struct tMeasuredText {
    const char* text;
    std::size_t length;
    std::size_t escapedLength;
};

tMeasuredText measure(const char* a_pText) {
    tMeasuredText l_Measured{a_pText, 0, 0};
    if (a_pText == nullptr) {
        return l_Measured;
    }
    const unsigned char* l_pAt = reinterpret_cast<const unsigned char*>(a_pText);
    for (; *l_pAt != 0; ++l_pAt) {
        l_Measured.escapedLength += kEscapes.width[*l_pAt];
    }
    l_Measured.length =
        static_cast<std::size_t>(l_pAt - reinterpret_cast<const unsigned char*>(a_pText));
    return l_Measured;
}

char* writeMeasured(char* a_pOut, const tMeasuredText& a_rText) {
    if (a_rText.length == a_rText.escapedLength) {
        std::memcpy(a_pOut, a_rText.text, a_rText.length);
        return a_pOut + a_rText.length;
    }
    return writeEscaped(a_pOut, a_rText.text);
}

std::size_t keyPartLength(const tMeasuredText& a_rKey) {
    return a_rKey.text == nullptr ? 0 : a_rKey.escapedLength + 3;
}

char* writeKeyPart(char* a_pOut, const tMeasuredText& a_rKey) {
    if (a_rKey.text == nullptr) {
        return a_pOut;
    }
    *a_pOut++ = '"';
    a_pOut = writeMeasured(a_pOut, a_rKey);
    *a_pOut++ = '"';
    *a_pOut++ = ':';
    return a_pOut;
}

// Numbers and objects: a key part followed by literal bytes that need no escaping.
char* addLiteral(char* a_pCursor, const char* a_pKey, const char* a_pLiteral,
                 std::size_t a_LiteralLength) {
    if (a_pCursor == nullptr) {
        return nullptr;
    }
    const tMeasuredText l_Key = measure(a_pKey);
    char* l_pOut = openGap(a_pCursor, keyPartLength(l_Key) + a_LiteralLength);
    if (l_pOut == nullptr) {
        return nullptr;
    }
    l_pOut = writeKeyPart(l_pOut, l_Key);
    std::memcpy(l_pOut, a_pLiteral, a_LiteralLength);
    return l_pOut + a_LiteralLength;
}

// The free room of the buffer a cursor lies in: the zero bytes between the text's terminator and
// the end mark.
std::size_t freeRoom(const char* a_pCursor) {
    const char* l_pAt = a_pCursor + std::strlen(a_pCursor) + 1;
    const char* const l_pFirstFree = l_pAt;
    while (*l_pAt == '\0') {
        ++l_pAt;
    }
    return static_cast<std::size_t>(l_pAt - l_pFirstFree);
}

// The growing adds differ only in the plain add they retry.
template <class tAdd> char* addGrowing(char* a_pCursor, const tGrowth& a_rGrowth, tAdd a_Add) {
    if (a_pCursor == nullptr) {
        return nullptr;
    }
    char* l_pResult = a_Add(a_pCursor);
    if (l_pResult != nullptr || a_rGrowth.callback == nullptr) {
        return l_pResult;
    }
    // Each round must make the buffer larger; a callback that gives up (null) at its size limit,
    // or one that answers without making room, ends the add.
    for (std::size_t l_Room = freeRoom(a_pCursor);;) {
        a_pCursor = a_rGrowth.callback(a_pCursor, a_rGrowth.context);
        if (a_pCursor == nullptr) {
            return nullptr;
        }
        l_pResult = a_Add(a_pCursor);
        if (l_pResult != nullptr) {
            return l_pResult;
        }
        const std::size_t l_Grown = freeRoom(a_pCursor);
        if (l_Grown <= l_Room) {
            return nullptr;
        }
        l_Room = l_Grown;
    }
}

} // namespace

char* initDocument(char* a_pBuffer, std::size_t a_Capacity, const char* a_pText) {
    if (a_pBuffer == nullptr) {
        return nullptr;
    }
    // Without a text, the text already in the buffer is kept; it must end before the last
    // two bytes, which belong to its terminator and the end mark.
    const std::size_t l_Length =
        a_pText != nullptr ? std::strlen(a_pText) : strnlen(a_pBuffer, a_Capacity);
    if (a_Capacity < 2 || l_Length > a_Capacity - 2) {
        return nullptr;
    }
    if (a_pText != nullptr) {
        std::memmove(a_pBuffer, a_pText, l_Length);
    }
    std::memset(a_pBuffer + l_Length, 0, a_Capacity - 1 - l_Length);
    a_pBuffer[a_Capacity - 1] = kDocumentEndMark;
    return l_Length == 0 ? a_pBuffer : a_pBuffer + l_Length - 1;
}

bool isEmptyContainer(const char* a_pPosition, const char* a_pFloor) {
    if (a_pPosition == nullptr) {
        return false;
    }
    const char l_Byte = *a_pPosition;
    if (l_Byte == '{' || l_Byte == '[') {
        // The terminator is no whitespace: the walk stops at the text's end.
        const char* l_pAt = a_pPosition + 1;
        while (isWhitespace(*l_pAt)) {
            ++l_pAt;
        }
        return *l_pAt == (l_Byte == '{' ? '}' : ']');
    }
    if (l_Byte == '}' || l_Byte == ']') {
        // The walk back reads nothing before a_pFloor. Without one, the position lies in a
        // document, whose first byte (its root's opening bracket) is no whitespace.
        const char* l_pAt = a_pPosition;
        do {
            if (l_pAt == a_pFloor) {
                return false;
            }
            --l_pAt;
        } while (isWhitespace(*l_pAt));
        return *l_pAt == (l_Byte == '}' ? '{' : '[');
    }
    return false;
}

char* openGap(char* a_pCursor, std::size_t a_Length) {
    if (a_pCursor == nullptr) {
        return nullptr;
    }
    const bool l_AtOpening = *a_pCursor == '{' || *a_pCursor == '[';
    char* l_pInsert = l_AtOpening ? a_pCursor + 1 : a_pCursor;
    // Emptiness is judged from the bracket at the cursor: after an opening bracket may come
    // whitespace, which is no bracket. A cursor lies in a document (see isEmptyContainer).
    const bool l_NeedsComma = *l_pInsert != '\0' && !isEmptyContainer(a_pCursor, nullptr);
    const std::size_t l_Open = a_Length + (l_NeedsComma ? 1 : 0);
    char* l_pTerminator = l_pInsert + std::strlen(l_pInsert);
    // The free room is the run of zero bytes before the end mark, and only as much of it as
    // the gap needs is looked at. The search for the end mark stops at it, so it never leaves
    // the buffer; once the mark is known to lie beyond the gap, the gap's bytes are all inside
    // and can be checked without stopping at each.
    if (std::memchr(l_pTerminator + 1, kDocumentEndMark, l_Open) != nullptr) {
        return nullptr;
    }
    unsigned char l_Occupied = 0;
    for (std::size_t l_Index = 1; l_Index <= l_Open; ++l_Index) {
        l_Occupied |= static_cast<unsigned char>(l_pTerminator[l_Index]);
    }
    if (l_Occupied != 0) {
        return nullptr;
    }
    std::memmove(l_pInsert + l_Open, l_pInsert,
                 static_cast<std::size_t>(l_pTerminator - l_pInsert) + 1);
    if (!l_NeedsComma) {
        return l_pInsert;
    }
    if (l_AtOpening) {
        // The new member becomes the first one and the comma separates it from the old first.
        l_pInsert[l_Open - 1] = ',';
        return l_pInsert;
    }
    l_pInsert[0] = ',';
    return l_pInsert + 1;
}

std::size_t escapedLength(const char* a_pText) {
    std::size_t l_Length = 0;
    if (a_pText == nullptr) {
        return 0;
    }
    for (const unsigned char* l_pAt = reinterpret_cast<const unsigned char*>(a_pText); *l_pAt != 0;
         ++l_pAt) {
        l_Length += kEscapes.width[*l_pAt];
    }
    return l_Length;
}

char* writeEscaped(char* a_pOut, const char* a_pText) {
    if (a_pText == nullptr) {
        return a_pOut;
    }
    for (const unsigned char* l_pAt = reinterpret_cast<const unsigned char*>(a_pText); *l_pAt != 0;
         ++l_pAt) {
        const unsigned char l_Byte = *l_pAt;
        switch (kEscapes.width[l_Byte]) {
        case 1:
            *a_pOut++ = static_cast<char>(l_Byte);
            break;
        case 2:
            *a_pOut++ = '\\';
            *a_pOut++ = kEscapes.letter[l_Byte];
            break;
        default:
            *a_pOut++ = '\\';
            *a_pOut++ = 'u';
            *a_pOut++ = '0';
            *a_pOut++ = '0';
            *a_pOut++ = kHexDigits[l_Byte >> 4];
            *a_pOut++ = kHexDigits[l_Byte & 0x0F];
            break;
        }
    }
    return a_pOut;
}

char* addString(char* a_pCursor, const char* a_pKey, const char* a_pValue) {
    if (a_pCursor == nullptr || a_pValue == nullptr) {
        return nullptr;
    }
    const tMeasuredText l_Key = measure(a_pKey);
    const tMeasuredText l_Value = measure(a_pValue);
    char* l_pOut = openGap(a_pCursor, keyPartLength(l_Key) + l_Value.escapedLength + 2);
    if (l_pOut == nullptr) {
        return nullptr;
    }
    l_pOut = writeKeyPart(l_pOut, l_Key);
    *l_pOut++ = '"';
    l_pOut = writeMeasured(l_pOut, l_Value);
    *l_pOut++ = '"';
    return l_pOut;
}

char* addInt(char* a_pCursor, const char* a_pKey, std::int32_t a_Value) {
    char l_Scratch[kNumberScratchSize];
    char* const l_pEnd = l_Scratch + sizeof l_Scratch;
    const std::uint32_t l_Magnitude = a_Value < 0 ? 0U - static_cast<std::uint32_t>(a_Value)
                                                  : static_cast<std::uint32_t>(a_Value);
    char* l_pDigits = formatDigits(l_Magnitude, l_pEnd);
    if (a_Value < 0) {
        *--l_pDigits = '-';
    }
    return addLiteral(a_pCursor, a_pKey, l_pDigits, static_cast<std::size_t>(l_pEnd - l_pDigits));
}

char* addUInt(char* a_pCursor, const char* a_pKey, std::uint32_t a_Value) {
    char l_Scratch[kNumberScratchSize];
    char* const l_pEnd = l_Scratch + sizeof l_Scratch;
    const char* l_pDigits = formatDigits(a_Value, l_pEnd);
    return addLiteral(a_pCursor, a_pKey, l_pDigits, static_cast<std::size_t>(l_pEnd - l_pDigits));
}

char* addObject(char* a_pCursor, const char* a_pKey) {
    return addLiteral(a_pCursor, a_pKey, "{}", 2);
}

char* addStringGrowing(char* a_pCursor, const char* a_pKey, const char* a_pValue,
                       const tGrowth& a_rGrowth) {
    if (a_pValue == nullptr) {
        return nullptr;
    }
    return addGrowing(a_pCursor, a_rGrowth,
                      [&](char* a_pAt) { return addString(a_pAt, a_pKey, a_pValue); });
}

char* addIntGrowing(char* a_pCursor, const char* a_pKey, std::int32_t a_Value,
                    const tGrowth& a_rGrowth) {
    return addGrowing(a_pCursor, a_rGrowth,
                      [&](char* a_pAt) { return addInt(a_pAt, a_pKey, a_Value); });
}

char* addUIntGrowing(char* a_pCursor, const char* a_pKey, std::uint32_t a_Value,
                     const tGrowth& a_rGrowth) {
    return addGrowing(a_pCursor, a_rGrowth,
                      [&](char* a_pAt) { return addUInt(a_pAt, a_pKey, a_Value); });
}

char* addObjectGrowing(char* a_pCursor, const char* a_pKey, const tGrowth& a_rGrowth) {
    return addGrowing(a_pCursor, a_rGrowth, [&](char* a_pAt) { return addObject(a_pAt, a_pKey); });
}

} // namespace nZU7461_14_0
