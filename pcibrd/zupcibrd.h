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

/* The entry points, in the order a client resolves them: result type, name without the
 * "ZuPciBrd_" prefix, parameters, and the parameter names as a call passes them on. The two
 * that pass slot path text go to a_TextEntry, so that a client can wrap them apart; give the
 * same macro twice to treat all alike. */
/* clang-format off */
#define ZUPCIBRD_ENTRY_POINTS(a_Entry, a_TextEntry)                                                \
    a_Entry(int32_t, OpenSession, (uint32_t a_Flags, uint32_t* a_pSession), (a_Flags, a_pSession)) \
    a_Entry(void, CloseSession, (uint32_t a_Session), (a_Session))                                 \
    a_Entry(int32_t, FindBridgesByPciIds,                                                          \
            (uint32_t a_Session, const uint16_t* a_pVid, const uint16_t* a_pPid,                   \
             const uint16_t* a_pSsVid, const uint16_t* a_pSsPid, uint32_t* a_pBridges,            \
             uint32_t* a_pCount),                                                                  \
            (a_Session, a_pVid, a_pPid, a_pSsVid, a_pSsPid, a_pBridges, a_pCount))                 \
    a_Entry(int32_t, FindBridgeByAddress,                                                          \
            (uint32_t a_Session, uint8_t a_Bus, uint8_t a_Dev, uint8_t a_Func,                     \
             uint32_t* a_pBridge),                                                                 \
            (a_Session, a_Bus, a_Dev, a_Func, a_pBridge))                                          \
    a_TextEntry(int32_t, FindBridgeBySlotPath,                                                     \
                (uint32_t a_Session, const char* a_pSlotPath, uint32_t* a_pBridge),                \
                (a_Session, a_pSlotPath, a_pBridge))                                               \
    a_Entry(int32_t, FindParentBridgeForBus,                                                       \
            (uint32_t a_Session, uint8_t a_Bus, uint32_t* a_pBridge),                              \
            (a_Session, a_Bus, a_pBridge))                                                         \
    a_Entry(int32_t, GetBridgeParent, (uint32_t a_Session, uint32_t a_Child, uint32_t* a_pParent), \
            (a_Session, a_Child, a_pParent))                                                       \
    a_Entry(int32_t, GetBridgeChildren,                                                            \
            (uint32_t a_Session, uint32_t a_Parent, uint32_t* a_pChildren, uint32_t* a_pCount),    \
            (a_Session, a_Parent, a_pChildren, a_pCount))                                          \
    a_Entry(int32_t, GetBusChildren,                                                               \
            (uint32_t a_Session, uint8_t a_Bus, uint32_t* a_pChildren, uint32_t* a_pCount),        \
            (a_Session, a_Bus, a_pChildren, a_pCount))                                             \
    a_Entry(int32_t, GetRootBuses, (uint32_t a_Session, uint8_t* a_pBuses, uint32_t* a_pCount),    \
            (a_Session, a_pBuses, a_pCount))                                                       \
    a_Entry(int32_t, GetBridgeAddress,                                                             \
            (uint32_t a_Session, uint32_t a_Bridge, uint8_t* a_pBus, uint8_t* a_pDev,              \
             uint8_t* a_pFunc),                                                                    \
            (a_Session, a_Bridge, a_pBus, a_pDev, a_pFunc))                                        \
    /* a_pSize is in bytes and counts the terminating NUL. */                                      \
    a_TextEntry(int32_t, GetBridgeSlotPath,                                                        \
                (uint32_t a_Session, uint32_t a_Bridge, char* a_pText, uint32_t* a_pSize),         \
                (a_Session, a_Bridge, a_pText, a_pSize))                                           \
    a_Entry(int32_t, GetBridgeIds,                                                                 \
            (uint32_t a_Session, uint32_t a_Bridge, uint16_t* a_pVid, uint16_t* a_pPid,            \
             uint16_t* a_pSsVid, uint16_t* a_pSsPid),                                              \
            (a_Session, a_Bridge, a_pVid, a_pPid, a_pSsVid, a_pSsPid))                             \
    a_Entry(int32_t, SetAttributeU32,                                                              \
            (uint32_t a_Session, uint32_t a_Bridge, uint32_t a_AttributeId, uint32_t a_Value),     \
            (a_Session, a_Bridge, a_AttributeId, a_Value))                                         \
    a_Entry(int32_t, GetAttributeU32,                                                              \
            (uint32_t a_Session, uint32_t a_Bridge, uint32_t a_AttributeId, uint32_t* a_pValue),   \
            (a_Session, a_Bridge, a_AttributeId, a_pValue))                                        \
    a_Entry(int32_t, OpenBridge, (uint32_t a_Session, uint32_t a_Bridge), (a_Session, a_Bridge))   \
    a_Entry(void, CloseBridge, (uint32_t a_Session, uint32_t a_Bridge), (a_Session, a_Bridge))     \
    a_Entry(int32_t, EepromUpdate,                                                                 \
            (uint32_t a_Session, uint32_t a_Bridge, uint16_t a_Vid, uint16_t a_Pid,                \
             uint32_t a_AlwaysOverwrite, uint32_t a_UpdateMethod, uint32_t a_ByteCount,            \
             const void* a_pBuffer),                                                               \
            (a_Session, a_Bridge, a_Vid, a_Pid, a_AlwaysOverwrite, a_UpdateMethod, a_ByteCount,    \
             a_pBuffer))
/* clang-format on */

/* For an a_Entry or a_TextEntry that leaves those entry points out. */
#define ZUPCIBRD_SKIP_ENTRY(a_Result, a_Name, a_Parameters, a_Arguments)

#define ZUPCIBRD_TYPEDEF(a_Result, a_Name, a_Parameters, a_Arguments)                              \
    typedef a_Result(*tZuPciBrd_##a_Name) a_Parameters;
ZUPCIBRD_ENTRY_POINTS(ZUPCIBRD_TYPEDEF, ZUPCIBRD_TYPEDEF)
#undef ZUPCIBRD_TYPEDEF

#ifdef __cplusplus
}

/* The entry point names, in the order a client resolves them. */
#define ZUPCIBRD_ENTRY_NAME(a_Result, a_Name, a_Parameters, a_Arguments) "ZuPciBrd_" #a_Name,
inline constexpr const char* kZuPciBrdEntryNames[] = {
    ZUPCIBRD_ENTRY_POINTS(ZUPCIBRD_ENTRY_NAME, ZUPCIBRD_ENTRY_NAME)};
#undef ZUPCIBRD_ENTRY_NAME
inline constexpr unsigned kZuPciBrdEntryCount = sizeof kZuPciBrdEntryNames / sizeof(const char*);
static_assert(kZuPciBrdEntryCount == 18, "the library has 18 entry points");
#endif

#endif /* ZUPCIBRD_H */
