// Checks one open list the way a careful host would read it: every index answers an item, every
// item answers its four attributes, and the neighbours of the valid range are refused without a
// write. Returns what was wrong, or an empty text.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zu7461/zu7461.h"

namespace zuTest {

// The six exports, however the program reached them (module or static core).
struct tExports {
    tZU7461_openList openList;
    tZU7461_closeList closeList;
    tZU7461_getNthItem getNthItem;
    tZU7461_getU32Attribute getU32Attribute;
    tZU7461_getStringAttribute getStringAttribute;
};

inline std::string describe(const char* a_pWhat, std::uint32_t a_Index, long long a_Got,
                            long long a_Expected) {
    return std::string(a_pWhat) + " of item " + std::to_string(a_Index) + ": got " +
           std::to_string(a_Got) + ", expected " + std::to_string(a_Expected);
}

inline std::string checkList(const tExports& a_rExports, void* a_pList, std::uint32_t a_Count,
                             const std::vector<std::uint32_t>& a_rBridgeValues) {
    if (a_Count != a_rBridgeValues.size()) {
        return "count " + std::to_string(a_Count) + ", expected " +
               std::to_string(a_rBridgeValues.size());
    }
    void* const l_pUntouched = &a_pList;
    std::vector<void*> l_Items;
    for (std::uint32_t l_Index = 0; l_Index < a_Count; ++l_Index) {
        void* l_pItem = l_pUntouched;
        std::int32_t l_Code = a_rExports.getNthItem(a_pList, l_Index, &l_pItem);
        if (l_Code != 0 || l_pItem == l_pUntouched || l_pItem == nullptr) {
            return describe("getNthItem code", l_Index, l_Code, 0);
        }
        for (void* l_pOther : l_Items) {
            if (l_pOther == l_pItem) {
                return "item " + std::to_string(l_Index) + " repeats an earlier item handle";
            }
        }
        l_Items.push_back(l_pItem);
        std::uint32_t l_Value = 0xA5A5A5A5u;
        l_Code = a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_KIND, &l_Value);
        if (l_Code != 0 || l_Value != 2) {
            return describe("kind", l_Index, l_Code == 0 ? l_Value : l_Code, 2);
        }
        l_Code = a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value);
        if (l_Code != 0 || l_Value != a_rBridgeValues[l_Index]) {
            return describe("bridge value", l_Index, l_Code == 0 ? l_Value : l_Code,
                            a_rBridgeValues[l_Index]);
        }
        const char* l_pText = nullptr;
        l_Code = a_rExports.getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MAKER, &l_pText);
        if (l_Code != 0 || l_pText == nullptr || std::strcmp(l_pText, "Velmora") != 0) {
            return describe("maker", l_Index, l_Code, 0);
        }
        l_Code = a_rExports.getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MODEL, &l_pText);
        if (l_Code != 0 || l_pText == nullptr || std::strcmp(l_pText, "ZU PXI-7461") != 0) {
            return describe("model", l_Index, l_Code, 0);
        }
        // Unknown attributes are refused and leave the output as it was.
        l_Value = 0xA5A5A5A5u;
        l_Code = a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE + 1, &l_Value);
        if (l_Code != ZU7461_STATUS_INVALID_PARAMETER || l_Value != 0xA5A5A5A5u) {
            return describe("refused numeric attribute", l_Index, l_Code, -52005);
        }
        const char* const l_pMarker = "untouched";
        l_pText = l_pMarker;
        l_Code = a_rExports.getStringAttribute(l_pItem, 2, &l_pText);
        if (l_Code != ZU7461_STATUS_INVALID_PARAMETER || l_pText != l_pMarker) {
            return describe("refused string attribute", l_Index, l_Code, -52005);
        }
    }
    void* l_pItem = l_pUntouched;
    const std::int32_t l_Code = a_rExports.getNthItem(a_pList, a_Count, &l_pItem);
    if (l_Code != ZU7461_STATUS_INVALID_PARAMETER || l_pItem != l_pUntouched) {
        return describe("getNthItem past the end", a_Count, l_Code, -52005);
    }
    return std::string();
}

} // namespace zuTest
