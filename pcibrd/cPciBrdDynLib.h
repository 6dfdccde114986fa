// The run-time binding to the bridge driver library: loads it, resolves its 18 entry points and
// offers one operation per entry point.
#pragma once

#include <cstdint>

#include "pcibrd/cSlotPath.h"
#include "pcibrd/zupcibrd.h"
#include "platform/win32/zuPlatform.h"
#include "status/tDetailedStatus.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

// Ends in one of three states and never changes later: inert (nothing loaded), loaded with the
// entry points before the first missing one, or ready (all 18). An operation whose entry point
// is missing answers -313008; the two Close operations then do nothing.
class cPciBrdDynLib {
public:
    // Failures of loading and resolving go to a_pStatus; nothing is loaded while it holds an
    // error.
    explicit cPciBrdDynLib(tDetailedStatus* a_pStatus) noexcept;
    // Unloads the library.
    virtual ~cPciBrdDynLib();
    cPciBrdDynLib(const cPciBrdDynLib&) = delete;
    cPciBrdDynLib& operator=(const cPciBrdDynLib&) = delete;

    bool IsLoaded() const noexcept { return m_Library != nullptr; }

    // One plain forwarder for each entry point but the two that pass slot path text.
#define ZU_PCIBRD_DECLARE(a_Result, a_Name, a_Parameters, a_Arguments)                             \
    virtual a_Result a_Name a_Parameters noexcept;
    ZUPCIBRD_ENTRY_POINTS(ZU_PCIBRD_DECLARE, ZUPCIBRD_SKIP_ENTRY)
#undef ZU_PCIBRD_DECLARE

    // Hands the library the slot path as text; a path that cannot be written as text answers
    // the formatting failure's code without calling the library.
    virtual std::int32_t FindBridgeBySlotPath(std::uint32_t a_Session, const cSlotPath& a_rSlotPath,
                                              std::uint32_t* a_pBridge) noexcept;
    // Fetches the slot path text by count-then-fill and parses it into a_rSlotPath. Answers the
    // library's code when it does not come to parsing, otherwise the parse's code (0 on
    // success); -52000 when the text buffer cannot be had.
    virtual std::int32_t GetBridgeSlotPath(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                           cSlotPath& a_rSlotPath) noexcept;

private:
    HMODULE m_Library;
    // In the order of the list: resolving stops at the first missing one.
#define ZU_PCIBRD_MEMBER(a_Result, a_Name, a_Parameters, a_Arguments)                              \
    tZuPciBrd_##a_Name m_p##a_Name = nullptr;
    ZUPCIBRD_ENTRY_POINTS(ZU_PCIBRD_MEMBER, ZU_PCIBRD_MEMBER)
#undef ZU_PCIBRD_MEMBER
};

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
