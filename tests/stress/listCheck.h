// Checks one open list the way a careful host would read it: every index answers an item, every
// item answers its four attributes, and the neighbours of the valid range are refused without a
// write. Returns what was wrong, or an empty text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "zu7461/zu7461.h"

namespace zuTest {

// tExports: anything holding the exports under their short names (the loaded module, or the
// static core's functions).
template <class tExports>
std::string checkList(const tExports& a_rExports, void* a_pList, std::uint32_t a_Count,
                      const std::vector<std::uint32_t>& a_rBridgeValues) {
    if (a_Count != a_rBridgeValues.size()) {
        return "count " + std::to_string(a_Count) + ", expected " +
               std::to_string(a_rBridgeValues.size());
    }
    void* const l_pUntouched = &a_pList;
    std::vector<void*> l_Items;
    for (std::uint32_t l_Index = 0; l_Index <= a_Count; ++l_Index) {
        const std::string l_Item = "item " + std::to_string(l_Index) + ": ";
        void* l_pItem = l_pUntouched;
        const std::int32_t l_Code = a_rExports.getNthItem(a_pList, l_Index, &l_pItem);
        if (l_Index == a_Count) {
            return l_Code == ZU7461_STATUS_INVALID_PARAMETER && l_pItem == l_pUntouched
                       ? std::string()
                       : l_Item + "getNthItem past the end answered " + std::to_string(l_Code);
        }
        if (l_Code != 0 || l_pItem == l_pUntouched || l_pItem == nullptr ||
            std::find(l_Items.begin(), l_Items.end(), l_pItem) != l_Items.end()) {
            return l_Item + "getNthItem answered " + std::to_string(l_Code) + " or a known handle";
        }
        l_Items.push_back(l_pItem);
        std::uint32_t l_Kind = 0, l_Value = 0, l_Refused = 0xA5A5A5A5u;
        const char *l_pMaker = "", *l_pModel = "", *const l_pMarker = "untouched";
        const char* l_pRefused = l_pMarker;
        const std::int32_t l_Codes[] = {
            a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_KIND, &l_Kind),
            a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE, &l_Value),
            a_rExports.getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MAKER, &l_pMaker),
            a_rExports.getStringAttribute(l_pItem, ZU7461_ATTR_STRING_MODEL, &l_pModel),
            // Unknown attributes are refused and leave the output as it was.
            a_rExports.getU32Attribute(l_pItem, ZU7461_ATTR_U32_BRIDGE_VALUE + 1, &l_Refused) -
                ZU7461_STATUS_INVALID_PARAMETER,
            a_rExports.getStringAttribute(l_pItem, 2, &l_pRefused) -
                ZU7461_STATUS_INVALID_PARAMETER};
        if (std::count(std::begin(l_Codes), std::end(l_Codes), 0) != 6 || l_Kind != 2 ||
            l_Value != a_rBridgeValues[l_Index] || l_pMaker == nullptr || l_pModel == nullptr ||
            std::strcmp(l_pMaker, "Velmora") != 0 || std::strcmp(l_pModel, "ZU PXI-7461") != 0 ||
            l_Refused != 0xA5A5A5A5u || l_pRefused != l_pMarker) {
            return l_Item + "kind " + std::to_string(l_Kind) + ", bridge value " +
                   std::to_string(l_Value) + " (expected " +
                   std::to_string(a_rBridgeValues[l_Index]) + "), " +
                   (l_pMaker ? l_pMaker : "null") + " " + (l_pModel ? l_pModel : "null") +
                   ", or an attribute refused or not refused";
        }
    }
    return std::string();
}

} // namespace zuTest
