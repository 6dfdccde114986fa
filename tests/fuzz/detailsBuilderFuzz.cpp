// Chains of adds driven by the input into a buffer that grows only while the input allows. Each
// step keeps the buffer's convention, a failed add changes nothing, and at the end the reader
// accepts the document and finds every root member that was added, with its value.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

namespace {

int g_GrowthBudget = 0;

bool budgetedReallocate(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    if (a_Capacity != 0 && (g_GrowthBudget-- <= 0 || a_Capacity > 16384)) {
        return false;
    }
    return reallocateDetails(a_pDetailed, a_Capacity);
}

void checkConvention(const tDetailedStatus& a_rDetailed) {
    const std::size_t l_Length = std::strlen(a_rDetailed.json);
    ZU_FUZZ_CHECK(l_Length + 2 <= a_rDetailed.capacity);
    ZU_FUZZ_CHECK(findDocumentEnd(a_rDetailed.json) == a_rDetailed.json + l_Length - 1);
    ZU_FUZZ_CHECK(a_rDetailed.json[l_Length + 1] == '\0' || l_Length + 2 == a_rDetailed.capacity);
    ZU_FUZZ_CHECK(a_rDetailed.json[a_rDetailed.capacity - 1] == kDocumentEndMark);
}

// A member's value as one text: "S" and the decoded string, "N" and the token, or "O".
std::string readBack(const char* a_pDocument, const std::string& a_rKey) {
    tJsonValue l_Value{};
    const char* l_pAt = findMember(a_pDocument, a_rKey.c_str());
    ZU_FUZZ_CHECK(l_pAt != nullptr && parseValue(l_pAt, &l_Value) != nullptr);
    std::vector<char> l_Text(static_cast<std::size_t>(l_Value.length) + 1);
    std::memcpy(l_Text.data(), l_Value.start, l_Value.length);
    ZU_FUZZ_CHECK(l_Value.kind != kJsonString ||
                  unescapeString(l_Value.start, l_Value.length, l_Text.data()) != nullptr);
    return l_Value.kind == kJsonObject ? "O" : "???NS"[l_Value.kind] + std::string(l_Text.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    std::size_t l_At = 0;
    const auto l_Byte = [&]() -> std::uint8_t { return l_At < a_Size ? a_pData[l_At++] : 0; };
    const auto l_Text = [&]() { // no zero bytes, which would only end it early
        std::string l_Out(l_Byte() % 24, '\x7f');
        for (char& l_Char : l_Out) {
            l_Char = static_cast<char>(std::max<std::uint8_t>(l_Byte(), 1));
        }
        return l_Out;
    };
    g_GrowthBudget = l_Byte() % 8;
    tDetailedStatus l_Detailed = makeDetailedStatus();
    l_Detailed.reallocate = &budgetedReallocate;
    char* l_pCursor = nullptr;
    ZU_FUZZ_CHECK(setDetailedError(&l_Detailed, -1, &l_pCursor));
    const tGrowth l_Growth = detailsGrowth(&l_Detailed);
    // The root's members in document order, where the next root add lands, how deep the cursor
    // is and which root member it went into.
    std::vector<std::pair<std::string, std::string>> l_Root;
    std::size_t l_Next = 0, l_Depth = 0, l_Entered = 0;
    while (l_pCursor != nullptr && l_At < a_Size) {
        const std::uint8_t l_Operation = l_Byte();
        const unsigned l_Kind = l_Operation & 0x07u;
        if (l_Kind == 6 && l_Depth > 0) {
            l_pCursor = leaveObject(l_pCursor);
            l_Next = --l_Depth == 0 ? l_Entered + 1 : l_Next;
        } else if (l_Kind == 7) {
            l_pCursor = l_Detailed.json;
            l_Depth = l_Next = 0;
        }
        if (l_Kind >= 6) {
            continue;
        }
        const std::string l_Key = l_Text(), l_Before = l_Detailed.json, l_String = l_Text();
        const auto l_Add = [&](auto a_Plain, auto a_Growing, auto... a_Value) {
            return (l_Operation & 0x80) != 0
                       ? a_Growing(l_pCursor, l_Key.c_str(), a_Value..., l_Growth)
                       : a_Plain(l_pCursor, l_Key.c_str(), a_Value...);
        };
        std::uint32_t l_Number = 0;
        for (int l_Index = 0; l_Index < 4; ++l_Index) {
            l_Number = (l_Number << 8) | l_Byte();
        }
        std::string l_Value = "N" + std::to_string(l_Number);
        char* l_pNext = nullptr;
        if (l_Kind <= 2) {
            l_pNext = l_Add(addString, addStringGrowing, l_String.c_str());
            l_Value = "S" + l_String;
        } else if (l_Kind == 3) {
            l_pNext = l_Add(addInt, addIntGrowing, static_cast<std::int32_t>(l_Number));
            l_Value = "N" + std::to_string(static_cast<std::int32_t>(l_Number));
        } else if (l_Kind == 4) {
            l_pNext = l_Add(addUInt, addUIntGrowing, l_Number);
        } else {
            l_pNext = l_Add(addObject, addObjectGrowing);
            l_Value = "O";
        }
        checkConvention(l_Detailed);
        if (l_pNext == nullptr) {
            ZU_FUZZ_CHECK(l_Before == l_Detailed.json);
            // A failed growing add may have moved the buffer, so the chain stops there.
            l_pCursor = (l_Operation & 0x80) != 0 ? nullptr : l_pCursor;
            continue;
        }
        l_pCursor = l_pNext;
        if (l_Depth == 0) {
            l_Root.insert(l_Root.begin() + static_cast<std::ptrdiff_t>(l_Next++), {l_Key, l_Value});
        }
        // The builder nests as deep as it is told; the reader refuses very deep documents.
        if (l_Value == "O" && (l_Operation & 0x40) != 0 && l_Depth + 2 < kJsonMaxDepth) {
            l_Entered = l_Depth++ == 0 ? l_Next - 1 : l_Entered;
            l_pCursor = enterObject(l_pCursor);
        }
    }
    std::set<std::string> l_Seen; // only the first of equal keys can be found
    for (const auto& [l_Key, l_Value] : l_Root) {
        ZU_FUZZ_CHECK(!l_Seen.insert(l_Key).second || readBack(l_Detailed.json, l_Key) == l_Value);
    }
    releaseDetailedStatus(&l_Detailed);
    return 0;
}
