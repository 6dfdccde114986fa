// P1: openList + closeList through the finder module, loaded as a host loads it, against the
// floor: a bare loop making the same platform and library calls (load, 18 lookups, session,
// count-then-fill search, one attribute read per bridge, close, unload) with no status records,
// no details documents and no lists.
//
// Two bridge driver libraries:
// - "simulator": the simulated library, loaded and unloaded by every run as in production, over
//   a topology file of N chassis bridges. It reads and checks that file at every session, which
//   both sides pay. PCI has 256 buses and every bridge owns one, so N stops at 255.
// - "flat": bench-bridge/zupcibrd, which answers at the cost of a call, for N up to 1,000. The
//   benchmark holds it loaded, so neither side pays a real load: the finder's own work is all
//   that separates the two.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/pairedTiming.h"
#include "pcibrd/zupcibrd.h"
#include "tests/support/zuSim.h"
#include "tests/support/zuFinderModule.h"

namespace {

constexpr std::uint16_t kChassisSubsystemVendorId = 0x1F3C;
constexpr std::uint16_t kChassisSubsystemId = 0x5C2E;

// WCHAR is char16_t in the Linux layer and wchar_t on Windows; the name is plain ASCII either way.
const std::basic_string<WCHAR>& libraryName() {
    static const char s_Narrow[] = "zupcibrd.dll";
    static const std::basic_string<WCHAR> s_Name(s_Narrow, s_Narrow + sizeof s_Narrow - 1);
    return s_Name;
}

template <class tFunction> tFunction entry(FARPROC a_Address) {
    return reinterpret_cast<tFunction>(a_Address);
}

// The floor. Yields the number of chassis found, or -1 when a call failed.
long floorOpenAndClose() {
    const HMODULE l_Library = LoadLibraryExW(libraryName().c_str(), nullptr, 0);
    if (l_Library == nullptr) {
        return -1;
    }
    FARPROC l_Entries[kZuPciBrdEntryCount];
    bool l_AllFound = true;
    for (std::size_t l_Index = 0; l_Index < kZuPciBrdEntryCount; ++l_Index) {
        l_Entries[l_Index] = GetProcAddress(l_Library, kZuPciBrdEntryNames[l_Index]);
        l_AllFound = l_AllFound && l_Entries[l_Index] != nullptr;
    }
    long l_Found = -1;
    std::uint32_t l_Session = 0;
    if (l_AllFound && entry<tZuPciBrd_OpenSession>(l_Entries[0])(0, &l_Session) == 0) {
        const auto l_Find = entry<tZuPciBrd_FindBridgesByPciIds>(l_Entries[2]);
        const auto l_GetAttribute = entry<tZuPciBrd_GetAttributeU32>(l_Entries[14]);
        std::uint32_t l_Count = 0;
        l_Find(l_Session, nullptr, nullptr, &kChassisSubsystemVendorId, &kChassisSubsystemId,
               nullptr, &l_Count);
        std::vector<std::uint32_t> l_Bridges(l_Count);
        if (l_Find(l_Session, nullptr, nullptr, &kChassisSubsystemVendorId, &kChassisSubsystemId,
                   l_Bridges.data(), &l_Count) == 0) {
            l_Found = 0;
            for (std::uint32_t l_Index = 0; l_Index < l_Count; ++l_Index) {
                std::uint32_t l_Value = 0;
                if (l_GetAttribute(l_Session, l_Bridges[l_Index],
                                   ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE, &l_Value) == 0) {
                    benchmark::DoNotOptimize(l_Value & 0xFFFFu);
                    ++l_Found;
                }
            }
        }
        entry<tZuPciBrd_CloseSession>(l_Entries[1])(l_Session);
    }
    FreeLibrary(l_Library);
    return l_Found;
}

// The finder's side: what the host does to learn the chassis. Yields the count.
long finderOpenAndClose(const zuTest::tFinderModule& a_rFinder) {
    std::uint32_t l_Count = 0;
    void* l_pList = nullptr;
    const std::int32_t l_Code = a_rFinder.openList(&l_Count, &l_pList);
    a_rFinder.closeList(l_pList);
    return l_Code == 0 ? static_cast<long>(l_Count) : -1;
}

// A machine of a_Count chassis bridges side by side on root bus 0, each with its own bus.
std::string simulatorTopology(std::size_t a_Count) {
    std::string l_Json = "{\"rootBuses\": [0], \"bridges\": [";
    for (std::size_t l_Index = 0; l_Index < a_Count; ++l_Index) {
        l_Json += l_Index == 0 ? "\n" : ",\n";
        l_Json += "{\"bus\": 0, \"device\": " + std::to_string(l_Index / 8) +
                  ", \"function\": " + std::to_string(l_Index % 8) +
                  ", \"secondaryBus\": " + std::to_string(l_Index + 1) +
                  ", \"vendorId\": \"0x1E5A\", \"deviceId\": \"0x8114\", "
                  "\"subsystemVendorId\": \"0x1F3C\", \"subsystemId\": \"0x5C2E\", "
                  "\"attributes\": {\"0x20000300\": " +
                  std::to_string(l_Index + 1) + "}}";
    }
    return l_Json + "\n]}\n";
}

// Checks both sides once, then times them in alternation.
void runBothSides(benchmark::State& a_rState, std::size_t a_Batch, long a_Expected) {
    const zuTest::tFinderModule l_Finder;
    if (finderOpenAndClose(l_Finder) != a_Expected || floorOpenAndClose() != a_Expected) {
        a_rState.SkipWithError("a side did not find every chassis");
        return;
    }
    zuBench::runPaired(
        a_rState, a_Batch, [&] { benchmark::DoNotOptimize(finderOpenAndClose(l_Finder)); },
        [] { benchmark::DoNotOptimize(floorOpenAndClose()); });
}

void BM_OpenClose_Simulator(benchmark::State& a_rState) {
    const std::size_t l_Count = static_cast<std::size_t>(a_rState.range(0));
    const std::string l_Path =
        zuTest::executableFolder() + "/bench-topology-" + std::to_string(l_Count) + ".json";
    std::FILE* l_pFile = std::fopen(l_Path.c_str(), "wb");
    if (l_pFile == nullptr) {
        a_rState.SkipWithError("cannot write the topology file");
        return;
    }
    const std::string l_Topology = simulatorTopology(l_Count);
    std::fwrite(l_Topology.data(), 1, l_Topology.size(), l_pFile);
    std::fclose(l_pFile);
    zuTest::setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", l_Path);
    runBothSides(a_rState, 1, static_cast<long>(l_Count));
    zuTest::setEnvironment("ZUPCIBRD_SIM_TOPOLOGY", "");
    std::remove(l_Path.c_str());
}

void BM_OpenClose_Flat(benchmark::State& a_rState) {
    const std::size_t l_Count = static_cast<std::size_t>(a_rState.range(0));
    zuTest::setEnvironment("ZU_BENCH_BRIDGE_COUNT", std::to_string(l_Count));
    // Held for the whole benchmark: both sides' loads by bare name find this one.
    const zuTest::tLoadedModule l_Held(zuTest::modulePath("zupcibrd", "bench-bridge"));
    runBothSides(a_rState, 16, static_cast<long>(l_Count));
}

BENCHMARK(BM_OpenClose_Simulator)->ArgName("bridges")->Arg(1)->Arg(100)->Arg(255)->MinTime(2);
BENCHMARK(BM_OpenClose_Flat)->ArgName("bridges")->Arg(1)->Arg(100)->Arg(1000)->MinTime(1);

} // namespace
