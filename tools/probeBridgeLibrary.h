// The bridge driver library as the probe uses it: loaded by bare name as the finder loads it,
// with whichever of its entry points it has, and one session closed again at the end.
#pragma once

#include "pcibrd/zupcibrd.h"
#include "platform/win32/zuPlatform.h"
#include "zu7461/zu7461.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace nZU7461_14_0 {
namespace nProbe {

// Positions in kZuPciBrdEntryNames.
#define ZU_PROBE_POSITION(a_Result, a_Name, a_Parameters, a_Arguments) k##a_Name,
enum tEntry : std::size_t { ZUPCIBRD_ENTRY_POINTS(ZU_PROBE_POSITION, ZU_PROBE_POSITION) };
#undef ZU_PROBE_POSITION

// What a missing entry point answers, as the finder reports it.
constexpr std::int32_t kEntryMissing = ZU7461_STATUS_BRIDGE_ENTRY_POINT_NOT_LOADED;

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
    // The entry point's answer, or kEntryMissing without it.
    template <typename tFunction, typename... tArguments>
    std::int32_t call(std::size_t a_Entry, tArguments... a_Arguments) const {
        return has(a_Entry) ? entry<tFunction>(a_Entry)(a_Arguments...) : kEntryMissing;
    }
    // For a session opened through call rather than openSession.
    void closeSession(std::uint32_t a_Session) const {
        if (has(kCloseSession)) {
            entry<tZuPciBrd_CloseSession>(kCloseSession)(a_Session);
        }
    }

    std::int32_t openSession() {
        const std::int32_t l_Status = entry<tZuPciBrd_OpenSession>(kOpenSession)(0, &m_Session);
        m_SessionOpen = l_Status >= 0;
        m_OpenStatus = l_Status;
        return l_Status;
    }
    std::int32_t openStatus() const { return m_OpenStatus; }
    std::uint32_t session() const { return m_Session; }

private:
    HMODULE m_Module;
    FARPROC m_Entries[kZuPciBrdEntryCount] = {};
    std::uint32_t m_Session = 0xFFFFFFFFu;
    bool m_SessionOpen = false;
    std::int32_t m_OpenStatus = 0;
};

// The finder's limits for one count-then-fill answer: 65,536 items (256 buses of 32 devices with
// 8 functions), and as many bytes of slot path. A larger count is nonsense, not a reason to
// allocate gigabytes.
constexpr std::uint32_t kMaxListItems = 256u * 32u * 8u;
// What the finder answers to such a count, and what the probe answers in its place.
constexpr std::int32_t kListTooLong = ZU7461_STATUS_MEMORY_FULL;

// Count-then-fill as the finder does it; the code is that of the last call. A count above
// kMaxListItems is refused with kListTooLong, and a fill that claims more than the room it was
// given with ZUPCIBRD_STATUS_BUFFER_TOO_SMALL, as the finder refuses them; a_pWhy, if given,
// then says why in words.
template <typename tItem, typename tCall>
std::int32_t fetchAll(tCall a_Call, std::vector<tItem>& a_rItems, std::string* a_pWhy = nullptr) {
    a_rItems.clear();
    std::uint32_t l_Count = 0;
    std::int32_t l_Status = a_Call(nullptr, &l_Count);
    if (l_Status != ZUPCIBRD_STATUS_BUFFER_TOO_SMALL) {
        return l_Status;
    }
    const char* l_pUnit = std::is_same<tItem, char>::value ? " bytes" : " items";
    if (l_Count > kMaxListItems) {
        if (a_pWhy != nullptr) {
            *a_pWhy = "it announced " + std::to_string(l_Count) + l_pUnit + ", more than the " +
                      std::to_string(kMaxListItems) + " the finder accepts";
        }
        return kListTooLong;
    }
    a_rItems.assign(l_Count, tItem{});
    const std::uint32_t l_Room = l_Count;
    l_Status = a_Call(a_rItems.data(), &l_Count);
    if (l_Status >= 0 && l_Count > l_Room) {
        if (a_pWhy != nullptr) {
            *a_pWhy = "it claimed to fill " + std::to_string(l_Count) + l_pUnit +
                      " into room for " + std::to_string(l_Room);
        }
        l_Status = ZUPCIBRD_STATUS_BUFFER_TOO_SMALL;
    }
    if (l_Status < 0) {
        a_rItems.clear();
    } else {
        // A library may fill fewer than it announced.
        a_rItems.resize(l_Count);
    }
    return l_Status;
}

} // namespace nProbe
} // namespace nZU7461_14_0
