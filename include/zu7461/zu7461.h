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

/* Status codes this component returns itself. */
#define ZU7461_STATUS_SUCCESS 0
#define ZU7461_STATUS_MEMORY_FULL (-52000) /* "zuoskaerr_memoryFull" */
#define ZU7461_STATUS_CONTROLLER_MAP_NOT_PROVIDED (-52002)
#define ZU7461_STATUS_SESSION_MANAGER_MISSING (-52003)
#define ZU7461_STATUS_INVALID_PARAMETER (-52005) /* "zuoskaerr_invalidParameter" */
#define ZU7461_STATUS_BRIDGE_ENTRY_POINT_NOT_LOADED (-313008)
#define ZU7461_STATUS_BRIDGE_BUFFER_TOO_SMALL (-313002)
#define ZU7461_STATUS_MALFORMED_SLOT_PATH (-313325)

/* Numeric attributes (nZUPXIFINDER100_getU32Attribute). */
#define ZU7461_ATTR_U32_KIND 0x0u             /* always 2 */
#define ZU7461_ATTR_U32_BRIDGE_VALUE 0x20000u /* low 16 bits of the chassis bridge's value */

/* String attributes (nZUPXIFINDER100_getStringAttribute); constant texts of the library that
 * stay valid while it is loaded and are never freed by the caller. */
#define ZU7461_ATTR_STRING_MAKER 0x0u /* "Velmora" */
#define ZU7461_ATTR_STRING_MODEL 0x1u /* "ZU PXI-7461" */

/* Export ordinals 101 to 106, in this order. */
int32_t nZUPXIFINDER100_openList(uint32_t* a_pCount, void** a_pListHandle);
void nZUPXIFINDER100_closeList(void* a_ListHandle);
int32_t nZUPXIFINDER100_getNthItem(void* a_ListHandle, uint32_t a_Index, void** a_pItemHandle);
int32_t nZUPXIFINDER100_getU32Attribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                        uint32_t* a_pValue);
int32_t nZUPXIFINDER100_getStringAttribute(void* a_ItemHandle, uint32_t a_AttributeId,
                                           const char** a_pValue);
/* Reads no argument and always answers ZU7461_STATUS_CONTROLLER_MAP_NOT_PROVIDED; whatever
 * arguments a host passes are harmless, since the caller cleans up the stack. */
int32_t nZUPXIFINDER100_getControllerIDSELMap(void);

/* Function pointer types for hosts that load the library at run time. */
typedef int32_t (*tZU7461_openList)(uint32_t*, void**);
typedef void (*tZU7461_closeList)(void*);
typedef int32_t (*tZU7461_getNthItem)(void*, uint32_t, void**);
typedef int32_t (*tZU7461_getU32Attribute)(void*, uint32_t, uint32_t*);
typedef int32_t (*tZU7461_getStringAttribute)(void*, uint32_t, const char**);
typedef int32_t (*tZU7461_getControllerIDSELMap)(void);

#ifdef __cplusplus
}
#endif

#endif /* ZU7461_ZU7461_H */
