// P2: getU32Attribute with N items registered (N = 100, 10,000, 100,000), against the floor of
// a bare std::mutex and std::set::find over a set of the same N handles.
//
// The items come from lists the simulator's machine fills (it holds at most 255 chassis, so
// larger counts take several lists held open together); the finder is linked in. Two orders of
// queries: "walk", the items in list order as a host walks a list, and "scattered", a fixed shuffle
// of them, where each lookup starts from cold cache lines once the set outgrows the caches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "bench/pairedTiming.h"
#include "source/finder.h"
#include "tests/support/zuSim.h"
#include "zu7461/zu7461.h"

namespace {

constexpr std::size_t kBatch = 1000;

// a_Count chassis registered at once: as many lists of up to kPerList chassis as it takes, all
// held open, found by the simulator over a topology file. Their item handles in list order.
constexpr std::size_t kPerList = 250;

class tRegisteredItems {
public:
    explicit tRegisteredItems(std::size_t a_Count)
        : m_Topology(zuTest::chassisTopology(bridgeValues(std::min(a_Count, kPerList)))) {
        nZU7461_14_0::moduleAttach();
        while (m_Code == 0 && m_Items.size() < a_Count) {
            std::uint32_t l_Count = 0;
            void* l_pList = nullptr;
            m_Code = nZUPXIFINDER100_openList(&l_Count, &l_pList);
            m_Lists.push_back(l_pList);
            for (std::uint32_t l_Index = 0; m_Code == 0 && l_Index < l_Count; ++l_Index) {
                void* l_pItem = nullptr;
                m_Code = nZUPXIFINDER100_getNthItem(l_pList, l_Index, &l_pItem);
                m_Items.push_back(l_pItem);
            }
        }
        m_Items.resize(std::min(m_Items.size(), a_Count));
    }
    ~tRegisteredItems() {
        for (void* l_pList : m_Lists) {
            nZUPXIFINDER100_closeList(l_pList);
        }
        nZU7461_14_0::moduleDetach();
    }
    tRegisteredItems(const tRegisteredItems&) = delete;
    tRegisteredItems& operator=(const tRegisteredItems&) = delete;

    std::int32_t code() const { return m_Code; }
    const std::vector<void*>& items() const { return m_Items; }
    // The bridge value of the item at this position.
    static std::uint32_t valueAt(std::size_t a_Index) { return a_Index % kPerList; }

private:
    static zuTest::tBridgeValues bridgeValues(std::size_t a_Count) {
        zuTest::tBridgeValues l_Values;
        for (std::size_t l_Index = 0; l_Index < a_Count; ++l_Index) {
            l_Values.push_back(static_cast<std::uint32_t>(valueAt(l_Index)));
        }
        return l_Values;
    }

    zuTest::cTopologyFile m_Topology;
    std::vector<void*> m_Lists;
    std::int32_t m_Code = 0;
    std::vector<void*> m_Items;
};

// The floor: the same question answered with nothing but a lock and a set lookup. Like the
// exported function, it is called, not inlined into the loop.
struct tFloor {
    std::mutex m_Lock;
    std::set<std::uintptr_t> m_Items;
};

__attribute__((noinline)) std::int32_t floorGetU32Attribute(tFloor& a_rFloor, void* a_pItem,
                                                            std::uint32_t a_AttributeId,
                                                            std::uint32_t* a_pValue) {
    std::lock_guard<std::mutex> l_Guard(a_rFloor.m_Lock);
    const auto l_Found = a_rFloor.m_Items.find(reinterpret_cast<std::uintptr_t>(a_pItem));
    if (l_Found == a_rFloor.m_Items.end()) {
        return ZU7461_STATUS_INVALID_PARAMETER;
    }
    *a_pValue = static_cast<std::uint32_t>(*l_Found) ^ a_AttributeId;
    return 0;
}

void BM_GetU32Attribute(benchmark::State& a_rState) {
    const std::size_t l_Count = static_cast<std::size_t>(a_rState.range(0));
    const bool l_Scattered = a_rState.range(1) != 0;
    tRegisteredItems l_Registered(l_Count);
    if (l_Registered.code() != 0 || l_Registered.items().size() != l_Count) {
        a_rState.SkipWithError("the simulator's lists did not register the items");
        return;
    }
    std::vector<void*> l_Order = l_Registered.items();
    if (l_Scattered) {
        std::shuffle(l_Order.begin(), l_Order.end(), std::mt19937_64(7461));
    }
    // Entered in list order, as the finder enters them, so both trees lie alike in memory.
    tFloor l_Floor;
    for (void* l_pItem : l_Registered.items()) {
        l_Floor.m_Items.insert(reinterpret_cast<std::uintptr_t>(l_pItem));
    }

    // Each query's answer is checked once, before timing, so that both sides do real work.
    for (std::size_t l_Index = 0; l_Index < l_Count; ++l_Index) {
        std::uint32_t l_Value = 0;
        void* const l_pItem = l_Registered.items()[l_Index];
        if (nZUPXIFINDER100_getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value) != 0 ||
            l_Value != tRegisteredItems::valueAt(l_Index) ||
            floorGetU32Attribute(l_Floor, l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value) != 0) {
            a_rState.SkipWithError("an item answered wrongly");
            return;
        }
    }

    std::size_t l_FinderNext = 0;
    std::size_t l_FloorNext = 0;
    zuBench::runPaired(
        a_rState, kBatch,
        [&] {
            std::uint32_t l_Value = 0;
            const std::int32_t l_Code = nZUPXIFINDER100_getU32Attribute(
                l_Order[l_FinderNext], ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value);
            benchmark::DoNotOptimize(l_Code);
            benchmark::DoNotOptimize(l_Value);
            l_FinderNext = l_FinderNext + 1 == l_Count ? 0 : l_FinderNext + 1;
        },
        [&] {
            std::uint32_t l_Value = 0;
            const std::int32_t l_Code = floorGetU32Attribute(
                l_Floor, l_Order[l_FloorNext], ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value);
            benchmark::DoNotOptimize(l_Code);
            benchmark::DoNotOptimize(l_Value);
            l_FloorNext = l_FloorNext + 1 == l_Count ? 0 : l_FloorNext + 1;
        });
    a_rState.SetItemsProcessed(static_cast<std::int64_t>(a_rState.iterations() * kBatch * 2));
}

BENCHMARK(BM_GetU32Attribute)
    ->ArgNames({"items", "scattered"})
    ->ArgsProduct({{100, 10000, 100000}, {0, 1}})
    ->MinTime(0.5);

} // namespace
