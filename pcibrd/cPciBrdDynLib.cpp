#include "pcibrd/cPciBrdDynLib.h"

#include <cstddef>
#include <new>

#include <boost/checked_delete.hpp>
#include <boost/shared_ptr.hpp>

#include "pcibrd/dynload.h"

namespace nZU7461_14_0 {
namespace nZuPciBrdWrapper_15_0 {

namespace {

// "MRbb:" and three characters for each of at most 256 levels of buses, with room to spare.
constexpr std::uint32_t kMaxSlotPathSize = 64 * 1024;

constexpr const char kLibraryName[] = "zupcibrd.dll";

// Through void (*)(): every function pointer type converts to and from it without a warning.
template <class tEntry>
void resolve(HMODULE a_Library, const char* a_pName, tEntry& a_rEntry, tDetailedStatus* a_pStatus) {
    const FARPROC l_pAddress = findSymbol(a_Library, a_pName, a_pStatus);
    a_rEntry = reinterpret_cast<tEntry>(reinterpret_cast<void (*)()>(l_pAddress));
}

template <class tResult> tResult whenMissing() {
    return kStatusEntryPointNotLoaded;
}
template <> void whenMissing<void>() {}

} // namespace

cPciBrdDynLib::cPciBrdDynLib(tDetailedStatus* a_pStatus) noexcept : m_Library(nullptr) {
    if (a_pStatus->code < 0) {
        return;
    }
    // A handle that comes back with an error recorded (the path conversion ran out of memory)
    // is kept, so that the destructor releases it.
    m_Library = loadLibrary(kLibraryName, a_pStatus);
    if (a_pStatus->code < 0) {
        return;
    }
    // Each lookup does nothing once one has failed: the entry points before the first missing
    // one stay usable, it and all after it stay null.
#define ZU_PCIBRD_RESOLVE(a_Result, a_Name, a_Parameters, a_Arguments)                             \
    resolve(m_Library, "ZuPciBrd_" #a_Name, m_p##a_Name, a_pStatus);
    ZUPCIBRD_ENTRY_POINTS(ZU_PCIBRD_RESOLVE, ZU_PCIBRD_RESOLVE)
#undef ZU_PCIBRD_RESOLVE
}

cPciBrdDynLib::~cPciBrdDynLib() {
    if (m_Library != nullptr) {
        FreeLibrary(m_Library);
        m_Library = nullptr;
    }
}

// A missing entry point answers kStatusEntryPointNotLoaded; one that answers nothing does
// nothing.
#define ZU_PCIBRD_FORWARD(a_Result, a_Name, a_Parameters, a_Arguments)                             \
    a_Result cPciBrdDynLib::a_Name a_Parameters noexcept {                                         \
        if (m_p##a_Name == nullptr) {                                                              \
            return whenMissing<a_Result>();                                                        \
        }                                                                                          \
        return m_p##a_Name a_Arguments;                                                            \
    }
ZUPCIBRD_ENTRY_POINTS(ZU_PCIBRD_FORWARD, ZUPCIBRD_SKIP_ENTRY)
#undef ZU_PCIBRD_FORWARD

std::int32_t cPciBrdDynLib::FindBridgeBySlotPath(std::uint32_t a_Session,
                                                 const cSlotPath& a_rSlotPath,
                                                 std::uint32_t* a_pBridge) noexcept {
    if (m_pFindBridgeBySlotPath == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    cCheckedString l_Text;
    tStatus l_Status = makeStatus();
    a_rSlotPath.Format(l_Text, &l_Status);
    if (isFailed(&l_Status)) {
        return l_Status.code;
    }
    return m_pFindBridgeBySlotPath(a_Session, l_Text.CStr(), a_pBridge);
}

std::int32_t cPciBrdDynLib::GetBridgeSlotPath(std::uint32_t a_Session, std::uint32_t a_Bridge,
                                              cSlotPath& a_rSlotPath) noexcept {
    if (m_pGetBridgeSlotPath == nullptr) {
        return kStatusEntryPointNotLoaded;
    }
    std::uint32_t l_Size = 0;
    const std::int32_t l_CountResult = m_pGetBridgeSlotPath(a_Session, a_Bridge, nullptr, &l_Size);
    if (l_CountResult != kStatusBufferTooSmall) {
        return l_CountResult;
    }
    // No slot path text comes near this size; a library announcing more is refused as an
    // allocator would refuse it, rather than making us zero gigabytes.
    if (l_Size > kMaxSlotPathSize) {
        return kStatusMemoryFull;
    }
    // One byte more than the library asked for, holding a terminator of our own: the parse
    // stays inside the buffer even when the library's text has none (or the size is 0).
    const std::size_t l_BufferSize = static_cast<std::size_t>(l_Size) + 1;
    char* l_pBytes = new (std::nothrow) char[l_BufferSize]();
    if (l_pBytes == nullptr) {
        return kStatusMemoryFull;
    }
    boost::shared_ptr<char> l_Text;
    try {
        // On failure the owner's constructor releases the bytes through the deleter.
        l_Text = boost::shared_ptr<char>(l_pBytes, boost::checked_array_deleter<char>());
    } catch (...) {
        return kStatusMemoryFull;
    }
    const std::int32_t l_FillResult =
        m_pGetBridgeSlotPath(a_Session, a_Bridge, l_Text.get(), &l_Size);
    if (l_FillResult < 0) {
        return l_FillResult;
    }
    l_Text.get()[l_BufferSize - 1] = '\0';
    tStatus l_Status = makeStatus();
    a_rSlotPath.Parse(l_Text.get(), &l_Status);
    return l_Status.code;
}

} // namespace nZuPciBrdWrapper_15_0
} // namespace nZU7461_14_0
