/* A host written from the header alone: it lists the chassis through the exports it links, or
 * through those it looks up by name and by ordinal. */
#include <stdio.h>

#include "zu7461/zu7461.h"
#ifdef _WIN32
#include <windows.h>
#define LOOK_UP(a_Name, a_Ordinal)                                                                 \
    (l_ByOrdinal ? GetProcAddress(l_Module, MAKEINTRESOURCEA(a_Ordinal))                           \
                 : GetProcAddress(l_Module, a_Name))
#define OPEN() LoadLibraryA("zu7461.dll")
#define STYLES 2
typedef HMODULE tModule;
#else
#include <dlfcn.h>
#define LOOK_UP(a_Name, a_Ordinal) dlsym(l_Module, a_Name)
#define OPEN() dlopen("zu7461.so", RTLD_NOW)
#define STYLES 1 /* no ordinals */
typedef void* tModule;
#endif
#define ENTRY(a_Name) ((tZU7461_##a_Name)LOOK_UP(ZU7461_NAME_##a_Name, ZU7461_ORDINAL_##a_Name))

typedef struct {
    tZU7461_openList openList;
    tZU7461_getNthItem getNthItem;
    tZU7461_getU32Attribute getU32Attribute;
    tZU7461_closeList closeList;
} tHost;

static int list(const char* a_pStyle, tHost a_Api) {
    uint32_t l_Count = 0;
    void* l_pList = NULL;
    int32_t l_Status = a_Api.openList(&l_Count, &l_pList);
    printf("%s: status %d, %u chassis:", a_pStyle, (int)l_Status, (unsigned)l_Count);
    for (uint32_t l_Index = 0; l_Index < l_Count; ++l_Index) {
        void* l_pItem = NULL;
        uint32_t l_Value = 0;
        if (a_Api.getNthItem(l_pList, l_Index, &l_pItem) < 0 ||
            a_Api.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value) < 0) {
            l_Status = -1;
        }
        printf(" 0x%04x", (unsigned)l_Value);
    }
    printf("\n");
    a_Api.closeList(l_pList);
    return l_Status != 0 || !l_pList;
}

int main(void) {
#ifdef HOST_LINKED
    tHost l_Linked = {nZUPXIFINDER100_openList, nZUPXIFINDER100_getNthItem,
                      nZUPXIFINDER100_getU32Attribute, nZUPXIFINDER100_closeList};
    return list("linked", l_Linked);
#else
    int l_Failed = 0;
    for (int l_ByOrdinal = 0; l_ByOrdinal < STYLES; ++l_ByOrdinal) {
        const tModule l_Module = OPEN();
        tHost l_Loaded = {ENTRY(openList), ENTRY(getNthItem), ENTRY(getU32Attribute),
                          ENTRY(closeList)};
        l_Failed |= !l_Loaded.openList || !l_Loaded.getNthItem || !l_Loaded.getU32Attribute ||
                    !l_Loaded.closeList || list(l_ByOrdinal ? "by ordinal" : "by name", l_Loaded);
    }
    return l_Failed;
#endif
}
