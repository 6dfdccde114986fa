// Every reader of details text over the same input: the grammar (against an independent parser
// on plain ASCII texts, where the two must agree), member lookup and string decoding, integer
// conversion, and the status read from a document.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/detailsDocument.h"
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
    // Exactly the size the interface promises is enough.
    std::vector<char> l_Out(a_Length + 1, '#');
    const char* l_pEnd = unescapeString(a_pRaw, a_Length, l_Out.data());
    ZU_FUZZ_CHECK(std::memchr(l_Out.data(), '\0', l_Out.size()) != nullptr);
    if (l_pEnd != nullptr) {
        ZU_FUZZ_CHECK(std::strlen(l_Out.data()) == static_cast<std::size_t>(l_pEnd - l_Out.data()));
    }
    ZU_FUZZ_CHECK(keyEquals(a_pRaw, a_Length, l_Out.data()) == (l_pEnd != nullptr));
}

void checkReader(const std::string& a_rText, const char* a_pText) {
    const char* const l_pTextEnd = a_pText + a_rText.size();
    tJsonValue l_Value{};
    const char* l_pEnd = parseValue(a_pText, &l_Value);
    if (l_pEnd != nullptr) {
        ZU_FUZZ_CHECK(l_pEnd > a_pText && l_pEnd <= l_pTextEnd);
        const std::uint64_t l_Whole = static_cast<std::uint64_t>(l_pEnd - a_pText);
        const bool l_String = l_Value.kind == kJsonString;
        ZU_FUZZ_CHECK(l_Value.kind >= kJsonNull && l_Value.kind <= kJsonObject);
        ZU_FUZZ_CHECK(l_Value.start == a_pText + (l_String ? 1 : 0) &&
                      l_Value.length == l_Whole - (l_String ? 2 : 0));
    } else {
        ZU_FUZZ_CHECK(l_Value.kind == kJsonError && l_Value.start >= a_pText &&
                      l_Value.start <= l_pTextEnd);
        ZU_FUZZ_CHECK(l_Value.length >= kJsonErrorString && l_Value.length <= kJsonErrorDepth);
    }
    const bool l_Container = a_pText[0] == '{' || a_pText[0] == '[';
    ZU_FUZZ_CHECK(findDocumentEnd(a_pText) ==
                  (l_Container && l_pEnd != nullptr ? l_pEnd - 1 : nullptr));
    if (isPlain(a_rText) && nlohmann::json::accept(a_rText)) {
        ZU_FUZZ_CHECK(l_pEnd != nullptr && std::all_of(l_pEnd, l_pTextEnd, isWhitespace));
    }
    const std::string l_Accepted(a_pText, l_pEnd == nullptr ? a_pText : l_pEnd);
    if (l_pEnd != nullptr && isPlain(l_Accepted) && l_Accepted.find("\\u") == std::string::npos &&
        l_Accepted.find_first_of("-0123456789") == std::string::npos) {
        ZU_FUZZ_CHECK(nlohmann::json::accept(l_Accepted));
    }
}

// Each root member the other parser reads is found by its key (the first of equal keys), with
// the same kind and, for a string, the same text.
void checkMembers(const std::string& a_rText, const char* a_pText) {
    if (a_rText[0] != '{' || !isPlain(a_rText)) {
        return;
    }
    // The first of equal keys, with its value's text if that is a string.
    std::map<std::string, std::optional<std::string>> l_Members;
    std::optional<std::string>* l_pCurrent = nullptr;
    const auto l_Record = [&](int a_Depth, nlohmann::json::parse_event_t a_Event,
                              nlohmann::json& a_rParsed) {
        if (a_Depth == 1 && a_Event == nlohmann::json::parse_event_t::key) {
            const auto l_Added = l_Members.emplace(a_rParsed.get<std::string>(), std::nullopt);
            l_pCurrent = l_Added.second ? &l_Added.first->second : nullptr;
        } else if (a_Depth == 1 && a_Event == nlohmann::json::parse_event_t::value &&
                   a_rParsed.is_string() && l_pCurrent != nullptr) {
            *l_pCurrent = a_rParsed.get<std::string>();
        }
        return true;
    };
    if (nlohmann::json::parse(a_rText, l_Record, false).is_discarded()) {
        return;
    }
    for (const auto& [l_Key, l_String] : l_Members) {
        if (l_Key.find('\0') != std::string::npos) {
            continue; // cannot be asked for
        }
        tJsonValue l_Value{};
        const char* l_pAt = findMember(a_pText, l_Key.c_str());
        ZU_FUZZ_CHECK(l_pAt != nullptr && parseValue(l_pAt, &l_Value) != nullptr);
        ZU_FUZZ_CHECK((l_Value.kind == kJsonString) == l_String.has_value());
        if (l_String) {
            std::vector<char> l_Out(static_cast<std::size_t>(l_Value.length) + 1);
            const bool l_Decoded =
                unescapeString(l_Value.start, l_Out.size() - 1, l_Out.data()) != nullptr;
            // A C string cannot hold a decoded zero byte, so the reader refuses it.
            ZU_FUZZ_CHECK(l_Decoded == (l_String->find('\0') == std::string::npos));
            ZU_FUZZ_CHECK(!l_Decoded || *l_String == l_Out.data());
        }
    }
}

// The whole input as one number token, not terminated so any read past it is caught. Integers
// are checked against the C library's reading of "%i"; fractions only for what is refused.
void checkNumber(const std::uint8_t* a_pData, std::size_t a_Size) {
    const std::vector<char> l_Token(a_pData, a_pData + a_Size);
    const char* l_pToken = l_Token.empty() ? "" : l_Token.data();
    const std::string l_Terminated(l_Token.begin(), l_Token.end());
    std::uint32_t l_Value = 0;
    const bool l_Converted = numberToInt32(l_pToken, l_Token.size(), false, &l_Value);
    errno = 0;
    char* l_pEnd = nullptr;
    const long long l_Reference = std::strtoll(l_Terminated.c_str(), &l_pEnd, 0);
    const bool l_OutOfRange = errno == ERANGE || l_Reference < INT32_MIN ||
                              l_Reference > static_cast<long long>(UINT32_MAX);
    ZU_FUZZ_CHECK(l_Converted == (l_pEnd != l_Terminated.c_str()));
    ZU_FUZZ_CHECK(!l_Converted ||
                  l_Value ==
                      (l_OutOfRange ? 0x80000000u : static_cast<std::uint32_t>(l_Reference)));
    if (l_Token.size() >= 64 || l_Terminated.find('\0') != std::string::npos) {
        ZU_FUZZ_CHECK(!numberToInt32(l_pToken, l_Token.size(), true, &l_Value));
    }
}

// Reading a status from any document leaves the document as it was and gives terminated texts;
// writing that status and reading it again gives it back.
void checkDetailedToStatus(const std::string& a_rText) {
    tDetailedStatus l_Detailed = makeDetailedStatus();
    ZU_FUZZ_CHECK(reallocateDetails(&l_Detailed, static_cast<std::uint32_t>(a_rText.size() + 2)));
    ZU_FUZZ_CHECK(initDocument(l_Detailed.json, l_Detailed.capacity, a_rText.c_str()) != nullptr);
    l_Detailed.code = -1;
    tStatus l_Read = makeStatus();
    ZU_FUZZ_CHECK(detailedToStatus(&l_Detailed, &l_Read) && l_Read.code == -1);
    ZU_FUZZ_CHECK(std::memchr(l_Read.component, '\0', sizeof l_Read.component) != nullptr &&
                  std::memchr(l_Read.file, '\0', sizeof l_Read.file) != nullptr);
    ZU_FUZZ_CHECK(a_rText == l_Detailed.json);
    releaseDetailedStatus(&l_Detailed);

    tDetailedStatus l_Written = makeDetailedStatus();
    ZU_FUZZ_CHECK(statusToDetailed(&l_Read, &l_Written));
    ZU_FUZZ_CHECK(l_Written.json == nullptr || findDocumentEnd(l_Written.json) != nullptr);
    tStatus l_Again = makeStatus();
    detailedToStatus(&l_Written, &l_Again);
    ZU_FUZZ_CHECK(l_Again.code == -1 && std::strcmp(l_Again.component, l_Read.component) == 0);
    ZU_FUZZ_CHECK(std::strcmp(l_Again.file, l_Read.file) == 0);
    // The line travels with the file only.
    ZU_FUZZ_CHECK(l_Again.line == (l_Read.file[0] == '\0' ? 0 : l_Read.line));
    releaseDetailedStatus(&l_Written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    const char* l_pInput = reinterpret_cast<const char*>(a_pData);
    // The reader's text ends at its first zero byte; a heap copy exactly that long catches any
    // read past it. Raw string decoding takes the input as it is, zero bytes included.
    const std::string l_Text(l_pInput, strnlen(l_pInput, a_Size));
    const std::vector<char> l_Copy(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    const std::vector<char> l_Raw(l_pInput, l_pInput + a_Size);
    decodeEveryWay(l_Raw.data(), l_Raw.size());
    checkReader(l_Text, l_Copy.data());
    checkMembers(l_Text, l_Copy.data());
    checkNumber(a_pData, a_Size);
    checkDetailedToStatus(l_Text);
    return 0;
}
