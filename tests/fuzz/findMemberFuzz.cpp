// findMember, keyEquals and unescapeString over any text. Where the independent parser
// accepts the document, every root member it reports must be found by its key and its string
// value decode to the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/detailsDocument.h"
#include "tests/fuzz/fuzzCheck.h"
#include "tests/fuzz/jsonDifferences.h"

using namespace nZU7461_14_0;

namespace {

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
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
        return 0;
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
    return 0;
}
