// The bridge driver library as the probe uses it: loaded by bare name as the finder loads it,
// with whichever of its entry points it has, and one session closed again at the end.
#pragma once

#include "pcibrd/zupcibrd.h"
#include "platform/win32/zuPlatform.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

// Positions in kZuPciBrdEntryNames.
enum tEntry : std::size_t {
    kOpenSession = 0,
    kCloseSession = 1,
    kFindBridgesByPciIds = 2,
    kFindParentBridgeForBus = 5,
    kGetBridgeParent = 6,
    kGetBridgeChildren = 7,
    kGetBusChildren = 8,
    kGetRootBuses = 9,
    kGetBridgeAddress = 10,
    kGetBridgeSlotPath = 11,
    kGetBridgeIds = 12,
    kGetAttributeU32 = 14,
};

class cBridgeLibrary {
public:
    explicit cBridgeLibrary(HMODULE a_Module) : m_Module(a_Module) {
        for (std::size_t l_Index = 0; l_Index < kZuPciBrdEntryCount; ++l_Index) {
            m_Entries[l_Index] = GetProcAddress(a_Module, kZuPciBrdEntryNames[l_Index]);
        }
    }
    ~cBridgeLibrary() {
        if (m_SessionOpen && has(kCloseSession)) {
            entry<tZuPciBrd_CloseSession>(kCloseSession)(m_Session);
        }
        FreeLibrary(m_Module);
    }
    cBridgeLibrary(const cBridgeLibrary&) = delete;
    cBridgeLibrary& operator=(const cBridgeLibrary&) = delete;

    bool has(std::size_t a_Entry) const { return m_Entries[a_Entry] != nullptr; }
    FARPROC anyEntry() const {
        for (FARPROC l_Entry : m_Entries) {
            if (l_Entry != nullptr) {
                return l_Entry;
            }
        }
        return nullptr;
    }
    template <typename tFunction> tFunction entry(std::size_t a_Entry) const {
        return reinterpret_cast<tFunction>(reinterpret_cast<void*>(m_Entries[a_Entry]));
    }

    std::int32_t openSession() {
        const std::int32_t l_Status = entry<tZuPciBrd_OpenSession>(kOpenSession)(0, &m_Session);
        m_SessionOpen = l_Status >= 0;
        return l_Status;
    }
    std::uint32_t session() const { return m_Session; }

private:
    HMODULE m_Module;
    FARPROC m_Entries[kZuPciBrdEntryCount] = {};
    std::uint32_t m_Session = 0xFFFFFFFFu;
    bool m_SessionOpen = false;
};

// Count-then-fill as the finder does it; the code is that of the last call.
template <typename tItem, typename tCall>
std::int32_t fetchAll(tCall a_Call, std::vector<tItem>& a_rItems) {
    std::uint32_t l_Count = 0;
    std::int32_t l_Status = a_Call(nullptr, &l_Count);
    if (l_Status != ZUPCIBRD_STATUS_BUFFER_TOO_SMALL) {
        return l_Status;
    }
    a_rItems.assign(l_Count, tItem{});
    l_Status = a_Call(a_rItems.data(), &l_Count);
    if (l_Status < 0) {
        a_rItems.clear();
    } else if (l_Count < a_rItems.size()) {
        // A library may fill fewer than it announced.
        a_rItems.resize(l_Count);
    }
    return l_Status;
}

} // namespace nProbe
} // namespace nZU7461_14_0
