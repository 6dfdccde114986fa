/* C interface of the PCI bridge driver library "zupcibrd.dll".
 *
 * Every entry point returns a signed 32-bit code (0 success, negative failure, positive warning),
 * except the two Close entry points, which return nothing. Listing entry points use
 * count-then-fill: called with a null buffer and a count of 0 they answer -313002 and write the
 * item count; called again with a buffer of that many items they fill it.
 */
#ifndef ZUPCIBRD_H
#define ZUPCIBRD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZUPCIBRD_STATUS_BUFFER_TOO_SMALL (-313002)

/* The attribute whose low 16 bits identify a chassis. */
#define ZUPCIBRD_ATTRIBUTE_CHASSIS_BRIDGE_VALUE 0x20000300u

/* The subsystem IDs (vendor, subsystem) that every chassis bridge carries. */
#define ZUPCIBRD_CHASSIS_SUBSYSTEM_VENDOR_ID 0x1F3Cu
#define ZUPCIBRD_CHASSIS_SUBSYSTEM_ID 0x5C2Eu

typedef int32_t (*tZuPciBrd_OpenSession)(uint32_t a_Flags, uint32_t* a_pSession);
typedef void (*tZuPciBrd_CloseSession)(uint32_t a_Session);
typedef int32_t (*tZuPciBrd_FindBridgesByPciIds)(uint32_t a_Session, const uint16_t* a_pVid,
                                                 const uint16_t* a_pPid, const uint16_t* a_pSsVid,
                                                 const uint16_t* a_pSsPid, uint32_t* a_pBridges,
                                                 uint32_t* a_pCount);
typedef int32_t (*tZuPciBrd_FindBridgeByAddress)(uint32_t a_Session, uint8_t a_Bus, uint8_t a_Dev,
                                                 uint8_t a_Func, uint32_t* a_pBridge);
typedef int32_t (*tZuPciBrd_FindBridgeBySlotPath)(uint32_t a_Session, const char* a_pSlotPath,
                                                  uint32_t* a_pBridge);
typedef int32_t (*tZuPciBrd_FindParentBridgeForBus)(uint32_t a_Session, uint8_t a_Bus,
                                                    uint32_t* a_pBridge);
typedef int32_t (*tZuPciBrd_GetBridgeParent)(uint32_t a_Session, uint32_t a_Child,
                                             uint32_t* a_pParent);
typedef int32_t (*tZuPciBrd_GetBridgeChildren)(uint32_t a_Session, uint32_t a_Parent,
                                               uint32_t* a_pChildren, uint32_t* a_pCount);
typedef int32_t (*tZuPciBrd_GetBusChildren)(uint32_t a_Session, uint8_t a_Bus,
                                            uint32_t* a_pChildren, uint32_t* a_pCount);
typedef int32_t (*tZuPciBrd_GetRootBuses)(uint32_t a_Session, uint8_t* a_pBuses,
                                          uint32_t* a_pCount);
typedef int32_t (*tZuPciBrd_GetBridgeAddress)(uint32_t a_Session, uint32_t a_Bridge,
                                              uint8_t* a_pBus, uint8_t* a_pDev, uint8_t* a_pFunc);
/* a_pSize is in bytes and counts the terminating NUL. */
typedef int32_t (*tZuPciBrd_GetBridgeSlotPath)(uint32_t a_Session, uint32_t a_Bridge, char* a_pText,
                                               uint32_t* a_pSize);
typedef int32_t (*tZuPciBrd_GetBridgeIds)(uint32_t a_Session, uint32_t a_Bridge, uint16_t* a_pVid,
                                          uint16_t* a_pPid, uint16_t* a_pSsVid, uint16_t* a_pSsPid);
typedef int32_t (*tZuPciBrd_SetAttributeU32)(uint32_t a_Session, uint32_t a_Bridge,
                                             uint32_t a_AttributeId, uint32_t a_Value);
typedef int32_t (*tZuPciBrd_GetAttributeU32)(uint32_t a_Session, uint32_t a_Bridge,
                                             uint32_t a_AttributeId, uint32_t* a_pValue);
typedef int32_t (*tZuPciBrd_OpenBridge)(uint32_t a_Session, uint32_t a_Bridge);
typedef void (*tZuPciBrd_CloseBridge)(uint32_t a_Session, uint32_t a_Bridge);
typedef int32_t (*tZuPciBrd_EepromUpdate)(uint32_t a_Session, uint32_t a_Bridge, uint16_t a_Vid,
                                          uint16_t a_Pid, uint32_t a_AlwaysOverwrite,
                                          uint32_t a_UpdateMethod, uint32_t a_ByteCount,
                                          const void* a_pBuffer);

#ifdef __cplusplus
}

/* The entry point names, in the order a client resolves them. */
inline constexpr const char* kZuPciBrdEntryNames[] = {
    "ZuPciBrd_OpenSession",          "ZuPciBrd_CloseSession",
    "ZuPciBrd_FindBridgesByPciIds",  "ZuPciBrd_FindBridgeByAddress",
    "ZuPciBrd_FindBridgeBySlotPath", "ZuPciBrd_FindParentBridgeForBus",
    "ZuPciBrd_GetBridgeParent",      "ZuPciBrd_GetBridgeChildren",
    "ZuPciBrd_GetBusChildren",       "ZuPciBrd_GetRootBuses",
    "ZuPciBrd_GetBridgeAddress",     "ZuPciBrd_GetBridgeSlotPath",
    "ZuPciBrd_GetBridgeIds",         "ZuPciBrd_SetAttributeU32",
    "ZuPciBrd_GetAttributeU32",      "ZuPciBrd_OpenBridge",
    "ZuPciBrd_CloseBridge",          "ZuPciBrd_EepromUpdate",
};
inline constexpr unsigned kZuPciBrdEntryCount = sizeof kZuPciBrdEntryNames / sizeof(const char*);
static_assert(kZuPciBrdEntryCount == 18, "the library has 18 entry points");
#endif

#endif /* ZUPCIBRD_H */
