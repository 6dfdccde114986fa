// The error details document: a JSON object built in place in a buffer closed by an end mark,
// and the validating reader that reads it back. Neither allocates; the builder grows only
// through its tGrowth callback.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nZU7461_14_0 {

// Last byte of every details buffer; lets a builder find the buffer's end from the text alone.
constexpr char kDocumentEndMark = 'J';
// "{}", its terminator and the end mark.
constexpr std::size_t kSmallestDocumentCapacity = 4;

struct tGrowth {
    // Makes more room and returns the cursor's new position, or null when no room can be made.
    char* (*callback)(char* a_pCursor, void* a_pContext);
    void* context;
};

// ---- Builder -------------------------------------------------------------------------------

char* initDocument(char* a_pBuffer, std::size_t a_Capacity, const char* a_pText);
// Whether the bracket at a_pPosition belongs to a container holding nothing but whitespace. From
// a closing bracket the walk goes back, reading nothing before a_pFloor (the text's first byte);
// a null floor is for a position inside a document, whose first byte is its root's bracket.
bool isEmptyContainer(const char* a_pPosition, const char* a_pFloor);
// Opens a_Length bytes (and a comma where one is needed) at a cursor inside a document.
char* openGap(char* a_pCursor, std::size_t a_Length);
std::size_t escapedLength(const char* a_pText);
char* writeEscaped(char* a_pOut, const char* a_pText);

// Each add returns the position just after what it wrote, or null (document unchanged) when the
// cursor or a string value is null or the room is too small. A null key writes a bare value.
// A growing add fails, rather than trying again, when its growth makes no more room.
char* addString(char* a_pCursor, const char* a_pKey, const char* a_pValue);
char* addInt(char* a_pCursor, const char* a_pKey, std::int32_t a_Value);
char* addUInt(char* a_pCursor, const char* a_pKey, std::uint32_t a_Value);
char* addObject(char* a_pCursor, const char* a_pKey);

char* addStringGrowing(char* a_pCursor, const char* a_pKey, const char* a_pValue,
                       const tGrowth& a_rGrowth);
char* addIntGrowing(char* a_pCursor, const char* a_pKey, std::int32_t a_Value,
                    const tGrowth& a_rGrowth);
char* addUIntGrowing(char* a_pCursor, const char* a_pKey, std::uint32_t a_Value,
                     const tGrowth& a_rGrowth);
char* addObjectGrowing(char* a_pCursor, const char* a_pKey, const tGrowth& a_rGrowth);

// An add of an object leaves the cursor just after its closing bracket. enterObject moves it onto
// that bracket, where the next adds go inside the object; leaveObject moves it past the bracket
// again, once the object's last member is written. Both pass a null cursor on.
inline char* enterObject(char* a_pCursor) {
    return a_pCursor == nullptr ? nullptr : a_pCursor - 1;
}
inline char* leaveObject(char* a_pCursor) {
    return a_pCursor == nullptr ? nullptr : a_pCursor + 1;
}

// ---- Reader --------------------------------------------------------------------------------

enum : std::uint32_t {
    kJsonError = 0,
    kJsonNull = 1,
    kJsonBoolean = 2,
    kJsonNumber = 3,
    kJsonString = 4,
    kJsonArray = 5,
    kJsonObject = 6,
};

enum : std::uint32_t {
    kJsonErrorString = 2,
    kJsonErrorObject = 3,
    kJsonErrorArray = 4,
    kJsonErrorColon = 5,
    kJsonErrorSeparator = 6,
    kJsonErrorEscape = 7,
    kJsonErrorTrailingComma = 8,
    // Nesting deeper than kJsonMaxDepth; far above the two levels this component writes.
    kJsonErrorDepth = 9,
};

constexpr unsigned kJsonMaxDepth = 256;

// Whitespace between the tokens of a document.
inline bool isWhitespace(char a_Byte) {
    return a_Byte == ' ' || a_Byte == '\t' || a_Byte == '\n' || a_Byte == '\r';
}

// The value of one hexadecimal digit of either case, or -1.
inline int hexDigitValue(char a_Byte) {
    if (a_Byte >= '0' && a_Byte <= '9') {
        return a_Byte - '0';
    }
    if (a_Byte >= 'a' && a_Byte <= 'f') {
        return a_Byte - 'a' + 10;
    }
    if (a_Byte >= 'A' && a_Byte <= 'F') {
        return a_Byte - 'A' + 10;
    }
    return -1;
}

struct tJsonValue {
    std::uint32_t kind;
    // String: after the opening quote; number: first byte; container: its bracket; error: where
    // it was found. A boolean keeps its value in booleanValue instead.
    const char* start;
    // String: raw bytes between the quotes; number, boolean, null, container: bytes of the
    // value; error: the error kind.
    std::uint64_t length;
    std::uint8_t hasFraction;
    bool booleanValue;
};

const char* parseString(const char* a_pText, tJsonValue* a_pValue);
const char* parseNumber(const char* a_pText, tJsonValue* a_pValue);
const char* parseObject(const char* a_pText, tJsonValue* a_pValue);
const char* parseArray(const char* a_pText, tJsonValue* a_pValue);
const char* parseBoolean(const char* a_pText, tJsonValue* a_pValue);
const char* parseNull(const char* a_pText, tJsonValue* a_pValue);
const char* parseValue(const char* a_pText, tJsonValue* a_pValue);

const char* findDocumentEnd(const char* a_pDocument);
inline char* findDocumentEnd(char* a_pDocument) {
    return const_cast<char*>(findDocumentEnd(static_cast<const char*>(a_pDocument)));
}
const char* findMember(const char* a_pDocument, const char* a_pKey);

// One decoded unit of a raw string: a plain byte or one escape (a surrogate pair counts as
// one). Everything that reads a string's text goes through it, so all read it the same way.
struct tDecodedUnit {
    std::size_t rawLength; // 0: the raw text cannot be decoded here
    unsigned char bytes[4];
    std::size_t byteCount;
};
// The unit at a_pRaw, with a_Left raw bytes left. A zero byte, an unknown escape, \u0000 and a
// surrogate that is not a high one followed by a low one do not decode.
tDecodedUnit decodeUnit(const char* a_pRaw, std::size_t a_Left);
bool keyEquals(const char* a_pRaw, std::size_t a_RawLength, const char* a_pText);
// a_pOut must hold a_RawLength + 1 bytes (decoding never lengthens the text). A decoded zero
// byte and a surrogate that is not a high one followed by a low one do not decode.
char* unescapeString(const char* a_pRaw, std::size_t a_RawLength, char* a_pOut);
// Reads only the token's a_Length bytes. Integers follow "%i" (a leading 0 is octal, 0x hex);
// values from INT32_MIN to UINT32_MAX keep their 32-bit pattern, others give 0x80000000. A
// fraction is truncated toward zero, outside the int32 range 0x80000000; a fraction token of 64
// bytes or more is refused.
bool numberToInt32(const char* a_pStart, std::size_t a_Length, std::uint8_t a_HasFraction,
                   std::uint32_t* a_pOut);

} // namespace nZU7461_14_0
