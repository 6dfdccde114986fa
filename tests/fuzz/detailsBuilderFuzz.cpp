// Chains of adds driven by the input's bytes, into a buffer that starts small and grows only
// when the input allows it. After every step the document must validate and keep the buffer's
// convention; a failed add must leave it unchanged; at the end an independent parser must read
// exactly the members that were added.
#include <cstdint>
#include <cstring>
#include <string>

#include "status/tDetailedStatus.h"
#include "tests/fuzz/fuzzCheck.h"
#include "tests/fuzz/jsonEvents.h"

using namespace nZU7461_14_0;
using namespace zuTest;

namespace {

struct tInput {
    const std::uint8_t* data;
    std::size_t left;

    std::uint8_t byte() {
        if (left == 0) {
            return 0;
        }
        --left;
        return *data++;
    }
    std::uint32_t word() {
        std::uint32_t l_Word = 0;
        for (int l_Index = 0; l_Index < 4; ++l_Index) {
            l_Word = (l_Word << 8) | byte();
        }
        return l_Word;
    }
    // Text without zero bytes, which would only end it early.
    std::string text() {
        std::string l_Text(byte() % 24, '\0');
        for (char& l_Byte : l_Text) {
            const std::uint8_t l_Next = byte();
            l_Byte = static_cast<char>(l_Next == 0 ? 0x7F : l_Next);
        }
        return l_Text;
    }
};

// Growth is granted while the input's budget lasts, and never beyond 16 KiB.
int g_GrowthBudget = 0;

bool budgetedReallocate(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    if (a_Capacity != 0 && (g_GrowthBudget-- <= 0 || a_Capacity > 16384)) {
        return false;
    }
    return reallocateDetails(a_pDetailed, a_Capacity);
}

// After every step: the document validates, fits, and the end mark stands. The zeros between
// the document and the mark are checked over the whole buffer only where a_Whole is set (at the
// end of a run): checking 16 KiB after each of hundreds of steps made a run cost milliseconds.
void checkConvention(const tDetailedStatus& a_rDetailed, bool a_Whole) {
    const std::size_t l_Length = std::strlen(a_rDetailed.json);
    ZU_FUZZ_CHECK(l_Length + 2 <= a_rDetailed.capacity);
    ZU_FUZZ_CHECK(findDocumentEnd(a_rDetailed.json) == a_rDetailed.json + l_Length - 1);
    ZU_FUZZ_CHECK(a_rDetailed.json[l_Length + 1] == '\0' || l_Length + 2 == a_rDetailed.capacity);
    for (std::size_t l_At = l_Length; a_Whole && l_At + 1 < a_rDetailed.capacity; ++l_At) {
        ZU_FUZZ_CHECK(a_rDetailed.json[l_At] == '\0');
    }
    ZU_FUZZ_CHECK(a_rDetailed.json[a_rDetailed.capacity - 1] == kDocumentEndMark);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* a_pData, std::size_t a_Size) {
    tInput l_Input{a_pData, a_Size};
    g_GrowthBudget = l_Input.byte() % 8;
    tDetailedStatus l_Detailed = makeDetailedStatus();
    l_Detailed.reallocate = &budgetedReallocate;
    char* l_pCursor = nullptr;
    ZU_FUZZ_CHECK(setDetailedError(&l_Detailed, -1, &l_pCursor));
    if (l_pCursor == nullptr) {
        releaseDetailedStatus(&l_Detailed);
        return 0;
    }
    const tGrowth l_Growth = detailsGrowth(&l_Detailed);
    tModelChain l_Chain;
    while (l_Input.left != 0) {
        const std::uint8_t l_Operation = l_Input.byte();
        // Plain adds only use the room there is; growing ones may ask for more.
        const bool l_Grows = (l_Operation & 0x80) != 0;
        const std::uint8_t l_Kind = l_Operation & 0x07;
        if (l_Kind == 6) {
            if (!l_Chain.path.empty()) {
                l_pCursor += 1;
                l_Chain.leave();
            }
            continue;
        }
        if (l_Kind == 7) {
            l_pCursor = l_Detailed.json;
            l_Chain.toRootStart();
            continue;
        }
        const std::string l_Key = l_Input.text();
        const std::string l_Before = l_Detailed.json;
        tModelValue l_Value;
        char* l_pNext = nullptr;
        if (l_Kind <= 2) {
            const std::string l_Text = l_Input.text();
            l_pNext = l_Grows ? addStringGrowing(l_pCursor, l_Key.c_str(), l_Text.c_str(), l_Growth)
                              : addString(l_pCursor, l_Key.c_str(), l_Text.c_str());
            l_Value.scalar = "S" + latin1ToUtf8(l_Text);
        } else if (l_Kind == 3) {
            const std::int32_t l_Number = static_cast<std::int32_t>(l_Input.word());
            l_pNext = l_Grows ? addIntGrowing(l_pCursor, l_Key.c_str(), l_Number, l_Growth)
                              : addInt(l_pCursor, l_Key.c_str(), l_Number);
            l_Value.scalar = "N" + std::to_string(l_Number);
        } else if (l_Kind == 4) {
            const std::uint32_t l_Number = l_Input.word();
            l_pNext = l_Grows ? addUIntGrowing(l_pCursor, l_Key.c_str(), l_Number, l_Growth)
                              : addUInt(l_pCursor, l_Key.c_str(), l_Number);
            l_Value.scalar = "N" + std::to_string(l_Number);
        } else {
            l_pNext = l_Grows ? addObjectGrowing(l_pCursor, l_Key.c_str(), l_Growth)
                              : addObject(l_pCursor, l_Key.c_str());
            l_Value.isObject = true;
        }
        checkConvention(l_Detailed, false);
        if (l_pNext == nullptr) {
            ZU_FUZZ_CHECK(l_Before == l_Detailed.json);
            if (l_Grows) {
                // A chain stops at its first failed growing add.
                break;
            }
            continue;
        }
        l_pCursor = l_pNext;
        l_Chain.insert(l_Key, l_Value);
        // Entering stops short of the reader's nesting limit: the builder nests as deep as it is
        // told, and a deeper document is one the reader refuses on purpose.
        if (l_Value.isObject && (l_Operation & 0x40) != 0 &&
            l_Chain.path.size() + 2 < kJsonMaxDepth) {
            l_pCursor -= 1;
            l_Chain.enterLast();
        }
    }
    checkConvention(l_Detailed, true);
    std::string l_Why;
    if (!parsesAsModelled(l_Detailed.json, l_Chain, &l_Why)) {
        std::fprintf(stderr, "%s\n%s\n", l_Why.c_str(), l_Detailed.json);
        std::abort();
    }
    releaseDetailedStatus(&l_Detailed);
    return 0;
}
