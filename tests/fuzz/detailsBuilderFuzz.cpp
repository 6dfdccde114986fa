// Chains of adds into a buffer the input may stop growing: each keeps its form, members read back.
#include <set>
#include <utility>

#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"

using namespace nZU7461_14_0;

static int g_GrowthBudget = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    std::size_t l_At = 0;
    const auto l_Byte = [&]() -> std::uint8_t { return l_At < a_Size ? a_pData[l_At++] : 0; };
    const auto l_Text = [&]() { // no zero bytes, which would only end it early
        std::string l_Out(l_Byte() % 24, '\x7f');
        std::generate(l_Out.begin(), l_Out.end(),
                      [&] { return static_cast<char>(std::max<std::uint8_t>(l_Byte(), 1)); });
        return l_Out;
    };
    g_GrowthBudget = l_Byte() % 8;
    tDetailedStatus l_Detailed = makeDetailedStatus();
    l_Detailed.reallocate = [](tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
        return (a_Capacity == 0 || (g_GrowthBudget-- > 0 && a_Capacity <= 16384)) &&
               reallocateDetails(a_pDetailed, a_Capacity);
    };
    char* l_pCursor = nullptr;
    ZU_FUZZ_CHECK(setDetailedError(&l_Detailed, -1, &l_pCursor));
    const tGrowth l_Growth = detailsGrowth(&l_Detailed);
    // Root members in document order, the next root add's place, and the one the cursor entered.
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
        const std::uint8_t l_Bytes[] = {l_Byte(), l_Byte(), l_Byte(), l_Byte()};
        const std::uint32_t l_Number =
            std::uint32_t(l_Bytes[0]) << 24 | l_Bytes[1] << 16 | l_Bytes[2] << 8 | l_Bytes[3];
        const std::string l_Value = l_Kind <= 2   ? "S" + l_String
                                    : l_Kind == 3 ? "N" + std::to_string(std::int32_t(l_Number))
                                    : l_Kind == 4 ? "N" + std::to_string(l_Number)
                                                  : "O";
        char* const l_pNext = l_Kind <= 2   ? l_Add(addString, addStringGrowing, l_String.c_str())
                              : l_Kind == 3 ? l_Add(addInt, addIntGrowing, std::int32_t(l_Number))
                              : l_Kind == 4 ? l_Add(addUInt, addUIntGrowing, l_Number)
                                            : l_Add(addObject, addObjectGrowing);
        const char* const l_pJson = l_Detailed.json;
        const std::size_t l_Length = std::strlen(l_pJson), l_Capacity = l_Detailed.capacity;
        ZU_FUZZ_CHECK(l_Length + 2 <= l_Capacity &&
                      findDocumentEnd(l_pJson) == l_pJson + l_Length - 1);
        ZU_FUZZ_CHECK(l_pJson[l_Length + 1] == '\0' || l_Length + 2 == l_Capacity);
        ZU_FUZZ_CHECK(l_pJson[l_Capacity - 1] == kDocumentEndMark);
        if (l_pNext == nullptr) {
            ZU_FUZZ_CHECK(l_Before == l_pJson);
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
        if (!l_Seen.insert(l_Key).second) {
            continue;
        }
        tJsonValue l_Read{};
        const char* l_pAt = findMember(l_Detailed.json, l_Key.c_str());
        ZU_FUZZ_CHECK(l_pAt != nullptr && parseValue(l_pAt, &l_Read) != nullptr);
        std::vector<char> l_Back(static_cast<std::size_t>(l_Read.length) + 1);
        std::memcpy(l_Back.data(), l_Read.start, l_Read.length);
        ZU_FUZZ_CHECK(l_Read.kind != kJsonString ||
                      unescapeString(l_Read.start, l_Read.length, l_Back.data()) != nullptr);
        ZU_FUZZ_CHECK(
            l_Value ==
            (l_Read.kind == kJsonObject ? "O" : "???NS"[l_Read.kind] + std::string(l_Back.data())));
    }
    releaseDetailedStatus(&l_Detailed);
    return 0;
}
