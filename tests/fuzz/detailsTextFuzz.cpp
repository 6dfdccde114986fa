// Every reader of details text over the same input: the grammar (against another parser on plain
// ASCII texts, where the two must agree), member lookup and string decoding, integer conversion,
// and the status read from a document.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

// The reader is looser on numbers, \u escapes and UTF-8, and refuses leading whitespace, DEL,
// raw control bytes and deep nesting; elsewhere both parsers must agree.
bool isPlain(const std::string& a_rText) {
    unsigned l_Open = 0;
    for (const char l_Byte : a_rText) {
        l_Open += l_Byte == '[' || l_Byte == '{' ? 1 : 0;
        if (l_Byte < 0 || l_Byte == '\x7f' || (l_Byte < ' ' && !isWhitespace(l_Byte))) {
            return false;
        }
    }
    return !a_rText.empty() && !isWhitespace(a_rText[0]) && l_Open < 200;
}

void decodeEveryWay(const char* a_pRaw, std::size_t a_Length) {
    std::vector<char> l_Out(a_Length + 1, '#'); // the size the interface promises is enough
    const char* l_pEnd = unescapeString(a_pRaw, a_Length, l_Out.data());
    ZU_FUZZ_CHECK(std::memchr(l_Out.data(), '\0', l_Out.size()) != nullptr);
    ZU_FUZZ_CHECK(l_pEnd == nullptr ||
                  std::strlen(l_Out.data()) == std::size_t(l_pEnd - l_Out.data()));
    ZU_FUZZ_CHECK(keyEquals(a_pRaw, a_Length, l_Out.data()) == (l_pEnd != nullptr));
}

void checkReader(const std::string& a_rText, const char* a_pText) {
    const char* const l_pTextEnd = a_pText + a_rText.size();
    tJsonValue l_Value{};
    const char* l_pEnd = parseValue(a_pText, &l_Value);
    const bool l_String = l_Value.kind == kJsonString;
    if (l_pEnd == nullptr) {
        ZU_FUZZ_CHECK(l_Value.kind == kJsonError && l_Value.start >= a_pText &&
                      l_Value.start <= l_pTextEnd);
        ZU_FUZZ_CHECK(l_Value.length >= kJsonErrorString && l_Value.length <= kJsonErrorDepth);
    } else {
        ZU_FUZZ_CHECK(l_pEnd > a_pText && l_pEnd <= l_pTextEnd && l_Value.kind <= kJsonObject);
        ZU_FUZZ_CHECK(l_Value.start == a_pText + l_String &&
                      l_Value.length + 2 * l_String == std::uint64_t(l_pEnd - a_pText));
    }
    const bool l_Container = a_pText[0] == '{' || a_pText[0] == '[';
    ZU_FUZZ_CHECK(findDocumentEnd(a_pText) ==
                  (l_Container && l_pEnd != nullptr ? l_pEnd - 1 : nullptr));
    if (isPlain(a_rText) && nlohmann::json::accept(a_rText)) {
        ZU_FUZZ_CHECK(l_pEnd != nullptr && std::all_of(l_pEnd, l_pTextEnd, isWhitespace));
    }
    const std::string l_Accepted(a_pText, l_pEnd == nullptr ? a_pText : l_pEnd);
    if (isPlain(l_Accepted) && l_Accepted.find("\\u") == std::string::npos &&
        l_Accepted.find_first_of("-0123456789") == std::string::npos) {
        ZU_FUZZ_CHECK(nlohmann::json::accept(l_Accepted));
    }
}

// Each root member the other parser reads is found by its key, of the same kind and, for a
// string, with the same text.
void checkMembers(const std::string& a_rText, const char* a_pText) {
    using tEvent = nlohmann::json::parse_event_t;
    static const std::uint32_t s_Kinds[] = {kJsonNull,    kJsonObject, kJsonArray,  kJsonString,
                                            kJsonBoolean, kJsonNumber, kJsonNumber, kJsonNumber};
    std::size_t l_Keys = 0;
    const nlohmann::json l_Json = nlohmann::json::parse(
        a_rText,
        [&](int a_Depth, tEvent a_Event, nlohmann::json&) {
            l_Keys += a_Depth == 1 && a_Event == tEvent::key ? 1 : 0;
            return true;
        },
        false);
    // With equal keys the reader finds the first, the other parser keeps the last.
    if (!isPlain(a_rText) || !l_Json.is_object() || l_Json.size() != l_Keys) {
        return;
    }
    for (const auto& l_Member : l_Json.items()) {
        if (l_Member.key().find('\0') != std::string::npos) {
            continue; // cannot be asked for
        }
        tJsonValue l_Value{};
        const char* l_pAt = findMember(a_pText, l_Member.key().c_str());
        ZU_FUZZ_CHECK(l_pAt != nullptr && parseValue(l_pAt, &l_Value) != nullptr);
        ZU_FUZZ_CHECK(l_Value.kind == s_Kinds[static_cast<int>(l_Member.value().type())]);
        if (l_Member.value().is_string()) {
            std::vector<char> l_Out(static_cast<std::size_t>(l_Value.length) + 1);
            const std::string l_String = l_Member.value();
            // A C string cannot hold a decoded zero byte, so the reader refuses it.
            ZU_FUZZ_CHECK(unescapeString(l_Value.start, l_Value.length, l_Out.data()) != nullptr
                              ? l_String == l_Out.data()
                              : l_String.find('\0') != std::string::npos);
        }
    }
}

// The whole input as one number token, not terminated so any read past it is caught. Integers
// are checked against the C library's reading of "%i"; fractions only for what is refused.
void checkNumber(const std::vector<char>& a_rToken) {
    const std::string l_Terminated(a_rToken.begin(), a_rToken.end());
    std::uint32_t l_Value = 0;
    const bool l_Converted = numberToInt32(a_rToken.data(), a_rToken.size(), false, &l_Value);
    errno = 0;
    char* l_pEnd = nullptr;
    const long long l_Reference = std::strtoll(l_Terminated.c_str(), &l_pEnd, 0);
    const bool l_OutOfRange =
        errno == ERANGE || l_Reference < -0x80000000LL || l_Reference > 0xFFFFFFFFLL;
    ZU_FUZZ_CHECK(l_Converted == (l_pEnd != l_Terminated.c_str()));
    ZU_FUZZ_CHECK(!l_Converted ||
                  l_Value == (l_OutOfRange ? 0x80000000u : std::uint32_t(l_Reference)));
    ZU_FUZZ_CHECK((a_rToken.size() < 64 && l_Terminated.find('\0') == std::string::npos) ||
                  !numberToInt32(a_rToken.data(), a_rToken.size(), true, &l_Value));
}

// A status read from any document has terminated texts and leaves the document as it was;
// written and read again, it comes back. The line travels with the file only.
void checkDetailedToStatus(const std::string& a_rText) {
    tDetailedStatus l_Detailed = makeDetailedStatus(), l_Written = makeDetailedStatus();
    ZU_FUZZ_CHECK(reallocateDetails(&l_Detailed, static_cast<std::uint32_t>(a_rText.size() + 2)));
    ZU_FUZZ_CHECK(initDocument(l_Detailed.json, l_Detailed.capacity, a_rText.c_str()) != nullptr);
    l_Detailed.code = -1;
    tStatus l_Read = makeStatus(), l_Again = makeStatus();
    ZU_FUZZ_CHECK(detailedToStatus(&l_Detailed, &l_Read) && l_Read.code == -1 &&
                  a_rText == l_Detailed.json);
    ZU_FUZZ_CHECK(std::memchr(l_Read.component, '\0', sizeof l_Read.component) != nullptr &&
                  std::memchr(l_Read.file, '\0', sizeof l_Read.file) != nullptr);
    ZU_FUZZ_CHECK(statusToDetailed(&l_Read, &l_Written) && detailedToStatus(&l_Written, &l_Again));
    ZU_FUZZ_CHECK(l_Again.code == -1 && std::strcmp(l_Again.component, l_Read.component) == 0);
    ZU_FUZZ_CHECK(std::strcmp(l_Again.file, l_Read.file) == 0 &&
                  l_Again.line == (l_Read.file[0] == '\0' ? 0 : l_Read.line));
    releaseDetailedStatus(&l_Detailed);
    releaseDetailedStatus(&l_Written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    // Copies exactly as long as each reader may read: the raw bytes, and the text up to its first
    // zero byte with that zero.
    const std::vector<char> l_Raw(a_pData, a_pData + a_Size);
    const std::string l_Text(l_Raw.begin(), std::find(l_Raw.begin(), l_Raw.end(), '\0'));
    const std::vector<char> l_Copy(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    decodeEveryWay(l_Raw.data(), l_Raw.size());
    checkReader(l_Text, l_Copy.data());
    checkMembers(l_Text, l_Copy.data());
    checkNumber(l_Raw);
    checkDetailedToStatus(l_Text);
    return 0;
}
