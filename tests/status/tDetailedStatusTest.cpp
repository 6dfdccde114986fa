#include <gtest/gtest.h>

#include <string>

#include "status/tDetailedStatus.h"
#include "tests/support/failingAllocator.h"

using namespace nZU7461_14_0;

namespace {

// Releases the buffer however the test ends.
struct tOwnedDetailed {
    tDetailedStatus value = makeDetailedStatus();
    ~tOwnedDetailed() { releaseDetailedStatus(&value); }
    tDetailedStatus* operator->() { return &value; }
    tDetailedStatus* get() { return &value; }
    std::string text() const { return value.json == nullptr ? "<none>" : value.json; }
};

// Frees, but never provides memory: stands for an exhausted heap.
bool refuseToGrow(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    return a_Capacity == 0 && reallocateDetails(a_pDetailed, 0);
}

// Says it grew the buffer but leaves it as it was.
bool pretendToGrow(tDetailedStatus* a_pDetailed, std::uint32_t a_Capacity) {
    return a_Capacity != 0 || reallocateDetails(a_pDetailed, 0);
}

tStatus statusWith(std::int32_t a_Code, const char* a_pComponent, const char* a_pFile,
                   std::uint32_t a_Line) {
    tStatus l_Status = makeStatus();
    setStatus(&l_Status, a_Code, a_pComponent, a_pFile, a_Line);
    return l_Status;
}

TEST(DetailedStatus, GrowthDoublesAndKeepsTheDocumentAndTheCursor) {
    tOwnedDetailed l_Detailed;
    char* l_pCursor = nullptr;
    ASSERT_TRUE(setDetailedError(l_Detailed.get(), -1, &l_pCursor));
    EXPECT_EQ(l_Detailed->capacity, 512u);
    // A filler that leaves no free byte: a full document must survive the growth too.
    const std::string l_Filler(499, 'f'), l_Big(2500, 'b');
    l_pCursor = addString(l_pCursor, "fill", l_Filler.c_str());
    const std::ptrdiff_t l_Distance = l_pCursor - l_Detailed->json;
    l_pCursor = growDetails(l_pCursor, l_Detailed.get());
    EXPECT_EQ(l_pCursor, l_Detailed->json + l_Distance);
    EXPECT_EQ(l_Detailed->capacity, 1024u);
    // A member larger than two doublings, added at the root's opening brace, comes first.
    ASSERT_NE(
        addStringGrowing(l_Detailed->json, "big", l_Big.c_str(), detailsGrowth(l_Detailed.get())),
        nullptr);
    EXPECT_EQ(l_Detailed->capacity, 4096u);
    EXPECT_EQ(l_Detailed.text(), "{\"big\":\"" + l_Big + "\",\"fill\":\"" + l_Filler + "\"}");
    EXPECT_EQ(l_Detailed->json[l_Detailed->capacity - 1], kDocumentEndMark);
    EXPECT_FALSE(reallocateDetails(l_Detailed.get(), 0x80000000u));
    EXPECT_EQ(l_Detailed->capacity, 4096u);

    // Growth gives up on refused memory, on growth that does not grow, on a buffer too small or
    // too large to double and, last, on a broken document.
    const struct {
        tReallocateDetails reallocate;
        std::uint32_t capacity;
        char first;
    } l_GivingUp[] = {{&refuseToGrow, 4096, '{'},
                      {&pretendToGrow, 4096, '{'},
                      {&reallocateDetails, 2, '{'},
                      {&reallocateDetails, 0x40000001u, '{'},
                      {&reallocateDetails, 4096, 'x'}};
    for (const auto& l_Case : l_GivingUp) {
        SCOPED_TRACE(l_Case.capacity);
        l_Detailed->reallocate = l_Case.reallocate;
        const std::uint32_t l_Capacity = l_Detailed->capacity;
        l_Detailed->capacity = l_Case.capacity;
        l_Detailed->json[0] = l_Case.first;
        EXPECT_EQ(growDetails(l_Detailed->json + 1, l_Detailed.get()), nullptr);
        l_Detailed->capacity = l_Capacity;
    }
}

TEST(DetailedStatus, EveryBufferIsGivenBackOnGrowthAndRelease) {
    // Under a sanitizer that keeps the allocation functions, its leak check does this work.
    ZU_REQUIRE_FAILING_ALLOCATIONS();
    const std::string l_Big(3000, 'b');
    zuTest::cFailingAllocationScope l_Scope;
    zuTest::armAllocationFailure(0);
    tDetailedStatus l_Detailed = makeDetailedStatus();
    char* l_pCursor = nullptr;
    setDetailedError(&l_Detailed, -1, &l_pCursor);
    addStringGrowing(l_pCursor, "big", l_Big.c_str(), detailsGrowth(&l_Detailed));
    const std::uint32_t l_Capacity = l_Detailed.capacity;
    releaseDetailedStatus(&l_Detailed);
    const zuTest::tAllocationCounters l_Counters = zuTest::disarmAllocationFailure();
    EXPECT_EQ(l_Capacity, 4096u);
    EXPECT_EQ(l_Counters.allocations, 4); // 512, 1024, 2048, 4096
    EXPECT_EQ(l_Counters.releases, l_Counters.allocations);
    EXPECT_EQ(l_Detailed.json, nullptr);
    EXPECT_EQ(l_Detailed.code, 0);
}

TEST(DetailedStatus, SetDetailedErrorRestartsTheDocument) {
    tOwnedDetailed l_Detailed;
    char* l_pCursor = nullptr;
    ASSERT_TRUE(setDetailedError(l_Detailed.get(), 3, &l_pCursor));
    addErrorMembers(l_pCursor, detailsGrowth(l_Detailed.get()), "warn", "first", 1);
    // An error replaces the warning and its document; a second error is refused.
    ASSERT_TRUE(setDetailedError(l_Detailed.get(), kStatusInvalidParameter, &l_pCursor));
    EXPECT_EQ(l_Detailed.text(), "{}");
    l_pCursor =
        addErrorMembers(l_pCursor, detailsGrowth(l_Detailed.get()), "zuoskaerr_x", "dl", -94);
    EXPECT_EQ(l_pCursor, findDocumentEnd(l_Detailed->json));
    EXPECT_FALSE(setDetailedError(l_Detailed.get(), -2, &l_pCursor));
    EXPECT_EQ(l_pCursor, nullptr);
    EXPECT_EQ(l_Detailed->code, kStatusInvalidParameter);
    EXPECT_EQ(l_Detailed.text(), "{\"error_constant\":\"zuoskaerr_x\",\"file\":\"dl\",\"line\":-94,"
                                 "\"component\":\"zu7461\"}");
    // Without memory the code is still stored and the chain does nothing.
    tOwnedDetailed l_Starved;
    l_Starved->reallocate = &refuseToGrow;
    ASSERT_TRUE(setDetailedError(l_Starved.get(), kStatusMemoryFull, &l_pCursor));
    EXPECT_EQ(l_pCursor, nullptr);
    EXPECT_EQ(addErrorMembers(l_pCursor, detailsGrowth(l_Starved.get()), "e", "f", 1), nullptr);
    EXPECT_EQ(l_Starved->code, kStatusMemoryFull);
}

TEST(DetailedStatus, StatusToDetailed) {
    tStatus l_Short = statusWith(-4, "zu7461", "f", 1);
    l_Short.structureSize = 8;
    // Texts full of escapes take more room than the usual members: none of it may be lost.
    std::string l_Escaped;
    for (int l_Index = 0; l_Index < 100; ++l_Index) {
        l_Escaped += "\\u001f";
    }
    const struct {
        tStatus status;
        std::int32_t storedCode;
        bool withBuffer;
        std::int32_t code;
        std::string text;
    } l_Cases[] = {
        // clang-format off
        {statusWith(-4, "zu", "cSlotPath", 77), 0, false, -4,
         "{\"file\":\"cSlotPath\",\"line\":77,\"component\":\"zu\"}"},
        {statusWith(-4, "\x01\"", std::string(100, '\x1f').c_str(), 4294967295u), 0, false, -4,
         "{\"file\":\"" + l_Escaped + "\",\"line\":4294967295,\"component\":\"\\u0001\\\"\"}"},
        {statusWith(-4, "", "", 0), 0, false, -4, "<none>"},
        {statusWith(-4, "", "", 0), 0, true, -4, "{}"},  {l_Short, 0, true, -4, "{}"},
        {statusWith(-4, "c", "", 9), 0, true, -4, "{\"component\":\"c\"}"},
        {makeStatus(), 0, true, 0, "{\"old\":1}"},
        {statusWith(-4, "c", "f", 1), -1, true, -1, "{\"old\":1}"}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.text);
        tOwnedDetailed l_Detailed;
        l_Detailed->code = l_Case.storedCode;
        if (l_Case.withBuffer) {
            reallocateDetails(l_Detailed.get(), 4);
            addInt(findDocumentEnd(l_Detailed->json), "old", 1);
        }
        EXPECT_TRUE(statusToDetailed(&l_Case.status, l_Detailed.get()));
        EXPECT_EQ(l_Detailed->code, l_Case.code);
        EXPECT_EQ(l_Detailed.text(), l_Case.text);
    }
    tOwnedDetailed l_Starved;
    l_Starved->reallocate = &refuseToGrow;
    const tStatus l_Status = statusWith(-4, "", "f", 1);
    EXPECT_FALSE(statusToDetailed(&l_Status, l_Starved.get()));
    EXPECT_EQ(l_Starved->code, -4);
}

TEST(DetailedStatus, DetailedToStatusReadsTheMembersBack) {
    const std::string l_Path = "dir\\\\" + std::string(140, 'p') + "\\\\file";
    // 110 escaped backslashes: the last 100 characters are kept, not the last 100 raw bytes.
    std::string l_Escapes;
    for (int l_Index = 0; l_Index < 110; ++l_Index) {
        l_Escapes += "\\\\";
    }
    const struct {
        std::string document, component, file;
        std::uint32_t line;
    } l_Cases[] = {
        // clang-format off
        {"{\"component\":\"zu7461\",\"file\":\"dynload\",\"line\":94}", "zu7461", "dynload", 94},
        {"{\"component\":\"abcdefghijkl\",\"file\":\"" + l_Path + "\",\"line\":12.7}", "defghijkl",
         std::string(95, 'p') + "\\file", 12},
        {"{\"file\":\"ab" + l_Escapes + "c\"}", "", std::string(99, '\\') + "c", 0},
        {"{\"component\":\"\xc3\xa9z2345678\"}", "z2345678", "", 0},  // cut inside UTF-8
        {"{\"component\" : \"x\\ud83d\\ude00abcde\"}", "\xf0\x9f\x98\x80" "abcde", "", 0},
        {"{\"x\":{\"file\":\"n\"},\"component\":1,\"line\":\"3\"}", "", "", 0},
        {"{\"file\":\"a\\u0000\",\"line\":-1}", "", "", 0xFFFFFFFFu},
        {"{\"line\":-}", "", "", 0}, {"{\"line\":1." + std::string(70, '5') + "}", "", "", 0},
        {"{\"file\":\"f\",\"line\":5,", "", "", 0}};
    // clang-format on
    for (const auto& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.document.substr(0, 60));
        tOwnedDetailed l_Detailed;
        ASSERT_TRUE(reallocateDetails(l_Detailed.get(), 1024));
        initDocument(l_Detailed->json, l_Detailed->capacity, l_Case.document.c_str());
        l_Detailed->code = -7;
        tStatus l_Status = makeStatus();
        EXPECT_TRUE(detailedToStatus(l_Detailed.get(), &l_Status));
        EXPECT_EQ(l_Status.code, -7);
        EXPECT_EQ(std::string(l_Status.component), l_Case.component);
        EXPECT_EQ(std::string(l_Status.file), l_Case.file);
        EXPECT_EQ(l_Status.line, l_Case.line);
    }
}

TEST(DetailedStatus, ScopesCarryTheOutcomeBothWays) {
    // An error handed down is kept: the inner layers cannot replace it.
    tStatus l_Failed = statusWith(kStatusInvalidParameter, "zu7461", "cSessionManager", 5);
    {
        tDetailedStatusScope l_Scope(&l_Failed);
        EXPECT_FALSE(setDetailedError(l_Scope.get(), -313008, nullptr));
    }
    EXPECT_EQ(l_Failed.code, kStatusInvalidParameter);
    EXPECT_STREQ(l_Failed.file, "cSessionManager");
    // An error raised inside travels up, and back down through a tStatusScope.
    tStatus l_Outer = makeStatus();
    {
        tDetailedStatusScope l_Scope(&l_Outer);
        char* l_pCursor = nullptr;
        ASSERT_TRUE(setDetailedError(l_Scope.get(), -313008, &l_pCursor));
        addErrorMembers(l_pCursor, detailsGrowth(l_Scope.get()), "e", "cPciBrdWrapper_sc", 301);
        tStatusScope l_Lifted(l_Scope.get());
        EXPECT_EQ(l_Lifted.get()->code, -313008);
        EXPECT_STREQ(l_Lifted.get()->file, "cPciBrdWrapper_sc");
    }
    EXPECT_EQ(l_Outer.code, -313008);
    EXPECT_STREQ(l_Outer.component, "zu7461");
    EXPECT_STREQ(l_Outer.file, "cPciBrdWrapper_sc");
    EXPECT_EQ(l_Outer.line, 301u);
    // A tStatusScope writes an error raised on its own status back into the detailed one.
    tOwnedDetailed l_Detailed;
    {
        tStatusScope l_Scope(l_Detailed.get());
        setStatus(l_Scope.get(), kStatusMemoryFull, "zu7461", "memoryAllocation", 291);
    }
    EXPECT_EQ(l_Detailed->code, kStatusMemoryFull);
    EXPECT_EQ(l_Detailed.text(),
              "{\"file\":\"memoryAllocation\",\"line\":291,\"component\":\"zu7461\"}");
}

} // namespace
