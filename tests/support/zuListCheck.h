// Reads one open list as a careful host would; returns what was wrong, or an empty text.
#pragma once

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "zu7461/zu7461.h"

namespace zuTest {

// tExports: anything holding the exports under their short names.
template <class tExports>
std::string checkList(const tExports& a_rExports, void* a_pList, std::uint32_t a_Count,
                      const std::vector<std::uint32_t>& a_rBridgeValues) {
    if (a_Count != a_rBridgeValues.size()) {
        return "count " + std::to_string(a_Count);
    }
    std::set<void*> l_Items = {nullptr, &a_pList};
    for (std::uint32_t l_Index = 0; l_Index <= a_Count; ++l_Index) {
        void* l_pItem = &a_pList;
        const std::int32_t l_Code = a_rExports.getNthItem(a_pList, l_Index, &l_pItem);
        if (l_Index == a_Count) {
            return l_Code == ZU7461_STATUS_INVALID_PARAMETER && l_pItem == &a_pList
                       ? ""
                       : "getNthItem past the end answered " + std::to_string(l_Code);
        }
        std::uint32_t l_Kind = 0, l_Value = 0, l_Refused = 5;
        const char *l_pMaker = "", *l_pModel = "", *l_pRefused = "";
        const char* const l_pUntouched = l_pRefused;
        const bool l_Good =
            l_Code == 0 && l_Items.insert(l_pItem).second &&
            a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_KIND, &l_Kind) == 0 &&
            a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value) == 0 &&
            a_rExports.getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MAKER, &l_pMaker) == 0 &&
            a_rExports.getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MODEL, &l_pModel) == 0 &&
            a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE + 1, &l_Refused) ==
                ZU7461_STATUS_INVALID_PARAMETER &&
            a_rExports.getStringAttribute(l_pItem, 2, &l_pRefused) ==
                ZU7461_STATUS_INVALID_PARAMETER &&
            l_Kind == 2 && l_Value == a_rBridgeValues[l_Index] && l_Refused == 5 &&
            l_pRefused == l_pUntouched && l_pMaker && std::strcmp(l_pMaker, "Velmora") == 0 &&
            l_pModel && std::strcmp(l_pModel, "ZU PXI-7461") == 0;
        if (!l_Good) {
            return "item " + std::to_string(l_Index) + ": code " + std::to_string(l_Code) +
                   ", bridge value " + std::to_string(l_Value) + ", or an attribute wrong";
        }
    }
    return "";
}

} // namespace zuTest
