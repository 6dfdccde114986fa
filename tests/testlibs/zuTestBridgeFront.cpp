// Front end of the scriptable test bridge library: the 18 entry points of the bridge driver
// library, forwarding to the state library. Compiled once per variant; ZU_TEST_OMIT_<Name>
// leaves entry point <Name> out.
#include <stdint.h>

#include <type_traits>

#include "pcibrd/zupcibrd.h"
#include "zuTestBridge.h"

#if defined(_WIN32)
#define ZU_FRONT_API extern "C" __declspec(dllexport)
#else
#define ZU_FRONT_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Tells the state library when this front end is loaded and unloaded, so that a test can see
// whether its user released the library (and what it called before).
struct tLoadNote {
    tLoadNote() { ZuTestImpl_NoteLoad(); }
    ~tLoadNote() { ZuTestImpl_NoteUnload(); }
};
tLoadNote g_LoadNote;

} // namespace

#ifndef ZU_TEST_OMIT_OpenSession
ZU_FRONT_API int32_t ZuPciBrd_OpenSession(uint32_t a_Flags, uint32_t* a_pSession) {
    return ZuTestImpl_OpenSession(a_Flags, a_pSession);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_OpenSession), tZuPciBrd_OpenSession>::value,
              "ZuPciBrd_OpenSession");
#endif

#ifndef ZU_TEST_OMIT_CloseSession
ZU_FRONT_API void ZuPciBrd_CloseSession(uint32_t a_Session) {
    ZuTestImpl_CloseSession(a_Session);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_CloseSession), tZuPciBrd_CloseSession>::value,
              "ZuPciBrd_CloseSession");
#endif

#ifndef ZU_TEST_OMIT_FindBridgesByPciIds
ZU_FRONT_API int32_t ZuPciBrd_FindBridgesByPciIds(uint32_t a_Session, const uint16_t* a_pVid,
                                                  const uint16_t* a_pPid, const uint16_t* a_pSsVid,
                                                  const uint16_t* a_pSsPid, uint32_t* a_pBridges,
                                                  uint32_t* a_pCount) {
    return ZuTestImpl_FindBridgesByPciIds(a_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, a_pBridges,
                                          a_pCount);
}
// The signature must stay the one the component calls through.
static_assert(
    std::is_same<decltype(&ZuPciBrd_FindBridgesByPciIds), tZuPciBrd_FindBridgesByPciIds>::value,
    "ZuPciBrd_FindBridgesByPciIds");
#endif

#ifndef ZU_TEST_OMIT_FindBridgeByAddress
ZU_FRONT_API int32_t ZuPciBrd_FindBridgeByAddress(uint32_t a_Session, uint8_t a_Bus, uint8_t a_Dev,
                                                  uint8_t a_Func, uint32_t* a_pBridge) {
    return ZuTestImpl_FindBridgeByAddress(a_Session, a_Bus, a_Dev, a_Func, a_pBridge);
}
// The signature must stay the one the component calls through.
static_assert(
    std::is_same<decltype(&ZuPciBrd_FindBridgeByAddress), tZuPciBrd_FindBridgeByAddress>::value,
    "ZuPciBrd_FindBridgeByAddress");
#endif

#ifndef ZU_TEST_OMIT_FindBridgeBySlotPath
ZU_FRONT_API int32_t ZuPciBrd_FindBridgeBySlotPath(uint32_t a_Session, const char* a_pSlotPath,
                                                   uint32_t* a_pBridge) {
    return ZuTestImpl_FindBridgeBySlotPath(a_Session, a_pSlotPath, a_pBridge);
}
// The signature must stay the one the component calls through.
static_assert(
    std::is_same<decltype(&ZuPciBrd_FindBridgeBySlotPath), tZuPciBrd_FindBridgeBySlotPath>::value,
    "ZuPciBrd_FindBridgeBySlotPath");
#endif

#ifndef ZU_TEST_OMIT_FindParentBridgeForBus
ZU_FRONT_API int32_t ZuPciBrd_FindParentBridgeForBus(uint32_t a_Session, uint8_t a_Bus,
                                                     uint32_t* a_pBridge) {
    return ZuTestImpl_FindParentBridgeForBus(a_Session, a_Bus, a_pBridge);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_FindParentBridgeForBus),
                           tZuPciBrd_FindParentBridgeForBus>::value,
              "ZuPciBrd_FindParentBridgeForBus");
#endif

#ifndef ZU_TEST_OMIT_GetBridgeParent
ZU_FRONT_API int32_t ZuPciBrd_GetBridgeParent(uint32_t a_Session, uint32_t a_Child,
                                              uint32_t* a_pParent) {
    return ZuTestImpl_GetBridgeParent(a_Session, a_Child, a_pParent);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_GetBridgeParent), tZuPciBrd_GetBridgeParent>::value,
              "ZuPciBrd_GetBridgeParent");
#endif

#ifndef ZU_TEST_OMIT_GetBridgeChildren
ZU_FRONT_API int32_t ZuPciBrd_GetBridgeChildren(uint32_t a_Session, uint32_t a_Parent,
                                                uint32_t* a_pChildren, uint32_t* a_pCount) {
    return ZuTestImpl_GetBridgeChildren(a_Session, a_Parent, a_pChildren, a_pCount);
}
// The signature must stay the one the component calls through.
static_assert(
    std::is_same<decltype(&ZuPciBrd_GetBridgeChildren), tZuPciBrd_GetBridgeChildren>::value,
    "ZuPciBrd_GetBridgeChildren");
#endif

#ifndef ZU_TEST_OMIT_GetBusChildren
ZU_FRONT_API int32_t ZuPciBrd_GetBusChildren(uint32_t a_Session, uint8_t a_Bus,
                                             uint32_t* a_pChildren, uint32_t* a_pCount) {
    return ZuTestImpl_GetBusChildren(a_Session, a_Bus, a_pChildren, a_pCount);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_GetBusChildren), tZuPciBrd_GetBusChildren>::value,
              "ZuPciBrd_GetBusChildren");
#endif

#ifndef ZU_TEST_OMIT_GetRootBuses
ZU_FRONT_API int32_t ZuPciBrd_GetRootBuses(uint32_t a_Session, uint8_t* a_pBuses,
                                           uint32_t* a_pCount) {
    return ZuTestImpl_GetRootBuses(a_Session, a_pBuses, a_pCount);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_GetRootBuses), tZuPciBrd_GetRootBuses>::value,
              "ZuPciBrd_GetRootBuses");
#endif

#ifndef ZU_TEST_OMIT_GetBridgeAddress
ZU_FRONT_API int32_t ZuPciBrd_GetBridgeAddress(uint32_t a_Session, uint32_t a_Bridge,
                                               uint8_t* a_pBus, uint8_t* a_pDev, uint8_t* a_pFunc) {
    return ZuTestImpl_GetBridgeAddress(a_Session, a_Bridge, a_pBus, a_pDev, a_pFunc);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_GetBridgeAddress), tZuPciBrd_GetBridgeAddress>::value,
              "ZuPciBrd_GetBridgeAddress");
#endif

#ifndef ZU_TEST_OMIT_GetBridgeSlotPath
ZU_FRONT_API int32_t ZuPciBrd_GetBridgeSlotPath(uint32_t a_Session, uint32_t a_Bridge,
                                                char* a_pText, uint32_t* a_pSize) {
    return ZuTestImpl_GetBridgeSlotPath(a_Session, a_Bridge, a_pText, a_pSize);
}
// The signature must stay the one the component calls through.
static_assert(
    std::is_same<decltype(&ZuPciBrd_GetBridgeSlotPath), tZuPciBrd_GetBridgeSlotPath>::value,
    "ZuPciBrd_GetBridgeSlotPath");
#endif

#ifndef ZU_TEST_OMIT_GetBridgeIds
ZU_FRONT_API int32_t ZuPciBrd_GetBridgeIds(uint32_t a_Session, uint32_t a_Bridge, uint16_t* a_pVid,
                                           uint16_t* a_pPid, uint16_t* a_pSsVid,
                                           uint16_t* a_pSsPid) {
    return ZuTestImpl_GetBridgeIds(a_Session, a_Bridge, a_pVid, a_pPid, a_pSsVid, a_pSsPid);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_GetBridgeIds), tZuPciBrd_GetBridgeIds>::value,
              "ZuPciBrd_GetBridgeIds");
#endif

#ifndef ZU_TEST_OMIT_SetAttributeU32
ZU_FRONT_API int32_t ZuPciBrd_SetAttributeU32(uint32_t a_Session, uint32_t a_Bridge,
                                              uint32_t a_AttributeId, uint32_t a_Value) {
    return ZuTestImpl_SetAttributeU32(a_Session, a_Bridge, a_AttributeId, a_Value);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_SetAttributeU32), tZuPciBrd_SetAttributeU32>::value,
              "ZuPciBrd_SetAttributeU32");
#endif

#ifndef ZU_TEST_OMIT_GetAttributeU32
ZU_FRONT_API int32_t ZuPciBrd_GetAttributeU32(uint32_t a_Session, uint32_t a_Bridge,
                                              uint32_t a_AttributeId, uint32_t* a_pValue) {
    return ZuTestImpl_GetAttributeU32(a_Session, a_Bridge, a_AttributeId, a_pValue);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_GetAttributeU32), tZuPciBrd_GetAttributeU32>::value,
              "ZuPciBrd_GetAttributeU32");
#endif

#ifndef ZU_TEST_OMIT_OpenBridge
ZU_FRONT_API int32_t ZuPciBrd_OpenBridge(uint32_t a_Session, uint32_t a_Bridge) {
    return ZuTestImpl_OpenBridge(a_Session, a_Bridge);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_OpenBridge), tZuPciBrd_OpenBridge>::value,
              "ZuPciBrd_OpenBridge");
#endif

#ifndef ZU_TEST_OMIT_CloseBridge
ZU_FRONT_API void ZuPciBrd_CloseBridge(uint32_t a_Session, uint32_t a_Bridge) {
    ZuTestImpl_CloseBridge(a_Session, a_Bridge);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_CloseBridge), tZuPciBrd_CloseBridge>::value,
              "ZuPciBrd_CloseBridge");
#endif

#ifndef ZU_TEST_OMIT_EepromUpdate
ZU_FRONT_API int32_t ZuPciBrd_EepromUpdate(uint32_t a_Session, uint32_t a_Bridge, uint16_t a_Vid,
                                           uint16_t a_Pid, uint32_t a_AlwaysOverwrite,
                                           uint32_t a_UpdateMethod, uint32_t a_ByteCount,
                                           const void* a_pBuffer) {
    return ZuTestImpl_EepromUpdate(a_Session, a_Bridge, a_Vid, a_Pid, a_AlwaysOverwrite,
                                   a_UpdateMethod, a_ByteCount, a_pBuffer);
}
// The signature must stay the one the component calls through.
static_assert(std::is_same<decltype(&ZuPciBrd_EepromUpdate), tZuPciBrd_EepromUpdate>::value,
              "ZuPciBrd_EepromUpdate");
#endif
