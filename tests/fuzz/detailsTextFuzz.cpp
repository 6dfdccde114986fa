// Every reader of details text over the same input: the grammar against an independent parser,
// member lookup and string decoding, integer conversion, and the status read from a document.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/detailsDocument.h"
#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"
#include "tests/fuzz/jsonDifferences.h"

using namespace nZU7461_14_0;

namespace {

void checkReader(const std::uint8_t* a_pData, std::size_t a_Size) {
    // The reader's text ends at its first zero byte; the heap copy is exactly that long, so
    // any read past it is caught.
    const char* l_pInput = reinterpret_cast<const char*>(a_pData);
    const std::string l_Text(l_pInput, strnlen(l_pInput, a_Size));
    const std::vector<char> l_Copy(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    const char* l_pText = l_Copy.data();
    const char* l_pTextEnd = l_pText + l_Text.size();

    tJsonValue l_Value{};
    const char* l_pEnd = parseValue(l_pText, &l_Value);
    if (l_pEnd != nullptr) {
        ZU_FUZZ_CHECK(l_pEnd > l_pText && l_pEnd <= l_pTextEnd);
        const std::uint64_t l_Whole = static_cast<std::uint64_t>(l_pEnd - l_pText);
        if (l_Value.kind == kJsonString) {
            ZU_FUZZ_CHECK(l_Value.start == l_pText + 1 && l_Value.length == l_Whole - 2);
        } else {
            ZU_FUZZ_CHECK(l_Value.kind >= kJsonNull && l_Value.kind <= kJsonObject);
            ZU_FUZZ_CHECK(l_Value.start == l_pText && l_Value.length == l_Whole);
        }
    } else {
        ZU_FUZZ_CHECK(l_Value.kind == kJsonError);
        ZU_FUZZ_CHECK(l_Value.start >= l_pText && l_Value.start <= l_pTextEnd);
        ZU_FUZZ_CHECK(l_Value.length >= kJsonErrorString && l_Value.length <= kJsonErrorDepth);
    }

    const char* l_pDocumentEnd = findDocumentEnd(l_pText);
    if (l_pText[0] == '{' || l_pText[0] == '[') {
        ZU_FUZZ_CHECK(l_pDocumentEnd == (l_pEnd == nullptr ? nullptr : l_pEnd - 1));
    } else {
        ZU_FUZZ_CHECK(l_pDocumentEnd == nullptr);
    }

    // The reader looks no further than the end of its value, so the other parser judges only
    // that part when the reader accepts.
    if (l_pEnd != nullptr) {
        const std::string l_Accepted(l_pText, l_pEnd);
        if (!nlohmann::json::accept(l_Accepted)) {
            ZU_FUZZ_CHECK((zuFuzz::knownDifferences(l_Accepted) & zuFuzz::kReaderLooser) != 0);
        }
    } else if (nlohmann::json::accept(l_Text)) {
        ZU_FUZZ_CHECK((zuFuzz::knownDifferences(l_Text) & zuFuzz::kReaderStricter) != 0);
    }
}

// The root object's members in order, duplicates included, with string values decoded.
struct tRootMembers : nlohmann::json_sax<nlohmann::json> {
    struct tMember {
        std::string key;
        bool isString = false;
        std::string text;
    };
    std::vector<tMember> members;
    bool rootIsObject = false;
    int depth = 0;

    bool scalar() { return true; }
    bool null() override { return scalar(); }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t) override { return scalar(); }
    bool number_unsigned(number_unsigned_t) override { return scalar(); }
    bool number_float(number_float_t, const string_t&) override { return scalar(); }
    bool binary(binary_t&) override { return scalar(); }
    bool string(string_t& a_rValue) override {
        if (depth == 1 && rootIsObject) {
            members.back().isString = true;
            members.back().text = a_rValue;
        }
        return true;
    }
    bool start_object(std::size_t) override {
        rootIsObject = rootIsObject || depth == 0;
        ++depth;
        return true;
    }
    bool key(string_t& a_rKey) override {
        if (depth == 1) {
            members.push_back({a_rKey, false, ""});
        }
        return true;
    }
    bool end_object() override {
        --depth;
        return true;
    }
    bool start_array(std::size_t) override {
        ++depth;
        return true;
    }
    bool end_array() override {
        --depth;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }
};

void decodeEveryWay(const char* a_pRaw, std::size_t a_Length) {
    // Exactly the size the interface promises is enough.
    std::vector<char> l_Out(a_Length + 1, '#');
    char* l_pEnd = unescapeString(a_pRaw, a_Length, l_Out.data());
    ZU_FUZZ_CHECK(std::memchr(l_Out.data(), '\0', l_Out.size()) != nullptr);
    if (l_pEnd != nullptr) {
        ZU_FUZZ_CHECK(*l_pEnd == '\0' &&
                      std::strlen(l_Out.data()) == static_cast<std::size_t>(l_pEnd - l_Out.data()));
        ZU_FUZZ_CHECK(keyEquals(a_pRaw, a_Length, l_Out.data()));
    } else {
        ZU_FUZZ_CHECK(!keyEquals(a_pRaw, a_Length, l_Out.data()));
    }
}

void checkMembers(const std::uint8_t* a_pData, std::size_t a_Size) {
    const char* l_pInput = reinterpret_cast<const char*>(a_pData);
    // Raw string decoding over the input as it is, zero bytes included.
    const std::vector<char> l_Raw(l_pInput, l_pInput + a_Size);
    decodeEveryWay(l_Raw.data(), l_Raw.size());

    const std::string l_Text(l_pInput, strnlen(l_pInput, a_Size));
    const std::vector<char> l_Copy(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    const char* l_pText = l_Copy.data();
    for (const char* l_pKey : {"file", "line", "component", ""}) {
        const char* l_pAt = findMember(l_pText, l_pKey);
        if (l_pAt != nullptr) {
            ZU_FUZZ_CHECK(l_pAt > l_pText && l_pAt <= l_pText + l_Text.size());
            tJsonValue l_Value{};
            if (parseValue(l_pAt, &l_Value) != nullptr && l_Value.kind == kJsonString) {
                decodeEveryWay(l_Value.start, static_cast<std::size_t>(l_Value.length));
            }
        }
    }

    tRootMembers l_Root;
    if (!nlohmann::json::sax_parse(l_Text, &l_Root) || !l_Root.rootIsObject ||
        (zuFuzz::knownDifferences(l_Text) & zuFuzz::kReaderStricter) != 0) {
        return;
    }
    std::vector<std::string> l_Seen;
    for (const tRootMembers::tMember& l_Member : l_Root.members) {
        // A key holding a zero byte cannot be asked for; only a key's first member is found.
        if (l_Member.key.find('\0') != std::string::npos ||
            std::find(l_Seen.begin(), l_Seen.end(), l_Member.key) != l_Seen.end()) {
            continue;
        }
        l_Seen.push_back(l_Member.key);
        const char* l_pAt = findMember(l_pText, l_Member.key.c_str());
        ZU_FUZZ_CHECK(l_pAt != nullptr);
        tJsonValue l_Value{};
        ZU_FUZZ_CHECK(parseValue(l_pAt, &l_Value) != nullptr);
        ZU_FUZZ_CHECK((l_Value.kind == kJsonString) == l_Member.isString);
        if (!l_Member.isString) {
            continue;
        }
        std::vector<char> l_Out(static_cast<std::size_t>(l_Value.length) + 1);
        const bool l_Decoded =
            unescapeString(l_Value.start, static_cast<std::size_t>(l_Value.length), l_Out.data()) !=
            nullptr;
        // The reader refuses to decode a zero byte, which a C string cannot hold.
        ZU_FUZZ_CHECK(l_Decoded == (l_Member.text.find('\0') == std::string::npos));
        if (l_Decoded) {
            ZU_FUZZ_CHECK(l_Member.text == l_Out.data());
        }
    }
}

// The whole input as one number token, read as an integer (checked against the C library's
// own integer reading) and as a fraction (checked only where the answer does not depend on how
// the fraction is converted, which is the C library's own conversion).
void checkNumber(const std::uint8_t* a_pData, std::size_t a_Size) {
    // The token as the document holds it: not terminated, so any read past it is caught.
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
    if (l_Converted) {
        ZU_FUZZ_CHECK(l_Value ==
                      (l_OutOfRange ? 0x80000000u : static_cast<std::uint32_t>(l_Reference)));
    }
    const bool l_Fraction = numberToInt32(l_pToken, l_Token.size(), true, &l_Value);
    if (l_Token.size() >= 64 || l_Terminated.find('\0') != std::string::npos) {
        ZU_FUZZ_CHECK(!l_Fraction);
    }
}

bool terminatedWithin(const char* a_pText, std::size_t a_Size) {
    return std::memchr(a_pText, '\0', a_Size) != nullptr;
}

void checkDetailedToStatus(const std::uint8_t* a_pData, std::size_t a_Size) {
    const char* l_pInput = reinterpret_cast<const char*>(a_pData);
    const std::string l_Text(l_pInput, strnlen(l_pInput, a_Size));

    tDetailedStatus l_Detailed = makeDetailedStatus();
    ZU_FUZZ_CHECK(reallocateDetails(&l_Detailed, static_cast<std::uint32_t>(l_Text.size() + 2)));
    ZU_FUZZ_CHECK(initDocument(l_Detailed.json, l_Detailed.capacity, l_Text.c_str()) != nullptr);
    l_Detailed.code = -1;
    tStatus l_Read = makeStatus();
    ZU_FUZZ_CHECK(detailedToStatus(&l_Detailed, &l_Read));
    ZU_FUZZ_CHECK(l_Read.code == -1);
    ZU_FUZZ_CHECK(terminatedWithin(l_Read.component, sizeof l_Read.component));
    ZU_FUZZ_CHECK(terminatedWithin(l_Read.file, sizeof l_Read.file));
    // Reading never changes the document.
    ZU_FUZZ_CHECK(l_Text == l_Detailed.json);
    releaseDetailedStatus(&l_Detailed);

    tDetailedStatus l_Written = makeDetailedStatus();
    ZU_FUZZ_CHECK(statusToDetailed(&l_Read, &l_Written));
    if (l_Written.json != nullptr) {
        ZU_FUZZ_CHECK(findDocumentEnd(l_Written.json) != nullptr);
    }
    tStatus l_Again = makeStatus();
    detailedToStatus(&l_Written, &l_Again);
    ZU_FUZZ_CHECK(l_Again.code == -1);
    ZU_FUZZ_CHECK(std::strcmp(l_Again.component, l_Read.component) == 0);
    ZU_FUZZ_CHECK(std::strcmp(l_Again.file, l_Read.file) == 0);
    // The line travels with the file only.
    ZU_FUZZ_CHECK(l_Again.line == (l_Read.file[0] == '\0' ? 0 : l_Read.line));
    releaseDetailedStatus(&l_Written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    checkReader(a_pData, a_Size);
    checkMembers(a_pData, a_Size);
    checkNumber(a_pData, a_Size);
    checkDetailedToStatus(a_pData, a_Size);
    return 0;
}
