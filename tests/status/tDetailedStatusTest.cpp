#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "status/tDetailedStatus.h"

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

TEST(DetailedStatus, ReallocateDetailsSizes) {
    struct tCase {
        std::uint32_t first; // 0: no buffer before
        std::uint32_t request;
        bool succeeds;
        std::uint32_t capacity;
    };
    const std::vector<tCase> l_Cases = {
        {0, 3, true, 512},          {0, 512, true, 512},      {0, 600, true, 1024},
        {0, 2147483648u, false, 0}, {512, 512, true, 512},    {512, 513, true, 1024},
        {512, 0, true, 0},          {1024, 4096, true, 4096}, {512, 0xFFFFFFFFu, false, 512},
    };
    for (const tCase& l_Case : l_Cases) {
        SCOPED_TRACE(testing::Message() << l_Case.first << " -> " << l_Case.request);
        tOwnedDetailed l_Detailed;
        if (l_Case.first != 0) {
            ASSERT_TRUE(reallocateDetails(l_Detailed.get(), l_Case.first));
            addString(findDocumentEnd(l_Detailed->json), "k", "v");
        }
        EXPECT_EQ(reallocateDetails(l_Detailed.get(), l_Case.request), l_Case.succeeds);
        EXPECT_EQ(l_Detailed->capacity, l_Case.capacity);
        if (l_Case.capacity == 0) {
            EXPECT_EQ(l_Detailed->json, nullptr);
            continue;
        }
        EXPECT_EQ(l_Detailed.text(), l_Case.first != 0 ? "{\"k\":\"v\"}" : "{}");
        EXPECT_EQ(l_Detailed->json[l_Detailed->capacity - 1], kDocumentEndMark);
    }
}

TEST(DetailedStatus, GrowthDoublesAndKeepsTheCursorDistance) {
    tOwnedDetailed l_Detailed;
    char* l_pCursor = nullptr;
    ASSERT_TRUE(setDetailedError(l_Detailed.get(), -1, &l_pCursor));
    ASSERT_EQ(l_Detailed->capacity, 512u);
    const std::string l_Filler(480, 'f');
    l_pCursor = addString(l_pCursor, "fill", l_Filler.c_str());
    ASSERT_NE(l_pCursor, nullptr);
    const std::ptrdiff_t l_Distance = l_pCursor - l_Detailed->json;

    char* l_pGrown = growDetails(l_pCursor, l_Detailed.get());
    EXPECT_EQ(l_pGrown, l_Detailed->json + l_Distance);
    EXPECT_EQ(l_Detailed->capacity, 1024u);

    // A member larger than two doublings lands after the first one.
    const std::string l_Big(2500, 'b');
    const tGrowth l_Growth = detailsGrowth(l_Detailed.get());
    ASSERT_NE(addStringGrowing(l_Detailed->json + l_Distance, "big", l_Big.c_str(), l_Growth),
              nullptr);
    EXPECT_EQ(l_Detailed->capacity, 4096u);
    EXPECT_EQ(addObjectGrowing(nullptr, "k", l_Growth), nullptr);
    char l_Full[4];
    initDocument(l_Full, sizeof l_Full, "{}");
    EXPECT_EQ(addObjectGrowing(l_Full + 1, "k", tGrowth{nullptr, nullptr}), nullptr);
    EXPECT_EQ(l_Detailed.text(), "{\"fill\":\"" + l_Filler + "\",\"big\":\"" + l_Big + "\"}");

    // Growth gives up on refused memory, on growth that does not grow (a reallocate that only
    // says it grew, a capacity of 2 that asks for 2), on an oversized buffer and on a broken
    // document.
    l_Detailed->reallocate = &refuseToGrow;
    EXPECT_EQ(growDetails(l_Detailed->json + 1, l_Detailed.get()), nullptr);
    l_Detailed->reallocate = &pretendToGrow;
    EXPECT_EQ(growDetails(l_Detailed->json + 1, l_Detailed.get()), nullptr);
    EXPECT_EQ(addStringGrowing(l_Detailed->json + 1, "k", l_Big.c_str(), l_Growth), nullptr);
    l_Detailed->reallocate = &reallocateDetails;
    const std::uint32_t l_RealCapacity = l_Detailed->capacity;
    l_Detailed->capacity = 2;
    EXPECT_EQ(growDetails(l_Detailed->json + 1, l_Detailed.get()), nullptr);
    l_Detailed->capacity = 0x40000001u;
    EXPECT_EQ(growDetails(l_Detailed->json + 1, l_Detailed.get()), nullptr);
    l_Detailed->capacity = l_RealCapacity;
    l_Detailed->json[0] = 'x';
    EXPECT_EQ(growDetails(l_Detailed->json + 1, l_Detailed.get()), nullptr);
}

TEST(DetailedStatus, SetDetailedErrorRestartsTheDocument) {
    tOwnedDetailed l_Detailed;
    char* l_pCursor = nullptr;
    ASSERT_TRUE(setDetailedError(l_Detailed.get(), 3, &l_pCursor));
    addErrorMembers(l_pCursor, detailsGrowth(l_Detailed.get()), "warn", "first", 1);

    // An error replaces the warning and its document; a second error is refused.
    ASSERT_TRUE(setDetailedError(l_Detailed.get(), kStatusInvalidParameter, &l_pCursor));
    EXPECT_EQ(l_Detailed.text(), "{}");
    l_pCursor = addErrorMembers(l_pCursor, detailsGrowth(l_Detailed.get()),
                                "zuoskaerr_invalidParameter", "dynload", -94);
    EXPECT_EQ(l_pCursor, findDocumentEnd(l_Detailed->json));
    const std::string l_Expected = "{\"error_constant\":\"zuoskaerr_invalidParameter\","
                                   "\"file\":\"dynload\",\"line\":-94,\"component\":\"zu7461\"}";
    EXPECT_EQ(l_Detailed.text(), l_Expected);
    EXPECT_FALSE(setDetailedError(l_Detailed.get(), -2, &l_pCursor));
    EXPECT_EQ(l_pCursor, nullptr);
    EXPECT_EQ(l_Detailed->code, kStatusInvalidParameter);
    EXPECT_EQ(l_Detailed.text(), l_Expected);

    // Without memory the code is still stored and the chain does nothing.
    tOwnedDetailed l_Starved;
    l_Starved->reallocate = &refuseToGrow;
    ASSERT_TRUE(setDetailedError(l_Starved.get(), kStatusMemoryFull, &l_pCursor));
    EXPECT_EQ(l_pCursor, nullptr);
    EXPECT_EQ(addErrorMembers(l_pCursor, detailsGrowth(l_Starved.get()), "e", "f", 1), nullptr);
    EXPECT_EQ(l_Starved->code, kStatusMemoryFull);
    EXPECT_EQ(l_Starved->json, nullptr);
}

TEST(DetailedStatus, StatusToDetailed) {
    struct tCase {
        const char* name;
        tStatus status;
        std::int32_t storedCode;
        bool withBuffer;
        bool returns;
        std::int32_t code;
        std::string text;
    };
    tStatus l_Short = statusWith(-4, "zu7461", "f", 1);
    l_Short.structureSize = 8;
    const std::vector<tCase> l_Cases = {
        {"full", statusWith(-4, "zu7461", "cSlotPath", 77), 0, false, true, -4,
         "{\"file\":\"cSlotPath\",\"line\":77,\"component\":\"zu7461\"}"},
        {"no texts, no buffer", statusWith(-4, "", "", 0), 0, false, true, -4, "<none>"},
        {"no texts, old document", statusWith(-4, "", "", 0), 0, true, true, -4, "{}"},
        {"component only", statusWith(-4, "c", "", 9), 0, true, true, -4, "{\"component\":\"c\"}"},
        {"short record", l_Short, 0, true, true, -4, "{}"},
        {"success", makeStatus(), 0, true, true, 0, "{\"old\":1}"},
        {"refused", statusWith(-4, "c", "f", 1), -1, true, true, -1, "{\"old\":1}"},
    };
    for (const tCase& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.name);
        tOwnedDetailed l_Detailed;
        l_Detailed->code = l_Case.storedCode;
        if (l_Case.withBuffer) {
            reallocateDetails(l_Detailed.get(), 4);
            addInt(findDocumentEnd(l_Detailed->json), "old", 1);
        }
        EXPECT_EQ(statusToDetailed(&l_Case.status, l_Detailed.get()), l_Case.returns);
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
    struct tCase {
        const char* name;
        std::string document;
        std::string component;
        std::string file;
        std::uint32_t line;
    };
    const std::string l_Path = "dir\\\\" + std::string(140, 'p') + "\\\\file";
    // "ab", 110 escaped backslashes, "c": the last 100 characters are kept, not raw bytes.
    std::string l_Escapes = "ab";
    for (int l_Index = 0; l_Index < 110; ++l_Index) {
        l_Escapes += "\\\\";
    }
    l_Escapes += "c";
    const std::vector<tCase> l_Cases = {
        {"plain", "{\"component\":\"zu7461\",\"file\":\"dynload\",\"line\":94}", "zu7461",
         "dynload", 94},
        {"long texts", "{\"component\":\"abcdefghijkl\",\"file\":\"" + l_Path + "\",\"line\":12.7}",
         "defghijkl", std::string(95, 'p') + "\\file", 12},
        {"cut between escapes", "{\"file\":\"" + l_Escapes + "\"}", "", std::string(99, '\\') + "c",
         0},
        {"cut inside UTF-8",
         "{\"component\":\"\xc3\xa9"
         "abcdefgh\"}",
         "abcdefgh", "", 0},
        {"nested and wrong kinds", "{\"x\":{\"file\":\"n\"},\"component\":1,\"line\":\"3\"}", "",
         "", 0},
        {"cut before a surrogate pair", "{\"component\" : \"x\\ud83d\\ude00abcde\"}",
         "\xf0\x9f\x98\x80"
         "abcde",
         "", 0},
        {"undecodable", "{\"file\":\"a\\u0000\",\"line\":-1}", "", "", 0xFFFFFFFFu},
        {"invalid document", "{\"file\":\"f\",", "", "", 0},
    };
    for (const tCase& l_Case : l_Cases) {
        SCOPED_TRACE(l_Case.name);
        tOwnedDetailed l_Detailed;
        ASSERT_TRUE(reallocateDetails(l_Detailed.get(),
                                      static_cast<std::uint32_t>(l_Case.document.size() + 2)));
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

TEST(DetailedStatus, RecordsSurviveTheWayThroughADocument) {
    const std::vector<tStatus> l_Cases = {
        statusWith(-1, "zu7461", "dynload", 94),
        statusWith(-1, "\"\"\"\"\"\"\"\"\"", std::string(100, '"').c_str(), 4294967295u),
        statusWith(-1, "\x01\x7f\t", std::string(100, '\x1f').c_str(), 0),
        statusWith(-1, "\xc3\xa9", "C:\\src\\pcibrd\\dynload.cpp", 7),
    };
    for (const tStatus& l_Original : l_Cases) {
        SCOPED_TRACE(l_Original.file);
        tOwnedDetailed l_Detailed;
        EXPECT_TRUE(statusToDetailed(&l_Original, l_Detailed.get()));
        tStatus l_Back = makeStatus();
        detailedToStatus(l_Detailed.get(), &l_Back);
        EXPECT_STREQ(l_Back.component, l_Original.component);
        EXPECT_STREQ(l_Back.file, l_Original.file);
        EXPECT_EQ(l_Back.line, l_Original.line);
    }
}

TEST(DetailedStatus, ScopesCarryTheOutcomeBothWays) {
    // An error handed down stops the inner layers and comes back unchanged.
    tStatus l_Failed = statusWith(kStatusInvalidParameter, "zu7461", "cSessionManager", 5);
    {
        tDetailedStatusScope l_Scope(&l_Failed);
        EXPECT_EQ(l_Scope.get()->code, kStatusInvalidParameter);
        char* l_pCursor = nullptr;
        EXPECT_FALSE(setDetailedError(l_Scope.get(), -313008, &l_pCursor));
    }
    EXPECT_EQ(l_Failed.code, kStatusInvalidParameter);
    EXPECT_STREQ(l_Failed.file, "cSessionManager");
    EXPECT_EQ(l_Failed.line, 5u);

    // An error raised inside travels up, and back down through a tStatusScope.
    tStatus l_Outer = makeStatus();
    {
        tDetailedStatusScope l_Scope(&l_Outer);
        char* l_pCursor = nullptr;
        ASSERT_TRUE(setDetailedError(l_Scope.get(), -313008, &l_pCursor));
        addErrorMembers(l_pCursor, detailsGrowth(l_Scope.get()), "m_Lib.OpenSession( 0 )",
                        "cPciBrdWrapper_sc", 301);
        tStatus l_Caller = makeStatus();
        {
            tStatusScope l_Lifted(l_Scope.get());
            EXPECT_EQ(l_Lifted.get()->code, -313008);
            mergeStatus(&l_Caller, l_Lifted.get());
        }
        EXPECT_STREQ(l_Caller.file, "cPciBrdWrapper_sc");
        EXPECT_EQ(l_Caller.line, 301u);
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
