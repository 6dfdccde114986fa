// Random chains of adds, checked against an independent JSON parser: every document the
// builder writes must validate, and must hold exactly the members added, in their places.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "status/tDetailedStatus.h"
#include "tests/status/jsonEvents.h"

using namespace nZU7461_14_0;
using namespace zuTest;

namespace {

std::mt19937* g_pFailureRandom = nullptr;

// Refuses one growth in twenty, so chains also break at random points.
bool unreliableReallocate(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    if (a_Capacity != 0 && g_pFailureRandom != nullptr && (*g_pFailureRandom)() % 20 == 0) {
        return false;
    }
    return reallocateDetails(a_pDetailed, a_Capacity);
}

std::string randomBytes(std::mt19937& a_rRandom, std::size_t a_MaxLength) {
    std::string l_Bytes(a_rRandom() % (a_MaxLength + 1), '\0');
    for (char& l_Byte : l_Bytes) {
        l_Byte = static_cast<char>(1 + a_rRandom() % 255);
    }
    return l_Bytes;
}

TEST(DetailsRoundTrip, RandomChainsParseToWhatWasAdded) {
    std::mt19937 l_Random(7461);
    g_pFailureRandom = &l_Random;
    for (int l_Run = 0; l_Run < 300; ++l_Run) {
        SCOPED_TRACE(l_Run);
        tDetailedStatus l_Detailed = makeDetailedStatus();
        char* l_pCursor = nullptr;
        ASSERT_TRUE(setDetailedError(&l_Detailed, -1, &l_pCursor));
        l_Detailed.reallocate = &unreliableReallocate;
        const tGrowth l_Growth = detailsGrowth(&l_Detailed);

        tModelChain l_Chain;
        std::size_t l_HighBytes = 0;
        const int l_Steps = 1 + static_cast<int>(l_Random() % 60);
        for (int l_Step = 0; l_Step < l_Steps && l_pCursor != nullptr; ++l_Step) {
            const unsigned l_Choice = l_Random() % 10;
            if (l_Choice == 0 && !l_Chain.path.empty()) {
                l_pCursor += 1;
                l_Chain.leave();
                continue;
            }
            if (l_Choice == 1) {
                l_pCursor = l_Detailed.json;
                l_Chain.toRootStart();
                continue;
            }
            const std::string l_Key = randomBytes(l_Random, 8);
            const std::string l_Before = l_Detailed.json;
            tModelValue l_Value;
            std::size_t l_AddedHighBytes = highBytes(l_Key);
            if (l_Choice <= 4) {
                const std::string l_Text = randomBytes(l_Random, 16);
                l_pCursor = addStringGrowing(l_pCursor, l_Key.c_str(), l_Text.c_str(), l_Growth);
                l_Value.scalar = "S" + latin1ToUtf8(l_Text);
                l_AddedHighBytes += highBytes(l_Text);
            } else if (l_Choice <= 6) {
                const std::int32_t l_Number = static_cast<std::int32_t>(l_Random());
                l_pCursor = addIntGrowing(l_pCursor, l_Key.c_str(), l_Number, l_Growth);
                l_Value.scalar = "N" + std::to_string(l_Number);
            } else if (l_Choice == 7) {
                const std::uint32_t l_Number = static_cast<std::uint32_t>(l_Random());
                l_pCursor = addUIntGrowing(l_pCursor, l_Key.c_str(), l_Number, l_Growth);
                l_Value.scalar = "N" + std::to_string(l_Number);
            } else {
                l_pCursor = addObjectGrowing(l_pCursor, l_Key.c_str(), l_Growth);
                l_Value.isObject = true;
            }
            if (l_pCursor == nullptr) {
                EXPECT_EQ(std::string(l_Detailed.json), l_Before);
                break;
            }
            l_HighBytes += l_AddedHighBytes;
            l_Chain.insert(l_Key, l_Value);
            if (l_Value.isObject && l_Random() % 2 == 0) {
                l_pCursor -= 1;
                l_Chain.enterLast();
            }
        }
        ASSERT_NE(l_Detailed.json, nullptr);
        const std::string l_Document = l_Detailed.json;
        EXPECT_EQ(findDocumentEnd(l_Detailed.json), l_Detailed.json + l_Document.size() - 1);
        EXPECT_EQ(l_Detailed.json[l_Detailed.capacity - 1], kDocumentEndMark);
        // Bytes from 0x80 up were copied, not escaped.
        EXPECT_EQ(highBytes(l_Document), l_HighBytes);

        std::string l_Why;
        EXPECT_TRUE(parsesAsModelled(l_Detailed.json, l_Chain, &l_Why)) << l_Why << "\n"
                                                                        << l_Document;
        releaseDetailedStatus(&l_Detailed);
    }
    g_pFailureRandom = nullptr;
}

} // namespace
