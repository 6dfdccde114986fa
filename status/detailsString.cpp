// Decoding of the details document's strings: one unit (a plain byte or an escape) at a time,
// shared by the key comparison, the unescaping and the detailed status's measuring, so that all
// of them read a string the same way.
#include <cstring>

#include "status/detailsDocument.h"

namespace nZU7461_14_0 {

namespace {

// The byte each simple escape stands for, by the letter after the backslash; 0 for letters that
// are no simple escape ("u" among them).
struct tEscapeTable {
    char byte[256];
};

constexpr tEscapeTable makeEscapeTable() {
    tEscapeTable l_Table{};
    l_Table.byte[static_cast<unsigned char>('"')] = '"';
    l_Table.byte[static_cast<unsigned char>('/')] = '/';
    l_Table.byte[static_cast<unsigned char>('\\')] = '\\';
    l_Table.byte[static_cast<unsigned char>('b')] = '\b';
    l_Table.byte[static_cast<unsigned char>('f')] = '\f';
    l_Table.byte[static_cast<unsigned char>('n')] = '\n';
    l_Table.byte[static_cast<unsigned char>('r')] = '\r';
    l_Table.byte[static_cast<unsigned char>('t')] = '\t';
    return l_Table;
}

constexpr tEscapeTable kEscapes = makeEscapeTable();

bool readHexUnit(const char* a_pRaw, std::size_t a_Left, std::uint32_t* a_pUnit) {
    if (a_Left < 4) {
        return false;
    }
    std::uint32_t l_Unit = 0;
    for (std::size_t l_Index = 0; l_Index < 4; ++l_Index) {
        const int l_Digit = hexDigitValue(a_pRaw[l_Index]);
        if (l_Digit < 0) {
            return false;
        }
        l_Unit = (l_Unit << 4) | static_cast<std::uint32_t>(l_Digit);
    }
    *a_pUnit = l_Unit;
    return true;
}

void encodeUtf8(std::uint32_t a_CodePoint, tDecodedUnit* a_pUnit) {
    unsigned char* l_pOut = a_pUnit->bytes;
    if (a_CodePoint <= 0x7F) {
        l_pOut[0] = static_cast<unsigned char>(a_CodePoint);
        a_pUnit->byteCount = 1;
    } else if (a_CodePoint <= 0x7FF) {
        l_pOut[0] = static_cast<unsigned char>(0xC0 | (a_CodePoint >> 6));
        l_pOut[1] = static_cast<unsigned char>(0x80 | (a_CodePoint & 0x3F));
        a_pUnit->byteCount = 2;
    } else if (a_CodePoint <= 0xFFFF) {
        l_pOut[0] = static_cast<unsigned char>(0xE0 | (a_CodePoint >> 12));
        l_pOut[1] = static_cast<unsigned char>(0x80 | ((a_CodePoint >> 6) & 0x3F));
        l_pOut[2] = static_cast<unsigned char>(0x80 | (a_CodePoint & 0x3F));
        a_pUnit->byteCount = 3;
    } else {
        l_pOut[0] = static_cast<unsigned char>(0xF0 | (a_CodePoint >> 18));
        l_pOut[1] = static_cast<unsigned char>(0x80 | ((a_CodePoint >> 12) & 0x3F));
        l_pOut[2] = static_cast<unsigned char>(0x80 | ((a_CodePoint >> 6) & 0x3F));
        l_pOut[3] = static_cast<unsigned char>(0x80 | (a_CodePoint & 0x3F));
        a_pUnit->byteCount = 4;
    }
}

} // namespace

// A lone or mismatched surrogate is refused rather than combined arithmetically: combining it
// would silently decode to some unrelated character.
tDecodedUnit decodeUnit(const char* a_pRaw, std::size_t a_Left) {
    tDecodedUnit l_Unit{};
    const char l_Byte = a_pRaw[0];
    if (l_Byte == '\0') {
        // The decoded text is a C string; an embedded zero would cut it short unnoticed.
        return l_Unit;
    }
    if (l_Byte != '\\') {
        l_Unit.bytes[0] = static_cast<unsigned char>(l_Byte);
        l_Unit.byteCount = 1;
        l_Unit.rawLength = 1;
        return l_Unit;
    }
    if (a_Left < 2) {
        return l_Unit;
    }
    const char l_Simple = kEscapes.byte[static_cast<unsigned char>(a_pRaw[1])];
    if (l_Simple == 0 && a_pRaw[1] != 'u') {
        return l_Unit;
    }
    if (l_Simple != 0) {
        l_Unit.bytes[0] = static_cast<unsigned char>(l_Simple);
        l_Unit.byteCount = 1;
        l_Unit.rawLength = 2;
        return l_Unit;
    }
    std::uint32_t l_First = 0;
    if (!readHexUnit(a_pRaw + 2, a_Left - 2, &l_First) || l_First == 0) {
        return l_Unit;
    }
    std::uint32_t l_CodePoint = l_First;
    std::size_t l_RawLength = 6;
    if (l_First >= 0xD800 && l_First <= 0xDFFF) {
        std::uint32_t l_Second = 0;
        if (l_First > 0xDBFF || a_Left < 12 || a_pRaw[6] != '\\' || a_pRaw[7] != 'u' ||
            !readHexUnit(a_pRaw + 8, a_Left - 8, &l_Second) || l_Second < 0xDC00 ||
            l_Second > 0xDFFF) {
            return l_Unit;
        }
        l_CodePoint = 0x10000 + ((l_First - 0xD800) << 10) + (l_Second - 0xDC00);
        l_RawLength = 12;
    }
    encodeUtf8(l_CodePoint, &l_Unit);
    l_Unit.rawLength = l_RawLength;
    return l_Unit;
}

bool keyEquals(const char* a_pRaw, std::size_t a_RawLength, const char* a_pText) {
    if ((a_pRaw == nullptr && a_RawLength != 0) || a_pText == nullptr) {
        return false;
    }
    std::size_t l_Raw = 0;
    const unsigned char* l_pText = reinterpret_cast<const unsigned char*>(a_pText);
    while (l_Raw < a_RawLength) {
        // Plain bytes compare as they are; only escapes need decoding.
        const char l_Byte = a_pRaw[l_Raw];
        if (l_Byte != '\\' && l_Byte != '\0') {
            if (static_cast<unsigned char>(l_Byte) != *l_pText) {
                return false;
            }
            ++l_pText;
            ++l_Raw;
            continue;
        }
        const tDecodedUnit l_Unit = decodeUnit(a_pRaw + l_Raw, a_RawLength - l_Raw);
        if (l_Unit.rawLength == 0) {
            return false;
        }
        for (std::size_t l_Index = 0; l_Index < l_Unit.byteCount; ++l_Index) {
            // The text's terminating zero never equals a decoded byte, which is never zero.
            if (*l_pText != l_Unit.bytes[l_Index]) {
                return false;
            }
            ++l_pText;
        }
        l_Raw += l_Unit.rawLength;
    }
    return *l_pText == '\0';
}

char* unescapeString(const char* a_pRaw, std::size_t a_RawLength, char* a_pOut) {
    if (a_pOut == nullptr) {
        return nullptr;
    }
    char* l_pOut = a_pOut;
    *l_pOut = '\0';
    if (a_pRaw == nullptr && a_RawLength != 0) {
        return nullptr;
    }
    // Every escape is longer than the bytes it decodes to, so a_RawLength + 1 bytes of output
    // always suffice.
    std::size_t l_Raw = 0;
    while (l_Raw < a_RawLength) {
        // Plain bytes are copied as they are; only escapes need decoding.
        const char l_Byte = a_pRaw[l_Raw];
        if (l_Byte != '\\' && l_Byte != '\0') {
            *l_pOut++ = l_Byte;
            ++l_Raw;
            continue;
        }
        const tDecodedUnit l_Unit = decodeUnit(a_pRaw + l_Raw, a_RawLength - l_Raw);
        if (l_Unit.rawLength == 0) {
            *l_pOut = '\0';
            return nullptr;
        }
        std::memcpy(l_pOut, l_Unit.bytes, l_Unit.byteCount);
        l_pOut += l_Unit.byteCount;
        l_Raw += l_Unit.rawLength;
    }
    *l_pOut = '\0';
    return l_pOut;
}

} // namespace nZU7461_14_0
