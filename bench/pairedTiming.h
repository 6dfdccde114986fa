// Times an operation of the finder against its floor in alternation within one benchmark, so
// that both see the same machine: on a shared machine the load changes from second to second,
// and a ratio of two benchmarks run a minute apart measures the load as much as the code.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace zuBench {

// Each round runs a batch of the finder's operation and a batch of the floor, the order
// swapped every round so that neither always finds the caches the other left. Reported per
// call: "finder_ns" and "floor_ns" (medians over the rounds) and "ratio", the median of the
// rounds' finder-to-floor ratios; a round that the scheduler interrupted moves the median
// little.
template <class tFinder, class tFloor>
void runPaired(benchmark::State& a_rState, std::size_t a_Batch, tFinder a_Finder, tFloor a_Floor) {
    using tClock = std::chrono::steady_clock;
    std::vector<double> l_FinderTimes;
    std::vector<double> l_FloorTimes;
    std::vector<double> l_Ratios;
    const auto timeBatch = [a_Batch](auto& a_rOperation) {
        const tClock::time_point l_Start = tClock::now();
        for (std::size_t l_Call = 0; l_Call < a_Batch; ++l_Call) {
            a_rOperation();
        }
        return std::chrono::duration<double, std::nano>(tClock::now() - l_Start).count();
    };
    bool l_FinderFirst = true;
    for (auto l_Round : a_rState) {
        double l_FinderTime = 0;
        double l_FloorTime = 0;
        if (l_FinderFirst) {
            l_FinderTime = timeBatch(a_Finder);
            l_FloorTime = timeBatch(a_Floor);
        } else {
            l_FloorTime = timeBatch(a_Floor);
            l_FinderTime = timeBatch(a_Finder);
        }
        l_FinderFirst = !l_FinderFirst;
        l_FinderTimes.push_back(l_FinderTime);
        l_FloorTimes.push_back(l_FloorTime);
        l_Ratios.push_back(l_FinderTime / l_FloorTime);
    }
    const auto median = [](std::vector<double>& a_rValues) {
        if (a_rValues.empty()) {
            return 0.0;
        }
        const auto l_Middle = a_rValues.begin() + static_cast<std::ptrdiff_t>(a_rValues.size() / 2);
        std::nth_element(a_rValues.begin(), l_Middle, a_rValues.end());
        return *l_Middle;
    };
    const double l_Batch = static_cast<double>(a_Batch);
    a_rState.counters["finder_ns"] = median(l_FinderTimes) / l_Batch;
    a_rState.counters["floor_ns"] = median(l_FloorTimes) / l_Batch;
    a_rState.counters["ratio"] = median(l_Ratios);
}

} // namespace zuBench
