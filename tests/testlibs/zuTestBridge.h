/* Scriptable test bridge driver library: what a test sets, and what it reads back.
 *
 * Two libraries work together:
 * - "zutestbridge" (zutestbridge.so / zutestbridge.dll, next to the test programs) holds all
 *   the state: the script, the call log and the load counters. Test programs link it, so the
 *   state lives as long as the test process, across every load and unload of the front end.
 * - "zupcibrd" (bin/testlibs/<variant>/zupcibrd.so / .dll) is the front end that the component
 *   loads: its 18 ZuPciBrd_* entry points forward to ZuTestImpl_* here. Variants lacking an
 *   entry point live in folders named "no-<EntryName>" (e.g. "no-GetBridgeIds"); the full one
 *   is "scriptable". A front end logs "<load>" when it is loaded and "<unload>" when it is
 *   unloaded.
 *
 * How each entry point answers (a scripted result, below, changes only the returned code):
 * - OpenSession writes the out value of OpenSession (1 after a reset).
 * - FindBridgeByAddress, FindBridgeBySlotPath, FindParentBridgeForBus and GetBridgeParent write
 *   their out value (0 after a reset) as the bridge reference.
 * - GetBridgeAddress writes the out value's bytes 0, 1 and 2 as bus, device and function;
 *   GetBridgeIds its 16-bit fields 0 to 3 as vendor, device, subsystem vendor and subsystem ID.
 * - FindBridgesByPciIds, GetBridgeChildren, GetBusChildren and GetRootBuses use count-then-fill
 *   over the entry's array (empty after a reset; GetRootBuses keeps the low 8 bits): with a null
 *   buffer, or a count below the array's length, they write the length and answer -313002 (or 0
 *   when the array is empty and no buffer was given); otherwise they fill the whole array,
 *   write its length and answer 0. The ID filters of FindBridgesByPciIds are logged, not used.
 * - GetBridgeSlotPath does the same over the slot path bytes ("MR00:1C" and its NUL after a
 *   reset), copying exactly the bytes set, terminated or not.
 * - SetAttributeU32 stores a value per (bridge, attribute); GetAttributeU32 answers a stored
 *   value, or ZUTEST_STATUS_NO_ATTRIBUTE and writes nothing.
 * - OpenBridge, CloseBridge, CloseSession and EepromUpdate only log.
 *
 * Call log: one line per call, "Name(arguments)\n". Integers are decimal except PCI IDs, which
 * are "0x" and four lower-case hex digits; a pointer argument that is null is "null"; an input
 * ID pointer shows its value, an output pointer "out", a buffer "buf", a count pointer the count
 * on entry; slot path text is in double quotes; EepromUpdate ends with its first bytes (at most
 * 16) in brackets, e.g. "[01 02 ff]".
 *
 * Every control function may be called from any thread.
 */
#ifndef ZU_TEST_BRIDGE_H
#define ZU_TEST_BRIDGE_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(ZU_TEST_BRIDGE_BUILDING)
#define ZU_TEST_BRIDGE_API __declspec(dllexport)
#else
#define ZU_TEST_BRIDGE_API __declspec(dllimport)
#endif
#else
#define ZU_TEST_BRIDGE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Entry points, in the order of the library's interface. */
enum {
    ZuTestEntry_OpenSession = 0,
    ZuTestEntry_CloseSession,
    ZuTestEntry_FindBridgesByPciIds,
    ZuTestEntry_FindBridgeByAddress,
    ZuTestEntry_FindBridgeBySlotPath,
    ZuTestEntry_FindParentBridgeForBus,
    ZuTestEntry_GetBridgeParent,
    ZuTestEntry_GetBridgeChildren,
    ZuTestEntry_GetBusChildren,
    ZuTestEntry_GetRootBuses,
    ZuTestEntry_GetBridgeAddress,
    ZuTestEntry_GetBridgeSlotPath,
    ZuTestEntry_GetBridgeIds,
    ZuTestEntry_SetAttributeU32,
    ZuTestEntry_GetAttributeU32,
    ZuTestEntry_OpenBridge,
    ZuTestEntry_CloseBridge,
    ZuTestEntry_EepromUpdate,
    ZuTestEntry_Count
};

/* A pointer argument that must not be null was null (nothing is written). */
#define ZUTEST_STATUS_NULL_ARGUMENT (-313100)
/* GetAttributeU32 for an attribute that was never set. */
#define ZUTEST_STATUS_NO_ATTRIBUTE (-313101)

/* ---- Script ------------------------------------------------------------------------------ */

/* Back to the state described above: no script, empty log, call numbers restarting at 1, every
 * blocked call released. The load counters are kept. */
ZU_TEST_BRIDGE_API void ZuTest_Reset(void);

/* The code that the a_CallNumber-th call (from 1, counted since the reset) of the entry
 * returns; a_CallNumber 0 stands for every call that has no number of its own. A negative
 * scripted code makes the call write nothing. */
ZU_TEST_BRIDGE_API void ZuTest_SetResult(uint32_t a_Entry, uint32_t a_CallNumber, int32_t a_Code);

/* Value written by an entry point with a single output (see above). */
ZU_TEST_BRIDGE_API void ZuTest_SetOutValue(uint32_t a_Entry, uint64_t a_Value);

/* Array of a count-then-fill entry point. */
ZU_TEST_BRIDGE_API void ZuTest_SetArray(uint32_t a_Entry, const uint32_t* a_pValues,
                                        uint32_t a_Count);
/* Array that replaces the entry's array once its a_CallNumber-th call has returned, as when
 * the machine changes between the two calls of count-then-fill. One change per entry. */
ZU_TEST_BRIDGE_API void ZuTest_SetArrayAfterCall(uint32_t a_Entry, uint32_t a_CallNumber,
                                                 const uint32_t* a_pValues, uint32_t a_Count);

/* The bytes GetBridgeSlotPath hands out and the size it reports: exactly a_Size bytes, which
 * need not contain a NUL. */
ZU_TEST_BRIDGE_API void ZuTest_SetSlotPathBytes(const char* a_pBytes, uint32_t a_Size);

ZU_TEST_BRIDGE_API void ZuTest_SetAttribute(uint32_t a_Bridge, uint32_t a_AttributeId,
                                            uint32_t a_Value);

/* While enabled, a call of the entry waits before doing anything until released. */
ZU_TEST_BRIDGE_API void ZuTest_SetBlocking(uint32_t a_Entry, uint32_t a_Enabled);
/* 1 once at least a_Count calls are waiting, 0 if that has not happened within a_TimeoutMs. */
ZU_TEST_BRIDGE_API uint32_t ZuTest_WaitForBlockedCalls(uint32_t a_Count, uint32_t a_TimeoutMs);
/* Lets every call that is waiting now go on. */
ZU_TEST_BRIDGE_API void ZuTest_ReleaseBlockedCalls(void);

/* ---- Observation ------------------------------------------------------------------------- */

/* Copies the call log (at most a_Size - 1 bytes and a NUL) and returns its whole length. */
ZU_TEST_BRIDGE_API uint32_t ZuTest_CallLog(char* a_pBuffer, uint32_t a_Size);
/* Calls of the entry since the reset. */
ZU_TEST_BRIDGE_API uint32_t ZuTest_CallCount(uint32_t a_Entry);
/* Loads and unloads of any front end since the process started. */
ZU_TEST_BRIDGE_API uint32_t ZuTest_LoadCount(void);
ZU_TEST_BRIDGE_API uint32_t ZuTest_UnloadCount(void);

/* ---- Used by the front end --------------------------------------------------------------- */

ZU_TEST_BRIDGE_API void ZuTestImpl_NoteLoad(void);
ZU_TEST_BRIDGE_API void ZuTestImpl_NoteUnload(void);

ZU_TEST_BRIDGE_API int32_t ZuTestImpl_OpenSession(uint32_t a_Flags, uint32_t* a_pSession);
ZU_TEST_BRIDGE_API void ZuTestImpl_CloseSession(uint32_t a_Session);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_FindBridgesByPciIds(
    uint32_t a_Session, const uint16_t* a_pVid, const uint16_t* a_pPid, const uint16_t* a_pSsVid,
    const uint16_t* a_pSsPid, uint32_t* a_pBridges, uint32_t* a_pCount);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_FindBridgeByAddress(uint32_t a_Session, uint8_t a_Bus,
                                                          uint8_t a_Dev, uint8_t a_Func,
                                                          uint32_t* a_pBridge);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_FindBridgeBySlotPath(uint32_t a_Session,
                                                           const char* a_pSlotPath,
                                                           uint32_t* a_pBridge);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_FindParentBridgeForBus(uint32_t a_Session, uint8_t a_Bus,
                                                             uint32_t* a_pBridge);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetBridgeParent(uint32_t a_Session, uint32_t a_Child,
                                                      uint32_t* a_pParent);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetBridgeChildren(uint32_t a_Session, uint32_t a_Parent,
                                                        uint32_t* a_pChildren, uint32_t* a_pCount);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetBusChildren(uint32_t a_Session, uint8_t a_Bus,
                                                     uint32_t* a_pChildren, uint32_t* a_pCount);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetRootBuses(uint32_t a_Session, uint8_t* a_pBuses,
                                                   uint32_t* a_pCount);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetBridgeAddress(uint32_t a_Session, uint32_t a_Bridge,
                                                       uint8_t* a_pBus, uint8_t* a_pDev,
                                                       uint8_t* a_pFunc);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetBridgeSlotPath(uint32_t a_Session, uint32_t a_Bridge,
                                                        char* a_pText, uint32_t* a_pSize);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetBridgeIds(uint32_t a_Session, uint32_t a_Bridge,
                                                   uint16_t* a_pVid, uint16_t* a_pPid,
                                                   uint16_t* a_pSsVid, uint16_t* a_pSsPid);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_SetAttributeU32(uint32_t a_Session, uint32_t a_Bridge,
                                                      uint32_t a_AttributeId, uint32_t a_Value);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_GetAttributeU32(uint32_t a_Session, uint32_t a_Bridge,
                                                      uint32_t a_AttributeId, uint32_t* a_pValue);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_OpenBridge(uint32_t a_Session, uint32_t a_Bridge);
ZU_TEST_BRIDGE_API void ZuTestImpl_CloseBridge(uint32_t a_Session, uint32_t a_Bridge);
ZU_TEST_BRIDGE_API int32_t ZuTestImpl_EepromUpdate(uint32_t a_Session, uint32_t a_Bridge,
                                                   uint16_t a_Vid, uint16_t a_Pid,
                                                   uint32_t a_AlwaysOverwrite,
                                                   uint32_t a_UpdateMethod, uint32_t a_ByteCount,
                                                   const void* a_pBuffer);

#ifdef __cplusplus
}
#endif

#endif /* ZU_TEST_BRIDGE_H */
