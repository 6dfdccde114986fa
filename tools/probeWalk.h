// What --record and --check share of walking a bridge driver library: the bridges it names,
// each once in the order first met, and the finder's own reading of a slot path.
#pragma once

#include "tools/probeBridgeLibrary.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

// All lists of one walk together: a library that answers every children query with a full list
// of made-up references must not make the walk quadratic in time or memory.
constexpr std::uint64_t kMaxWalkItems = 1u << 22;

// The bridges met, each a tBridge whose m_Ref is its reference. The list is the queue, read by
// index and never erased from, so every bridge is visited once however often and in whatever
// loops the library names it; it stops at as many bridges as the finder takes.
template <typename tBridge> class cBridgeWalk {
public:
    // a_OnFull is told of the first reference met once the walk is full.
    explicit cBridgeWalk(std::function<void()> a_OnFull) : m_OnFull(std::move(a_OnFull)) {}

    // A reference not met before joins the queue; 0 names no bridge.
    void meet(std::uint32_t a_Ref) {
        if (a_Ref == 0 || m_Index.count(a_Ref) != 0) {
            return;
        }
        if (m_Bridges.size() >= kMaxListItems) {
            if (!m_Full) {
                m_Full = true;
                m_OnFull();
            }
            return;
        }
        m_Index.emplace(a_Ref, m_Bridges.size());
        m_Bridges.emplace_back();
        m_Bridges.back().m_Ref = a_Ref;
    }
    template <typename tList> void meetAll(const tList& a_rRefs) {
        for (const std::uint32_t l_Ref : a_rRefs) {
            meet(l_Ref);
        }
    }
    // a_Visit(index) for every bridge in the queue, those the visits meet included.
    template <typename tVisit> void walk(tVisit a_Visit) {
        for (std::size_t l_Index = 0; l_Index < m_Bridges.size(); ++l_Index) {
            a_Visit(l_Index);
        }
    }

    std::vector<tBridge>& bridges() { return m_Bridges; }
    const std::vector<tBridge>& bridges() const { return m_Bridges; }
    // Null for a reference not met.
    tBridge* find(std::uint32_t a_Ref) {
        const auto l_At = m_Index.find(a_Ref);
        return l_At == m_Index.end() ? nullptr : &m_Bridges[l_At->second];
    }

private:
    std::function<void()> m_OnFull;
    bool m_Full = false;
    std::vector<tBridge> m_Bridges;
    std::unordered_map<std::uint32_t, std::size_t> m_Index;
};

// Whether the finder reads the text as a slot path.
bool isSlotPath(const std::string& a_rText);
// The slot path of a bridge: its root bus and the device and function numbers of the bridges
// from there down to it, as the finder writes it.
std::string slotPathText(std::uint8_t a_RootBus, const std::vector<std::uint8_t>& a_rElements);

} // namespace nProbe
} // namespace nZU7461_14_0
