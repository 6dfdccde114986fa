// The details document against a general JSON library doing the same work: building the
// library-load-failure document, and picking "component", "file" and "line" out of a document.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <string>

#include "status/tDetailedStatus.h"

using namespace nZU7461_14_0;

namespace {

constexpr const char kSystemMessage[] = "The specified module could not be found.\r\n";

// What a failed library load records, built in place the way the loader builds it.
void buildLoadFailure(tDetailedStatus* a_pDetailed) {
    char* l_pCursor = nullptr;
    setDetailedError(a_pDetailed, kStatusInvalidParameter, &l_pCursor);
    const tGrowth l_Growth = detailsGrowth(a_pDetailed);
    l_pCursor = addErrorMembers(l_pCursor, l_Growth, "zuoskaerr_invalidParameter", "dynload", 94);
    l_pCursor = addObjectGrowing(l_pCursor, "zudynlib_debug", l_Growth);
    l_pCursor = l_pCursor == nullptr ? nullptr : l_pCursor - 1;
    l_pCursor = addStringGrowing(l_pCursor, "debug", "failed to zudynlib_load library", l_Growth);
    l_pCursor = addStringGrowing(l_pCursor, "path", "zupcibrd.dll", l_Growth);
    l_pCursor = l_pCursor == nullptr ? nullptr : l_pCursor + 1;
    l_pCursor = addObjectGrowing(l_pCursor, "internal_error", l_Growth);
    l_pCursor = l_pCursor == nullptr ? nullptr : l_pCursor - 1;
    l_pCursor = addStringGrowing(l_pCursor, "api", "win32", l_Growth);
    l_pCursor = addUIntGrowing(l_pCursor, "code", 126, l_Growth);
    addStringGrowing(l_pCursor, "string", kSystemMessage, l_Growth);
}

std::string buildLoadFailureWithLibrary() {
    nlohmann::ordered_json l_Document;
    l_Document["error_constant"] = "zuoskaerr_invalidParameter";
    l_Document["file"] = "dynload";
    l_Document["line"] = 94;
    l_Document["component"] = "zu7461";
    l_Document["zudynlib_debug"]["debug"] = "failed to zudynlib_load library";
    l_Document["zudynlib_debug"]["path"] = "zupcibrd.dll";
    l_Document["internal_error"]["api"] = "win32";
    l_Document["internal_error"]["code"] = 126u;
    l_Document["internal_error"]["string"] = kSystemMessage;
    return l_Document.dump();
}

// Both sides must write the same text, or the comparison means nothing.
bool sameDocuments() {
    tDetailedStatus l_Detailed = makeDetailedStatus();
    buildLoadFailure(&l_Detailed);
    const bool l_Same = buildLoadFailureWithLibrary() == l_Detailed.json;
    releaseDetailedStatus(&l_Detailed);
    return l_Same;
}

// A fresh status per document, as each failing load has: one buffer allocation included.
void BM_BuildInPlace(benchmark::State& a_rState) {
    if (!sameDocuments()) {
        a_rState.SkipWithError("the two builders write different documents");
        return;
    }
    for (auto l_Unused : a_rState) {
        tDetailedStatus l_Detailed = makeDetailedStatus();
        buildLoadFailure(&l_Detailed);
        benchmark::DoNotOptimize(l_Detailed.json);
        releaseDetailedStatus(&l_Detailed);
    }
}
BENCHMARK(BM_BuildInPlace);

// The same into a buffer that already exists, as when a status is reused.
void BM_BuildInPlaceReused(benchmark::State& a_rState) {
    tDetailedStatus l_Detailed = makeDetailedStatus();
    for (auto l_Unused : a_rState) {
        l_Detailed.code = 0;
        buildLoadFailure(&l_Detailed);
        benchmark::DoNotOptimize(l_Detailed.json);
    }
    releaseDetailedStatus(&l_Detailed);
}
BENCHMARK(BM_BuildInPlaceReused);

void BM_BuildWithLibrary(benchmark::State& a_rState) {
    for (auto l_Unused : a_rState) {
        std::string l_Text = buildLoadFailureWithLibrary();
        benchmark::DoNotOptimize(l_Text.data());
    }
}
BENCHMARK(BM_BuildWithLibrary);

// A document of 258 bytes with the three members a status takes, not at its start.
std::string readDocument() {
    std::string l_Document =
        "{\"error_constant\":\"m_PciBrdDynLib.GetAttributeU32( a_BridgeRef, "
        "a_Attribute, a_pValue )\",\"file\":\"C:\\\\build\\\\zu7461\\\\pcibrd\\\\"
        "cPciBrdWrapper_sc\",\"line\":412,\"component\":\"zu7461\",\"extra\":\"";
    l_Document += std::string(258 - l_Document.size() - 2, 'x');
    l_Document += "\"}";
    return l_Document;
}

struct tRead {
    char component[kStatusComponentSize];
    char file[kStatusFileSize];
    std::uint32_t line;
};

void BM_ReadInPlace(benchmark::State& a_rState) {
    const std::string l_Document = readDocument();
    if (l_Document.size() != 258 || findDocumentEnd(l_Document.c_str()) == nullptr) {
        a_rState.SkipWithError("the document is not 258 valid bytes");
        return;
    }
    for (auto l_Unused : a_rState) {
        tRead l_Read{};
        tJsonValue l_Value{};
        if (parseValue(findMember(l_Document.c_str(), "component"), &l_Value) != nullptr &&
            l_Value.kind == kJsonString && l_Value.length < sizeof l_Read.component) {
            unescapeString(l_Value.start, l_Value.length, l_Read.component);
        }
        if (parseValue(findMember(l_Document.c_str(), "file"), &l_Value) != nullptr &&
            l_Value.kind == kJsonString && l_Value.length < sizeof l_Read.file) {
            unescapeString(l_Value.start, l_Value.length, l_Read.file);
        }
        if (parseValue(findMember(l_Document.c_str(), "line"), &l_Value) != nullptr &&
            l_Value.kind == kJsonNumber) {
            numberToInt32(l_Value.start, l_Value.length, l_Value.hasFraction, &l_Read.line);
        }
        benchmark::DoNotOptimize(l_Read);
    }
}
BENCHMARK(BM_ReadInPlace);

void BM_ReadWithLibrary(benchmark::State& a_rState) {
    const std::string l_Document = readDocument();
    for (auto l_Unused : a_rState) {
        tRead l_Read{};
        const nlohmann::json l_Parsed = nlohmann::json::parse(l_Document);
        const std::string& l_rComponent = l_Parsed["component"].get_ref<const std::string&>();
        std::strncpy(l_Read.component, l_rComponent.c_str(), sizeof l_Read.component - 1);
        const std::string& l_rFile = l_Parsed["file"].get_ref<const std::string&>();
        std::strncpy(l_Read.file, l_rFile.c_str(), sizeof l_Read.file - 1);
        l_Read.line = l_Parsed["line"].get<std::uint32_t>();
        benchmark::DoNotOptimize(l_Read);
    }
}
BENCHMARK(BM_ReadWithLibrary);

} // namespace
