/* zu7461: finder of ZU PXI-7461 chassis, for PXI resource hosts.
 *
 * The host opens a list of the chassis found, walks it by index, asks each chassis for numeric
 * and string attributes, and closes the list:
 *
 *     uint32_t count = 0;
 *     void* list = NULL;
 *     int32_t status = nZUPXIFINDER100_openList(&count, &list);
 *     for (uint32_t i = 0; status >= 0 && i < count; ++i) {
 *         void* item = NULL;
 *         if (nZUPXIFINDER100_getNthItem(list, i, &item) >= 0) {
 *             uint32_t bridge = 0;
 *             nZUPXIFINDER100_getU32Attribute(item, ZU7461_ATTR_U32_BRIDGE_VALUE, &bridge);
 *         }
 *     }
 *     nZUPXIFINDER100_closeList(list);
 *
 * Status codes are signed 32-bit: 0 success, negative error, positive warning. Codes of the PCI
 * bridge driver library pass through unchanged.
 *
 * Handles are opaque values that name one list or chassis for as long as the library is loaded;
 * none is handed out twice, so a stale or made-up handle is refused with -52005 (closeList
 * ignores it). Threads: any function may be called from any thread, with any handle. Close
 * every list you opened before unloading the library. A list with no chassis is never
 * returned: openList then answers a count of 0 and a null handle.
 */
#ifndef ZU7461_ZU7461_H
#define ZU7461_ZU7461_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. A host receives only these from the finder itself:
 *   0        success;
 *   -52000   openList: memory or a lock could not be had, or the bridge driver library reported
 *            more than 65,536 bridges;
 *   -52002   getControllerIDSELMap, always;
 *   -52003   openList: the finder's state is gone (called again after the module was detached
 *            while lists were open);
 *   -52005   a null output pointer, a handle, index or attribute ID that names nothing; from
 *            openList also a bridge driver library or one of its entry points that cannot be
 *            found;
 *   -313002  openList: the bridge driver library's fill call reported more entries than the
 *            room its count call asked for (or answered this code itself).
 * Any other code from openList, negative (error) or positive (warning), is the bridge driver
 * library's own, passed through unchanged; the other functions return no code of the library. */
#define ZU7461_STATUS_SUCCESS 0
#define ZU7461_STATUS_MEMORY_FULL (-52000)
#define ZU7461_STATUS_CONTROLLER_MAP_NOT_PROVIDED (-52002)
#define ZU7461_STATUS_SESSION_MANAGER_MISSING (-52003)
#define ZU7461_STATUS_INVALID_PARAMETER (-52005)
#define ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL (-313002)
/* Deprecated: the finder never raises these two itself (a bridge driver library that answers one
 * passes it through like any code of its own). They stay defined for hosts that name them. */
#define ZU7461_STATUS_BRIDGE_ENTRY_POINT_NOT_LOADED (-313008)
#define ZU7461_STATUS_MALFORMED_SLOT_PATH (-313325)

/* The symbolic names of the codes that have one, as status records and logs spell them:
 * X(code, name) for each. */
#define ZU7461_STATUS_NAMES(X)                                                                     \
    X(ZU7461_STATUS_MEMORY_FULL, "zuoskaerr_memoryFull")                                           \
    X(ZU7461_STATUS_INVALID_PARAMETER, "zuoskaerr_invalidParameter")

/* Numeric attributes (nZUPXIFINDER100_getU32Attribute). */
#define ZU7461_ATTR_U32_KIND 0x0u             /* always 2 */
#define ZU7461_ATTR_U32_BRIDGE_VALUE 0x20000u /* low 16 bits of the chassis bridge's value */

/* String attributes (nZUPXIFINDER100_getStringAttribute); constant texts of the library that
 * stay valid while it is loaded and are never freed by the caller. */
#define ZU7461_ATTR_STRING_MAKER 0x0u /* "Velmora" */
#define ZU7461_ATTR_STRING_MODEL 0x1u /* "ZU PXI-7461" */

/* The exports, for hosts that link the import library (lib/zu7461.lib, or the CMake target
 * zu7461::zu7461 of find_package(zu7461)). On Linux they are the symbols of zu7461.so. */

/* Loads the bridge driver library, finds every chassis, unloads the library again and opens a
 * list of them. On success *a_pCount is the number of chassis and *a_pListHandle the list; with
 * no chassis, or on failure, they are 0 and a null handle and no list is left open. A null
 * argument is answered with -52005 and nothing is written. Calls are serialised. */
int32_t nZUPXIFINDER100_openList(uint32_t* a_pCount, void** a_pListHandle);

/* Releases a list and the item handles it gave out. A null, unknown or closed handle is
 * ignored. */
void nZUPXIFINDER100_closeList(void* a_ListHandle);

/* The item handle of chassis a_Index (0 to count - 1) of an open list, valid until the list is
 * closed. An unknown list or an index out of range is answered with -52005 and nothing is
 * written. */
int32_t nZUPXIFINDER100_getNthItem(void* a_ListHandle, uint32_t a_Index, void** a_pItemHandle);

/* A numeric attribute (ZU7461_ATTR_U32_...) of an item. An unknown item or attribute ID is
 * answered with -52005 and nothing is written. */
int32_t nZUPXIFINDER100_getU32Attribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                        uint32_t* a_pValue);

/* A string attribute (ZU7461_ATTR_STRING_...) of an item, a constant text of the module. An
 * unknown item or attribute ID is answered with -52005 and nothing is written. */
int32_t nZUPXIFINDER100_getStringAttribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                           const char** a_pValue);

/* Reads no argument and always answers ZU7461_STATUS_CONTROLLER_MAP_NOT_PROVIDED; whatever
 * arguments a host passes are harmless, since the caller cleans up the stack. */
int32_t nZUPXIFINDER100_getControllerIDSELMap(void);

/* For hosts that load the module at run time: LoadLibraryA("zu7461.dll"), then GetProcAddress
 * with the name, or with the ordinal as MAKEINTRESOURCEA(ordinal), and cast the result to the
 * type of the same suffix, through (void (*)(void)) where the compiler warns of incompatible
 * function types. The ordinals never change. On Linux: dlopen("zu7461.so") and dlsym by name. */
typedef int32_t (*tZU7461_openList)(uint32_t* a_pCount, void** a_pListHandle);
#define ZU7461_NAME_openList "nZUPXIFINDER100_openList"
#define ZU7461_ORDINAL_openList 101

typedef void (*tZU7461_closeList)(void* a_ListHandle);
#define ZU7461_NAME_closeList "nZUPXIFINDER100_closeList"
#define ZU7461_ORDINAL_closeList 102

typedef int32_t (*tZU7461_getNthItem)(void* a_ListHandle, uint32_t a_Index, void** a_pItemHandle);
#define ZU7461_NAME_getNthItem "nZUPXIFINDER100_getNthItem"
#define ZU7461_ORDINAL_getNthItem 103

typedef int32_t (*tZU7461_getU32Attribute)(void* a_ItemHandle, uint32_t a_AttributeId,
                                           uint32_t* a_pValue);
#define ZU7461_NAME_getU32Attribute "nZUPXIFINDER100_getU32Attribute"
#define ZU7461_ORDINAL_getU32Attribute 104

typedef int32_t (*tZU7461_getStringAttribute)(void* a_ItemHandle, uint32_t a_AttributeId,
                                              const char** a_pValue);
#define ZU7461_NAME_getStringAttribute "nZUPXIFINDER100_getStringAttribute"
#define ZU7461_ORDINAL_getStringAttribute 105

typedef int32_t (*tZU7461_getControllerIDSELMap)(void);
#define ZU7461_NAME_getControllerIDSELMap "nZUPXIFINDER100_getControllerIDSELMap"
#define ZU7461_ORDINAL_getControllerIDSELMap 106

#ifdef __cplusplus
}
#endif

#endif /* ZU7461_ZU7461_H */
