// Every reader of details text over one input, judged where possible by another parser's reading.
#include <nlohmann/json.hpp>

#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

// The reader differs on non-ASCII, DEL, raw control bytes, leading space and deep nesting.
bool isPlain(const std::string& a_rText) {
    const auto l_Begin = a_rText.begin(), l_End = a_rText.end();
    return !a_rText.empty() && !isWhitespace(a_rText[0]) &&
           std::count(l_Begin, l_End, '[') + std::count(l_Begin, l_End, '{') < 200 &&
           std::none_of(l_Begin, l_End, [](char a_Byte) {
               return a_Byte < 0 || a_Byte == '\x7f' || (a_Byte < ' ' && !isWhitespace(a_Byte));
           });
}

// Each root member the other parser reads must be found, of the same kind and the same text.
void checkMembers(const std::string& a_rText, const char* a_pText) {
    using tEvent = nlohmann::json::parse_event_t;
    static const std::uint32_t s_Kinds[] = {kJsonNull,    kJsonObject, kJsonArray,  kJsonString,
                                            kJsonBoolean, kJsonNumber, kJsonNumber, kJsonNumber};
    std::size_t l_Keys = 0;
    const auto l_CountKeys = [&](int a_Depth, tEvent a_Event, nlohmann::json&) {
        l_Keys += a_Depth == 1 && a_Event == tEvent::key ? 1 : 0;
        return true;
    };
    const nlohmann::json l_Json = nlohmann::json::parse(a_rText, l_CountKeys, false);
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
            ZU_FUZZ_CHECK(unescapeString(l_Value.start, l_Value.length, l_Out.data()) != nullptr
                              ? l_String == l_Out.data()
                              : l_String.find('\0') != std::string::npos); // C strings hold no zero
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    const char* const l_pRaw = reinterpret_cast<const char*>(a_pData); // ASan bounds it at a_Size
    const std::string l_Text(l_pRaw, std::find(l_pRaw, l_pRaw + a_Size, '\0'));
    const std::vector<char> l_Copy(l_Text.c_str(), l_Text.c_str() + l_Text.size() + 1);
    const char* const l_pText = l_Copy.data();
    const char* const l_pTextEnd = l_pText + l_Text.size();
    std::vector<char> l_Out(a_Size + 1, '#'); // the size the interface promises is enough
    const char* l_pDecoded = unescapeString(l_pRaw, a_Size, l_Out.data());
    ZU_FUZZ_CHECK(std::memchr(l_Out.data(), '\0', l_Out.size()) != nullptr &&
                  (l_pDecoded == nullptr ||
                   std::strlen(l_Out.data()) == std::size_t(l_pDecoded - l_Out.data())));
    ZU_FUZZ_CHECK(keyEquals(l_pRaw, a_Size, l_Out.data()) == (l_pDecoded != nullptr));
    // The integer scan is done by hand, so the C library's "%i" reading can judge it.
    std::uint32_t l_Number = 0;
    const bool l_Converted = numberToInt32(l_pRaw, a_Size, false, &l_Number);
    char* l_pScanned = nullptr;
    const long long l_Reference = std::strtoll(l_pText, &l_pScanned, 0);
    const bool l_InRange = l_Reference >= -0x80000000LL && l_Reference <= 0xFFFFFFFFLL;
    ZU_FUZZ_CHECK(
        l_Converted == (l_pScanned != l_pText) &&
        (!l_Converted || l_Number == (l_InRange ? std::uint32_t(l_Reference) : 0x80000000u)));
    ZU_FUZZ_CHECK((a_Size < 64 && l_Text.size() == a_Size) ||
                  !numberToInt32(l_pRaw, a_Size, true, &l_Number));
    tJsonValue l_Value{};
    const char* l_pEnd = parseValue(l_pText, &l_Value);
    const bool l_String = l_Value.kind == kJsonString, l_Refused = l_pEnd == nullptr;
    // A refusal says where and why; an acceptance spans exactly its token, quotes aside.
    ZU_FUZZ_CHECK(l_Refused
                      ? l_Value.kind == kJsonError && l_Value.start >= l_pText &&
                            l_Value.start <= l_pTextEnd && l_Value.length >= kJsonErrorString &&
                            l_Value.length <= kJsonErrorDepth
                      : l_pEnd > l_pText && l_pEnd <= l_pTextEnd && l_Value.kind <= kJsonObject &&
                            l_Value.start == l_pText + l_String &&
                            l_Value.length + 2 * l_String == std::uint64_t(l_pEnd - l_pText));
    ZU_FUZZ_CHECK(findDocumentEnd(l_pText) ==
                  ((*l_pText == '{' || *l_pText == '[') && !l_Refused ? l_pEnd - 1 : nullptr));
    ZU_FUZZ_CHECK(!isPlain(l_Text) || !nlohmann::json::accept(l_Text) ||
                  (!l_Refused && std::all_of(l_pEnd, l_pTextEnd, isWhitespace)));
    const std::string l_Accepted(l_pText, l_Refused ? l_pText : l_pEnd);
    ZU_FUZZ_CHECK(!isPlain(l_Accepted) || l_Accepted.find("\\u") != std::string::npos ||
                  l_Accepted.find_first_of("-0123456789") != std::string::npos ||
                  nlohmann::json::accept(l_Accepted));
    checkMembers(l_Text, l_pText);
    // Any document gives terminated texts, stays untouched, and survives a round trip.
    tDetailedStatus l_Detailed = makeDetailedStatus(), l_Written = makeDetailedStatus();
    tStatus l_Read = makeStatus(), l_Again = makeStatus();
    ZU_FUZZ_CHECK(reallocateDetails(&l_Detailed, static_cast<std::uint32_t>(l_Text.size() + 2)) &&
                  initDocument(l_Detailed.json, l_Detailed.capacity, l_pText) != nullptr);
    l_Detailed.code = -1;
    ZU_FUZZ_CHECK(detailedToStatus(&l_Detailed, &l_Read) && l_Read.code == -1 &&
                  l_Text == l_Detailed.json &&
                  std::memchr(l_Read.component, '\0', sizeof l_Read.component) != nullptr &&
                  std::memchr(l_Read.file, '\0', sizeof l_Read.file) != nullptr);
    ZU_FUZZ_CHECK(statusToDetailed(&l_Read, &l_Written) && detailedToStatus(&l_Written, &l_Again) &&
                  l_Again.code == -1 && std::strcmp(l_Again.component, l_Read.component) == 0 &&
                  std::strcmp(l_Again.file, l_Read.file) == 0 &&
                  l_Again.line == (l_Read.file[0] == '\0' ? 0 : l_Read.line));
    releaseDetailedStatus(&l_Detailed);
    releaseDetailedStatus(&l_Written);
    return 0;
}
