// A bridge driver library for benchmarks only: a flat machine of N chassis bridges, N taken
// from ZU_BENCH_BRIDGE_COUNT at each OpenSession. It answers the finder's three calls at the
// cost of a function call, so that a benchmark against it shows the finder's own cost, and it
// can hold more bridges than the simulator, whose machine is bound by PCI's 256 buses.
#include <cstdint>
#include <cstdlib>

#include "pcibrd/zupcibrd.h"

#ifdef _WIN32
#define ZU_BENCH_EXPORT extern "C" __declspec(dllexport)
#else
#define ZU_BENCH_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr std::int32_t kNotSupported = -313001;
constexpr std::int32_t kUnknownBridge = -313004;

std::uint32_t g_BridgeCount = 0;

} // namespace

ZU_BENCH_EXPORT std::int32_t ZuPciBrd_OpenSession(std::uint32_t, std::uint32_t* a_pSession) {
    const char* l_pCount = std::getenv("ZU_BENCH_BRIDGE_COUNT");
    g_BridgeCount =
        l_pCount != nullptr ? static_cast<std::uint32_t>(std::strtoul(l_pCount, nullptr, 10)) : 0;
    *a_pSession = 1;
    return 0;
}

ZU_BENCH_EXPORT void ZuPciBrd_CloseSession(std::uint32_t) {}

ZU_BENCH_EXPORT std::int32_t
ZuPciBrd_FindBridgesByPciIds(std::uint32_t, const std::uint16_t*, const std::uint16_t*,
                             const std::uint16_t*, const std::uint16_t*, std::uint32_t* a_pBridges,
                             std::uint32_t* a_pCount) {
    if (a_pBridges == nullptr || *a_pCount < g_BridgeCount) {
        *a_pCount = g_BridgeCount;
        return g_BridgeCount == 0 ? 0 : ZUPCIBRD_STATUS_BUFFER_TOO_SMALL;
    }
    for (std::uint32_t l_Index = 0; l_Index < g_BridgeCount; ++l_Index) {
        a_pBridges[l_Index] = l_Index + 1;
    }
    *a_pCount = g_BridgeCount;
    return 0;
}

ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetAttributeU32(std::uint32_t, std::uint32_t a_Bridge,
                                                      std::uint32_t, std::uint32_t* a_pValue) {
    if (a_Bridge == 0 || a_Bridge > g_BridgeCount) {
        return kUnknownBridge;
    }
    *a_pValue = a_Bridge;
    return 0;
}

// The rest is never called by the finder; it only has to be there.
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_FindBridgeByAddress(std::uint32_t, std::uint8_t, std::uint8_t,
                                                          std::uint8_t, std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_FindBridgeBySlotPath(std::uint32_t, const char*,
                                                           std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_FindParentBridgeForBus(std::uint32_t, std::uint8_t,
                                                             std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetBridgeParent(std::uint32_t, std::uint32_t,
                                                      std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetBridgeChildren(std::uint32_t, std::uint32_t,
                                                        std::uint32_t*, std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetBusChildren(std::uint32_t, std::uint8_t, std::uint32_t*,
                                                     std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetRootBuses(std::uint32_t, std::uint8_t*, std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetBridgeAddress(std::uint32_t, std::uint32_t, std::uint8_t*,
                                                       std::uint8_t*, std::uint8_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetBridgeSlotPath(std::uint32_t, std::uint32_t, char*,
                                                        std::uint32_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_GetBridgeIds(std::uint32_t, std::uint32_t, std::uint16_t*,
                                                   std::uint16_t*, std::uint16_t*, std::uint16_t*) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_SetAttributeU32(std::uint32_t, std::uint32_t, std::uint32_t,
                                                      std::uint32_t) {
    return kNotSupported;
}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_OpenBridge(std::uint32_t, std::uint32_t) {
    return kNotSupported;
}
ZU_BENCH_EXPORT void ZuPciBrd_CloseBridge(std::uint32_t, std::uint32_t) {}
ZU_BENCH_EXPORT std::int32_t ZuPciBrd_EepromUpdate(std::uint32_t, std::uint32_t, std::uint16_t,
                                                   std::uint16_t, std::uint32_t, std::uint32_t,
                                                   std::uint32_t, const void*) {
    return kNotSupported;
}
