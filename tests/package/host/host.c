/* A host written from the header alone: it lists the chassis through the exports it links, then
 * through those it looks up by name and, on Windows, by ordinal (a failed query shows as 0). */
#include <stdio.h>

#include "zu7461/zu7461.h"
#ifdef _WIN32
#include <windows.h>
#define LOOK_UP(a_Name)                                                                            \
    GetProcAddress(LoadLibraryA("zu7461.dll"), l_Style == 1                                        \
                                                   ? ZU7461_NAME_##a_Name                          \
                                                   : MAKEINTRESOURCEA(ZU7461_ORDINAL_##a_Name))
static const char* const kStyles[] = {"linked", "by name", "by ordinal"};
#else
#include <dlfcn.h>
#define LOOK_UP(a_Name) dlsym(dlopen("zu7461.so", RTLD_NOW), ZU7461_NAME_##a_Name)
static const char* const kStyles[] = {"linked", "by name"};
#endif
#define ENTRY(a_Name)                                                                              \
    (l_Style == 0 ? nZUPXIFINDER100_##a_Name : (tZU7461_##a_Name)(void (*)(void))LOOK_UP(a_Name))

int main(void) {
    for (unsigned l_Style = 0; l_Style < sizeof kStyles / sizeof kStyles[0]; ++l_Style) {
        uint32_t l_Count = 0;
        void* l_pList = NULL;
        const int32_t l_Status = ENTRY(openList)(&l_Count, &l_pList);
        printf("%s: status %d, %u chassis:", kStyles[l_Style], (int)l_Status, (unsigned)l_Count);
        for (uint32_t l_Index = 0; l_Index < l_Count; ++l_Index) {
            void* l_pItem = NULL;
            uint32_t l_Value = 0;
            ENTRY(getNthItem)(l_pList, l_Index, &l_pItem);
            ENTRY(getU32Attribute)(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value);
            printf(" 0x%04x", (unsigned)l_Value);
        }
        printf("\n");
        ENTRY(closeList)(l_pList);
    }
    return 0;
}
